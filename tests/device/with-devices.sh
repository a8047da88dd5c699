#!/usr/bin/env bash
# Runs a Windows program under Wine with the virtual devices of devices.txt installed: a fresh
# device prefix (fixture.sh setup), the program in BUILD-DIR, then the devices removed again.
#
#   with-devices.sh BUILD-DIR PROGRAM.exe [ARGS...]
#
# Exit status: the program's; 77 where Wine cannot run here (the reason is printed).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: with-devices.sh BUILD-DIR PROGRAM.exe [ARGS...]}" && pwd)
shift

setup=$("$here/fixture.sh" setup "$build" 2>&1)
status=$?
if [ "$status" -ne 0 ]; then
  echo "$setup"
  exit "$status"
fi
trap '"$here/fixture.sh" cleanup "$build" >/dev/null' EXIT
cd "$build" && "$here/../windows/run-under-wine.sh" "$build/wine-device" "$@"

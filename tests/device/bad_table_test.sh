#!/usr/bin/env bash
# The installer under Wine with a table whose fourth line is bad: it must exit 2 with one error
# line that names the table and the line, before it touches anything (the device group's devices,
# installed by the fixture, are still all there afterwards, which the group's checks see).
#
#   bad_table_test.sh BUILD-DIR
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bad_table_test.sh BUILD-DIR}" && pwd)
cd "$build"
cp "$here/bad-devices.txt" bad-devices.txt
output=$("$here/../windows/run-under-wine.sh" "$build/wine-device" usb1284vdev-install.exe \
  install bad-devices.txt usb1284vdev.inf 2>&1 | tr -d '\r')
status=${PIPESTATUS[0]}
echo "$output"
[ "$status" -eq 77 ] && exit 77
if [ "$status" -ne 2 ]; then
  echo "FAIL: exit status $status, expected 2"
  exit 1
fi
if ! grep -q '^bad-devices.txt:4: column [0-9]* (id): ' <<<"$output"; then
  echo "FAIL: the error does not name bad-devices.txt:4 and its key"
  exit 1
fi
echo "ok: the bad line is named and the installer stops with status 2"

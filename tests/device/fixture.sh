#!/usr/bin/env bash
# The device group's Wine prefix with the virtual devices in it. CTest runs `setup` before the
# group's programs and `cleanup` after them; `make demo-windows` and `make bench` use it too.
#
#   fixture.sh setup|cleanup BUILD-DIR
#
# setup makes a fresh prefix (BUILD-DIR/wine-device), lets its first wineserver finish (a driver
# installed while it still runs can lose its service), then installs the devices of devices.txt.
# cleanup removes them. Both exit 77 where Wine cannot run, as tests/windows/run-under-wine.sh
# decides, and with the installer's status otherwise.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
run="$here/../windows/run-under-wine.sh"
command=${1:?usage: fixture.sh setup|cleanup BUILD-DIR}
build=$(cd "${2:?usage: fixture.sh setup|cleanup BUILD-DIR}" && pwd)
prefix="$build/wine-device"
cd "$build"

server() {
  local wineserver
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  WINEPREFIX="$prefix" "$wineserver" "$@"
}

case "$command" in
  setup)
    # The prefix is made by the run below: removing nothing in a new prefix is the cheapest
    # program that also tells whether Wine runs at all.
    # A server still running on the old prefix (a run that was stopped) goes first.
    if [ -d "$prefix" ]; then server -k >/dev/null 2>&1 || true; fi
    rm -rf "$prefix"
    status=0
    "$run" "$prefix" usb1284vdev-install.exe remove || status=$?
    [ "$status" -eq 0 ] || exit "$status"
    for file in usb1284vdev.sys usb1284vdev.inf devices.txt; do
      if [ ! -e "$file" ]; then
        echo "$build/$file is missing: build the windows preset first" >&2
        exit 1
      fi
    done
    server -w
    "$run" "$prefix" usb1284vdev-install.exe install devices.txt usb1284vdev.inf
    ;;
  cleanup)
    # Without a prefix, setup did not get as far as Wine (or Wine cannot run here).
    if [ ! -d "$prefix" ]; then
      echo "SKIPPED: no device prefix, so no device to remove."
      exit 77
    fi
    "$run" "$prefix" usb1284vdev-install.exe remove
    ;;
  *)
    echo "usage: fixture.sh setup|cleanup BUILD-DIR" >&2
    exit 2
    ;;
esac

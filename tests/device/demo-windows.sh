#!/usr/bin/env bash
# `make demo-windows`: usb1284-probe.exe under Wine on the virtual devices. The devices of
# devices.txt are installed in a fresh prefix, the tool lists them and chats with the virtual fax
# modem, and the devices are removed again. Where Wine cannot run it says so and stops: it is a
# demo, not a test.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: demo-windows.sh BUILD-DIR}" && pwd)
run="$here/../windows/run-under-wine.sh"
prefix="$build/wine-device"

echo "1. A fresh Wine prefix, and the virtual devices of tests/device/devices.txt installed in it:"
echo "\$ usb1284vdev-install.exe install devices.txt usb1284vdev.inf"
"$here/fixture.sh" setup "$build"
status=$?
if [ "$status" -eq 77 ]; then
  echo "(the demo needs Wine; nothing more to show on this machine: 'make demo-windows-vm' runs it"
  echo " in an emulated machine where this one cannot execute 32-bit programs)"
  exit 0
fi
[ "$status" -eq 0 ] || exit "$status"
trap 'echo; echo "4. The devices removed again:"; echo "\$ usb1284vdev-install.exe remove";
      "$here/fixture.sh" cleanup "$build"' EXIT
cd "$build"

echo
echo "2. What the DLL finds (the device that gives no ID, and the one whose little-endian length"
echo "   ends its ID at once, are not listed):"
echo "\$ usb1284-probe.exe list"
"$run" "$prefix" usb1284-probe.exe list | tr -d '\r'
modem=$("$run" "$prefix" usb1284-probe.exe list | tr -d '\r' | awk '/Fax Modem/ { print $NF }')

echo
echo "3. Open the virtual fax modem, ask for its identity, then AT, and close it:"
echo "\$ usb1284-probe.exe chat '$modem' ATI AT"
"$run" "$prefix" usb1284-probe.exe chat "$modem" ATI AT | tr -d '\r'
echo "(the modem is closed again; exit status ${PIPESTATUS[0]})"

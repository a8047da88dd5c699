#!/usr/bin/env bash
# The kit's example, built from the zip alone, on the virtual fax modem in the device group's prefix:
# it finds nothing to guess, opens the modem by its path, sends "ATI" and must get the modem's
# identity and its OK back.
#
#   example_on_device.sh BUILD-DIR
# Exits 77 (skipped) where Wine cannot run.
set -uo pipefail
build=$1
modem='\\?\root#usb1284vdev#modem#{75704901-8ad0-11d3-b04b-00104b02010e}'
cd "$build" || exit 1
output=$("$(dirname "$0")/../windows/run-under-wine.sh" "$build/wine-device" \
  'kit-example\minimal_host.exe' "$modem" 2>&1)
status=$?
echo "$output"
[ "$status" -eq 77 ] && exit 77
if [ "$status" -ne 0 ]; then
  echo "FAILED: the example exited with $status (want 0)"
  exit 1
fi
for want in 'sent 4 bytes' 'FaxLink 56' 'OK'; do
  if ! grep -q "$want" <<<"$output"; then
    echo "FAILED: the example's output lacks \"$want\""
    exit 1
  fi
done
echo "ok: the example talked to the virtual modem"

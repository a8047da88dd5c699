#!/usr/bin/env bash
# usb1284-probe.exe under Wine, beside usb1284.dll. Wine has none of the devices, so list finds
# nothing and says so; a plain file stands in for a device to drive a port through the DLL.
#
#   wine_probe_test.sh RUN-UNDER-WINE PREFIX-DIR usb1284-probe.exe
# Ends with "N passed, M failed"; exits 77 (skipped) when Wine cannot run.
set -uo pipefail
run_under_wine=$1
prefix=$2
exe=$3

passed=0
failed=0

# check NAME STATUS EXPECTED-OUTPUT ARGS...: the exit status and stdout with stderr after it,
# carriage returns dropped (the runtime writes text mode).
check() {
  local name=$1 want_status=$2 want=$3
  shift 3
  local got status
  got=$("$run_under_wine" "$prefix" "$exe" "$@" 2>&1)
  status=$?
  got=${got//$'\r'/}
  if [ "$status" -eq 77 ]; then
    echo "$got"
    exit 77
  fi
  if [ "$status" -eq "$want_status" ] && [ "$got" = "$want" ]; then
    echo "ok: $name"
    passed=$((passed + 1))
  else
    echo "FAILED: $name: exit status $status (want $want_status), output:"
    echo "$got"
    echo "wanted:"
    echo "$want"
    failed=$((failed + 1))
  fi
}

check "list reports no devices" 1 "No devices found." list
check "list --json reports none" 1 "[]" list --json
check "a bad path is no such device" 1 \
  'usb1284-probe: cannot open C:\no\such\device: no such device' recv 'C:\no\such\device' 4
check "a wrong command line is a usage error" 2 \
  "usb1284-probe: recv needs PATH and N
usage: usb1284-probe recv PATH N [--timeout MS] [--out F]" recv

stand_in=probe-stand-in.bin
printf 'xxxxxxxx' >"$stand_in"
check "send writes through the port" 0 "sent 5 bytes" send "$stand_in" hello
check "recv reads through the port" 0 \
  "00000000: 6865 6c6c 6f78 7878                      helloxxx" recv "$stand_in" 8
rm -f "$stand_in"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

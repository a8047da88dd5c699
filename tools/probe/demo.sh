#!/usr/bin/env bash
# `make demo`: usb1284-probe on its built-in simulated machine. The road of one device: the list
# that discovery gives, then the fax modem opened, asked two questions and closed again.
set -euo pipefail
probe=${1:?usage: demo.sh PATH-TO-usb1284-probe}

echo "1. The devices found (the scanner gives no ID, so it is not listed):"
echo "\$ usb1284-probe list"
"$probe" list
modem=$("$probe" list | awk '/FaxLink/ { print $NF }')

echo
echo "2. Open the fax modem, ask for its identity and its service classes, close it:"
echo "\$ usb1284-probe chat '$modem' ATI 'AT+FCLASS=?'"
"$probe" chat "$modem" ATI 'AT+FCLASS=?'
echo "(the modem is closed again; exit status $?)"

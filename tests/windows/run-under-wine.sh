#!/usr/bin/env bash
# Runs a Windows program of the suite under Wine, in a Wine prefix of the build's own, and exits
# with the program's exit code; 77 means skipped: Wine with 32-bit support is not installed, or
# this machine cannot execute 32-bit programs at all (some virtual machines run only 64-bit code).
#
#   run-under-wine.sh PREFIX-DIR PROGRAM.exe [ARGS...]
set -euo pipefail

if ! command -v wine >/dev/null 2>&1 || [ ! -x /usr/lib/wine/wine ]; then
  echo "SKIPPED: Wine with 32-bit support is not installed, so the Windows suite cannot run." \
    "'make test' run as root installs it (tools/install-deps.sh)."
  exit 77
fi
# Wine's loader is a 32-bit program: where the kernel refuses those, nothing of Wine can start.
if ! refusal=$(/usr/lib/wine/wine --version 2>&1); then
  echo "SKIPPED: this machine cannot execute 32-bit programs (Wine's 32-bit loader: ${refusal##*: })," \
    "so the Windows suite cannot run here; 'make windows-vm' runs it in an emulated machine."
  exit 77
fi

export WINEPREFIX=$1
shift
export WINEDEBUG=-all
# No Mono or Gecko installers when the prefix is made: the suite's programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Make the prefix on the first run and start Wine's server and its system processes detached from
# our output: they outlive the program for a few seconds and would hold the caller's pipes open.
wine wineboot </dev/null >/dev/null 2>&1

exec wine "$@"

#!/usr/bin/env bash
# Unpacks the kit into an empty folder, checks that it holds every entry and that SHA256SUMS
# verifies and covers every other file, then builds examples/minimal_host.cpp from the kit alone:
# its header and its import library, as C++98 with the DLL's toolchain. The program and the kit's
# DLL end up side by side in OUT-DIR, ready to run.
#
#   build_example.sh ZIP SOURCE-DIR OUT-DIR CLANGXX LLD-LINK LLVM-DLLTOOL
set -euo pipefail
zip=$1 source=$2 out=$3 cxx=$4 link=$5 dlltool=$6

fail() {
  echo "FAILED: $*"
  exit 1
}

rm -rf "$out"
mkdir -p "$out/kit"
unzip -q "$zip" -d "$out/kit"
cd "$out"

for entry in bin/usb1284.dll bin/usb1284.pdb bin/usb1284-probe.exe bin/usb1284-probe.pdb \
  lib/usb1284.lib include/usb1284.h usb1284.def docs/integrating.md LICENSE SHA256SUMS; do
  [ -f "kit/$entry" ] || fail "the kit has no $entry"
done
(cd kit && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not verify"
listed=$(cut -c67- kit/SHA256SUMS | LC_ALL=C sort)
present=$(cd kit && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS lists $(echo $listed), the kit holds $(echo $present)"
echo "ok: the kit holds every entry and its checksums verify"

flags=(--target=i686-pc-windows-msvc -ffreestanding -fno-exceptions -fno-rtti -Wall -Wextra -Werror)
"$cxx" "${flags[@]}" -std=c++98 -pedantic -I kit/include -I "$source/tests/kit/sdk" \
  -c "$source/examples/minimal_host.cpp" \
  -o minimal_host.obj || fail "the example does not compile against the kit's header"
"$cxx" "${flags[@]}" -std=c++17 -c "$source/tests/kit/start_without_crt.cpp" -o start.obj
"$dlltool" -m i386 -k -d "$source/tests/kit/msvcrt.def" -l msvcrt.lib
"$dlltool" -m i386 -k -d "$source/tests/kit/kernel32.def" -l kernel32.lib
"$link" /nologo /subsystem:console /entry:ExampleEntry /nodefaultlib minimal_host.obj start.obj \
  kit/lib/usb1284.lib msvcrt.lib kernel32.lib /out:minimal_host.exe ||
  fail "the example does not link against the kit's import library"
cp kit/bin/usb1284.dll .
echo "ok: minimal_host.exe built from the kit alone"

#!/usr/bin/env bash
# Packs the integrator's kit into one zip, with SHA256SUMS over every other file in it.
#
#   dist.sh ZIP SOURCE-DIR DLL DLL-PDB PROBE-EXE PROBE-PDB IMPORT-LIB
#
# The zip holds bin/ (the DLL, the probe tool and their PDBs), lib/usb1284.lib, include/usb1284.h,
# usb1284.def, docs/integrating.md, LICENSE and SHA256SUMS, with no folder around them.
set -euo pipefail
zip=$1 source=$2 dll=$3 dll_pdb=$4 probe=$5 probe_pdb=$6 import_lib=$7

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/bin" "$stage/lib" "$stage/include" "$stage/docs"
cp "$dll" "$dll_pdb" "$probe" "$probe_pdb" "$stage/bin/"
cp "$import_lib" "$stage/lib/usb1284.lib"
cp "$source/include/usb1284.h" "$stage/include/"
cp "$source/include/usb1284.def" "$stage/"
cp "$source/docs/integrating.md" "$stage/docs/"
cp "$source/LICENSE" "$stage/"

cd "$stage"
find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS
mkdir -p "$(dirname "$zip")"
rm -f "$zip"
# -X: no extra attributes, so the entries are the files and nothing else.
zip -q -X -r "$zip" .
echo "dist: $zip"

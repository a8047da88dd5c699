#!/usr/bin/env python3
"""Checks the built DLL as llvm-readobj describes it; needs no Windows and no Wine.

    check_image.py LLVM-READOBJ usb1284.dll

Each fact prints one line, "ok: ..." or "FAILED: ...: got ..., want ..."; the exit status is 1 when
any fact fails, 0 when the image is what the fax application loads.
"""
import re
import subprocess
import sys


def describe(readobj, image):
    return subprocess.run(
        [readobj, "--file-headers", "--coff-exports", "--coff-imports", "--coff-resources",
         "--coff-debug-directory", image],
        check=True, capture_output=True, text=True).stdout


def parse(text):
    """The facts of llvm-readobj's blocks that the checks look at."""
    facts = {"machine": None, "flags": [], "exports": [], "imports": [], "resources": [],
             "debug": []}
    block, entry = None, {}
    for raw in text.splitlines():
        line = raw.strip()
        if line in ("Export {", "Import {", "DebugEntry {"):
            block, entry = line.split()[0], {}
        elif line == "}" and block:
            if block == "Export" and entry.get("RVA", "0x0") != "0x0":  # the empty slot 0 has none
                facts["exports"].append((int(entry["Ordinal"]), entry.get("Name", "")))
            elif block == "Import":
                facts["imports"].append(entry.get("Name", ""))
            elif block == "DebugEntry":
                facts["debug"].append((entry.get("Type", ""), entry.get("PDBFileName")))
            block = None
        elif block and ": " in line:
            key, value = line.split(": ", 1)
            entry.setdefault(key, value)
        elif block and line.endswith(":"):  # a field with an empty value, such as slot 0's name
            entry.setdefault(line[:-1], "")
        elif line.startswith("Machine: "):
            facts["machine"] = line.split()[1]
        elif re.match(r"IMAGE_FILE_\w+ \(", line):
            facts["flags"].append(line.split()[0])
        elif line.startswith("Type: ") and "[" in line:
            facts["resources"].append(line.split()[1])
    return facts


def checks(facts):
    """(what the image must be, what it is, what it should be)"""
    codeview = [name for kind, name in facts["debug"] if kind.startswith("CodeView")]
    return [
        ("the machine is i386", facts["machine"], "IMAGE_FILE_MACHINE_I386"),
        ("the image is a DLL", "IMAGE_FILE_DLL" in facts["flags"], True),
        ("the exports with code are EnumerateDevices @1 and CreatePort @2, and nothing else",
         sorted(facts["exports"]), [(1, "EnumerateDevices"), (2, "CreatePort")]),
        ("it imports from KERNEL32.dll and SETUPAPI.dll only",
         sorted(name.upper() for name in facts["imports"]), ["KERNEL32.DLL", "SETUPAPI.DLL"]),
        ("it carries a version resource", "VERSIONINFO" in facts["resources"], True),
        ("its CodeView debug record names usb1284.pdb", codeview, ["usb1284.pdb"]),
    ]


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    failed = 0
    for label, got, want in checks(parse(describe(argv[1], argv[2]))):
        if got == want:
            print(f"ok: {label}")
        else:
            print(f"FAILED: {label}: got {got!r}, want {want!r}")
            failed = 1
    return failed


if __name__ == "__main__":
    sys.exit(main(sys.argv))

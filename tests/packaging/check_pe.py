#!/usr/bin/env python3
"""Checks the packaging of sweepwell.exe: one check per call, exit status 0 when it holds.

  check_pe.py subsystem OBJDUMP EXE     64-bit program for the Windows GUI subsystem
  check_pe.py imports OBJDUMP ALLOWED EXE   imports only DLLs listed (with * wildcards) in ALLOWED
  check_pe.py version EXE               version record 5.1.1.1, Brisca, Sweepwell
  check_pe.py icon EXE                  carries an application icon with several sizes

The version and icon checks need pefile (Debian's python3-pefile, for /usr/bin/python3).
"""
import fnmatch
import subprocess
import sys

EXPECTED_VERSION = (5, 1, 1, 1)
EXPECTED_STRINGS = {
    "CompanyName": "Brisca",
    "ProductName": "Sweepwell",
    "FileVersion": "5.1.1.1",
    "ProductVersion": "5.1.1.1",
    "OriginalFilename": "sweepwell.exe",
}
REQUIRED_STRINGS = ("FileDescription", "InternalName", "LegalCopyright")


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def objdump(tool, exe):
    return subprocess.run([tool, "-p", exe], check=True, capture_output=True,
                          text=True).stdout


def check_subsystem(tool, exe):
    header = objdump(tool, exe)
    lines = [l.split() for l in header.splitlines()]
    subsystem = [l for l in lines if l and l[0] == "Subsystem"]
    magic = [l for l in lines if l and l[0] == "Magic"]
    print("objdump: " + " ".join(subsystem[0]) if subsystem else "objdump: no Subsystem line")
    if not subsystem or subsystem[0][1:] != ["00000002", "(Windows", "GUI)"]:
        fail("the subsystem is not Windows GUI")
    if not magic or magic[0][1] != "020b":
        fail("not a 64-bit (PE32+) program")


def check_imports(tool, allowed_file, exe):
    with open(allowed_file) as f:
        allowed = [l.strip().lower() for l in f if l.strip() and not l.startswith("#")]
    dlls = [l.split("DLL Name:", 1)[1].strip() for l in objdump(tool, exe).splitlines()
            if "DLL Name:" in l]
    print("imports: " + ", ".join(dlls))
    if not dlls:
        fail("no import table found")
    foreign = [d for d in dlls if not any(fnmatch.fnmatch(d.lower(), p) for p in allowed)]
    if foreign:
        fail("imports DLLs that a bare Windows lacks: " + ", ".join(foreign))


def load(exe):
    import pefile  # only the resource checks need it
    return pefile, pefile.PE(exe)


def check_version(exe):
    pefile, pe = load(exe)
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        fail("no version record")
    fixed = fixed[0]

    def split(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    file_version = split(fixed.FileVersionMS, fixed.FileVersionLS)
    product_version = split(fixed.ProductVersionMS, fixed.ProductVersionLS)
    print("FILEVERSION %s, PRODUCTVERSION %s" % (file_version, product_version))
    if file_version != EXPECTED_VERSION or product_version != EXPECTED_VERSION:
        fail("fixed file or product version is not 5.1.1.1")
    strings = {}
    for info in getattr(pe, "FileInfo", []) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                for key, value in table.entries.items():
                    strings[key.decode("utf-8", "replace")] = value.decode("utf-8", "replace")
    for key in sorted(strings):
        print("  %s: %s" % (key, strings[key]))
    for key, value in EXPECTED_STRINGS.items():
        if strings.get(key) != value:
            fail("%s is %r, not %r" % (key, strings.get(key), value))
    for key in REQUIRED_STRINGS:
        if not strings.get(key):
            fail(key + " is missing")


def check_icon(exe):
    pefile, pe = load(exe)
    counts = {}
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in resources.entries if resources else []:
        if entry.id is not None:
            counts[entry.id] = len(entry.directory.entries)
    groups = counts.get(pefile.RESOURCE_TYPE["RT_GROUP_ICON"], 0)
    icons = counts.get(pefile.RESOURCE_TYPE["RT_ICON"], 0)
    print("icon groups: %d, icon images: %d" % (groups, icons))
    if groups < 1 or icons < 2:
        fail("no application icon with several sizes")


def main(argv):
    checks = {
        "subsystem": (check_subsystem, 2),
        "imports": (check_imports, 3),
        "version": (check_version, 1),
        "icon": (check_icon, 1),
    }
    if len(argv) < 2 or argv[1] not in checks or len(argv) - 2 != checks[argv[1]][1]:
        print(__doc__)
        return 2
    function, _ = checks[argv[1]]
    function(*argv[2:])
    print("PASS: " + argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

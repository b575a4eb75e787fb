#!/usr/bin/env python3
"""Checks the packaging of sweepwell.exe: one check per call, exit status 0 when it holds.

  check_pe.py subsystem OBJDUMP ARCH EXE   x64 or x86 program for the Windows GUI subsystem
  check_pe.py imports OBJDUMP ALLOWED EXE   imports only DLLs listed (with * wildcards) in ALLOWED
  check_pe.py functions OBJDUMP ALLOWED EXE imports, by name, only DLL!function lines of ALLOWED
  check_pe.py loads-on OBJDUMP M.N EXE  its header lets Windows M.N load it (OS and subsystem
                                        version at most M.N)
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


# The optional header's magic number for each architecture.
MAGIC = {"x64": ("020b", "a 64-bit (PE32+)"), "x86": ("010b", "a 32-bit (PE32)")}


def header_fields(tool, exe):
    """The optional header's lines of `objdump -p`, by their first word."""
    fields = {}
    for line in objdump(tool, exe).splitlines():
        words = line.split()
        if words and words[0] not in fields:
            fields[words[0]] = words[1:]
    return fields


def check_subsystem(tool, arch, exe):
    if arch not in MAGIC:
        fail("unknown architecture %r (x64 or x86)" % arch)
    fields = header_fields(tool, exe)
    subsystem = fields.get("Subsystem")
    magic = fields.get("Magic")
    print("objdump: Subsystem %s, Magic %s" % (" ".join(subsystem or ["?"]),
                                             " ".join(magic or ["?"])))
    if subsystem != ["00000002", "(Windows", "GUI)"]:
        fail("the subsystem is not Windows GUI")
    expected, what = MAGIC[arch]
    if not magic or magic[0] != expected:
        fail("not %s program" % what)


def check_loads_on(tool, oldest, exe):
    """Windows refuses a program whose header asks for a later OS or subsystem version."""
    try:
        limit = tuple(int(part) for part in oldest.split("."))
    except ValueError:
        fail("the version %r is not MAJOR.MINOR" % oldest)
    fields = header_fields(tool, exe)
    for name in ("OSystemVersion", "SubsystemVersion"):
        try:
            version = (int(fields["Major" + name][0]), int(fields["Minor" + name][0]))
        except (KeyError, IndexError, ValueError):
            fail("no %s in the header" % name)
        print("%s %d.%d" % (name, version[0], version[1]))
        if version > limit:
            fail("%s %d.%d is later than %s" % (name, version[0], version[1], oldest))


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


def imported_functions(tool, exe):
    """DLL!function for each import by name, DLL!#ordinal for each by ordinal."""
    imports = []
    dll = None
    for line in objdump(tool, exe).splitlines():
        if "DLL Name:" in line:
            dll = line.split("DLL Name:", 1)[1].strip()
            continue
        if dll is None:
            continue
        words = line.split()
        if not words:
            dll = None  # the end of this DLL's list
        elif len(words) == 3 and words[2] != "<none>":
            imports.append("%s!%s" % (dll, words[2]))
        elif words[0] != "vma:":
            imports.append("%s!#%s" % (dll, words[1] if len(words) > 1 else words[0]))
    return imports


def check_functions(tool, allowed_file, exe):
    with open(allowed_file) as f:
        allowed = set()
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                dll, function = line.split("!", 1)
                allowed.add((dll.lower(), function))
    imports = imported_functions(tool, exe)
    print("%d functions imported" % len(imports))
    if not imports:
        fail("no import table found")
    foreign = []
    for entry in imports:
        dll, function = entry.split("!", 1)
        if (dll.lower(), function) not in allowed:
            foreign.append(entry)
    if foreign:
        fail("imports functions missing from the list of the oldest Windows it must run on:\n  " +
             "\n  ".join(foreign))


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
        "subsystem": (check_subsystem, 3),
        "imports": (check_imports, 3),
        "functions": (check_functions, 3),
        "loads-on": (check_loads_on, 3),
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

#!/usr/bin/env python3
# Packaging checks of a built program, one a call; exit status 0 when it holds.
#   check_pe.py subsystem OBJDUMP ARCH EXE     an x64 or x86 program for the Windows GUI subsystem
#   check_pe.py imports OBJDUMP ALLOWED EXE    imports only DLLs listed (* wildcards) in ALLOWED
#   check_pe.py functions OBJDUMP ALLOWED EXE  imports by name only the DLL!function lines of ALLOWED
#   check_pe.py loads-on OBJDUMP M.N EXE       its header lets Windows M.N load it (OS and
#                                              subsystem versions at most M.N)
#   check_pe.py version EXE                    version record 5.1.1.1, Brisca, Sweepwell
#   check_pe.py icon EXE                       an application icon with several sizes
# The version and icon checks need pefile (Debian's python3-pefile, for /usr/bin/python3).
import fnmatch
import subprocess
import sys

MAGIC = {"x64": "020b", "x86": "010b"}  # the optional header's: PE32+ and PE32
# The version record's strings; None: any text but an empty one.
STRINGS = {"CompanyName": "Brisca", "ProductName": "Sweepwell", "FileVersion": "5.1.1.1",
           "ProductVersion": "5.1.1.1", "OriginalFilename": "sweepwell.exe",
           "FileDescription": None, "InternalName": None, "LegalCopyright": None}


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def objdump(tool, exe):
    """`objdump -p`: the header's fields by their first word, the DLLs imported,
    and DLL!function for each import by name (DLL!#ordinal for one by ordinal)."""
    out = subprocess.run([tool, "-p", exe], check=True, capture_output=True, text=True).stdout
    fields, dlls, imports, dll = {}, [], [], None
    for line in out.splitlines():
        words = line.split()
        if "DLL Name:" in line:
            dll = line.split("DLL Name:", 1)[1].strip()
            dlls.append(dll)
        elif not words:
            dll = None  # the end of this DLL's list
        elif dll is None:
            fields.setdefault(words[0], words[1:])
        elif len(words) == 3 and words[2] != "<none>":
            imports.append("%s!%s" % (dll, words[2]))
        elif words[0] != "vma:":
            imports.append("%s!#%s" % (dll, words[min(1, len(words) - 1)]))
    return fields, dlls, imports


def listed(path):
    with open(path) as f:
        return [line.strip() for line in f if line.strip() and not line.startswith("#")]


def check_subsystem(tool, arch, exe):
    fields = objdump(tool, exe)[0]
    print("Subsystem %s, Magic %s" % (fields.get("Subsystem"), fields.get("Magic")))
    if fields.get("Subsystem") != ["00000002", "(Windows", "GUI)"]:
        fail("the subsystem is not Windows GUI")
    if fields.get("Magic", [None])[0] != MAGIC.get(arch, arch):
        fail("not an %s program" % arch)


def check_loads_on(tool, oldest, exe):
    fields = objdump(tool, exe)[0]
    for name in ("OSystemVersion", "SubsystemVersion"):
        version = [int(fields.get(part + name, ["999"])[0]) for part in ("Major", "Minor")]
        print("%s %d.%d" % (name, version[0], version[1]))
        if version > [int(part) for part in oldest.split(".")]:
            fail("%s %d.%d is missing or later than %s" % (name, version[0], version[1], oldest))


def check_imports(tool, allowed_file, exe):
    allowed = [pattern.lower() for pattern in listed(allowed_file)]
    dlls = objdump(tool, exe)[1]
    print("imports: " + ", ".join(dlls))
    foreign = [d for d in dlls if not any(fnmatch.fnmatch(d.lower(), p) for p in allowed)]
    if foreign or not dlls:
        fail("imports DLLs that a bare Windows lacks, or none: " + ", ".join(foreign))


def check_functions(tool, allowed_file, exe):
    def key(entry):
        dll, function = entry.split("!", 1)
        return dll.lower(), function

    allowed = set(map(key, listed(allowed_file)))
    imports = objdump(tool, exe)[2]
    print("%d functions imported" % len(imports))
    foreign = [entry for entry in imports if key(entry) not in allowed]
    if foreign or not imports:
        fail("imports none, or functions missing from the list of the oldest Windows it must "
             "run on:\n  " + "\n  ".join(foreign))


def check_version(exe):
    import pefile
    pe = pefile.PE(exe)
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        fail("no version record")
    fixed = pe.VS_FIXEDFILEINFO[0]
    versions = [(ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF) for ms, ls in (
        (fixed.FileVersionMS, fixed.FileVersionLS), (fixed.ProductVersionMS, fixed.ProductVersionLS))]
    strings = {key.decode("utf-8", "replace"): value.decode("utf-8", "replace")
               for info in getattr(pe, "FileInfo", None) or [] for entry in info
               for table in getattr(entry, "StringTable", []) for key, value in table.entries.items()}
    print("FILEVERSION and PRODUCTVERSION %s, strings %s" % (versions, strings))
    if versions != [(5, 1, 1, 1)] * 2:
        fail("the fixed file or product version is not 5.1.1.1")
    for key, value in STRINGS.items():
        if not strings.get(key) or value not in (None, strings[key]):
            fail("%s is %r, not %r" % (key, strings.get(key), value or "some text"))


def check_icon(exe):
    import pefile
    resources = getattr(pefile.PE(exe), "DIRECTORY_ENTRY_RESOURCE", None)
    counts = {entry.id: len(entry.directory.entries)
              for entry in (resources.entries if resources else []) if entry.id is not None}
    groups = counts.get(pefile.RESOURCE_TYPE["RT_GROUP_ICON"], 0)
    icons = counts.get(pefile.RESOURCE_TYPE["RT_ICON"], 0)
    print("icon groups: %d, icon images: %d" % (groups, icons))
    if groups < 1 or icons < 2:
        fail("no application icon with several sizes")


CHECKS = {"subsystem": check_subsystem, "imports": check_imports, "functions": check_functions,
          "loads-on": check_loads_on, "version": check_version, "icon": check_icon}

if __name__ == "__main__":
    check = CHECKS.get(sys.argv[1] if len(sys.argv) > 1 else None)
    if not check or len(sys.argv) - 2 != check.__code__.co_argcount:
        print("usage: see the top of " + sys.argv[0])
        sys.exit(2)
    check(*sys.argv[2:])
    print("PASS: " + sys.argv[1])

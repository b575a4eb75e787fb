#!/usr/bin/env python3
# Packaging checks of a built program, one a call; exit status 0 when it holds.
#   check_pe.py subsystem x64|x86 EXE   a program of that kind for the Windows GUI subsystem
#   check_pe.py imports ALLOWED EXE     imports only DLLs listed (* wildcards) in ALLOWED
#   check_pe.py functions ALLOWED EXE   imports by name only the DLL!function lines of ALLOWED
#   check_pe.py loads-on M.N EXE        OS and subsystem versions in its header at most M.N
#   check_pe.py version EXE             version record 5.1.1.1, Brisca, Sweepwell
#   check_pe.py icon EXE                an application icon with several sizes
#   check_pe.py tsaware EXE             marked terminal-server aware
# Needs pefile (Debian's python3-pefile, for /usr/bin/python3).
import fnmatch
import sys

import pefile

STRINGS = {"CompanyName": "Brisca", "ProductName": "Sweepwell", "FileVersion": "5.1.1.1",
           "ProductVersion": "5.1.1.1", "OriginalFilename": "sweepwell.exe",
           "FileDescription": None, "InternalName": None, "LegalCopyright": None}


def listed(path):
    return [line.strip() for line in open(path) if line.strip() and not line.startswith("#")]


def imports(pe):  # DLL!function, or DLL!#ordinal for an import by ordinal
    return [(e.dll.decode(), i.name.decode() if i.name else "#%d" % i.ordinal)
            for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for i in e.imports]


def subsystem(pe, arch):
    h = pe.OPTIONAL_HEADER
    return h.Subsystem == 2 and h.Magic == {"x64": 0x20B, "x86": 0x10B}[arch]


def dlls(pe, allowed):
    names = {dll.lower() for dll, _ in imports(pe)}
    print("imports: %s" % sorted(names))
    return names and all(any(fnmatch.fnmatch(d, p.lower()) for p in listed(allowed)) for d in names)


def functions(pe, allowed):
    ok = {(d.lower(), f) for d, f in (line.split("!", 1) for line in listed(allowed))}
    foreign = [d + "!" + f for d, f in imports(pe) if (d.lower(), f) not in ok]
    print("%d functions imported; not on the list: %s" % (len(imports(pe)), foreign))
    return imports(pe) and not foreign


def loads_on(pe, oldest):
    h, limit = pe.OPTIONAL_HEADER, [int(p) for p in oldest.split(".")]
    found = [[h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion],
             [h.MajorSubsystemVersion, h.MinorSubsystemVersion]]
    print("OS and subsystem versions: %s" % found)
    return all(v <= limit for v in found)


def version(pe):
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    words = [fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
             fixed.ProductVersionLS] if fixed else []
    strings = {k.decode(): v.decode() for info in getattr(pe, "FileInfo", None) or [] for entry in info
               for table in getattr(entry, "StringTable", []) for k, v in table.entries.items()}
    print("fixed versions %s, strings %s" % ([hex(w) for w in words], strings))
    return words == [0x50001, 0x10001] * 2 and all(
        strings.get(k) and v in (None, strings[k]) for k, v in STRINGS.items())


def icon(pe):
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    counts = {e.id: len(e.directory.entries) for e in (root.entries if root else [])}
    groups, images = [counts.get(pefile.RESOURCE_TYPE[t], 0) for t in ("RT_GROUP_ICON", "RT_ICON")]
    print("icon groups: %d, images: %d" % (groups, images))
    return groups >= 1 and images >= 2


def tsaware(pe):
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    print("DllCharacteristics: %#06x" % flags)
    return flags & 0x8000 != 0  # IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE


CHECKS = {"subsystem": subsystem, "imports": dlls, "functions": functions, "loads-on": loads_on,
          "version": version, "icon": icon, "tsaware": tsaware}

if __name__ == "__main__":
    ok = CHECKS[sys.argv[1]](pefile.PE(sys.argv[-1]), *sys.argv[2:-1])
    print("PASS" if ok else "FAIL", sys.argv[1])
    sys.exit(0 if ok else 1)

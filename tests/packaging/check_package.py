#!/usr/bin/env python3
# Packaging checks that need no Windows, one a call; exit status 0 when it holds.
#
# Of a built program (read with pefile):
#   check_package.py subsystem x64|x86 EXE  a program of that kind for the Windows GUI subsystem
#   check_package.py imports ALLOWED EXE    imports only DLLs listed (* wildcards) in ALLOWED
#   check_package.py functions ALLOWED EXE  imports by name only the DLL!function lines of ALLOWED
#   check_package.py loads-on M.N EXE       OS and subsystem versions in its header at most M.N
#   check_package.py version V EXE          version record V (three or four numbers), Brisca,
#                                          Sweepwell, the program's own file name
#   check_package.py icon EXE               an application icon with several sizes
#   check_package.py tsaware EXE            marked terminal-server aware
#
# Of the deployment packages:
#   check_package.py task FILE             the task definition as shipped: UTF-16, daily as
#                                          SYSTEM, catches up, below-normal priority, time limit
#   check_package.py template SCHEMA ADMX ADML SOURCES
#                                          the administrative template: valid against the ADMX
#                                          schema SCHEMA (xmllint), every name it uses defined, its
#                                          three policies under the Policies key of the program's
#                                          settings key (found in SOURCES/app), each setting the
#                                          value, with the range, that the package's property does
#                                          (SOURCES/packaging/finish_msi.py)
#   check_package.py msi MSI ARCH VERSION  the package's task actions run deferred as SYSTEM, the
#                                          pre-Vista command line is the one schtasks expects, the
#                                          package is marked for its architecture, and its programs
#                                          have VERSION (as four numbers) in the File table
#
# Needs Debian's python3-pefile (for /usr/bin/python3), for the msi check msiinfo
# (Debian's msitools), and for the template check xmllint (Debian's libxml2-utils).
import fnmatch
import glob
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

import pefile

def expect(ok, message):
    if not ok:
        print("FAIL: " + message)
        sys.exit(1)


def listed(path):
    return [line.strip() for line in open(path) if line.strip() and not line.startswith("#")]


def imports(pe):  # DLL!function, or DLL!#ordinal for an import by ordinal
    return [(e.dll.decode(), i.name.decode() if i.name else "#%d" % i.ordinal)
            for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for i in e.imports]


def subsystem(pe, arch):
    h = pe.OPTIONAL_HEADER
    expect(h.Subsystem == 2 and h.Magic == {"x64": 0x20B, "x86": 0x10B}[arch],
           "subsystem %d, optional header magic %#x" % (h.Subsystem, h.Magic))


def dlls(pe, allowed):
    names = {dll.lower() for dll, _ in imports(pe)}
    expect(names and all(any(fnmatch.fnmatch(d, p.lower()) for p in listed(allowed)) for d in names),
           "imports: %s" % sorted(names))


def functions(pe, allowed):
    ok = {(d.lower(), f) for d, f in (line.split("!", 1) for line in listed(allowed))}
    foreign = [d + "!" + f for d, f in imports(pe) if (d.lower(), f) not in ok]
    expect(imports(pe) and not foreign,
           "%d functions imported; not on the list: %s" % (len(imports(pe)), foreign))


def loads_on(pe, oldest):
    h, limit = pe.OPTIONAL_HEADER, [int(p) for p in oldest.split(".")]
    found = [[h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion],
             [h.MajorSubsystemVersion, h.MinorSubsystemVersion]]
    expect(all(v <= limit for v in found), "OS and subsystem versions: %s" % found)


def version(path, text):
    pe = pefile.PE(path)
    numbers = [int(n) for n in (text + ".0").split(".")[:4]]
    words = [getattr(fixed, n) for fixed in (getattr(pe, "VS_FIXEDFILEINFO", None) or [])[:1]
             for n in ("FileVersionMS", "FileVersionLS", "ProductVersionMS", "ProductVersionLS")]
    strings = {k.decode(): v.decode() for info in getattr(pe, "FileInfo", None) or [] for entry in info
               for table in getattr(entry, "StringTable", []) for k, v in table.entries.items()}
    wanted = {"CompanyName": "Brisca", "ProductName": "Sweepwell", "FileVersion": text,
              "ProductVersion": text, "OriginalFilename": os.path.basename(path).lower(),
              "FileDescription": None, "InternalName": None, "LegalCopyright": None}
    expect(words == [numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]] * 2 and all(
        strings.get(k) and v in (None, strings[k]) for k, v in wanted.items()),
        "fixed versions %s, strings %s, not %s" % ([hex(w) for w in words], strings, text))


def icon(pe):
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    counts = {e.id: len(e.directory.entries) for e in (root.entries if root else [])}
    groups, images = [counts.get(pefile.RESOURCE_TYPE[t], 0) for t in ("RT_GROUP_ICON", "RT_ICON")]
    expect(groups >= 1 and images >= 2, "icon groups: %d, images: %d" % (groups, images))


def tsaware(pe):
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    # IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE
    expect(flags & 0x8000, "DllCharacteristics: %#06x" % flags)


def check_task(path):
    data = open(path, "rb").read()
    expect(data.startswith(b"\xff\xfe"), "no UTF-16 byte order mark")
    text = data.decode("utf-16")
    expect(text.startswith('<?xml version="1.0" encoding="UTF-16"?>'), "not declared UTF-16")
    task = ET.fromstring(text.replace('encoding="UTF-16"', 'encoding="UTF-8"', 1).encode())
    ns = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
    for where, wanted in [("Principals/Principal/UserId", "S-1-5-18"),
                          ("Triggers/CalendarTrigger/ScheduleByDay/DaysInterval", "1"),
                          ("Settings/StartWhenAvailable", "true"), ("Settings/Priority", "7")]:
        found = [e.text for e in task.findall(re.sub(r"(\w+)", r"t:\1", where), ns)]
        expect(found == [wanted], "%s is %r, not [%r]" % (where, found, wanted))
    limit = task.findtext("t:Settings/t:ExecutionTimeLimit", "", ns)  # zero would be none
    expect(re.fullmatch(r"P(\d+D)?(T(\d+H)?(\d+M)?(\d+S)?)?", limit) and re.search("[1-9]", limit),
           "no time limit: %r" % limit)
    principal = task.find("t:Principals/t:Principal", ns).get("id")
    expect(task.find("t:Actions", ns).get("Context") == principal, "the actions run as another")
    expect(task.findtext("t:Triggers/t:CalendarTrigger/t:Enabled", "true", ns) == "true",
           "the daily trigger is disabled")


def source_value(sources, pattern):  # the first match in the program's sources under app/
    for path in sorted(glob.glob(sources + "/app/*.*")):
        match = re.search(pattern, open(path, encoding="utf-8").read())
        if match:
            return re.sub(r"\\(.)", r"\1", match.group(1))
    expect(False, "nothing matches %s in %s/app" % (pattern, sources))


# The template's policies and the package properties that set the same values: the same value
# names and ranges (finish_msi.REMEMBERED), and a switch is 1 enabled, 0 disabled.
TEMPLATE_POLICIES = [("CleaningThreshold", "LIMIT", "decimal"), ("KeepRecentFiles", "KEEPDAYS", "decimal"),
                     ("SkipUndeletable", "SKIPUNDELETABLE", "switch")]


def check_template(schema, admx_path, adml_path, sources):
    out = subprocess.run(["xmllint", "--noout", "--schema", schema, admx_path, adml_path],
                         capture_output=True, text=True)
    expect(out.returncode == 0, "not valid against %s:\n%s" % (schema, out.stderr.strip()))
    gp = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
    ns = {"p": gp[1:-1]}
    admx, adml = ET.parse(admx_path).getroot(), ET.parse(adml_path).getroot()
    for kind, table in [("string", "stringTable/p:string"),
                        ("presentation", "presentationTable/p:presentation")]:
        named = {m for e in admx.iter() for v in e.attrib.values()
                 for m in re.findall(r"\$\(%s\.([^)]*)\)" % kind, v)}
        missing = named - {e.get("id") for e in adml.findall("p:resources/p:" + table, ns)}
        expect(named and not missing, "%ss not in the language file: %s" % (kind, sorted(missing)))
    policies = {p.get("name"): p for p in admx.findall("p:policies/p:policy", ns)}
    expect(sorted(policies) == sorted(name for name, _, _ in TEMPLATE_POLICIES),
           "the policies are %s" % sorted(policies))
    categories = {e.get("name") for e in admx.findall("p:categories/p:category", ns)}
    supported = {e.get("name") for e in admx.findall("p:supportedOn/p:definitions/p:definition", ns)}
    # Under the program's policy key, which Group Policy cleans up.
    text = lambda name: source_value(sources, r'\b%s\[\]\s*=\s*"((?:[^"\\]|\\.)*)"' % name)
    policy_key = text("kPolicyKey")
    sys.path.insert(0, os.path.join(sources, "packaging"))
    remembered = {r.prop: r for r in __import__("finish_msi").REMEMBERED}
    for prop, name in [("LIMIT", "kLimitValue"), ("KEEPDAYS", "kKeepDaysValue"),
                       ("SKIPUNDELETABLE", "kSkipUndeletableValue")]:
        expect(remembered[prop].value_name == text(name),
               "the package's %s sets %s, not the program's %s" % (prop, remembered[prop].value_name,
                                                                     text(name)))
    expect(remembered["KEEPDAYS"].maximum == int(source_value(sources, r"\bkMaxKeepDays\s*=\s*(\d+);")),
           "KEEPDAYS goes past the program's cap on KeepDays")
    for name, prop, kind in TEMPLATE_POLICIES:
        policy, setting = policies[name], remembered[prop]
        refs = [r.get("ref") in categories for r in policy.findall("p:parentCategory", ns)]
        expect(refs and all(refs) and all(r.get("ref") in supported for r in policy.findall("p:supportedOn", ns)),
               "%s is in no category of its own, or its supportedOn is not defined here" % name)
        # Each control of the presentation sets an element of the policy.
        shown = re.fullmatch(r"\$\(presentation\.(.*)\)", policy.get("presentation", "$(presentation.)"))
        shown = adml.find("p:resources/p:presentationTable/p:presentation[@id='%s']" % shown.group(1), ns)
        controls = {c.get("refId"): c for c in (shown if shown is not None else []) if c.get("refId")}
        elements = policy.findall("p:elements/*", ns)
        expect(set(controls) == {e.get("id") for e in elements},
               "%s: the presentation's controls are not the policy's elements" % name)
        found = [policy.get("class"), policy.get("key")]
        wanted = ["Machine", policy_key]
        if kind == "decimal":
            element = elements[0] if len(elements) == 1 else ET.Element("none")
            box = controls.get(element.get("id"), ET.Element("none"))
            found += [element.tag, element.get("valueName"), element.get("minValue"),
                      element.get("maxValue"), element.get("storeAsText", "false"),
                      element.get("required"), box.tag,
                      0 <= int(box.get("defaultValue", -1)) <= setting.maximum]
            wanted += [gp + "decimal", setting.value_name, "0", str(setting.maximum), "false", "true",
                       gp + "decimalTextBox", True]
        else:
            values = [policy.find("p:%sValue/p:decimal" % state, ns) for state in ("enabled", "disabled")]
            found += [len(elements), policy.get("valueName")] + [
                None if v is None else v.get("value") for v in values]
            wanted += [0, setting.value_name, "1", "0"]
        found, wanted = ([v.replace(gp, "") if isinstance(v, str) else v for v in l] for l in (found, wanted))
        expect(found == wanted, "%s: class, key and what it sets are\n  %s, not\n  %s" % (name, found, wanted))
    # The threshold's box offers the program's default.
    box = adml.find("p:resources/p:presentationTable/p:presentation[@id='CleaningThreshold']/"
                    "p:decimalTextBox", ns)
    default = source_value(sources, r"\bkDefaultLimitMB\s*=\s*(\d+);")
    expect(box is not None and box.get("defaultValue") == default,
           "the threshold's box does not offer the default of %s" % default)


def msi_table(msi, name):  # the rows of a table, as lists of strings
    out = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                         text=True).stdout
    return [line.rstrip("\r").split("\t") for line in out.splitlines()][3:]


def check_msi(msi, arch, version):
    info = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True, text=True)
    platform = {"x64": "x64;1033", "x86": "Intel;1033"}[arch]
    expect("\nTemplate: %s\n" % platform in "\n" + info.stdout, "the platform is not " + platform)
    rows = msi_table(msi, "CustomAction")  # Action Type Source Target
    tool = [r[2] for r in rows if r[3].endswith("schtasks.exe")]  # the property naming it
    task = [r for r in rows if tool and r[2] == tool[0] and not r[3].endswith("schtasks.exe")]
    expect(len(tool) == 1 and len(task) >= 2, "no actions run schtasks.exe: %r" % rows)
    for action, kind, *_ in task:  # deferred (0x400), not impersonated (0x800): as SYSTEM
        expect(int(kind) & 0xC00 == 0xC00, "%s (type %s) would not run as SYSTEM" % (action, kind))
    xp = [r[3] for r in task if "/create" in r[3] and "/xml" not in r[3]]
    expect(len(xp) == 1 and re.fullmatch(r'/create /tn Sweepwell /tr "\\"\[SweepwellFolder\]sweepwell'
                                         r'\.exe\\"" /sc daily /st \d\d:\d\d:\d\d /ru SYSTEM', xp[0]),
           "the pre-Vista /create actions are %r" % xp)
    # A program without a version in the File table is an unversioned file to Windows Installer.
    four = ".".join((version.split(".") + ["0"])[:4])
    programs = {r[2]: r[4] for r in msi_table(msi, "File") if r[2].endswith(".exe")}
    expect(sorted(programs) == ["sweepwell-preview.exe", "sweepwell.exe"] and
           set(programs.values()) == {four}, "File table versions %r, not %s" % (programs, four))


def program(check):  # a check of the program named last on the command line, read with pefile
    return lambda *args: check(pefile.PE(args[-1]), *args[:-1])


CHECKS = {"subsystem": program(subsystem), "imports": program(dlls), "functions": program(functions),
          "loads-on": program(loads_on), "version": lambda text, path: version(path, text),
          "icon": program(icon), "tsaware": program(tsaware), "task": check_task,
          "template": check_template, "msi": check_msi}

if __name__ == "__main__":
    CHECKS[sys.argv[1]](*sys.argv[2:])
    print("PASS: " + sys.argv[1])

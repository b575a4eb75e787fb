#!/usr/bin/env python3
"""Checks of the deployment packages that need no Windows; exit status 0 when they hold.

  check_package.py task FILE             the task definition as shipped: UTF-16, daily as
                                         SYSTEM, catches up, below-normal priority, time limit
  check_package.py template ADMX ADML SOURCES
                                         the administrative template: well-formed, every name it
                                         uses defined, and the value it sets the one the program
                                         reads (its key, name and default, found in SOURCES/app)
  check_package.py msi MSI ARCH          the package's task actions run deferred as SYSTEM, the
                                         pre-Vista command line splits as schtasks expects, and
                                         the package is marked for its architecture

The msi check reads the package with msiinfo (Debian's msitools).
"""
import glob
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def parse(path):
    try:
        return ET.parse(path).getroot()
    except ET.ParseError as error:
        fail("%s is not well-formed XML: %s" % (path, error))


# --- The task definition -------------------------------------------------------------

TASK_NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}

# (path under <Task>, what it must hold, why)
TASK_FIELDS = [
    ("t:Principals/t:Principal/t:UserId", "S-1-5-18", "runs as SYSTEM"),
    ("t:Triggers/t:CalendarTrigger/t:ScheduleByDay/t:DaysInterval", "1", "runs every day"),
    ("t:Settings/t:StartWhenAvailable", "true", "starts when available after a missed time"),
    ("t:Settings/t:Priority", "7", "runs at below-normal priority"),
]


def check_task(path):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"\xff\xfe"):
        fail("%s does not start with a UTF-16 byte order mark" % path)
    text = data.decode("utf-16")
    if not text.startswith('<?xml version="1.0" encoding="UTF-16"?>'):
        fail("the declaration does not say UTF-16: %r" % text[:60])
    try:
        task = ET.fromstring(text.encode("utf-8").replace(b'encoding="UTF-16"', b'encoding="UTF-8"', 1))
    except ET.ParseError as error:
        fail("the task definition is not well-formed XML: %s" % error)
    for where, expected, why in TASK_FIELDS:
        found = [e.text for e in task.findall(where, TASK_NS)]
        if found != [expected]:
            fail("%s: %s should be [%r], is %r" % (why, where, expected, found))
    # A limit of zero would mean none at all.
    limit = task.findtext("t:Settings/t:ExecutionTimeLimit", "", TASK_NS)
    if not re.fullmatch(r"P(\d+D)?(T(\d+H)?(\d+M)?(\d+S)?)?", limit) or not re.search("[1-9]", limit):
        fail("no time limit: ExecutionTimeLimit is %r" % limit)
    # The action runs in the principal named, and the trigger is on.
    principal = task.find("t:Principals/t:Principal", TASK_NS)
    context = task.find("t:Actions", TASK_NS).get("Context")
    if principal.get("id") != context:
        fail("the actions run as %r, the principal is %r" % (context, principal.get("id")))
    if task.findtext("t:Triggers/t:CalendarTrigger/t:Enabled", "true", TASK_NS) != "true":
        fail("the daily trigger is disabled")
    print("task: %s; time limit %s" % ("; ".join(w for _, _, w in TASK_FIELDS), limit))


# --- The administrative template --------------------------------------------------------

GP_NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
NS = {"p": GP_NS}


def source_value(sources, pattern):
    """The first match of `pattern` in the program's sources under app/."""
    for path in sorted(glob.glob(os.path.join(sources, "app", "*.*"))):
        with open(path, encoding="utf-8") as f:
            match = re.search(pattern, f.read())
        if match:
            return match.group(1)
    fail("nothing matches %s in %s/app" % (pattern, sources))


def c_string(sources, name):
    """The text of `const char name[] = "...";`."""
    text = source_value(sources, r'\b%s\[\]\s*=\s*"((?:[^"\\]|\\.)*)"' % name)
    return re.sub(r"\\(.)", r"\1", text)


def references(root, kind):
    """Every $(kind.id) named in an attribute anywhere in the tree."""
    found = set()
    for element in root.iter():
        for value in element.attrib.values():
            found.update(re.findall(r"\$\(%s\.([^)]*)\)" % kind, value))
    return found


def check_template(admx_path, adml_path, sources):
    admx, adml = parse(admx_path), parse(adml_path)
    for root, path in ((admx, admx_path), (adml, adml_path)):
        if root.tag not in ("{%s}policyDefinitions" % GP_NS, "{%s}policyDefinitionResources" % GP_NS):
            fail("%s: the root element %s is not in the template namespace" % (path, root.tag))

    strings = {e.get("id") for e in adml.findall("p:resources/p:stringTable/p:string", NS)}
    presentations = {e.get("id"): e for e in
                     adml.findall("p:resources/p:presentationTable/p:presentation", NS)}
    missing = sorted(references(admx, "string") - strings)
    if missing:
        fail("strings named in the template but not in the language file: %s" % ", ".join(missing))
    missing = sorted(references(admx, "presentation") - set(presentations))
    if missing:
        fail("presentations named in the template but not in the language file: %s"
             % ", ".join(missing))

    categories = {e.get("name") for e in admx.findall("p:categories/p:category", NS)}
    supported = {e.get("name") for e in admx.findall("p:supportedOn/p:definitions/p:definition", NS)}
    policies = admx.findall("p:policies/p:policy", NS)
    by_name = {p.get("name"): p for p in policies}
    if set(by_name) != {"CleaningThreshold"}:
        fail("the template should hold the one policy CleaningThreshold, holds %s" % sorted(by_name))
    policy = by_name["CleaningThreshold"]
    for ref in policy.findall("p:parentCategory", NS):
        if ref.get("ref") not in categories:
            fail("the policy's category %r is not defined here" % ref.get("ref"))
    if not policy.findall("p:parentCategory", NS):
        fail("the policy is in no category of its own")
    for ref in policy.findall("p:supportedOn", NS):
        if ref.get("ref") not in supported:
            fail("the policy's supportedOn %r is not defined here" % ref.get("ref"))

    # Each control of the presentation sets an element of the policy.
    elements = {e.get("id"): e for e in policy.find("p:elements", NS)}
    presentation = presentations[re.fullmatch(r"\$\(presentation\.(.*)\)",
                                              policy.get("presentation")).group(1)]
    controls = {c.get("refId"): c for c in presentation if c.get("refId") is not None}
    if set(controls) != set(elements):
        fail("the presentation's controls %s do not match the policy's elements %s"
             % (sorted(controls), sorted(elements)))

    # The value is the program's own, in megabytes from 0 to 4194303, a DWORD.
    key, value_name = c_string(sources, "kSettingsKey"), c_string(sources, "kLimitValue")
    default = int(source_value(sources, r"\bkDefaultLimitMB\s*=\s*(\d+)\s*;"))
    decimals = policy.findall("p:elements/p:decimal", NS)
    expected = [("class", policy.get("class"), "Machine"),
                ("key", policy.get("key"), key),
                ("decimal elements", len(decimals), 1)]
    if decimals:
        limit = decimals[0]
        box = controls.get(limit.get("id"))
        expected += [("valueName", limit.get("valueName"), value_name),
                     ("minValue", limit.get("minValue"), "0"),
                     ("maxValue", limit.get("maxValue"), "4194303"),
                     ("storeAsText", limit.get("storeAsText", "false"), "false"),
                     ("presentation", box.tag if box is not None else None,
                      "{%s}decimalTextBox" % GP_NS),
                     ("defaultValue", box.get("defaultValue") if box is not None else None,
                      str(default))]
    for what, found, wanted in expected:
        if found != wanted:
            fail("the policy's %s is %r, should be %r" % (what, found, wanted))
    print("template: policy CleaningThreshold sets HKLM\\%s\\%s (0 to 4194303, default %d); "
          "%d strings and %d presentation resolved" % (key, value_name, default,
                                                      len(references(admx, "string")),
                                                      len(references(admx, "presentation"))))


# --- The package's tables ----------------------------------------------------------------

def msi_table(msi, table):
    out = subprocess.run(["msiinfo", "export", msi, table], check=True, capture_output=True,
                         text=True).stdout
    rows = [line.rstrip("\r").split("\t") for line in out.splitlines()]
    return [dict(zip(rows[0], row)) for row in rows[3:]]


def split_command_line(text):
    """Arguments as a Windows program's C runtime splits them (quotes, backslashes before quotes)."""
    args, current, quoted, i, started = [], "", False, 0, False
    while i < len(text):
        c = text[i]
        if c == "\\":
            j = i
            while j < len(text) and text[j] == "\\":
                j += 1
            if j < len(text) and text[j] == '"':
                current += "\\" * ((j - i) // 2)
                if (j - i) % 2:
                    current += '"'
                    i = j + 1
                else:
                    i = j
                started = True
                continue
            current += text[i:j]
            i, started = j, True
            continue
        if c == '"':
            quoted, started = not quoted, True
        elif c in " \t" and not quoted:
            if started:
                args.append(current)
            current, started = "", False
        else:
            current += c
            started = True
        i += 1
    if started:
        args.append(current)
    return args


TEMPLATES = {"x64": "x64;1033", "x86": "Intel;1033"}
DEFERRED, NO_IMPERSONATE = 0x400, 0x800


def check_msi(msi, arch):
    info = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True,
                          text=True).stdout
    template = re.search(r"^Template: (.*)$", info, re.M)
    if not template or template.group(1) != TEMPLATES[arch]:
        fail("the package's platform is %r, not %r" % (template and template.group(1),
                                                     TEMPLATES[arch]))
    actions = msi_table(msi, "CustomAction")
    tool = [a for a in actions if a["Target"].endswith("schtasks.exe")]
    if len(tool) != 1:
        fail("no single action names schtasks.exe: %r" % actions)
    task_actions = [a for a in actions if a["Source"] == tool[0]["Source"] and a is not tool[0]]
    if len(task_actions) < 2:
        fail("no actions run schtasks.exe")
    for action in task_actions:
        kind = int(action["Type"])
        if kind & DEFERRED == 0 or kind & NO_IMPERSONATE == 0:
            fail("%s (type %d) is not deferred and unimpersonated: it would not run as SYSTEM"
                 % (action["Action"], kind))
    # Before Vista: the program's path quoted inside the /tr argument, the
    # start time with seconds, SYSTEM, daily.
    folder = "C:\\Program Files\\Sweepwell\\"
    creates = [a for a in task_actions if "/create" in a["Target"] and "/xml" not in a["Target"]]
    if len(creates) != 1:
        fail("one pre-Vista /create action expected, found %d" % len(creates))
    args = split_command_line(creates[0]["Target"].replace("[SweepwellFolder]", folder))
    options = {args[i].lower(): args[i + 1] for i in range(1, len(args) - 1) if args[i].startswith("/")}
    expected = {"/tn": "Sweepwell", "/tr": '"%ssweepwell.exe"' % folder, "/sc": "daily",
                "/ru": "SYSTEM"}
    for option, value in expected.items():
        if options.get(option) != value:
            fail("pre-Vista %s is %r, should be %r (arguments %r)"
                 % (option, options.get(option), value, args))
    if not re.fullmatch(r"\d\d:\d\d:\d\d", options.get("/st", "")):
        fail("pre-Vista /st %r is not HH:MM:SS" % options.get("/st"))
    print("msi: %s; %d task actions deferred as SYSTEM; pre-Vista form %r"
          % (TEMPLATES[arch], len(task_actions), args))


def main(argv):
    commands = {"task": (check_task, 1), "template": (check_template, 3), "msi": (check_msi, 2)}
    if len(argv) < 2 or argv[1] not in commands or len(argv) - 2 != commands[argv[1]][1]:
        print(__doc__)
        return 2
    commands[argv[1]][0](*argv[2:])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
# Usage: finish_msi.py MSI ARCH STAGE EPOCH
# Writes into a package that wixl (msitools 0.101) built from packaging/sweepwell.wxs what
# wixl cannot, through msibuild's SQL; ARCH is x64 or x86, STAGE the folder of the files
# packed, EPOCH the time the package says it was made (seconds since 1970):
#  - the remembered properties (REMEMBERED below);
#  - the secure properties: those an installation's privileged part must receive however the
#    package is started;
#  - the versions of the programs in the File table (wixl leaves them empty, which makes them
#    unversioned files to Windows Installer), taken from their version records;
#  - a major upgrade that also replaces an installed version differing in the fourth number
#    only (Windows Installer compares three);
#  - the size of the package's files for the entry under installed programs, and the
#    registry written after that entry, which Windows Installer writes over under Wine;
#  - and last, a package that is the same on every build of the same sources: the summary's
#    times are EPOCH, and its package code is derived from the package's content
#    (msi_summary.py).
# Needs msibuild and msiinfo (Debian's msitools) and Debian's python3-pefile.
import collections
import os
import subprocess
import sys
import uuid

import pefile

from msi_summary import fix_summary

SETTINGS_KEY = r"SOFTWARE\Brisca\Sweepwell"

# The public properties the packages remember. Given at install (msiexec /i ... KEEPDAYS=7), a
# property's value is written to the settings key as a REG_DWORD, and every later run of a package
# (a re-run, a repair, an upgrade) reads it back from there unless it is given again, so that it
# writes what is stored: what an administrator set by hand stays as it is. Within the installation
# the property holds the value as the registry search gives it back and the Registry table writes
# it: "#7". With a default, a first installation given nothing takes it; without one, nothing is
# written unless the property is given or was stored. A property is "kept" when removing the
# package leaves its value (its component is permanent); the others are removed with the package.
#
# A given value must be a whole number from 0 to its maximum, or the installation is refused
# with the message (a launch condition, see range_condition).
Remembered = collections.namedtuple("Remembered", "prop value_name default maximum kept message")
REMEMBERED = [
    Remembered("CREATETASK", "CreateTask", "1", 1, False,
               "CREATETASK is 0 (no daily task) or 1 (the daily task)."),
    Remembered("LIMIT", "Limit", None, 4194303, True,
               "LIMIT is the cleaning threshold in megabytes, a whole number from 0 to 4194303."),
    Remembered("KEEPDAYS", "KeepDays", None, 36500, True,
               "KEEPDAYS is the number of days recent temporary files are kept, a whole number "
               "from 0 (none kept) to 36500."),
    Remembered("SKIPUNDELETABLE", "SkipUndeletable", None, 1, True,
               "SKIPUNDELETABLE is 0 (a file that cannot be deleted stops the cleaning of its "
               "folder) or 1 (the cleaning goes on past it)."),
]

HKLM = 2
LOCATOR_RAW, LOCATOR_64BIT = 2, 16                           # RegLocator.Type
COMPONENT_REGISTRY_KEY_PATH, COMPONENT_PERMANENT, COMPONENT_64BIT = 4, 16, 256  # Component.Attributes
SET_PROPERTY = 51                                            # CustomAction.Type
UPGRADE_VERSION_MAX_INCLUSIVE = 512                          # Upgrade.Attributes


def export(msi, name):  # a table's column names and rows, as lists of strings
    out = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                         text=True).stdout
    lines = [line.rstrip("\r").split("\t") for line in out.splitlines()]
    return lines[0], lines[3:]


def table(msi, name):
    return export(msi, name)[1]


def sql(text):  # a string literal of msibuild's SQL, which knows no escapes
    if "'" in text:
        raise ValueError("no quotes in SQL strings: " + text)
    return "'" + text + "'"


def inserter(msi):  # insert(TABLE, VALUES...): a row of every column, None for an empty one
    columns = {}

    def insert(name, *values):
        names = columns.setdefault(name, export(msi, name)[0])
        given = [(c, v) for c, v in zip(names, values) if v is not None]
        return "INSERT INTO `%s` (%s) VALUES (%s)" % (
            name, ", ".join("`%s`" % c for c, _ in given),
            ", ".join(str(v) if isinstance(v, int) else sql(v) for _, v in given))
    return insert


def range_condition(prop, check, maximum):
    """A condition that holds when PROP is a whole number from 0 to MAXIMUM, CHECK being a
    property that holds "1" followed by PROP's value.

    Windows Installer compares a value of digits as a 32-bit integer: Wine takes it modulo
    2**32 (4294967301 compares as 5), and so does the Registry table that writes it. "1" in
    front of the value tells such a number from a short one: for a number N of k digits CHECK
    is 10**k + N, more than N and at most 10**k + MAXIMUM; for a number of 10 digits or more
    it moves by 10**length modulo 2**32, which is 0 (CHECK is not more than PROP) or at least
    268435456, past 10**k + MAXIMUM for a MAXIMUM of at most 8 digits. A sign, blanks or any
    other character make PROP or CHECK no number, and a comparison with a number then fails.
    Leading zeros pass as long as CHECK stays in range ("07" is 7)."""
    if not 0 <= maximum <= 99999999:
        raise ValueError("the check is exact for maxima of at most 8 digits, not %d" % maximum)
    return "%s >= 0 AND %s <= %d AND %s > %s AND %s <= %d" % (
        prop, prop, maximum, check, prop, check, 10 ** len(str(maximum)) + maximum)


def remembered_rows(msi, arch, feature, namespace):
    insert, queries, secure = inserter(msi), [], []
    if "AppSearch" not in {row[0] for row in table(msi, "InstallExecuteSequence")}:
        queries.append(insert("InstallExecuteSequence", "AppSearch", None, 50))
    for index, (prop, value_name, default, maximum, kept, message) in enumerate(REMEMBERED):
        stored, component, check = "Stored_" + prop, "Remember_" + prop, "Check_" + prop
        attributes = COMPONENT_REGISTRY_KEY_PATH | (COMPONENT_PERMANENT if kept else 0) | (
            COMPONENT_64BIT if arch == "x64" else 0)
        queries += [
            # Both sequences check a given value before anything else: the launch conditions
            # see the value as given, before it is remembered.
            insert("CustomAction", "Check_" + prop, SET_PROPERTY, check, "1[%s]" % prop),
            insert("InstallUISequence", "Check_" + prop, None, 60 + index),
            insert("InstallExecuteSequence", "Check_" + prop, None, 60 + index),
            insert("LaunchCondition", "NOT %s OR (%s)" % (prop, range_condition(prop, check, maximum)),
                   message),
            insert("RegLocator", stored, HKLM, SETTINGS_KEY, value_name,
                   LOCATOR_RAW | (LOCATOR_64BIT if arch == "x64" else 0)),
            insert("AppSearch", stored, stored),
            insert("CustomAction", "RememberGiven_" + prop, SET_PROPERTY, prop, "#[%s]" % prop),
            insert("CustomAction", "RememberStored_" + prop, SET_PROPERTY, prop, "[%s]" % stored),
            # After LaunchConditions.
            insert("InstallExecuteSequence", "RememberGiven_" + prop, prop, 200 + 10 * index),
            insert("InstallExecuteSequence", "RememberStored_" + prop,
                   "NOT %s AND %s" % (prop, stored), 201 + 10 * index),
            insert("Component", component,
                   "{%s}" % str(uuid.uuid5(namespace, component + " " + arch)).upper(),
                   "TARGETDIR", attributes, prop, component),
            insert("Registry", component, HKLM, SETTINGS_KEY, value_name, "[%s]" % prop, component),
            insert("FeatureComponents", feature, component),
        ]
        if default is not None:
            queries += [
                insert("CustomAction", "RememberDefault_" + prop, SET_PROPERTY, prop, "#" + default),
                insert("InstallExecuteSequence", "RememberDefault_" + prop,
                       "NOT %s AND NOT Installed" % prop, 202 + 10 * index),
            ]
        secure.append(prop)
    return queries, secure


def file_versions(msi, stage):
    queries = []
    for file_key, _, name, *_ in table(msi, "File"):
        path = os.path.join(stage, name.split("|")[-1])
        if not path.lower().endswith(".exe"):
            continue
        fixed = pefile.PE(path).VS_FIXEDFILEINFO[0]
        version = "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                                   fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
        # A versioned file has no hash: Windows Installer compares versions instead.
        queries += ["UPDATE `File` SET `Version` = %s, `Language` = '1033' WHERE `File` = %s"
                    % (sql(version), sql(file_key)),
                    "DELETE FROM `MsiFileHash` WHERE `File_` = %s" % sql(file_key)]
    return queries


def finish_tables(msi, arch, stage):
    properties = dict(row[:2] for row in table(msi, "Property"))
    namespace = uuid.UUID(properties["UpgradeCode"])
    feature = table(msi, "Feature")[0][0]
    queries, secure = remembered_rows(msi, arch, feature, namespace)
    queries += file_versions(msi, stage)

    # Attributes is part of the Upgrade table's key: the row is made anew.
    for code, vmin, vmax, language, attributes, remove, prop in table(msi, "Upgrade"):
        if vmax == properties["ProductVersion"]:
            queries += ["DELETE FROM `Upgrade` WHERE `ActionProperty` = %s" % sql(prop),
                        inserter(msi)("Upgrade", code, vmin or None, vmax, language or None,
                                      int(attributes) | UPGRADE_VERSION_MAX_INCLUSIVE,
                                      remove or None, prop)]

    size_kb = sum((int(row[3]) + 1023) // 1024 for row in table(msi, "File"))
    secure += properties.get("SecureCustomProperties", "").split(";")
    queries += [inserter(msi)("Property", "SweepwellSizeKB", str(size_kb)),
                "UPDATE `Property` SET `Value` = %s WHERE `Property` = 'SecureCustomProperties'"
                % sql(";".join(sorted(set(p for p in secure if p)))),
                "UPDATE `InstallExecuteSequence` SET `Sequence` = 6150 "
                "WHERE `Action` = 'WriteRegistryValues'"]
    command = ["msibuild", msi]
    for query in queries:
        command += ["-q", query]
    subprocess.run(command, check=True)


if __name__ == "__main__":
    msi, arch, stage, epoch = sys.argv[1:]
    finish_tables(msi, arch, stage)
    fix_summary(msi, int(epoch))

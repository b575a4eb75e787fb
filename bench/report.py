#!/usr/bin/env python3
"""Turns the benchmark runs of scripts/bench.sh into Markdown tables.

Usage:
  report.py native FOLDER_WALK.json PATTERN_LIST.json
  report.py wine RUNS.csv [SYSCALLS.csv]

native: Google Benchmark's JSON output (with repetitions; medians are used).
wine:   one line per timed run: kind,program,entries,round,seconds,cpu_seconds,max_rss_kb,left
        (kind "forced" or "gated"; left = entries of the temporary folder after the run);
        and one per counted run: kind,program,entries,syscalls.
Ratios are taken per round (runs of one round are back to back on the same tree) and
the median of those ratios is reported, with the lowest and highest.
"""
import csv
import json
import statistics
import sys


def median(values):
    return statistics.median(values) if values else float("nan")


def spread(values):
    return "%.3f (%.3f-%.3f)" % (median(values), min(values), max(values)) if values else "n/a"


def Rate(per_second):
    return "%.1fM" % (per_second / 1e6) if per_second >= 1e6 else "%.0fk" % (per_second / 1e3)


def native(walk_json, pattern_json):
    per_entry = {}
    extra = {}
    for path in (walk_json,):
        for run in json.load(open(path))["benchmarks"]:
            if run.get("aggregate_name", "median") != "median":
                continue
            name = run["run_name"] if "run_name" in run else run["name"]
            function, size = name.split("/")[:2]  # "BM_x/100000[/repeats:3]"
            per_entry[(function, int(size))] = run["per_entry"] * 1e9
            extra[(function, int(size))] = run
    sizes = sorted({size for _, size in per_entry})
    rows = [
        ("BM_Estimate", "estimate, GetReclaimableKB"),
        ("BM_FloorEstimate", "floor: one listing per folder, sizes summed"),
        ("BM_Purge", "purge, PurgeFolder"),
        ("BM_FloorPurge", "floor: one depth-first delete"),
        ("BM_FinderRecursive", "recursive CFileFinder, \"*.tmp\" (results kept)"),
        ("BM_EstimateOverFake", "estimate over the in-memory fake"),
        ("BM_PurgeOverFake", "purge over the in-memory fake"),
    ]
    # Growth is from the first size to the second (100,000 to 1,000,000 entries).
    first, second = sizes[0], sizes[1] if len(sizes) > 1 else sizes[0]
    out = ["| What (SyntheticPlatform unless said) | "
           + " | ".join("ns per entry (entries/s) at %s" % format(s, ",") for s in sizes)
           + " | growth %s to %s | heap peak at %s | allocations per run at %s / %s |"
           % (format(first, ","), format(second, ","), format(second, ","),
              format(first, ","), format(second, ",")),
           "|---|" + "---:|" * len(sizes) + "---:|---:|---:|"]
    for function, label in rows:
        if (function, first) not in per_entry or (function, second) not in per_entry:
            continue
        values = ["%.1f (%s)" % (per_entry[(function, s)], Rate(1e9 / per_entry[(function, s)]))
                  if (function, s) in per_entry else "-" for s in sizes]
        growth = per_entry[(function, second)] / per_entry[(function, first)]
        last = extra[(function, second)]
        heap = ("%d B" % last["heap_peak"]) if "heap_peak" in last else "n/a"
        if "heap_peak" in last and last["heap_peak"] >= 1 << 20:
            heap = "%.0f MiB" % (last["heap_peak"] / (1 << 20))
        allocations = "n/a"
        if "allocs" in last:
            allocations = " / ".join(
                format(round(extra[(function, s)]["allocs"], 1), ",") for s in (first, second))
        out.append("| %s | %s | %.2fx | %s | %s |" % (
            label, " | ".join(values), growth, heap, allocations))
    for product, floor in (("BM_Estimate", "BM_FloorEstimate"), ("BM_Purge", "BM_FloorPurge")):
        both = [s for s in sizes if (product, s) in per_entry and (floor, s) in per_entry]
        if both:
            out.append("")
            out.append("%s / %s: %s" % (product, floor, ", ".join(
                "%.2fx at %s" % (per_entry[(product, s)] / per_entry[(floor, s)], format(s, ","))
                for s in both)))
    out.append("")
    out.append("| Matcher (MatchPatternList) | ns/name |")
    out.append("|---|---:|")
    for run in json.load(open(pattern_json))["benchmarks"]:
        if run.get("aggregate_name", "median") != "median":
            continue
        name = run.get("run_name", run["name"])
        out.append("| %s | %.1f |" % (name, 1e9 / run["items_per_second"]))
    print("\n".join(out))


def wine(runs_csv, calls_csv=None):
    runs = list(csv.DictReader(open(runs_csv)))
    for run in runs:
        run["seconds"] = float(run["seconds"])
        run["cpu_seconds"] = float(run["cpu_seconds"])
        run["max_rss_kb"] = int(run["max_rss_kb"] or 0)

    def select(kind, program, entries=None):
        return [r for r in runs if r["kind"] == kind and r["program"] == program
                and (entries is None or r["entries"] == entries)]

    def per_round(kind, numerator, denominator, entries=None, field="seconds"):
        by_round = {}
        for r in runs:
            if r["kind"] == kind and (entries is None or r["entries"] == entries):
                by_round.setdefault(r["round"], {})[r["program"]] = r[field]
        return [v[numerator] / v[denominator] for v in by_round.values()
                if v.get(numerator) and v.get(denominator)]

    out = []
    sizes = sorted({r["entries"] for r in runs if r["kind"] == "forced"}, key=int)
    programs = ["sweepwell", "floor", "floor+extras", "tools"]
    labels = {
        "sweepwell": "`sweepwell.exe 1` (Limit 0)",
        "floor": "`floor.exe`",
        "floor+extras": "`floor.exe attrs rmfirst`",
        "tools": "`cmd /c dir /s /a` + `rd /s /q`",
    }
    if sizes:
        out.append("| Files in the temporary folder | " + " | ".join(
            format(int(s), ",") for s in sizes) + " |")
        out.append("|---|" + "---:|" * len(sizes))
        for field, what in (("seconds", "wall seconds"),
                            ("cpu_seconds", "CPU seconds (process + wineserver)")):
            for program in programs:
                if select("forced", program):
                    out.append("| %s, median %s | %s |" % (labels[program], what, " | ".join(
                        "%.2f" % median([r[field] for r in select("forced", program, s)])
                        for s in sizes)))
        for numerator, denominator, label, field in (
                ("sweepwell", "floor", "**sweepwell / floor, wall time**", "seconds"),
                ("sweepwell", "floor", "sweepwell / floor, CPU time", "cpu_seconds"),
                ("floor+extras", "floor", "floor with sweepwell's extra calls / floor, wall time",
                 "seconds"),
                ("sweepwell", "floor+extras", "sweepwell / floor with its extra calls, wall time",
                 "seconds"),
                ("tools", "floor", "Windows' tools / floor, wall time", "seconds")):
            cells = [spread(per_round("forced", numerator, denominator, s, field)) for s in sizes]
            if any(c != "n/a" for c in cells):
                out.append("| %s: median of per-round ratios (range) | %s |"
                           % (label, " | ".join(cells)))
        rounds = len({r["round"] for r in runs if r["kind"] == "forced"}) // len(sizes)
        out.append("")
        out.append("%d rounds per size; in each, every program ran once on a freshly made tree, "
                   "in an order that rotates from round to round." % rounds)
        bad = [r for r in runs if r["kind"] == "forced" and r["program"] != "tools"
               and r["left"] != "63"]
        if bad:
            out.append("")
            out.append("WARNING: %d runs left more than the 3 kept folders and their 60 files."
                       % len(bad))

    gated = per_round("gated", "sweepwell", "noop")
    if gated:
        out.append("")
        out.append("| Start | median wall seconds |")
        out.append("|---|---:|")
        for program, label in (("noop", "`noop.exe` (WinMain returns 0)"),
                               ("registry_noop", "`registry_noop.exe` (ADVAPI32 loaded)"),
                               ("sweepwell", "`sweepwell.exe`, same day, no arguments")):
            if select("gated", program):
                out.append("| %s | %.4f |"
                           % (label, median([r["seconds"] for r in select("gated", program)])))
        for numerator, denominator, label in (
                ("sweepwell", "noop", "**gated start / do-nothing program**"),
                ("registry_noop", "noop", "do-nothing program with ADVAPI32 / without"),
                ("sweepwell", "registry_noop", "gated start / do-nothing program with ADVAPI32")):
            ratios = per_round("gated", numerator, denominator)
            if ratios:
                out.append("| %s: median of %d per-round ratios (range) | %s |"
                           % (label, len(ratios), spread(ratios)))

    if calls_csv:
        counted = {(r["kind"], r["program"]): (int(r["entries"]), int(r["syscalls"] or 0))
                   for r in csv.DictReader(open(calls_csv))}
        out.append("")
        out.append("| System calls of one run (strace -f -c) | calls | ratio |")
        out.append("|---|---:|---:|")
        for kind, program, base, label in (
                ("forced", "floor", "floor", "`floor.exe`"),
                ("forced", "floor+extras", "floor", "`floor.exe attrs rmfirst`"),
                ("forced", "sweepwell", "floor", "`sweepwell.exe 1` (Limit 0)"),
                ("gated", "noop", "noop", "`noop.exe`"),
                ("gated", "registry_noop", "noop", "`registry_noop.exe`"),
                ("gated", "sweepwell", "noop", "`sweepwell.exe`, gated start")):
            if (kind, program) in counted and (kind, base) in counted:
                entries, calls = counted[(kind, program)]
                where = " on %s files" % format(entries, ",") if kind == "forced" else ""
                out.append("| %s%s | %s | %.3f |" % (label, where, format(calls, ","),
                                                    calls / counted[(kind, base)][1]))

    rows = []
    for program, label in (("noop", "`noop.exe`"), ("registry_noop", "`registry_noop.exe`"),
                           ("sweepwell", "`sweepwell.exe`, gated start")):
        values = [r["max_rss_kb"] for r in select("gated", program)]
        if values:
            rows.append((label, ["%.1f" % (median(values) / 1024)] * max(1, len(sizes))))
    for program in ("floor", "sweepwell"):
        cells = []
        for s in sizes:
            values = [r["max_rss_kb"] for r in select("forced", program, s)]
            cells.append("%.1f" % (median(values) / 1024) if values else "n/a")
        if sizes:
            rows.append(("%s, forced run" % labels[program], cells))
    if rows:
        out.append("")
        heads = ["%s files" % format(int(s), ",") for s in sizes] or ["any"]
        out.append("| Peak resident memory of the Wine process, MiB (median) | "
                   + " | ".join(heads) + " |")
        out.append("|---|" + "---:|" * len(heads))
        for label, cells in rows:
            out.append("| %s | %s |" % (label, " | ".join(cells)))
    print("\n".join(out))


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "native" and len(sys.argv) == 4:
        native(sys.argv[2], sys.argv[3])
    elif len(sys.argv) in (3, 4) and sys.argv[1] == "wine":
        wine(*sys.argv[2:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

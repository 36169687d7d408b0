#!/usr/bin/python3
"""Runs Tavrolinde's benchmark and writes its report, or judges a run's saved samples again.

    bench.py BUILD_DIR [--only NAME[,NAME...]] [--pairs N]
    bench.py --from SAMPLES_FILE

NAME is a measure (its section of BENCHMARKS.md) or one of its cases, such as flat-1000. Each
case runs tavrolinde_bench.exe under Wine for the samples, and within the time limit, of its
row of CASES; --pairs N takes N pairs in every timed case. A full run writes the samples to
benchmarks-samples.json, then BENCHMARKS.md and its chart; --only writes bench-samples.json,
bench-report.md and the chart in BUILD_DIR. --from prints the report of saved samples.
Status: 0 no MISS, 1 a MISS, 2 no verdict."""
import argparse
import datetime
import json
import os
import platform
import re
import signal
import subprocess
import sys
import time
import traceback
from typing import NamedTuple, Optional, Tuple

# The status of a run that gives no verdict: never a MISS's 1.
NO_VERDICT = 2
try:
    import numpy as np
    from scipy.stats import mstats
except ImportError as missing:
    print(f"bench: no verdict: {missing}", file=sys.stderr)
    sys.exit(NO_VERDICT)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONFIDENCE = 0.95
# The interval of a median from order statistics needs this many pairs to reach 95 %.
LEAST_PAIRS = 6
MEMORY_NOISE_KIB = 64
FLOOR = "the floor dialog"
BARE = "the bare enumeration"
STARTUP_FLOOR = FLOOR + ", listing nothing"
# The baselines' short names, in the report's summary.
SHORT = {FLOOR: "floor", STARTUP_FLOOR: "floor", BARE: "bare"}
# What a memory sample reads, in KiB: after the listing, then after the ticks.
MEMORY_SIDES = ("working set, listing", "page file, listing", "working set, ticks",
                "page file, ticks")


class Case(NamedTuple):
    name: str  # the driver's case
    measure: str  # its section of BENCHMARKS.md
    label: str
    samples: int  # pairs of a timed case, rounds of memory, windows of idle time
    limit: int  # seconds the case may take at its own count; more samples, more time
    baselines: Tuple[Tuple[str, Optional[float]], ...] = ()  # after Tavrolinde's, with targets


# The counts are fixed before the run, for a full run within four minutes; BENCHMARKS.md says
# why each. A limit is about ten times its case's work on the 32-bit build (at 100 and 1,000
# windows, four times its work with the list left to redraw), so that only a hang ends a run.
CASES = [
    Case("startup", "startup", "Start-up: launch until the dialog is ready and painted", 8, 60,
         ((STARTUP_FLOOR, 1.1),)),
    Case("refresh", "toplevel", "Refresh, 1,000 extra top-level windows", 12, 150, ((FLOOR, 1.1),)),
    *(Case(f"{shape}-{size}", "descendants", f"Descendant listing, {shape}, {size:,} windows",
           8 if size < 10000 else 7, {100: 60, 1000: 300, 10000: 600}[size],
           ((FLOOR, 1.1), (BARE, 1.2 if size == 10000 else None)))
      for size in (100, 1000, 10000) for shape in ("flat", "nested")),
    Case("memory", "memory", "Rounds of one process's work", 4, 240),
    Case("idle", "idle", "Processor time with the toggle out, per 2 s", 3, 60),
]
CASE = {case.name: case for case in CASES}
MEASURES = list(dict.fromkeys(case.measure for case in CASES))


class NoVerdict(Exception):
    """The benchmark could not give a verdict."""


def sides(case):
    return MEMORY_SIDES if case.measure == "memory" else ("Tavrolinde", *dict(case.baselines))


def interval(values):
    """The median of `values` and its 95 % distribution-free interval: the
    Hettmansperger-Sheather interval, from the order statistics around the median."""
    values = np.asarray(values)
    if np.ptp(values) == 0:
        return values[0], values[0], values[0]
    low, high = mstats.median_cihs(values, alpha=1 - CONFIDENCE)
    return np.median(values), low, high


def run_case(build, case, count):
    binary = os.path.join(build, "bin")
    samples_file = f"bench-{case.name}.txt"
    path = os.path.join(binary, samples_file)
    if os.path.exists(path):
        os.remove(path)
    limit = case.limit * max(1, count / case.samples)
    began = time.monotonic()
    # A group of its own, so that a case past its limit ends with all it started.
    with subprocess.Popen([os.path.join(ROOT, "scripts", "wine-run.sh"), build,
                           os.path.join(binary, "tavrolinde_bench.exe"), case.name,
                           str(count), samples_file], start_new_session=True) as driver:
        try:
            status = driver.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            os.killpg(driver.pid, signal.SIGKILL)
            raise NoVerdict(f"the case {case.name} passed its time limit of {limit:.0f} s")
    samples = []
    if os.path.exists(path):
        with open(path) as f:
            samples = [[float(v) for v in line.split()] for line in f if line.endswith("\n")]
    if status != 0 or len(samples) != count:
        raise NoVerdict(f"the case {case.name} failed")
    print(f"bench: {case.name}: {count} {'pairs' if case.baselines else 'samples'} in "
          f"{time.monotonic() - began:.0f} s", file=sys.stderr)
    return samples


def ms(value):
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


def spread(column):
    """A side's median and the middle half of its samples, in ms."""
    low, median, high = np.percentile(column, [25, 50, 75])
    return f"{ms(median)} ms ({ms(low)} to {ms(high)})"


def speed_rows(case, samples, targets):
    columns = np.asarray(samples)
    rows = ""
    for column, (baseline, target) in enumerate(case.baselines, 1):
        median, low, high = interval(columns[:, 0] / columns[:, column])
        resolution = (high - low) / 2 / median * 100
        result = ("report" if not target else "PASS" if high <= target else
                  "MISS" if low > target else "unclear")
        # Had every Tavrolinde time of this run been this much longer, the whole interval
        # would have lain above the target.
        slower = target / low if result in ("PASS", "unclear") else None
        if target:
            name = f"`{case.name} vs {SHORT[baseline]}`"
            targets.append((name, result, slower,
                            f"{name}, {median:.2f}x ({low:.2f}x to {high:.2f}x, ±"
                            f"{resolution:.0f} %), target <= {target}x"))
        rows += (f"| {case.label} | {len(samples)} | {spread(columns[:, 0])} | "
                 f"{baseline}: {spread(columns[:, column])} | "
                 f"{median:.2f}x ({low:.2f}x to {high:.2f}x) | "
                 f"±{resolution:.0f} % | "
                 f"{f'<= {target}x' if target else '-'} | {result} | "
                 f"{f'{slower:.2f}x' if slower else '-'} |\n")
    return rows


def memory_rows(_, samples, targets):
    rows = ""
    for column, point in ((0, "After each listing of 10,000 descendants"),
                          (2, "After each round of 150 ticks and 50 refreshes")):
        readings = np.asarray(samples)[:, column:column + 2]
        growth = readings[-1] - readings[1]
        result = "PASS" if max(growth) <= MEMORY_NOISE_KIB else "MISS"
        targets.append((point, result, None, f"the memory grew {point.lower()}: set "
                                             f"{growth[0]:+.0f} KiB, page file "
                                             f"{growth[1]:+.0f} KiB"))
        rows += (f"| {point} | {len(readings)} | {np.median(readings[:, 0]):.0f} KiB | "
                 f"{np.median(readings[:, 1]):.0f} KiB | {growth[0]:+.0f} KiB / "
                 f"{growth[1]:+.0f} KiB | {result} |\n")
    return rows


def idle_rows(_, samples, targets):
    used = [s[0] for s in samples]
    result = "PASS" if max(used) == 0 else "MISS"
    targets.append(("idle", result, None, f"Tavrolinde used processor time while idle, up to "
                                          f"{max(used):.1f} ms in 2 s"))
    return (f"| Toggle out, target picked | {len(used)} x 2 s | "
            f"{', '.join(f'{u:.1f} ms' for u in used)} | none measurable | {result} |\n")


# Each measure's table: its header and how a case's samples make its rows.
TABLES = {
    "speed": "| Measure | Pairs | Tavrolinde: median (middle half) | Baseline: median (middle "
             "half) | Ratio (95 % interval) | Resolution | Target | Result | MISS if Tavrolinde "
             "were slower in this run by |\n|---|---|---|---|---|---|---|---|---|\n",
    "memory": f"Up to {MEMORY_NOISE_KIB} KiB counts as noise.\n\n| Point | Readings | "
              "Working set | Page-file usage | Growth, second reading to last (set / page "
              "file) | Result |\n|---|---|---|---|---|---|\n",
    "idle": "| State | Windows | Processor time | Target | Result |\n|---|---|---|---|---|\n",
}
ROWS = {"memory": memory_rows, "idle": idle_rows}


def chart(results, path):
    """Listing time against the number of windows: Tavrolinde, the floor, the bare enumeration."""
    data = path + ".dat"
    with open(data, "w") as f:
        for size in (100, 1000, 10000):
            samples = results.get(f"flat-{size}")
            if samples:
                cells = [f"{v:.4f}" for column in np.asarray(samples).T
                         for v in interval(column)]
                f.write(f"{size} {' '.join(cells)}\n")
    series = ", ".join(
        f"'{data}' using 1:{3 * i + 2}:{3 * i + 3}:{3 * i + 4} with yerrorlines linewidth 2 "
        f"title '{title}'"
        for i, title in enumerate(("Tavrolinde", "the floor dialog", "bare EnumChildWindows")))
    subprocess.run(["gnuplot"], check=True, text=True, input=f"""
set terminal pngcairo size 800,500 font ",10"
set output '{path}'
set title 'Descendant listing, flat: time against the number of windows'
set xlabel 'windows'
set ylabel 'ms: median, bars its 95 % interval'
set logscale xy
set xrange [70:14000]
set xtics ('100' 100, '1,000' 1000, '10,000' 10000)
set grid
set key top left
plot {series}
""")
    os.remove(data)


def facts(build, options, started, seconds, load_before):
    """What the report says of the run: where, when and what it timed."""
    compiler = ""
    for folder in os.listdir(os.path.join(build, "CMakeFiles")):
        found = os.path.join(build, "CMakeFiles", folder, "CMakeCXXCompiler.cmake")
        if os.path.exists(found):
            with open(found) as f:
                compiler = re.search(r'set\(CMAKE_CXX_COMPILER "(.*)"\)', f.read()).group(1)
    version = subprocess.run([compiler, "-dumpversion"], capture_output=True, text=True)
    wine = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True, text=True)
    with open("/etc/os-release") as f:
        system = re.search(r'PRETTY_NAME="(.*)"', f.read()).group(1)
    with open("/proc/cpuinfo") as f:
        processor = re.search(r"model name\s*: (.*)", f.read()).group(1)
    commit = subprocess.run(["git", "-C", ROOT, "describe", "--always", "--dirty"],
                            capture_output=True, text=True)
    return {
        "command": f"scripts/bench.sh{options}",
        "commit": commit.stdout.strip(),
        "started": f"{started:%Y-%m-%d %H:%M} UTC",
        "minutes": round(seconds / 60, 1),
        "system": f"{system}, {platform.system()} {platform.release()} {platform.machine()}",
        "processor": f"{processor}, {os.cpu_count()} logical processors",
        "load": f"{load_before} before, {load()} after",
        "wine": wine.stdout.strip(),
        "compiler": f"{os.path.basename(compiler)} {version.stdout.strip()}",
        "build": f"MinSizeRel, MinGW-w64 {os.path.basename(compiler).split('-')[0]}",
    }


def run_section(run_facts, targets):
    counts = {result: sum(r == result for _, r, _, _ in targets)
              for result in ("PASS", "unclear", "MISS")}
    missed = [said for _, result, _, said in targets if result == "MISS"]
    slower = sorted((s, name) for name, _, s, _ in targets if s is not None)
    unclear = [said for _, result, _, said in targets if result == "unclear"]
    summary = (f"MISS: {'; '.join(missed)}." if missed else
               "No target was missed: no interval lies wholly above its target.")
    if slower:
        summary += (f" Had Tavrolinde's times in this run been multiplied by {slower[0][0]:.2f}, "
                    f"{slower[0][1]} would have said MISS, and by {slower[-1][0]:.2f}, "
                    f"every timed target.")
    if unclear:
        summary += f" Unclear, the interval straddling the target: {'; '.join(unclear)}."
    return f"""
**PASS {counts["PASS"]}, unclear {counts["unclear"]}, MISS {counts["MISS"]}.**

{summary}

Made by `{run_facts["command"]}` at commit {run_facts["commit"]} on {run_facts["started"]}
in {run_facts["minutes"]:.1f} min; every figure was measured in that run.

| | |
|---|---|
| System | {run_facts["system"]} |
| Processor | {run_facts["processor"]} |
| Load average (1, 5, 15 min) | {run_facts["load"]} |
| Wine | {run_facts["wine"]} |
| Compiler | {run_facts["compiler"]} |
| Build | {run_facts["build"]} |
"""


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def save(path, run_facts, results):
    """One record a sample: its case, its pair (the sample's number), its side, its value."""
    records = [json.dumps({"case": name, "pair": pair, "side": side, "value": value,
                           "unit": "KiB" if CASE[name].measure == "memory" else "ms"})
               for name, samples in results.items() for pair, row in enumerate(samples, 1)
               for side, value in zip(sides(CASE[name]), row)]
    with open(path, "w") as f:
        f.write(f'{{"run": {json.dumps(run_facts, indent=1)},\n"samples": [\n')
        f.write(",\n".join(records) + "\n]}\n")


def restore(path):
    with open(path) as f:
        saved = json.load(f)
    results = {}
    for record in saved["samples"]:
        case = CASE[record["case"]]
        rows = results.setdefault(case.name, {})
        row = rows.setdefault(record["pair"], [None] * len(sides(case)))
        row[sides(case).index(record["side"])] = record["value"]
    if any(None in row for rows in results.values() for row in rows.values()):
        raise NoVerdict(f"{path} lacks a side of a sample")
    return saved["run"], {name: [rows[pair] for pair in sorted(rows)]
                          for name, rows in results.items()}


def report(run_facts, results):
    """BENCHMARKS.md with the figures of these samples, and whether a target was missed.
    BENCHMARKS.md is the frame: its hand-written prose stays, and what stands between a
    section's markers is replaced by the figures."""
    targets, sections = [], {}
    for case in CASES:
        if case.name in results:
            rows = ROWS.get(case.measure, speed_rows)(case, results[case.name], targets)
            header = TABLES.get(case.measure, TABLES["speed"])
            sections[case.measure] = sections.get(case.measure, "\n" + header) + rows
    sections["run"] = run_section(run_facts, targets)
    with open(os.path.join(ROOT, "BENCHMARKS.md")) as f:
        text = f.read()
    for measure in MEASURES + ["run"]:
        figures = sections.get(measure, "\nNot measured in this run.\n")
        text, found = re.subn(rf"(<!-- generated: {measure} -->\n).*?(<!-- /generated -->)",
                              lambda m: m.group(1) + figures.rstrip() + "\n\n" + m.group(2),
                              text, flags=re.S)
        if not found:
            raise NoVerdict(f"BENCHMARKS.md has no markers for the section {measure}")
    return text, any(result == "MISS" for _, result, _, _ in targets)


def run(args):
    build = os.path.abspath(args.build)
    options = "".join(f" --{option} {value}" for option, value in
                      (("only", ",".join(args.only or [])), ("pairs", args.pairs)) if value)
    started, began, load_before = datetime.datetime.utcnow(), time.monotonic(), load()
    results = {}
    for case in CASES:
        if not args.only or case.measure in args.only or case.name in args.only:
            count = args.pairs if args.pairs and case.baselines else case.samples
            results[case.name] = run_case(build, case, count)
    folder, names = ((build, ("bench-samples.json", "bench-report.md")) if args.only else
                     (ROOT, ("benchmarks-samples.json", "BENCHMARKS.md")))
    run_facts = facts(build, options, started, time.monotonic() - began, load_before)
    save(os.path.join(folder, names[0]), run_facts, results)
    text, missed = report(run_facts, results)
    if any(name.startswith("flat-") for name in results):
        chart(results, os.path.join(folder, "benchmarks-listing.png"))
    with open(os.path.join(folder, names[1]), "w") as f:
        f.write(text)
    print(f"Written to {os.path.join(folder, names[1])}, its samples to {names[0]}",
          file=sys.stderr)
    return text, missed


def main():
    names = MEASURES + [case.name for case in CASES]
    parser = argparse.ArgumentParser(description="Runs Tavrolinde's benchmark.")
    parser.add_argument("build", nargs="?")
    parser.add_argument("--only", type=lambda text: text.split(","),
                        help=f"measures or cases, comma-separated: {', '.join(names)}")
    parser.add_argument("--pairs", type=int, help="pairs of every timed case")
    parser.add_argument("--from", dest="saved", metavar="FILE",
                        help="judge the samples a run saved, running nothing")
    args = parser.parse_args()
    if (args.build is None) == (args.saved is None) or (args.saved and (args.only or args.pairs)):
        parser.error("give a build folder to run, or --from FILE alone")
    if any(name not in names for name in args.only or []):
        parser.error(f"--only takes {', '.join(names)}")
    if args.pairs is not None and args.pairs < LEAST_PAIRS:
        parser.error(f"--pairs takes {LEAST_PAIRS} or more: a 95 % interval needs them")
    text, missed = report(*restore(args.saved)) if args.saved else run(args)
    print(text, end="")
    return 1 if missed else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (NoVerdict, OSError) as trouble:
        print(f"bench: no verdict: {trouble}", file=sys.stderr)
    except Exception:  # whatever else breaks, a script must not take it for a verdict
        traceback.print_exc()
    sys.exit(NO_VERDICT)

#!/usr/bin/python3
"""Runs Tavrolinde's benchmark and writes its report.

    bench.py BUILD_DIR [--only NAME[,NAME...]] [--pairs N]

NAME is a measure (its section of BENCHMARKS.md) or one case of it, such as flat-1000.
Each case runs tavrolinde_bench.exe under Wine for the number of samples that its row of
CASES fixes before the run; --pairs N takes N pairs in every timed case instead, for a
finer resolution. Samples are taken in pairs, Tavrolinde beside its baseline, and each
ratio with a target is judged by the 95 % interval of the median of the pairs' ratios:
PASS when the whole interval is at or under the target, MISS when it is wholly above,
unclear when it straddles the target. The run exits with status 1 on any MISS. A full run
writes BENCHMARKS.md and its chart; --only writes BUILD_DIR/bench-report.md and its chart
there.
"""
import argparse
import datetime
import os
import platform
import re
import subprocess
import sys
import time
from typing import NamedTuple, Optional, Tuple

import numpy as np
from scipy.stats import mstats

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONFIDENCE = 0.95
# The interval of a median from order statistics needs this many pairs to reach 95 %.
LEAST_PAIRS = 6
MEMORY_NOISE_KIB = 64
FLOOR = "the floor dialog"
BARE = "the bare enumeration"


class Case(NamedTuple):
    name: str  # the driver's case
    measure: str  # its section of BENCHMARKS.md
    label: str
    samples: int  # pairs of a timed case, rounds of memory, windows of idle time
    # The baselines of the columns after Tavrolinde's, each with its target or None.
    baselines: Tuple[Tuple[str, Optional[float]], ...] = ()


# The sample counts are fixed before the run and never changed by what it measures, and are
# chosen for a full run within four minutes. From 8 pairs on, the interval leaves out the
# most extreme ratio at either end, so that one pause of the machine cannot decide a verdict;
# from 12 on, the two most extreme. Refresh, whose times spread the most, takes 12; the
# listings of 10,000 windows, whose pairs take seconds, take 7, with an interval three
# quarters of the way from the most extreme ratio to the next.
CASES = [
    Case("startup", "startup", "Start-up: launch until the dialog is ready and painted", 8,
         ((FLOOR + ", listing nothing", 1.1),)),
    Case("refresh", "toplevel", "Refresh, 1,000 extra top-level windows", 12, ((FLOOR, 1.1),)),
    *(Case(f"{shape}-{size}", "descendants", f"Descendant listing, {shape}, {size:,} windows",
           8 if size < 10000 else 7, ((FLOOR, 1.1), (BARE, 1.2 if size == 10000 else None)))
      for size in (100, 1000, 10000) for shape in ("flat", "nested")),
    Case("memory", "memory", "Rounds of one process's work", 4),
    Case("idle", "idle", "Processor time with the toggle out, per 2 s", 3),
]
MEASURES = list(dict.fromkeys(case.measure for case in CASES))


def interval(values):
    """The median of `values` and its 95 % distribution-free interval: the
    Hettmansperger-Sheather interval, from the order statistics around the median."""
    values = np.asarray(values)
    if np.ptp(values) == 0:
        return values[0], values[0], values[0]
    low, high = mstats.median_cihs(values, alpha=1 - CONFIDENCE)
    return np.median(values), low, high


def verdict(low, high, target):
    if high <= target:
        return "PASS"
    if low > target:
        return "MISS"
    return "unclear"


def ratios(case, samples):
    """Each baseline of the case with its target and Tavrolinde's ratio to it, pair by pair."""
    columns = np.asarray(samples)
    return [(baseline, target, column + 1, columns[:, 0] / columns[:, column + 1])
            for column, (baseline, target) in enumerate(case.baselines)]


def run_case(build, case, count):
    binary = os.path.join(build, "bin")
    samples_file = f"bench-{case.name}.txt"
    began = time.monotonic()
    status = subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"), build,
                             os.path.join(binary, "tavrolinde_bench.exe"), case.name,
                             str(count), samples_file]).returncode
    samples = read_samples(os.path.join(binary, samples_file))
    if status != 0 or len(samples) != count:
        sys.exit(f"bench: the case {case.name} failed")
    print(f"bench: {case.name}: {count} {'pairs' if case.baselines else 'samples'} in "
          f"{time.monotonic() - began:.0f} s", file=sys.stderr)
    return samples


def read_samples(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [[float(v) for v in line.split()] for line in f if line.endswith("\n")]


def ms(value):
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


def spread(column):
    """A side's median and the middle half of its samples, in ms."""
    low, median, high = np.percentile(column, [25, 50, 75])
    return f"{ms(median)} ms ({ms(low)} to {ms(high)})"


def speed_rows(case, samples, report):
    columns = np.asarray(samples)
    rows = ""
    for baseline, target, column, values in ratios(case, samples):
        median, low, high = interval(values)
        result = verdict(low, high, target) if target else "report"
        # A slowdown by this factor would have moved the whole interval above the target.
        finds = target / low if result in ("PASS", "unclear") else None
        if target:
            report["targets"].append((f"{case.label} against {baseline}", result, finds))
        rows += (f"| {case.label} | {len(samples)} | {spread(columns[:, 0])} | "
                 f"{baseline}: {spread(columns[:, column])} | "
                 f"{median:.2f}x ({low:.2f}x to {high:.2f}x) | "
                 f"±{(high - low) / 2 / median * 100:.0f} % | "
                 f"{f'<= {target}x' if target else '-'} | {result} | "
                 f"{f'{finds:.2f}x' if finds else '-'} |\n")
    return rows


def memory_rows(_, samples, report):
    rows = ""
    for column, point in ((0, "After each listing of 10,000 descendants"),
                          (2, "After each round of 150 ticks and 50 refreshes")):
        readings = np.asarray(samples)[:, column:column + 2]
        growth = readings[-1] - readings[1]
        result = "PASS" if max(growth) <= MEMORY_NOISE_KIB else "MISS"
        report["targets"].append((point, result, None))
        rows += (f"| {point} | {len(readings)} | {np.median(readings[:, 0]):.0f} KiB | "
                 f"{np.median(readings[:, 1]):.0f} KiB | {growth[0]:+.0f} KiB / "
                 f"{growth[1]:+.0f} KiB | {result} |\n")
    return rows


def idle_rows(_, samples, report):
    used = [s[0] for s in samples]
    result = "PASS" if max(used) == 0 else "MISS"
    report["targets"].append(("Idle with the toggle out", result, None))
    return (f"| Toggle out, target picked | {len(used)} x 2 s | "
            f"{', '.join(f'{u:.1f} ms' for u in used)} | none measurable | {result} |\n")


# Each measure's table: its header and how a case's samples make its rows.
TABLES = {
    "speed": "| Measure | Pairs | Tavrolinde: median (middle half) | Baseline: median (middle "
             "half) | Ratio (95 % interval) | Resolution | Target | Result | Finds a slowdown "
             "of |\n|---|---|---|---|---|---|---|---|---|\n",
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


def run_section(build, options, started, seconds, load_before, report):
    compiler = ""
    for folder in os.listdir(os.path.join(build, "CMakeFiles")):
        found = os.path.join(build, "CMakeFiles", folder, "CMakeCXXCompiler.cmake")
        if os.path.exists(found):
            with open(found) as f:
                compiler = re.search(r'set\(CMAKE_CXX_COMPILER "(.*)"\)', f.read()).group(1)
    version = subprocess.run([compiler, "-dumpversion"], capture_output=True, text=True)
    with open("/etc/os-release") as f:
        system = re.search(r'PRETTY_NAME="(.*)"', f.read()).group(1)
    with open("/proc/cpuinfo") as f:
        processor = re.search(r"model name\s*: (.*)", f.read()).group(1)
    counts = {result: sum(r == result for _, r, _ in report["targets"])
              for result in ("PASS", "unclear", "MISS")}
    found = [f"{what} (MISS)" for what, result, _ in report["targets"] if result == "MISS"]
    finds = sorted((f, what) for what, _, f in report["targets"] if f is not None)
    unclear = [what for what, result, _ in report["targets"] if result == "unclear"]
    summary = (f"A slowdown was found: {'; '.join(found)}." if found else
               "No slowdown was found: no target's interval lies wholly above it.")
    if finds:
        summary += (f" With this run's spread, a slowdown of {finds[-1][0]:.2f}x or more would "
                    f"have been found at every timed target, and one of {finds[0][0]:.2f}x "
                    f"at {finds[0][1]}.")
    if unclear:
        summary += f" Unclear, the interval straddling the target: {'; '.join(unclear)}."
    return f"""
**PASS {counts["PASS"]}, unclear {counts["unclear"]}, MISS {counts["MISS"]}.**

{summary}

Made by `scripts/bench.sh{options}` on {started:%Y-%m-%d %H:%M} UTC
in {seconds / 60:.1f} min; every figure was measured in that run.

| | |
|---|---|
| System | {system}, {platform.system()} {platform.release()} {platform.machine()} |
| Processor | {processor}, {os.cpu_count()} logical processors |
| Load average (1, 5, 15 min) | {load_before} before, {load()} after |
| Wine | {subprocess.run(['/usr/lib/wine/wine64', '--version'], capture_output=True, text=True).stdout.strip()} |
| Compiler | {os.path.basename(compiler)} {version.stdout.strip()} |
| Build | MinSizeRel, MinGW-w64 {os.path.basename(compiler).split("-")[0]} |
"""


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    names = MEASURES + [case.name for case in CASES]
    parser = argparse.ArgumentParser(description="Runs Tavrolinde's benchmark.")
    parser.add_argument("build")
    parser.add_argument("--only", type=lambda text: text.split(","),
                        help=f"measures or cases, comma-separated: {', '.join(names)}")
    parser.add_argument("--pairs", type=int, help="pairs of every timed case")
    args = parser.parse_args()
    if any(name not in names for name in args.only or []):
        parser.error(f"--only takes {', '.join(names)}")
    if args.pairs is not None and args.pairs < LEAST_PAIRS:
        parser.error(f"--pairs takes {LEAST_PAIRS} or more: a 95 % interval needs them")
    build = os.path.abspath(args.build)
    options = "".join(f" --{option} {value}" for option, value in
                      (("only", ",".join(args.only or [])), ("pairs", args.pairs)) if value)
    started, began, load_before = datetime.datetime.utcnow(), time.monotonic(), load()
    report = {"targets": []}
    results, sections = {}, {}
    for case in CASES:
        if args.only and case.measure not in args.only and case.name not in args.only:
            continue
        count = args.pairs if args.pairs and case.baselines else case.samples
        results[case.name] = samples = run_case(build, case, count)
        rows = ROWS.get(case.measure, speed_rows)(case, samples, report)
        header = TABLES.get(case.measure, TABLES["speed"])
        sections[case.measure] = sections.get(case.measure, "\n" + header) + rows
    out = os.path.join(build, "bench-report.md") if args.only else os.path.join(
        ROOT, "BENCHMARKS.md")
    if any(name.startswith("flat-") for name in results):
        chart(results, os.path.join(os.path.dirname(out), "benchmarks-listing.png"))
    sections["run"] = run_section(build, options, started, time.monotonic() - began, load_before,
                                  report)
    # BENCHMARKS.md is the frame: its hand-written prose stays, and what stands between a
    # section's markers is replaced by this run's figures.
    with open(os.path.join(ROOT, "BENCHMARKS.md")) as f:
        text = f.read()
    for measure in MEASURES + ["run"]:
        figures = sections.get(measure, "\nNot measured in this run.\n")
        text, found = re.subn(rf"(<!-- generated: {measure} -->\n).*?(<!-- /generated -->)",
                              lambda m: m.group(1) + figures.rstrip() + "\n\n" + m.group(2),
                              text, flags=re.S)
        if not found:
            sys.exit(f"bench: BENCHMARKS.md has no markers for the section {measure}")
    with open(out, "w") as f:
        f.write(text)
    print(text)
    print(f"Written to {out}", file=sys.stderr)
    if any(result == "MISS" for _, result, _ in report["targets"]):
        sys.exit("bench: a target was missed")


if __name__ == "__main__":
    main()

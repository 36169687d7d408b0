#!/usr/bin/python3
"""Runs Tavrolinde's benchmark and writes its report.

    bench.py BUILD_DIR [--only MEASURE]

Each case runs tavrolinde_bench.exe under Wine, which appends a sample a line until it
is told to stop. Samples are taken in pairs, Tavrolinde beside its baseline, and each
ratio with a target is judged by the 95 % bootstrap interval of the median of the pairs'
ratios: PASS when the whole interval is at or under the target, MISS when it is wholly
above, and otherwise more pairs are taken while the case's time lasts; still undecided,
the ratio is reported "unclear", never PASS. A full run writes BENCHMARKS.md and its chart;
--only writes BUILD_DIR/bench-report.md and its chart there.
"""
import datetime
import os
import platform
import re
import subprocess
import sys
import time
from typing import NamedTuple, Optional, Tuple

import numpy as np
from scipy import stats

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONFIDENCE = 0.95
SEED = 2026
MEMORY_NOISE_KIB = 64
FLOOR = "the floor dialog"
BARE = "the bare enumeration"


class Case(NamedTuple):
    name: str  # the driver's case
    measure: str  # its section of BENCHMARKS.md, and the name --only gives it
    label: str
    least: int  # samples at the least before a target is decided
    share: float  # its weight in the run's time, which it may use while a target is undecided
    # The baselines of the columns after Tavrolinde's, each with its target or None.
    baselines: Tuple[Tuple[str, Optional[float]], ...] = ()


CASES = [
    Case("startup", "startup", "Start-up: launch until the dialog is ready and painted", 10, 15,
         ((FLOOR + ", listing nothing", 1.1),)),
    Case("refresh", "toplevel", "Refresh, 1,000 extra top-level windows", 8, 30, ((FLOOR, 1.1),)),
    *(Case(f"{shape}-{size}", "descendants", f"Descendant listing, {shape}, {size:,} windows",
           8 if size < 10000 else 5, {100: 10, 1000: 15, 10000: 45}[size],
           ((FLOOR, 1.1), (BARE, 1.2 if size == 10000 else None)))
      for size in (100, 1000, 10000) for shape in ("flat", "nested")),
    Case("memory", "memory", "Rounds of one process's work", 8, 20),
    Case("idle", "idle", "Processor time with the toggle out, per 2 s", 3, 10),
]
# A full run ends within four minutes, building and starting Wine included: each case may
# sample until its share of what is left of this is spent.
RUN_SECONDS = 180
MEASURES = list(dict.fromkeys(case.measure for case in CASES))


def interval(values):
    """The median of `values` and its 95 % bootstrap interval."""
    values = np.asarray(values)
    if len(values) < 2 or np.ptp(values) == 0:
        return values[0], values[0], values[0]
    result = stats.bootstrap((values,), np.median, confidence_level=CONFIDENCE,
                             n_resamples=9999, method="percentile",
                             random_state=np.random.default_rng(SEED))
    return np.median(values), result.confidence_interval.low, result.confidence_interval.high


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


def judge(case, samples, target, values):
    """A target's verdict: none is made on fewer samples than the case needs."""
    return verdict(*interval(values)[1:], target) if len(samples) >= case.least else "unclear"


def decided(case, samples):
    return len(samples) >= case.least and all(target is None or judge(case, samples, target, values) != "unclear"
               for _, target, _, values in ratios(case, samples))


def run_case(build, case, deadline):
    binary = os.path.join(build, "bin")
    stop = os.path.join(binary, "bench-stop")
    samples_file = f"bench-{case.name}.txt"
    for path in (stop, os.path.join(binary, samples_file)):
        if os.path.exists(path):
            os.remove(path)
    program = subprocess.Popen([os.path.join(ROOT, "scripts", "wine-run.sh"), build,
                                os.path.join(binary, "tavrolinde_bench.exe"), case.name,
                                samples_file])
    samples, began = [], time.monotonic()
    while program.poll() is None:
        time.sleep(0.5)
        samples = read_samples(os.path.join(binary, samples_file))
        if decided(case, samples) or time.monotonic() > deadline and len(samples) >= 2:
            open(stop, "w").close()
            break
    if program.wait() != 0:
        sys.exit(f"bench: the case {case.name} failed")
    samples = read_samples(os.path.join(binary, samples_file))
    print(f"bench: {case.name}: {len(samples)} samples in {time.monotonic() - began:.0f} s",
          file=sys.stderr)
    return samples


def read_samples(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [[float(v) for v in line.split()] for line in f if line.endswith("\n")]


def ms(value):
    return f"{value:.0f} ms" if value >= 100 else f"{value:.3g} ms"


def speed_rows(case, samples, report):
    columns = np.asarray(samples)
    rows = ""
    for baseline, target, column, values in ratios(case, samples):
        median, low, high = interval(values)
        result = judge(case, samples, target, values) if target else "report"
        if target:
            report["targets"].append((f"{case.label} against {baseline}", result))
        rows += (f"| {case.label} | {len(samples)} | {ms(np.median(columns[:, 0]))} | "
                 f"{baseline}: {ms(np.median(columns[:, column]))} | "
                 f"{median:.2f}x ({low:.2f}x to {high:.2f}x) | "
                 f"{f'<= {target}x' if target else '-'} | {result} |\n")
    return rows


def memory_rows(_, samples, report):
    rows = ""
    for start, point in ((0, "After each listing of 10,000 descendants"),
                         (1, "After each round of 150 ticks and 50 refreshes")):
        readings = np.asarray(samples[start::2])
        growth = readings[-1] - readings[1]
        result = "PASS" if max(growth) <= MEMORY_NOISE_KIB else "MISS"
        report["targets"].append((point, result))
        rows += (f"| {point} | {len(readings)} | {np.median(readings[:, 0]):.0f} KiB | "
                 f"{np.median(readings[:, 1]):.0f} KiB | {growth[0]:+.0f} KiB / "
                 f"{growth[1]:+.0f} KiB | {result} |\n")
    return rows


def idle_rows(_, samples, report):
    used = [s[0] for s in samples]
    result = "PASS" if max(used) == 0 else "MISS"
    report["targets"].append(("Idle with the toggle out", result))
    return (f"| Toggle out, target picked | {len(used)} x 2 s | "
            f"{', '.join(f'{u:.1f} ms' for u in used)} | none measurable | {result} |\n")


# Each measure's table: its header and how a case's samples make its rows.
TABLES = {
    "speed": "| Measure | Samples | Tavrolinde | Baseline | Ratio (95 % interval) | Target | "
             "Result |\n|---|---|---|---|---|---|---|\n",
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


def run_section(build, only, started, seconds, load_before, report):
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
    met = sum(result == "PASS" for _, result in report["targets"])
    others = [f"{what}: {result}" for what, result in report["targets"] if result != "PASS"]
    return f"""
Made by `scripts/bench.sh{' --only ' + only if only else ''}` on {started:%Y-%m-%d %H:%M} UTC
in {seconds / 60:.1f} min; every figure was measured in that run.

| | |
|---|---|
| System | {system}, {platform.system()} {platform.release()} {platform.machine()} |
| Processor | {processor}, {os.cpu_count()} logical processors |
| Load average (1, 5, 15 min) | {load_before} before, {load()} after |
| Wine | {subprocess.run(['wine', '--version'], capture_output=True, text=True).stdout.strip()} |
| Compiler | {os.path.basename(compiler)} {version.stdout.strip()} |
| Build | MinSizeRel, MinGW-w64 i686 |

Targets met: {met} of {len(report['targets'])}.{' Not met: ' + '; '.join(others) + '.' if others else ''}

"""


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    build = os.path.abspath(sys.argv[1])
    only = sys.argv[3] if sys.argv[2:3] == ["--only"] and len(sys.argv) == 4 else None
    if len(sys.argv) != 2 and (only not in MEASURES):
        sys.exit(f"usage: bench.py BUILD_DIR [--only {'|'.join(MEASURES)}]")
    started, began, load_before = datetime.datetime.utcnow(), time.monotonic(), load()
    report = {"targets": []}
    results, sections = {}, {}
    cases = [case for case in CASES if only in (None, case.measure)]
    for i, case in enumerate(cases):
        left = began + RUN_SECONDS - time.monotonic()
        deadline = time.monotonic() + left * case.share / sum(c.share for c in cases[i:])
        results[case.name] = samples = run_case(build, case, deadline)
        rows = ROWS.get(case.measure, speed_rows)(case, samples, report)
        header = TABLES.get(case.measure, TABLES["speed"])
        sections[case.measure] = sections.get(case.measure, "\n" + header) + rows
    out = os.path.join(ROOT, "BENCHMARKS.md") if only is None else os.path.join(
        build, "bench-report.md")
    if any(name.startswith("flat-") for name in results):
        chart(results, os.path.join(os.path.dirname(out), "benchmarks-listing.png"))
    sections["run"] = run_section(build, only, started, time.monotonic() - began, load_before,
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


if __name__ == "__main__":
    main()

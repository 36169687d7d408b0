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

import numpy as np
from scipy import stats

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONFIDENCE = 0.95
SEED = 2026
MEMORY_NOISE_KIB = 64
LISTING_TARGET = 1.1
BARE_TARGET = 1.2
STARTUP_TARGET = 1.1

# name, measure (a section of BENCHMARKS.md), what a sample is, at least and at most so
# many samples, seconds of sampling when unclear. A listing's columns: Tavrolinde, the
# floor dialog, the bare enumeration (descendants only).
CASES = [
    ("startup", "startup", "Start-up: launch until the dialog is ready and painted", 10, 200, 25),
    ("refresh", "toplevel", "Refresh, 1,000 extra top-level windows", 8, 200, 15),
    ("flat-100", "descendants", "Descendant listing, flat, 100 windows", 8, 200, 12),
    ("nested-100", "descendants", "Descendant listing, nested, 100 windows", 8, 200, 12),
    ("flat-1000", "descendants", "Descendant listing, flat, 1,000 windows", 8, 200, 15),
    ("nested-1000", "descendants", "Descendant listing, nested, 1,000 windows", 8, 200, 15),
    ("flat-10000", "descendants", "Descendant listing, flat, 10,000 windows", 5, 200, 35),
    ("nested-10000", "descendants", "Descendant listing, nested, 10,000 windows", 5, 200, 35),
    ("memory", "memory", "Rounds of one process's work", 10, 10, 0),
    ("idle", "idle", "Processor time with the toggle out, per 2 s", 3, 3, 0),
]
MEASURES = sorted({case[1] for case in CASES})


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


def ratios(name, samples):
    """Each ratio of the case: (baseline's name, column, per-pair ratios, target or None)."""
    columns = np.asarray(samples)
    if name == "startup":
        return [("the floor dialog, listing nothing", 1, columns[:, 0] / columns[:, 1],
                 STARTUP_TARGET)]
    if name == "refresh" or "-" in name:
        found = [("the floor dialog", 1, columns[:, 0] / columns[:, 1], LISTING_TARGET)]
        if "-" in name:
            target = BARE_TARGET if name.endswith("-10000") else None
            found.append(("the bare enumeration", 2, columns[:, 0] / columns[:, 2], target))
        return found
    return []


def settled(name, samples, least):
    """Whether the case has samples enough: at least `least`, and every target decided."""
    if len(samples) < least:
        return False
    for _, _, values, target in ratios(name, samples):
        if target is not None and verdict(*interval(values)[1:], target) == "unclear":
            return False
    return True


def run_case(build, case):
    name, _, _, least, most, seconds = case
    binary = os.path.join(build, "bin")
    stop = os.path.join(binary, "bench-stop")
    samples_file = f"bench-{name}.txt"
    for path in (stop, os.path.join(binary, samples_file)):
        if os.path.exists(path):
            os.remove(path)
    program = subprocess.Popen([os.path.join(ROOT, "scripts", "wine-run.sh"), build,
                                os.path.join(binary, "tavrolinde_bench.exe"), name,
                                samples_file])
    samples, first, began = [], None, time.monotonic()
    while program.poll() is None:
        time.sleep(0.5)
        samples = read_samples(os.path.join(binary, samples_file))
        if samples and first is None:
            first = time.monotonic()
        if samples and (settled(name, samples, least) or len(samples) >= most or
                        time.monotonic() - first > seconds and len(samples) >= least):
            open(stop, "w").close()
            break
    if program.wait() != 0:
        sys.exit(f"bench: the case {name} failed")
    samples = read_samples(os.path.join(binary, samples_file))
    print(f"bench: {name}: {len(samples)} samples in {time.monotonic() - began:.0f} s, "
          f"{time.monotonic() - first:.0f} s of them sampling", file=sys.stderr)
    return samples


def read_samples(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [[float(v) for v in line.split()] for line in f if line.endswith("\n")]


def ms(value):
    return f"{value:.0f} ms" if value >= 100 else f"{value:.3g} ms"


def speed_rows(case, samples, report):
    name, _, label, *_ = case
    columns = np.asarray(samples)
    rows = ""
    for baseline, column, values, target in ratios(name, samples):
        median, low, high = interval(values)
        result = verdict(low, high, target) if target else "report"
        if target:
            report["targets"].append((label + " against " + baseline, result))
        rows += (f"| {label} | {len(samples)} | {ms(np.median(columns[:, 0]))} | "
                 f"{baseline}: {ms(np.median(columns[:, column]))} | "
                 f"{median:.2f}x ({low:.2f}x to {high:.2f}x) | "
                 f"{f'<= {target}x' if target else '-'} | {result} |\n")
    return rows


def memory_rows(samples, report):
    rows = ""
    for start, point in ((0, "After each listing of 10,000 descendants"),
                         (1, "After each round of 600 ticks and 200 refreshes")):
        readings = np.asarray(samples[start::2])
        growth = readings[-1] - readings[1]
        result = "PASS" if max(growth) <= MEMORY_NOISE_KIB else "MISS"
        report["targets"].append((point, result))
        rows += (f"| {point} | {len(readings)} | {np.median(readings[:, 0]):.0f} KiB | "
                 f"{np.median(readings[:, 1]):.0f} KiB | {growth[0]:+.0f} KiB / "
                 f"{growth[1]:+.0f} KiB | {result} |\n")
    return rows


def idle_rows(samples, report):
    used = [s[0] for s in samples]
    result = "PASS" if max(used) == 0 else "MISS"
    report["targets"].append(("Idle with the toggle out", result))
    return (f"| Toggle out, target picked | {len(used)} x 2 s | "
            f"{', '.join(f'{u:.1f} ms' for u in used)} | none measurable | {result} |\n")


HEADERS = {
    "speed": "| Measure | Samples | Tavrolinde | Baseline | Ratio (95 % interval) | Target | "
             "Result |\n|---|---|---|---|---|---|---|\n",
    "memory": f"Up to {MEMORY_NOISE_KIB} KiB counts as noise.\n\n| Point | Readings | "
              "Working set | Page-file usage | Growth, second reading to last (set / page "
              "file) | Result |\n|---|---|---|---|---|---|\n",
    "idle": "| State | Windows | Processor time | Target | Result |\n|---|---|---|---|---|\n",
}


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
    for case in CASES:
        name, measure = case[0], case[1]
        if only in (None, measure):
            results[name] = samples = run_case(build, case)
            rows = (memory_rows(samples, report) if measure == "memory" else
                    idle_rows(samples, report) if measure == "idle" else
                    speed_rows(case, samples, report))
            kind = measure if measure in HEADERS else "speed"
            sections[measure] = sections.get(measure, "\n" + HEADERS[kind]) + rows
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

// Tavrolinde's benchmark. It drives the real program from outside, as a user's clicks
// would, with the listed windows in a fixture process of their own, and compares every
// speed with a baseline measured in the same run: absolute times on a shared machine
// are noisy, their ratios much less so. Every figure is the median of several runs,
// given with its minimum and maximum.
//   tavrolinde_bench.exe [--quick] [--only MEASURE] [--program-check LINES]
// MEASURE is startup, toplevel, descendants, timer, idle, memory or size. The report's
// sections, in Markdown, go to the standard output (scripts/bench.sh puts them in their
// places in BENCHMARKS.md); progress to the standard error.
#include <windows.h>
#include <string.h>

#include <string>

#include "bench/measures.h"

namespace {

struct Measure {
    const char *name;
    void (*run)(const Settings &settings, Report *report);
};

constexpr Measure MEASURES[] = {
    {"startup", MeasureStartup}, {"toplevel", MeasureTopLevel}, {"descendants", MeasureDescendants},
    {"timer", MeasureTimer},     {"idle", MeasureIdle},         {"memory", MeasureMemory},
    {"size", MeasureSize},
};

Settings FullSettings()
{
    Settings settings;
    settings.quick = false;
    settings.sizes = {100, 1000, 10000};
    settings.topLevelWindows = 1000;
    settings.refreshRuns = 11;
    settings.fillPairs = 21;
    settings.startupLaunches = 21;
    settings.ticks = 50;
    settings.driftTick = 30;
    settings.idleWindowMs = 10000;
    settings.idleWindows = 5;
    settings.tickTimings = 21;
    settings.memoryRounds = 5;
    settings.memoryTicks = 600;
    settings.memoryRefreshes = 200;
    return settings;
}

// Fewer runs and no 10,000 case, for iterating.
Settings QuickSettings()
{
    Settings settings = FullSettings();
    settings.quick = true;
    settings.sizes = {100, 1000};
    settings.refreshRuns = 5;
    settings.fillPairs = 5;
    settings.startupLaunches = 7;
    settings.ticks = 12;
    settings.driftTick = 10;
    settings.idleWindowMs = 2000;
    settings.tickTimings = 11;
    settings.memoryRounds = 3;
    return settings;
}

bool IsMeasure(const char *name)
{
    for (const Measure &measure : MEASURES)
        if (strcmp(measure.name, name) == 0)
            return true;
    return false;
}

[[noreturn]] void FailWithUsage()
{
    std::string names;
    for (const Measure &measure : MEASURES)
        names += (names.empty() ? "" : "|") + std::string(measure.name);
    Fail(("usage: tavrolinde_bench.exe [--quick] [--only " + names + "] [--program-check LINES]")
             .c_str());
}

} // namespace

int main(int argc, char **argv)
{
    bool quick = false;
    const char *only = nullptr;
    std::string programCheck;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (strcmp(argv[i], "--only") == 0 && i + 1 < argc && IsMeasure(argv[i + 1]))
            only = argv[++i];
        else if (strcmp(argv[i], "--program-check") == 0 && i + 1 < argc)
            programCheck = argv[++i];
        else
            FailWithUsage();
    }
    Settings settings = quick ? QuickSettings() : FullSettings();
    settings.programCheck = programCheck;
    Report report;
    double start = NowMs();
    for (const Measure &measure : MEASURES)
        if (only == nullptr || strcmp(only, measure.name) == 0)
            measure.run(settings, &report);
    PrintReport(report, quick, (NowMs() - start) / 60000.0);
    return 0;
}

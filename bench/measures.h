// The measures. Each one is a section of BENCHMARKS.md and the name that --only gives
// it; each starts the programs it needs, measures, ends them and fills its section of
// the report.
#pragma once
#include <string>
#include <vector>

#include "bench/report.h"

struct Settings {
    bool quick;
    std::vector<int> sizes;
    int topLevelWindows;
    int refreshRuns;
    int fillPairs;
    int startupLaunches;
    int ticks;
    int driftTick;
    DWORD idleWindowMs;
    int idleWindows;
    int tickTimings;
    int memoryRounds;
    int memoryTicks;
    int memoryRefreshes;
    // What scripts/check-program.sh found of Tavrolinde.exe: its lines, joined by ';'.
    std::string programCheck;
};

// The most runs of a descendant listing of this many windows.
int MaxListingRuns(const Settings &settings, int size);

void MeasureStartup(const Settings &settings, Report *report);
void MeasureTopLevel(const Settings &settings, Report *report);
void MeasureDescendants(const Settings &settings, Report *report);
void MeasureTimer(const Settings &settings, Report *report);
void MeasureIdle(const Settings &settings, Report *report);
void MeasureMemory(const Settings &settings, Report *report);
void MeasureSize(const Settings &settings, Report *report);

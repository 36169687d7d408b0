// Tavrolinde's benchmark. It drives the real program from outside, as a user's clicks
// would, with the listed windows in a fixture process of their own, and compares every
// speed with a baseline measured in the same run: absolute times on a shared machine
// are noisy, their ratios much less so. Every figure is the median of several runs,
// given with its minimum and maximum.
//   tavrolinde_bench.exe [--quick] [--only startup|toplevel|descendants|timer]
//                        [--imports LIBRARY,...]
// The report, in Markdown, goes to the standard output; progress to the standard error.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "bench/bare.h"
#include "bench/bench_util.h"
#include "res/resource.h"

namespace {

constexpr char TAVROLINDE[] = "Tavrolinde.exe";
constexpr char MINIMAL_DIALOG[] = "minimal_dialog.exe";
// The minimal dialog's argument for running the bare top-level enumeration.
constexpr char ENUMERATE[] = "enumerate";
constexpr DWORD LAUNCH_TIMEOUT_MS = 120 * 1000;
// Pauses after a program ends and after a case is set up, so that the system's work
// for them is not counted in the next run.
constexpr DWORD SETTLE_MS = 100;
constexpr DWORD SETTLE_CASE_MS = 1000;
constexpr DWORD TICK_WAIT_STEP_MS = 100;
constexpr UINT_PTR CLICK_TIMER = 0;
constexpr double TICK_MS = 1000.0;

// Targets, printed beside the figures.
constexpr double LISTING_TARGET = 1.2;
constexpr double STARTUP_TARGET = 1.1;
constexpr int LISTING_TARGET_FROM = 1000;
// The release executable: its size at most, and exactly the libraries it may import.
constexpr long long SIZE_TARGET_BYTES = 32 * 1024;
constexpr char ALLOWED_IMPORTS[] = "kernel32.dll, msvcrt.dll, user32.dll";
// Memory may move by this much without counting as growth: sixteen pages.
constexpr double MEMORY_NOISE_KIB = 64.0;

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
    settings.ticks = 40;
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

// Runs of a case: at least the minimum, then more up to the maximum while the time
// spent in the case stays within its budget, so a slow program still finishes in
// reasonable time and a fast one gets the steadier figures of more runs.
constexpr int MIN_RUNS = 5;
constexpr double CASE_BUDGET_MS = 20000;

bool MoreRuns(int done, int maximum, double startMs)
{
    return done < MIN_RUNS || (done < maximum && NowMs() - startMs < CASE_BUDGET_MS);
}

int MaxListingRuns(const Settings &settings, int size)
{
    if (settings.quick || size >= 10000)
        return MIN_RUNS;
    return size >= 1000 ? 11 : 21;
}

// The report's tables, filled as the measurements come in.
std::string g_speed;
std::string g_timer;
std::string g_idle;
std::string g_memory;
std::string g_size;
// Timed listings, and those with a paint still pending after the wait for it.
int g_timedRuns = 0;
// For the current case: the time from each command's return until the paint was done.
std::vector<double> g_paintWaits;
int g_paintsAfterFlush = 0;
// The smallest processor time seen to pass in an idle window: the reading's step.
double g_processorStep = 0;
// Every target checked, and the measures that missed theirs.
int g_targets = 0;
std::vector<std::string> g_missed;

// "PASS" or "MISS" for a measure with a target, counted for the report's summary.
const char *Verdict(bool met, const std::string &measure)
{
    ++g_targets;
    if (!met)
        g_missed.push_back(measure);
    return met ? "PASS" : "MISS";
}

[[noreturn]] void Fail(const char *what)
{
    Progress("bench: %s", what);
    exit(1);
}

std::string Ms(double ms)
{
    if (ms < 1.0 && ms > -1.0)
        return Format("%.3f ms", ms);
    if (ms < 10.0 && ms > -10.0)
        return Format("%.2f ms", ms);
    return Format("%.1f ms", ms);
}

std::string MsRange(const Summary &summary)
{
    return Ms(summary.median) + " (" + Ms(summary.min) + " to " + Ms(summary.max) + ")";
}

std::string KiB(double kib)
{
    return Format("%.0f KiB", kib);
}

std::string KiBRange(const Summary &summary)
{
    return KiB(summary.median) + " (" + KiB(summary.min) + " to " + KiB(summary.max) + ")";
}

std::string Thousands(int value)
{
    return value >= 1000 ? Format("%d,%03d", value / 1000, value % 1000) : Format("%d", value);
}

// One row of the speed table. Program and baseline runs come in pairs, one right
// after the other, so the load of the machine weighs on both alike: the ratio is the
// median of the pairs' ratios. A target of 0 means the row is reported without one.
// For a listing, the cell also gives the median wait for its paint.
void SpeedRow(const std::string &measure, const char *baselineName,
              const std::vector<double> &program, const std::vector<double> &baseline,
              double target, bool listing = false)
{
    std::string programCell = MsRange(Summarize(program));
    if (listing)
        programCell += "; paint " + Ms(Summarize(g_paintWaits).median);
    std::vector<double> ratios;
    for (size_t i = 0; i < program.size() && i < baseline.size(); ++i)
        ratios.push_back(baseline[i] > 0 ? program[i] / baseline[i] : 0);
    Summary p = Summarize(program);
    Summary b = Summarize(baseline);
    Summary r = Summarize(ratios);
    std::string targetText = target > 0 ? Format("<= %.1fx", target) : "-";
    const char *result = target > 0 ? Verdict(r.median <= target, measure) : "report";
    g_speed += Format("| %s | %d | %s | %s: %s | %.2fx (%.2fx to %.2fx) | %s | %s |\n",
                      measure.c_str(), p.runs, programCell.c_str(), baselineName,
                      MsRange(b).c_str(), r.median, r.min, r.max, targetText.c_str(), result);
}

// Sends a command to the dialog and waits until it is handled and painted.
double TimeCommand(HWND hDlg, WPARAM wParam, LPARAM lParam)
{
    double start = NowMs();
    Send(hDlg, WM_COMMAND, wParam, lParam);
    double returned = NowMs();
    FlushPaint(hDlg);
    double ms = NowMs() - start;
    g_paintWaits.push_back(ms - (returned - start));
    ++g_timedRuns;
    g_paintsAfterFlush += HasPendingPaint(hDlg) ? 1 : 0;
    return ms;
}

struct LaunchTimes {
    // From the launch until the dialog is visible, its list answering and painted.
    double launch;
    // From the dialog first seen visible until its list answers: the start-up
    // listing (or the bare enumeration) with the dialog's first paint.
    double listing;
};

// Starts a program of the build and waits until its dialog is visible with its upper
// list answering (for Tavrolinde: filled) and everything painted; times says how long.
HWND StartDialog(const char *program, const char *arguments, bool needsEntries,
                 PROCESS_INFORMATION *process, LaunchTimes *times = nullptr)
{
    double start = NowMs();
    if (!Launch(program, arguments, process))
        Fail("cannot start a program of the build");
    double visible = 0;
    HWND hDlg = WaitForDialog(*process, needsEntries, LAUNCH_TIMEOUT_MS, &visible);
    if (hDlg == nullptr)
        Fail("a dialog did not appear, or Tavrolinde's list stayed empty");
    double answered = NowMs();
    FlushPaint(hDlg);
    if (times != nullptr)
        *times = {NowMs() - start, answered - visible};
    return hDlg;
}

HWND StartTavrolinde(PROCESS_INFORMATION *process)
{
    return StartDialog(TAVROLINDE, "", true, process);
}

LaunchTimes TimeLaunch(const char *program, const char *arguments, bool needsEntries,
                       PROCESS_INFORMATION *process)
{
    LaunchTimes times;
    StartDialog(program, arguments, needsEntries, process, &times);
    return times;
}

// Ends a launched program and lets the system finish its work for it.
void EndLaunch(PROCESS_INFORMATION *process)
{
    End(process);
    Sleep(SETTLE_MS);
}

void ReadMemory(HANDLE process, std::vector<double> *workingSet, std::vector<double> *pagefile)
{
    workingSet->push_back(WorkingSetKiB(process));
    pagefile->push_back(PagefileKiB(process));
}

void MemoryRow(const char *point, const std::vector<double> &workingSet,
               const std::vector<double> &pagefile, const char *growth)
{
    g_memory += Format("| %s | %d | %s | %s | %s |\n", point, static_cast<int>(workingSet.size()),
                       KiBRange(Summarize(workingSet)).c_str(),
                       KiBRange(Summarize(pagefile)).c_str(), growth);
}

// Growth from the second sample to the last, of the working set and of the page-file
// usage; within MEMORY_NOISE_KIB is no growth. The first sample is left out: the
// first large listing grows the heap once, to a size that later ones reuse.
std::string Growth(const char *point, const std::vector<double> &workingSet,
                   const std::vector<double> &pagefile)
{
    if (workingSet.size() < 2)
        return "-";
    double set = workingSet.back() - workingSet[1];
    double file = pagefile.back() - pagefile[1];
    bool grew = set > MEMORY_NOISE_KIB || file > MEMORY_NOISE_KIB;
    return Format("%+.0f KiB / %+.0f KiB: %s", set, file,
                  Verdict(!grew, std::string("memory growth: ") + point));
}

// Rounds of ticks sent to the dialog with a target selected, then refreshes: memory
// that grows from round to round is kept by something that should have been freed.
void MeasureMemoryRounds(const Settings &settings, HWND hDlg, const PROCESS_INFORMATION &tav,
                         const Fixture &fixture)
{
    std::vector<double> idleSet, idleFile;
    for (int i = 0; i < 5; ++i) {
        ReadMemory(tav.hProcess, &idleSet, &idleFile);
        Sleep(200);
    }
    MemoryRow("Idle after the listings, read 5 times 0.2 s apart (noise)", idleSet, idleFile, "-");

    std::vector<double> workingSet, pagefile;
    HWND lower = GetDlgItem(hDlg, IDC_CHILD_LIST);
    for (int round = 0; round < settings.memoryRounds; ++round) {
        if (!SelectTopLevel(hDlg, fixture.shared->targetParent))
            Fail("the target window is not listed");
        Send(lower, LB_SETCURSEL, 0, 0);
        for (int i = 0; i < settings.memoryTicks; ++i)
            Send(hDlg, WM_TIMER, CLICK_TIMER, 0);
        for (int i = 0; i < settings.memoryRefreshes; ++i) {
            PressRefresh(hDlg);
            FlushPaint(hDlg);
        }
        ReadMemory(tav.hProcess, &workingSet, &pagefile);
        Progress("memory round %d/%d: working set %.0f KiB, page file %.0f KiB", round + 1,
                 settings.memoryRounds, workingSet.back(), pagefile.back());
    }
    std::string point = Format("After each round of %d ticks and %d refreshes",
                               settings.memoryTicks, settings.memoryRefreshes);
    MemoryRow(point.c_str(), workingSet, pagefile,
              Growth(point.c_str(), workingSet, pagefile).c_str());
}

// The descendant listing of one fixture window, against the bare enumeration of the
// same window from this process, interleaved run by run.
void MeasureDescendants(const Settings &settings, const char *shape, int size, bool withMemory)
{
    Fixture fixture;
    if (!StartFixture(shape, size, &fixture))
        Fail("the window fixture did not start");
    PROCESS_INFORMATION tav;
    HWND hDlg = StartTavrolinde(&tav);
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    HWND lower = GetDlgItem(hDlg, IDC_CHILD_LIST);
    HWND container = fixture.shared->container;

    Sleep(SETTLE_CASE_MS);

    std::vector<double> listing, bare, workingSet, pagefile;
    g_paintWaits.clear();
    int maxRuns = MaxListingRuns(settings, size);
    double caseStart = NowMs();
    for (int run = 0; MoreRuns(run, maxRuns, caseStart); ++run) {
        // Every run starts from the same state: another window selected, a short
        // lower list, everything painted. Which of the two goes first alternates.
        if (!SelectTopLevel(hDlg, fixture.shared->targetParent))
            Fail("the target window is not listed");
        FlushPaint(hDlg);
        int index = FindEntry(upper, container);
        if (index < 0)
            Fail("the fixture's window is not listed");
        Send(upper, LB_SETCURSEL, index, 0);

        for (int k = 0; k < 2; ++k) {
            // The previous step's paint and its work in the X server settle first, so
            // it slows neither side.
            Sleep(SETTLE_MS);
            if ((k == 0) == (run % 2 == 0)) {
                double start = NowMs();
                int found = BareDescendants(container);
                bare.push_back(NowMs() - start);
                if (found != size)
                    Fail("the bare enumeration found another number of windows");
            } else {
                listing.push_back(TimeCommand(hDlg, MAKEWPARAM(IDC_WINDOW_LIST, LBN_SELCHANGE),
                                              reinterpret_cast<LPARAM>(upper)));
            }
        }
        if (Send(lower, LB_GETCOUNT, 0, 0) != size)
            Fail("the lower list does not hold every descendant");
        if (withMemory)
            ReadMemory(tav.hProcess, &workingSet, &pagefile);
        Progress("descendants %s %d: run %d (at most %d): listing %.1f ms (paint %.1f ms), bare "
                 "%.2f ms",
                 shape, size, run + 1, maxRuns, listing.back(), g_paintWaits.back(), bare.back());
    }
    std::string measure =
        Format("Descendant listing, %s, %s windows", shape, Thousands(size).c_str());
    SpeedRow(measure, "bare EnumChildWindows", listing, bare,
             size >= LISTING_TARGET_FROM ? LISTING_TARGET : 0, true);

    if (withMemory) {
        std::string point = Format("After each %s-descendant listing", Thousands(size).c_str());
        MemoryRow(point.c_str(), workingSet, pagefile,
                  Growth(point.c_str(), workingSet, pagefile).c_str());
        MeasureMemoryRounds(settings, hDlg, tav, fixture);
    }
    End(&tav);
    StopFixture(&fixture);
}

// Times a Refresh command to the minimal dialog that runs the bare enumeration, sent
// and flushed as Tavrolinde's is; the count that answers it proves the enumeration ran.
double TimeBareCommand(HWND bareDlg, int *found)
{
    double start = NowMs();
    *found = static_cast<int>(Send(bareDlg, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0));
    FlushPaint(bareDlg);
    return NowMs() - start;
}

// The top-level listing runs in Tavrolinde's dialog process, at start-up and on a
// command. Its floor is the bare enumeration run in a dialog process of the same kind
// at the same moments: the minimal dialog started with "enumerate". The platform
// answers the same calls at very different speeds in a process that has just started
// and in one that has been waiting for messages, and both differ from the benchmark's
// own process; the bare enumeration here is reported beside them for that reason.
void MeasureTopLevel(const Settings &settings)
{
    Fixture fixture;
    if (!StartFixture("toplevel", settings.topLevelWindows, &fixture))
        Fail("the window fixture did not start");
    std::string extra = Thousands(settings.topLevelWindows);

    PROCESS_INFORMATION tav, bare;
    HWND hDlg = StartTavrolinde(&tav);
    HWND bareDlg = StartDialog(MINIMAL_DIALOG, ENUMERATE, false, &bare);
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    HWND refreshButton = GetDlgItem(hDlg, IDC_REFRESH);
    Sleep(SETTLE_CASE_MS);
    std::vector<double> refresh, bareDialog, bareHere;
    g_paintWaits.clear();
    double caseStart = NowMs();
    for (int run = 0; MoreRuns(run, settings.refreshRuns, caseStart); ++run) {
        // The three take turns at going first.
        int found = 0;
        int foundHere = 0;
        for (int k = 0; k < 3; ++k) {
            Sleep(SETTLE_MS);
            switch ((k + run) % 3) {
            case 0:
                refresh.push_back(TimeCommand(hDlg, MAKEWPARAM(IDC_REFRESH, BN_CLICKED),
                                              reinterpret_cast<LPARAM>(refreshButton)));
                break;
            case 1:
                bareDialog.push_back(TimeBareCommand(bareDlg, &found));
                break;
            default: {
                double start = NowMs();
                foundHere = BareTopLevel();
                bareHere.push_back(NowMs() - start);
            }
            }
        }
        int listed = static_cast<int>(Send(upper, LB_GETCOUNT, 0, 0));
        if (listed < settings.topLevelWindows || found < settings.topLevelWindows)
            Fail("Refresh or the bare enumeration missed the fixture's windows");
        Progress("top-level refresh: run %d (at most %d): %.1f ms (%d entries), bare in a dialog "
                 "%.1f ms (%d windows), bare here %.1f ms (%d windows)",
                 run + 1, settings.refreshRuns, refresh.back(), listed, bareDialog.back(), found,
                 bareHere.back(), foundHere);
    }
    End(&tav);
    End(&bare);
    SpeedRow(Format("Top-level listing, Refresh, %s extra windows", extra.c_str()),
             "bare EnumWindows in the minimal dialog, on the same command", refresh, bareDialog,
             LISTING_TARGET, true);
    SpeedRow(Format("Bare EnumWindows on a command to the minimal dialog, %s extra windows",
                    extra.c_str()),
             "the same in the benchmark's process", bareDialog, bareHere, 0);

    // At start-up: Tavrolinde, the minimal dialog with the bare enumeration and the
    // minimal dialog alone, launched in turn. Each dialog is timed from being seen
    // visible until its list answers; what the minimal dialog alone spends there (its
    // icon, topmost state and first paint, and the wait for the next look) is taken off
    // both others, turn by turn, which leaves the listing and the bare enumeration.
    std::vector<double> fill, fillBare, fillBareHere, launches, minimalLaunches;
    caseStart = NowMs();
    for (int turn = 0; MoreRuns(turn, settings.fillPairs, caseStart); ++turn) {
        LaunchTimes tavTimes = {}, bareTimes = {}, minimalTimes = {};
        for (int k = 0; k < 3; ++k) {
            PROCESS_INFORMATION process;
            switch ((k + turn) % 3) {
            case 0:
                tavTimes = TimeLaunch(TAVROLINDE, "", true, &process);
                break;
            case 1:
                bareTimes = TimeLaunch(MINIMAL_DIALOG, ENUMERATE, false, &process);
                break;
            default:
                minimalTimes = TimeLaunch(MINIMAL_DIALOG, "", false, &process);
            }
            EndLaunch(&process);
        }
        launches.push_back(tavTimes.launch);
        minimalLaunches.push_back(minimalTimes.launch);
        fill.push_back(tavTimes.listing - minimalTimes.listing);
        fillBare.push_back(bareTimes.listing - minimalTimes.listing);
        double start = NowMs();
        BareTopLevel();
        fillBareHere.push_back(NowMs() - start);
        Progress("top-level start-up: turn %d (at most %d): seen visible until answering: "
                 "Tavrolinde %.1f ms, bare in the minimal dialog %.1f ms, minimal alone %.1f ms; "
                 "launches: Tavrolinde %.1f ms, minimal %.1f ms",
                 turn + 1, settings.fillPairs, tavTimes.listing, bareTimes.listing,
                 minimalTimes.listing, tavTimes.launch, minimalTimes.launch);
    }
    SpeedRow(Format("Top-level listing at start-up, %s extra windows (from the dialog seen "
                    "visible until its list answers, less the minimal dialog's same span)",
                    extra.c_str()),
             "bare EnumWindows in the minimal dialog, at its start-up, measured alike", fill,
             fillBare, LISTING_TARGET);
    SpeedRow(Format("Bare EnumWindows at the start-up of the minimal dialog, %s extra windows",
                    extra.c_str()),
             "the same in the benchmark's process", fillBare, fillBareHere, 0);
    SpeedRow(Format("Start-up with %s extra windows", extra.c_str()), "minimal dialog", launches,
             minimalLaunches, 0);
    StopFixture(&fixture);
}

void MeasureStartup(const Settings &settings)
{
    std::vector<double> tav, minimal, workingSet, pagefile;
    for (int launch = 0; launch < settings.startupLaunches; ++launch) {
        for (int k = 0; k < 2; ++k) {
            bool tavNow = (k == 0) == (launch % 2 == 0);
            PROCESS_INFORMATION process;
            double ms =
                TimeLaunch(tavNow ? TAVROLINDE : MINIMAL_DIALOG, "", tavNow, &process).launch;
            (tavNow ? tav : minimal).push_back(ms);
            if (tavNow)
                ReadMemory(process.hProcess, &workingSet, &pagefile);
            EndLaunch(&process);
        }
        Progress("start-up: launch %d/%d: Tavrolinde %.1f ms, minimal %.1f ms", launch + 1,
                 settings.startupLaunches, tav.back(), minimal.back());
    }
    SpeedRow("Start-up: launch until the dialog is visible, filled and painted", "minimal dialog",
             tav, minimal, STARTUP_TARGET);
    MemoryRow("After start", workingSet, pagefile, "-");
}

// Processor time of the process in consecutive windows, scaled to 10 s.
std::vector<double> IdleWindows(const Settings &settings, DWORD processId)
{
    std::vector<double> used;
    for (int i = 0; i < settings.idleWindows; ++i) {
        double before = ProcessorMs(processId);
        Sleep(settings.idleWindowMs);
        double passed = ProcessorMs(processId) - before;
        if (passed > 0 && (g_processorStep == 0 || passed < g_processorStep))
            g_processorStep = passed;
        used.push_back(passed * 10000.0 / settings.idleWindowMs);
    }
    return used;
}

void MeasureTimerAndIdle(const Settings &settings)
{
    Fixture fixture;
    if (!StartFixture("target", 0, &fixture))
        Fail("the window fixture did not start");
    PROCESS_INFORMATION tav;
    HWND hDlg = StartTavrolinde(&tav);
    if (!SelectTopLevel(hDlg, fixture.shared->targetParent))
        Fail("the target window is not listed");
    Send(GetDlgItem(hDlg, IDC_CHILD_LIST), LB_SETCURSEL, 0, 0);
    FlushPaint(hDlg);
    Sleep(1000);

    LONG clicksBefore = fixture.shared->clicks;
    std::vector<double> idleOut = IdleWindows(settings, tav.dwProcessId);
    LONG clicksIdle = fixture.shared->clicks - clicksBefore;
    Progress("idle, toggle out: median %.1f ms per 10 s", Summarize(idleOut).median);

    HWND toggle = GetDlgItem(hDlg, IDC_AUTO_CLICK);
    LONG first = fixture.shared->clicks;
    Send(toggle, BM_CLICK, 0, 0);
    double pressed = NowMs();
    if (Send(toggle, BM_GETCHECK, 0, 0) != BST_CHECKED)
        Fail("the toggle did not stay pressed in");
    std::vector<double> idleIn = IdleWindows(settings, tav.dwProcessId);
    LONG clicksIn = fixture.shared->clicks - first;
    Progress("idle, toggle in: median %.1f ms per 10 s", Summarize(idleIn).median);
    double deadline = NowMs() + (settings.ticks + 5) * TICK_MS;
    while (fixture.shared->clicks - first < settings.ticks && NowMs() < deadline)
        Sleep(TICK_WAIT_STEP_MS);
    Send(toggle, BM_CLICK, 0, 0);
    LONG ticks = fixture.shared->clicks - first;
    if (ticks < settings.ticks || Send(toggle, BM_GETCHECK, 0, 0) != BST_UNCHECKED)
        Fail("the timer did not tick as expected");

    std::vector<double> arrivals, intervals, spans;
    for (LONG i = 0; i < ticks && first + i < MAX_RECORDED_CLICKS; ++i)
        arrivals.push_back(CounterToMs(fixture.shared->clickTimes[first + i]));
    for (size_t i = 0; i < arrivals.size(); ++i)
        intervals.push_back(arrivals[i] - (i == 0 ? pressed : arrivals[i - 1]));
    size_t k = static_cast<size_t>(settings.driftTick);
    for (size_t i = 0; i + k < arrivals.size(); ++i)
        spans.push_back(arrivals[i + k] - arrivals[i] - k * TICK_MS);
    std::vector<double> drift = {arrivals[k - 1] - pressed - k * TICK_MS};

    // A tick's own work, seen from outside: a sent WM_TIMER against a sent WM_NULL,
    // which costs the same round trip and nothing else.
    std::vector<double> timers, nulls, inside;
    for (int i = 0; i < settings.tickTimings; ++i) {
        double start = NowMs();
        Send(hDlg, WM_NULL, 0, 0);
        double middle = NowMs();
        Send(hDlg, WM_TIMER, CLICK_TIMER, 0);
        double end = NowMs();
        nulls.push_back(middle - start);
        timers.push_back(end - middle);
        inside.push_back((end - middle) - (middle - start));
    }
    End(&tav);
    StopFixture(&fixture);

    Summary interval = Summarize(intervals);
    g_timer += Format("| Tick interval (press to tick 1, then tick to tick) | %d | %s | mean %s, "
                      "standard deviation %s |\n",
                      interval.runs, MsRange(interval).c_str(), Ms(interval.mean).c_str(),
                      Ms(interval.deviation).c_str());
    g_timer += Format("| Drift of tick %d from %d s after the press | 1 | %s | one observation |\n",
                      settings.driftTick, settings.driftTick, Ms(drift[0]).c_str());
    g_timer += Format("| Drift of every span of %d ticks from %d s | %d | %s | spans overlap |\n",
                      settings.driftTick, settings.driftTick, static_cast<int>(spans.size()),
                      MsRange(Summarize(spans)).c_str());
    g_timer += Format("| Sent WM_TIMER, round trip | %d | %s | a tick with a target selected |\n",
                      static_cast<int>(timers.size()), MsRange(Summarize(timers)).c_str());
    g_timer += Format("| Sent WM_NULL, round trip | %d | %s | the baseline |\n",
                      static_cast<int>(nulls.size()), MsRange(Summarize(nulls)).c_str());
    g_timer += Format("| Time inside one tick (WM_TIMER minus WM_NULL, pair by pair) | %d | %s | "
                      "WM_TIMER is %.2fx WM_NULL |\n",
                      static_cast<int>(inside.size()), MsRange(Summarize(inside)).c_str(),
                      Summarize(timers).median / Summarize(nulls).median);

    Summary out = Summarize(idleOut);
    Summary in = Summarize(idleIn);
    std::string window =
        Format("%d x %.0f s", settings.idleWindows, settings.idleWindowMs / 1000.0);
    g_idle += Format("| Out, target selected | %s | %s | %ld | none measurable | %s |\n",
                     window.c_str(), MsRange(out).c_str(), static_cast<long>(clicksIdle),
                     Verdict(out.median == 0 && clicksIdle == 0, "idle with the toggle out"));
    g_idle += Format("| In, target selected | %s | %s | %ld | - | report |\n", window.c_str(),
                     MsRange(in).c_str(), static_cast<long>(clicksIn));
}

// imports: the libraries Tavrolinde.exe imports, comma-separated, as scripts/bench.sh read
// them with objdump.
void MeasureSizes(const std::string &imports)
{
    long long bytes = FileSize(TAVROLINDE);
    g_size += Format("| Size of Tavrolinde.exe | %lld bytes | <= %lld bytes | %s |\n", bytes,
                     SIZE_TARGET_BYTES,
                     Verdict(bytes > 0 && bytes <= SIZE_TARGET_BYTES, "executable size"));
    std::string libraries;
    for (char c : imports)
        libraries += c == ',' ? std::string(", ") : std::string(1, c);
    g_size += Format("| Libraries it imports | %s | %s | %s |\n",
                     libraries.empty() ? "-" : libraries.c_str(), ALLOWED_IMPORTS,
                     Verdict(libraries == ALLOWED_IMPORTS, "imported libraries"));
}

void PrintReport(const Settings &settings, double minutes)
{
    printf("Mode: %s. The benchmark ran for %.1f min.\n\n", settings.quick ? "quick" : "full",
           minutes);
    printf("Targets met: %d of %d.", g_targets - static_cast<int>(g_missed.size()), g_targets);
    for (size_t i = 0; i < g_missed.size(); ++i)
        printf("%s%s", i == 0 ? " Missed: " : "; ", g_missed[i].c_str());
    printf("%s\n\n", g_missed.empty() ? "" : ".");
    if (!g_speed.empty()) {
        printf("## Speed\n\n"
               "Each figure is the median of its runs, with the minimum and maximum in brackets. "
               "The baseline is measured in the same run, interleaved with Tavrolinde: each run "
               "of one is paired with a run of the other right before or after it, and the "
               "ratio is the median of the pairs' ratios (with their minimum and maximum). "
               "Tavrolinde is driven from another process, as a click would drive it: a listing "
               "is timed from the command sent to its dialog (the selection change in the upper "
               "list, or Refresh) until the list is complete and painted, every pending paint of "
               "the dialog forced and waited for (\"paint\": the median time from the command's "
               "return to the end of that paint, included in the figure). The bare enumerations "
               "read every window's text and class into buffers of the listings' size and, for "
               "the top-level windows, test the same filters with IsWindowVisible, but put "
               "nothing in a list. Tavrolinde's top-level listing asks the desktop once whether "
               "it is visible and each window only for its style, which gives the same answer as "
               "IsWindowVisible for a top-level window at a lower cost. The listed windows "
               "belong to a fixture process of their own; the nested ones form chains %d deep. "
               "For the descendant listings the bare enumeration runs in the benchmark's "
               "process. The top-level listing runs at the start-up of a new process and on a "
               "command, where the platform answers the same calls at other speeds than in the "
               "benchmark's process (the rows \"Bare EnumWindows ...\" show how much), so its "
               "baseline is the bare enumeration run by the minimal dialog at the same moments: "
               "at its own start-up, and on the same Refresh command, sent and flushed alike. At "
               "start-up each dialog is timed from the moment it is first seen visible (it shows "
               "itself right before the listing) until its list answers, and the same span of "
               "the minimal dialog that lists nothing, launched in the same turn, is taken off. "
               "Start-up is timed from the launch until the dialog is visible, its upper list "
               "filled (for the minimal dialog: answering) and everything painted.\n\n",
               NESTED_CHAIN_DEPTH);
        printf("| Measure | Runs | Figure | Baseline | Ratio | Target | Result |\n"
               "|---|---|---|---|---|---|---|\n%s\n",
               g_speed.c_str());
        printf("Timed listings: %d; with a paint still pending after the wait for it: %d.\n\n",
               g_timedRuns, g_paintsAfterFlush);
    }
    if (!g_timer.empty()) {
        printf("## Timer\n\nTicks observed from outside: the arrival of each posted button "
               "press in the target window, which lives in the fixture process.\n\n"
               "| Measure | Samples | Median (min to max) | Note |\n|---|---|---|---|\n%s\n",
               g_timer.c_str());
    }
    if (!g_idle.empty()) {
        printf("## Idle\n\nProcessor time of the Tavrolinde process (kernel and user, all "
               "threads) in consecutive windows, scaled to 10 s. ");
        if (g_processorStep > 0)
            printf("The smallest amount seen to pass in a window was %s: the reading moves in "
                   "steps of the system's clock tick.\n\n",
                   Ms(g_processorStep).c_str());
        else
            printf("No window saw any processor time pass.\n\n");
        printf("| Toggle | Windows | Processor time per 10 s | Clicks | Target | Result |\n"
               "|---|---|---|---|---|---|\n%s\n",
               g_idle.c_str());
    }
    if (!g_memory.empty()) {
        printf("## Memory\n\nWorking set and page-file usage of the Tavrolinde process "
               "(GetProcessMemoryInfo; under Wine, the resident memory of the process and its "
               "resident anonymous memory plus swap). Growth is from the second sample of a row "
               "to its last (the first large listing grows the heap once); up to %.0f KiB counts "
               "as noise.\n\n",
               MEMORY_NOISE_KIB);
        printf("| Point | Samples | Working set | Page-file usage | Growth (set / page file) |\n"
               "|---|---|---|---|---|\n%s\n",
               g_memory.c_str());
    }
    printf("## Size\n\nThe release build (MinSizeRel, stripped) of the program.\n\n"
           "| Measure | Figure | Target | Result |\n|---|---|---|---|\n%s",
           g_size.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    bool quick = false;
    const char *only = nullptr;
    std::string imports;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (strcmp(argv[i], "--imports") == 0 && i + 1 < argc)
            imports = argv[++i];
        else
            Fail("usage: tavrolinde_bench.exe [--quick] [--only "
                 "startup|toplevel|descendants|timer] [--imports LIBRARY,...]");
    }
    auto runs = [only](const char *section) {
        return only == nullptr || strcmp(only, section) == 0;
    };
    Settings settings = quick ? QuickSettings() : FullSettings();
    double start = NowMs();

    MeasureSizes(imports);
    if (runs("startup"))
        MeasureStartup(settings);
    if (runs("toplevel"))
        MeasureTopLevel(settings);
    if (runs("descendants")) {
        for (int size : settings.sizes) {
            for (const char *shape : {"flat", "nested"}) {
                bool withMemory = size == settings.sizes.back() && strcmp(shape, "flat") == 0;
                MeasureDescendants(settings, shape, size, withMemory);
            }
        }
    }
    if (runs("timer"))
        MeasureTimerAndIdle(settings);

    PrintReport(settings, (NowMs() - start) / 60000.0);
    return 0;
}

// The measures of the program as it runs and as it is built: the click timer, the
// processor time it uses while idle, its memory, and the executable's size.
#include <windows.h>

#include "bench/measures.h"
#include "res/resource.h"

namespace {

constexpr UINT_PTR CLICK_TIMER = 0;
constexpr double TICK_MS = 1000.0;
constexpr DWORD TICK_WAIT_STEP_MS = 100;

// Tavrolinde with the fixture's target picked in both lists, everything painted and
// settled; the toggle not yet pressed in.
struct ClickSession {
    Fixture fixture;
    PROCESS_INFORMATION tav;
    HWND hDlg;
    HWND toggle;
};

ClickSession StartClickSession()
{
    ClickSession session;
    StartFixture("target", 0, &session.fixture);
    session.hDlg = StartTavrolinde(&session.tav);
    session.toggle = GetDlgItem(session.hDlg, IDC_AUTO_CLICK);
    PickTarget(session.hDlg, session.fixture);
    FlushPaint(session.hDlg);
    Sleep(SETTLE_CASE_MS);
    return session;
}

void EndClickSession(ClickSession *session)
{
    End(&session->tav);
    StopFixture(&session->fixture);
}

LONG Clicks(const ClickSession &session)
{
    return session.fixture.shared->clicks;
}

// Presses the toggle in as a click would; returns when, the first tick being due a
// second later.
double PressToggleIn(const ClickSession &session)
{
    Send(session.toggle, BM_CLICK, 0, 0);
    double pressed = NowMs();
    if (Send(session.toggle, BM_GETCHECK, 0, 0) != BST_CHECKED)
        Fail("the toggle did not stay pressed in");
    return pressed;
}

// Processor time of the process in consecutive windows, scaled to 10 s. step keeps the
// smallest amount seen to pass in a window: the reading's step.
std::vector<double> IdleWindows(const Settings &settings, DWORD processId, double *step)
{
    std::vector<double> used;
    for (int i = 0; i < settings.idleWindows; ++i) {
        double before = ProcessorMs(processId);
        Sleep(settings.idleWindowMs);
        double passed = ProcessorMs(processId) - before;
        if (passed > 0 && (*step == 0 || passed < *step))
            *step = passed;
        used.push_back(passed * 10000.0 / settings.idleWindowMs);
    }
    return used;
}

std::string MemoryTable(const std::string &rows)
{
    return Format("Up to %.0f KiB counts as noise.\n\n", MEMORY_NOISE_KIB) +
           "| Point | Samples | Working set | Page-file usage | Growth (set / page file) |\n"
           "|---|---|---|---|---|\n" +
           rows;
}

// Rounds of ticks sent to the dialog with a target selected, then refreshes: memory
// that grows from round to round is kept by something that should have been freed.
std::string MemoryRounds(const Settings &settings, Report *report, HWND hDlg,
                         const PROCESS_INFORMATION &tav, const Fixture &fixture)
{
    MemorySamples samples;
    for (int round = 0; round < settings.memoryRounds; ++round) {
        PickTarget(hDlg, fixture);
        for (int i = 0; i < settings.memoryTicks; ++i)
            Send(hDlg, WM_TIMER, CLICK_TIMER, 0);
        for (int i = 0; i < settings.memoryRefreshes; ++i) {
            PressRefresh(hDlg);
            FlushPaint(hDlg);
        }
        ReadMemory(tav.hProcess, &samples);
        Progress("memory round %d/%d: working set %.0f KiB, page file %.0f KiB", round + 1,
                 settings.memoryRounds, samples.workingSet.back(), samples.pagefile.back());
    }
    std::string point = Format("After each round of %d ticks and %d refreshes",
                               settings.memoryTicks, settings.memoryRefreshes);
    return MemoryRow(point, samples, Growth(report, point, samples));
}

} // namespace

void MeasureTimer(const Settings &settings, Report *report)
{
    ClickSession session = StartClickSession();
    LONG first = Clicks(session);
    double pressed = PressToggleIn(session);
    double deadline = pressed + (settings.ticks + 5) * TICK_MS;
    while (Clicks(session) - first < settings.ticks && NowMs() < deadline)
        Sleep(TICK_WAIT_STEP_MS);
    Send(session.toggle, BM_CLICK, 0, 0);
    LONG ticks = Clicks(session) - first;
    if (ticks < settings.ticks || Send(session.toggle, BM_GETCHECK, 0, 0) != BST_UNCHECKED)
        Fail("the timer did not tick as expected");

    std::vector<double> arrivals, intervals, spans;
    for (LONG i = 0; i < ticks && first + i < MAX_RECORDED_CLICKS; ++i)
        arrivals.push_back(CounterToMs(session.fixture.shared->clickTimes[first + i]));
    for (size_t i = 0; i < arrivals.size(); ++i)
        intervals.push_back(arrivals[i] - (i == 0 ? pressed : arrivals[i - 1]));
    size_t k = static_cast<size_t>(settings.driftTick);
    for (size_t i = 0; i + k < arrivals.size(); ++i)
        spans.push_back(arrivals[i + k] - arrivals[i] - k * TICK_MS);
    double drift = arrivals[k - 1] - pressed - k * TICK_MS;

    // A tick's own work, seen from outside: a sent WM_TIMER against a sent WM_NULL,
    // which costs the same round trip and nothing else.
    std::vector<double> timers, nulls, inside;
    for (int i = 0; i < settings.tickTimings; ++i) {
        double start = NowMs();
        Send(session.hDlg, WM_NULL, 0, 0);
        double middle = NowMs();
        Send(session.hDlg, WM_TIMER, CLICK_TIMER, 0);
        double end = NowMs();
        nulls.push_back(middle - start);
        timers.push_back(end - middle);
        inside.push_back((end - middle) - (middle - start));
    }
    EndClickSession(&session);
    Progress("timer: %ld ticks, median interval %.1f ms", static_cast<long>(ticks),
             Summarize(intervals).median);

    Summary interval = Summarize(intervals);
    std::string text = "| Measure | Samples | Median (min to max) | Note |\n|---|---|---|---|\n";
    text += Format("| Tick interval (press to tick 1, then tick to tick) | %d | %s | mean %s, "
                   "standard deviation %s |\n",
                   interval.runs, MsRange(interval).c_str(), Ms(interval.mean).c_str(),
                   Ms(interval.deviation).c_str());
    text += Format("| Drift of tick %d from %d s after the press | 1 | %s | one observation |\n",
                   settings.driftTick, settings.driftTick, Ms(drift).c_str());
    text += Format("| Drift of every span of %d ticks from %d s | %d | %s | spans overlap |\n",
                   settings.driftTick, settings.driftTick, static_cast<int>(spans.size()),
                   MsRange(Summarize(spans)).c_str());
    text += Format("| Sent WM_TIMER, round trip | %d | %s | a tick with a target selected |\n",
                   static_cast<int>(timers.size()), MsRange(Summarize(timers)).c_str());
    text += Format("| Sent WM_NULL, round trip | %d | %s | the baseline |\n",
                   static_cast<int>(nulls.size()), MsRange(Summarize(nulls)).c_str());
    text += Format("| Time inside one tick (WM_TIMER minus WM_NULL, pair by pair) | %d | %s | "
                   "WM_TIMER is %.2fx WM_NULL |\n",
                   static_cast<int>(inside.size()), MsRange(Summarize(inside)).c_str(),
                   Summarize(timers).median / Summarize(nulls).median);
    AddSection(report, "timer", text);
}

void MeasureIdle(const Settings &settings, Report *report)
{
    ClickSession session = StartClickSession();
    double step = 0;
    LONG clicksBefore = Clicks(session);
    std::vector<double> idleOut = IdleWindows(settings, session.tav.dwProcessId, &step);
    LONG clicksOut = Clicks(session) - clicksBefore;
    Progress("idle, toggle out: median %.1f ms per 10 s", Summarize(idleOut).median);

    LONG first = Clicks(session);
    PressToggleIn(session);
    std::vector<double> idleIn = IdleWindows(settings, session.tav.dwProcessId, &step);
    LONG clicksIn = Clicks(session) - first;
    Progress("idle, toggle in: median %.1f ms per 10 s", Summarize(idleIn).median);
    EndClickSession(&session);

    Summary out = Summarize(idleOut);
    std::string text =
        step > 0 ? Format("The smallest amount seen to pass in a window was %s: the reading "
                          "moves in steps of the system's clock tick.\n\n",
                          Ms(step).c_str())
                 : "No window saw any processor time pass.\n\n";
    text += "| Toggle | Windows | Processor time per 10 s | Clicks | Target | Result |\n"
            "|---|---|---|---|---|---|\n";
    std::string window =
        Format("%d x %.0f s", settings.idleWindows, settings.idleWindowMs / 1000.0);
    text += Format("| Out, target selected | %s | %s | %ld | none measurable | %s |\n",
                   window.c_str(), MsRange(out).c_str(), static_cast<long>(clicksOut),
                   Verdict(report, out.median == 0 && clicksOut == 0, "idle with the toggle out"));
    text += Format("| In, target selected | %s | %s | %ld | - | report |\n", window.c_str(),
                   MsRange(Summarize(idleIn)).c_str(), static_cast<long>(clicksIn));
    AddSection(report, "idle", text);
}

void MeasureMemory(const Settings &settings, Report *report)
{
    MemorySamples started;
    for (int launch = 0; launch < settings.startupLaunches; ++launch) {
        PROCESS_INFORMATION process;
        StartTavrolinde(&process);
        ReadMemory(process.hProcess, &started);
        EndLaunch(&process);
    }
    Progress("memory after start: working set %.0f KiB", Summarize(started.workingSet).median);
    std::string rows = MemoryRow("After start", started, "-");

    // The largest flat listing, again and again in one process.
    int size = settings.sizes.back();
    Fixture fixture;
    StartFixture("flat", size, &fixture);
    PROCESS_INFORMATION tav;
    HWND hDlg = StartTavrolinde(&tav);
    Sleep(SETTLE_CASE_MS);
    MemorySamples listed;
    int maxRuns = MaxListingRuns(settings, size);
    double caseStart = NowMs();
    for (int run = 0; MoreRuns(run, maxRuns, caseStart); ++run) {
        SelectTopLevel(hDlg, fixture.shared->targetParent);
        FlushPaint(hDlg);
        SelectTopLevel(hDlg, fixture.shared->container);
        FlushPaint(hDlg);
        ExpectDescendants(hDlg, size);
        ReadMemory(tav.hProcess, &listed);
        Progress("memory, %d descendants: listing %d (at most %d): working set %.0f KiB", size,
                 run + 1, maxRuns, listed.workingSet.back());
    }
    std::string point = Format("After each %s-descendant listing", Thousands(size).c_str());
    rows += MemoryRow(point, listed, Growth(report, point, listed));

    constexpr int IDLE_READINGS = 5;
    constexpr DWORD IDLE_READING_MS = 200;
    MemorySamples idle;
    for (int i = 0; i < IDLE_READINGS; ++i) {
        ReadMemory(tav.hProcess, &idle);
        Sleep(IDLE_READING_MS);
    }
    rows += MemoryRow(Format("Idle after the listings, read %d times %.1f s apart (noise)",
                             IDLE_READINGS, IDLE_READING_MS / 1000.0),
                      idle, "-");
    rows += MemoryRounds(settings, report, hDlg, tav, fixture);
    End(&tav);
    StopFixture(&fixture);
    AddSection(report, "memory", MemoryTable(rows));
}

// The program as it ships: scripts/check-program.sh checks it, as it does for the release,
// and scripts/bench.sh passes its lines on, "what|found|required|verdict" each.
void MeasureSize(const Settings &settings, Report *report)
{
    std::string text = "| Measure | Figure | Target | Result |\n|---|---|---|---|\n";
    std::string check = settings.programCheck;
    while (!check.empty()) {
        const size_t end = check.find(';');
        std::string line = check.substr(0, end);
        check = end == std::string::npos ? "" : check.substr(end + 1);
        std::string fields[4];
        for (std::string &field : fields) {
            const size_t bar = line.find('|');
            field = line.substr(0, bar);
            line = bar == std::string::npos ? "" : line.substr(bar + 1);
        }
        text += Format("| %s | %s | %s | %s |\n", fields[0].c_str(), fields[1].c_str(),
                       fields[2].c_str(), Verdict(report, fields[3] == "PASS", fields[0]));
    }
    if (settings.programCheck.empty())
        text += Format("| Tavrolinde.exe | not checked | scripts/check-program.sh | %s |\n",
                       Verdict(report, false, "program check"));
    AddSection(report, "size", text);
}

// Tavrolinde's benchmark driver. It drives the real program from outside, as a user's
// clicks would, beside the floor dialog (floor_dialog.cpp) doing the same job the simplest
// way, with the listed windows in a fixture process of their own. It runs one case:
//   tavrolinde_bench.exe CASE SAMPLES FILE
// takes SAMPLES samples and writes each to FILE beside itself, a line of milliseconds (or
// KiB): scripts/bench.py, which fixed their number before the run, turns them into the
// report.
//   startup         a launch until the dialog is ready and painted: Tavrolinde, the floor
//                   dialog listing nothing
//   refresh         Refresh with 1,000 extra top-level windows: Tavrolinde, the floor
//   flat-N          the descendant listing of a window with N children, nested-N of N
//   nested-N        descendants in chains: Tavrolinde, the floor, the bare enumeration
//   memory          working set and page-file usage (KiB) after a listing of 10,000
//                   descendants, then after a round of ticks and refreshes: a sample
//                   is a round
//   idle            processor time used while the toggle is out, per window of time
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "lister/lister.h"
#include "res/resource.h"
#include "tests/support/support.h"

namespace {

// Looks for a starting dialog this often: a start-up is timed to it.
constexpr DWORD START_POLL_MS = 1;
// Before each timed run, so that the last one's work in the X server is done.
constexpr DWORD BEFORE_RUN_MS = 30;
// Before each launch, so that the last process's end is done.
constexpr DWORD LAUNCH_SETTLE_MS = 100;
// Launches of each program a start-up sample takes.
constexpr int STARTUP_REPEATS = 2;
// Once every program of a case is started.
constexpr DWORD SETTLE_CASE_MS = 500;
constexpr int TOP_LEVEL_WINDOWS = 1000;
constexpr int MEMORY_WINDOWS = 10000;
// The ticks and refreshes of each round of the memory measure.
constexpr int MEMORY_TICKS = 150;
constexpr int MEMORY_REFRESHES = 50;
constexpr DWORD IDLE_WINDOW_MS = 2000;
constexpr char FLOOR_DIALOG[] = "floor_dialog.exe";

FILE *g_samples = nullptr;
// Samples the case takes, as the command line gives them.
int g_sampleCount = 0;

[[noreturn]] void Fail(const char *what)
{
    fprintf(stderr, "bench: %s\n", what);
    exit(1);
}

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// One sample, a line of the samples' file.
void Record(const std::vector<double> &values)
{
    for (double value : values)
        fprintf(g_samples, "%.4f ", value);
    fprintf(g_samples, "\n");
    fflush(g_samples);
}

// Has every pending paint of the dialog and its controls done before it returns. A listing
// leaves its list to be painted at the program's next idle moment, after any message sent
// or posted to it. RedrawWindow from another process sends WM_PAINT to each window of the
// dialog that waits for one and returns once they are handled; if the program had begun
// that paint on its own, the WM_NULL sent after it is handled only once the paint is done.
void FlushPaint(HWND hDlg)
{
    RedrawWindow(hDlg, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (!Send(hDlg, WM_NULL, 0, 0, LISTING_MS))
        Fail("a dialog did not answer after a paint");
}

// The dialog of a program just started, once it is ready, its upper list answering (and,
// when `filled`, holding entries), and painted.
HWND ReadyDialog(const TestProcess &program, bool started, bool filled)
{
    HWND hDlg =
        started ? WaitForDialog(program, ANSWERING, LONG_START_MS, filled, START_POLL_MS) : nullptr;
    if (hDlg == nullptr)
        Fail("a dialog did not become ready");
    FlushPaint(hDlg);
    return hDlg;
}

HWND StartTavrolinde(TestProcess &program)
{
    return ReadyDialog(program, program.StartTavrolinde(), true);
}

// The floor dialog, listing nothing or, with "list", doing the listings' job.
HWND StartFloor(TestProcess &program, const char *arguments)
{
    return ReadyDialog(program, program.Start("\"" + BinPath(FLOOR_DIALOG) + "\" " + arguments),
                       arguments[0] != '\0');
}

HWND Fixture(FixtureProcess &fixture, const std::string &arguments)
{
    HWND top = StartFixture(fixture, arguments, LONG_START_MS);
    if (top == nullptr)
        Fail(("the window fixture did not start: " + arguments).c_str());
    return top;
}

LRESULT Count(HWND hDlg, int listId)
{
    return SendDlgItemMessageA(hDlg, listId, LB_GETCOUNT, 0, 0);
}

// Selects `window` in the upper list as a click does, and has the listing painted.
void Select(HWND hDlg, HWND window)
{
    if (!SelectInList(hDlg, IDC_WINDOW_LIST, window))
        Fail("a window is not listed");
    FlushPaint(hDlg);
}

// The descendant listing of `parent`, timed from the command that announces its selection
// until it is painted. The run starts as a user's would, with another window's short list
// shown, and `parent` selected.
double TimeDescendants(HWND hDlg, HWND other, HWND parent, int size)
{
    Select(hDlg, other);
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    SendMessageA(upper, LB_SETCURSEL, IndexOf(upper, parent), 0);
    Sleep(BEFORE_RUN_MS);
    const double start = NowMs();
    if (!SendCommand(hDlg, IDC_WINDOW_LIST, LBN_SELCHANGE))
        Fail("a listing did not end");
    FlushPaint(hDlg);
    const double ms = NowMs() - start;
    if (Count(hDlg, IDC_CHILD_LIST) != size)
        Fail("a lower list does not hold every descendant");
    return ms;
}

BOOL CALLBACK BareProc(HWND hwnd, LPARAM lParam)
{
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
    ++*reinterpret_cast<int *>(lParam);
    return TRUE;
}

// The bare enumeration: every descendant's text and class read, nothing listed.
double TimeBare(HWND parent, int size)
{
    Sleep(BEFORE_RUN_MS);
    int count = 0;
    const double start = NowMs();
    EnumChildWindows(parent, BareProc, reinterpret_cast<LPARAM>(&count));
    const double ms = NowMs() - start;
    if (count != size)
        Fail("the bare enumeration found another number of windows");
    return ms;
}

// Runs of each side in a sample: short listings are timed several times, and the sample
// keeps the fastest, as the machine's pauses only ever add time.
int Repeats(int size)
{
    return size <= 100 ? 3 : size <= 1000 ? 2 : 1;
}

// Takes the case's samples. A sample times each of the contenders `repeats` times,
// round by round, each round in turns as to which goes first, and holds each one's fastest.
void Sample(int contenders, int repeats, const std::function<double(int which)> &timeOne)
{
    for (int turn = 0; turn < g_sampleCount; ++turn) {
        std::vector<double> fastest(contenders, HUGE_VAL);
        for (int round = 0; round < repeats; ++round) {
            for (int k = 0; k < contenders; ++k) {
                const int which = (k + turn + round) % contenders;
                fastest[which] = std::min(fastest[which], timeOne(which));
            }
        }
        Record(fastest);
    }
}

// Tavrolinde against the floor dialog listing nothing. Each launch ends before the next
// begins, and what the system does for a process that ended settles first.
void Startup()
{
    Sample(2, STARTUP_REPEATS, [](int which) {
        Sleep(LAUNCH_SETTLE_MS);
        TestProcess program;
        const double start = NowMs();
        if (which == 0)
            StartTavrolinde(program);
        else
            StartFloor(program, "");
        return NowMs() - start;
    });
}

// Tavrolinde against the floor dialog, with extra top-level windows to list.
void Refresh()
{
    FixtureProcess fixture;
    TestProcess tavrolinde, floor;
    Fixture(fixture, "tops " + std::to_string(TOP_LEVEL_WINDOWS));
    const HWND dialogs[] = {StartTavrolinde(tavrolinde), StartFloor(floor, "list")};
    Sleep(SETTLE_CASE_MS);
    Sample(2, Repeats(TOP_LEVEL_WINDOWS), [&](int which) {
        Sleep(BEFORE_RUN_MS);
        const double start = NowMs();
        if (!SendCommand(dialogs[which], IDC_REFRESH))
            Fail("a Refresh did not end");
        FlushPaint(dialogs[which]);
        const double ms = NowMs() - start;
        if (Count(dialogs[which], IDC_WINDOW_LIST) < TOP_LEVEL_WINDOWS)
            Fail("Refresh missed the fixture's windows");
        return ms;
    });
}

// Tavrolinde against the floor dialog and the bare enumeration. The short list that each
// listing starts from is Tavrolinde's own dialog's, in both dialogs.
void Descendants(const std::string &fixtureArguments, int size)
{
    FixtureProcess fixture;
    TestProcess tavrolinde, floor;
    const HWND parent = Fixture(fixture, fixtureArguments);
    const HWND dialogs[] = {StartTavrolinde(tavrolinde), StartFloor(floor, "list")};
    Sleep(SETTLE_CASE_MS);
    Sample(3, Repeats(size), [&](int which) {
        return which < 2 ? TimeDescendants(dialogs[which], dialogs[0], parent, size)
                         : TimeBare(parent, size);
    });
}

// Appends the process's working set and page-file usage, in KiB, to `reading`.
void ReadMemory(HANDLE process, std::vector<double> &reading)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    reading.push_back(static_cast<double>(counters.WorkingSetSize) / 1024.0);
    reading.push_back(static_cast<double>(counters.PagefileUsage) / 1024.0);
}

// Rounds of one process's work: a listing of 10,000 descendants, then a target picked and
// ticks and refreshes. Memory that grows from round to round is kept by something that
// should have been freed. A round's sample holds the readings after the listing, then after
// the ticks.
void Memory()
{
    FixtureProcess fixture;
    TestProcess tavrolinde;
    const HWND parent = Fixture(fixture, "chains " + std::to_string(MEMORY_WINDOWS));
    const HWND hDlg = StartTavrolinde(tavrolinde);
    Sleep(SETTLE_CASE_MS);
    for (int round = 0; round < g_sampleCount; ++round) {
        std::vector<double> reading;
        TimeDescendants(hDlg, hDlg, parent, MEMORY_WINDOWS);
        ReadMemory(tavrolinde.info.hProcess, reading);
        SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_SETCURSEL, 0, 0);
        for (int i = 0; i < MEMORY_TICKS; ++i)
            SendMessageA(hDlg, WM_TIMER, 0, 0);
        for (int i = 0; i < MEMORY_REFRESHES; ++i) {
            if (!SendCommand(hDlg, IDC_REFRESH))
                Fail("a Refresh did not end");
            FlushPaint(hDlg);
        }
        ReadMemory(tavrolinde.info.hProcess, reading);
        Record(reading);
    }
}

// Summed over the threads of the process. GetProcessTimes would be the call, but Wine
// answers it, for any process, with the processor time of the caller.
double ProcessorMs(DWORD processId)
{
    double total = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        HANDLE thread = entry.th32OwnerProcessID == processId
                            ? OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID)
                            : nullptr;
        FILETIME created, exited, kernel, user;
        if (thread != nullptr && GetThreadTimes(thread, &created, &exited, &kernel, &user))
            total += (ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
                      ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) /
                     10000.0;
        if (thread != nullptr)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return total;
}

// With a target picked in both lists and the toggle out, as a user leaves it.
void Idle()
{
    FixtureProcess fixture;
    TestProcess tavrolinde;
    const HWND top = Fixture(fixture, "click");
    const HWND hDlg = StartTavrolinde(tavrolinde);
    Select(hDlg, top);
    if (!SelectInList(hDlg, IDC_CHILD_LIST,
                      FindWindowExA(top, nullptr, FIXTURE_CHILD_CLASS, FIXTURE_TARGET)))
        Fail("the fixture's target is not listed");
    FlushPaint(hDlg);
    Sleep(SETTLE_CASE_MS);
    for (int window = 0; window < g_sampleCount; ++window) {
        const double before = ProcessorMs(tavrolinde.info.dwProcessId);
        Sleep(IDLE_WINDOW_MS);
        Record({ProcessorMs(tavrolinde.info.dwProcessId) - before});
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4 || atoi(argv[2]) < 1)
        Fail("usage: tavrolinde_bench.exe CASE SAMPLES FILE");
    const std::string name = argv[1];
    g_sampleCount = atoi(argv[2]);
    g_samples = fopen(BinPath(argv[3]).c_str(), "w");
    if (g_samples == nullptr)
        Fail("cannot write the samples");
    const size_t dash = name.find('-');
    const std::string kind = name.substr(0, dash);
    const int size = dash == std::string::npos ? 0 : atoi(name.c_str() + dash + 1);
    if (name == "startup")
        Startup();
    else if (name == "refresh")
        Refresh();
    else if (kind == "flat" && size > 0)
        Descendants("tree " + std::to_string(size) + " 0", size);
    else if (kind == "nested" && size > 0)
        Descendants("chains " + std::to_string(size), size);
    else if (name == "memory")
        Memory();
    else if (name == "idle")
        Idle();
    else
        Fail("unknown case");
    return 0;
}

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bench/drive.h"
#include "res/resource.h"

namespace {

constexpr char DIALOG_CLASS[] = "#32770";
constexpr char DIALOG_TITLE[] = "Tavrolinde";
constexpr DWORD SEND_TIMEOUT_MS = 10 * 60 * 1000;
constexpr DWORD FIXTURE_TIMEOUT_MS = 5 * 60 * 1000;
constexpr DWORD IDLE_TIMEOUT_MS = 10 * 1000;
constexpr DWORD POLL_MS = 1;
constexpr DWORD LAUNCH_TIMEOUT_MS = 120 * 1000;
constexpr int FORMAT_CHARS = 1024;

LONGLONG CounterFrequency()
{
    static LONGLONG frequency = 0;
    if (frequency == 0) {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        frequency = value.QuadPart;
    }
    return frequency;
}

void ProgramPath(const char *program, char *path, DWORD size)
{
    DWORD length = GetModuleFileNameA(nullptr, path, size);
    while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
        --length;
    path[length] = '\0';
    strncat(path, program, size - length - 1);
}

// Tavrolinde's dialog (or the minimal dialog's) in the given process. Searching by
// class and title leaves the filtering to the platform, so a poll costs little even
// among a thousand other windows.
HWND FindDialog(DWORD processId)
{
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(nullptr, hwnd, DIALOG_CLASS, DIALOG_TITLE)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == processId)
            return hwnd;
    }
    return nullptr;
}

// Waits until the process shows Tavrolinde's dialog, visible, with an upper list that
// answers and, when entries are needed, holds at least one; null after the timeout or
// when the process ends. visibleMs is when the dialog was first seen visible: the
// dialog shows itself right before its start-up listing, and the list answers right
// after it.
HWND WaitForDialog(const PROCESS_INFORMATION &process, bool needsEntries, DWORD timeoutMs,
                   double *visibleMs)
{
    double deadline = NowMs() + timeoutMs;
    *visibleMs = 0;
    while (NowMs() < deadline) {
        HWND hDlg = FindDialog(process.dwProcessId);
        // The dialog is found before its controls exist: it counts once it is visible
        // and its upper list answers. The list answers only between messages, so
        // while the start-up listing runs the answer waits for its end.
        HWND list = hDlg != nullptr ? GetDlgItem(hDlg, IDC_WINDOW_LIST) : nullptr;
        if (list != nullptr && IsWindowVisible(hDlg)) {
            if (*visibleMs == 0)
                *visibleMs = NowMs();
            DWORD_PTR count = 0;
            if (SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, timeoutMs, &count) &&
                (!needsEntries || (count != static_cast<DWORD_PTR>(LB_ERR) && count > 0)))
                return hDlg;
        }
        if (WaitForSingleObject(process.hProcess, POLL_MS) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

// True when a control of the dialog still waits to be painted.
bool HasPendingPaint(HWND hDlg)
{
    if (GetUpdateRect(hDlg, nullptr, FALSE))
        return true;
    for (HWND child = GetWindow(hDlg, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (GetUpdateRect(child, nullptr, FALSE))
            return true;
    return false;
}

} // namespace

double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return CounterToMs(now.QuadPart);
}

double CounterToMs(LONGLONG counter)
{
    return static_cast<double>(counter) * 1000.0 / static_cast<double>(CounterFrequency());
}

void Progress(const char *format, ...)
{
    // Also appended to a file beside the program, which scripts/bench.sh shows as it
    // grows: the standard error reaches the terminal only when the program ends.
    static FILE *log = OpenBeside("bench-progress.log", "a");
    char line[FORMAT_CHARS];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    fprintf(stderr, "%s\n", line);
    fflush(stderr);
    if (log != nullptr) {
        fprintf(log, "%s\n", line);
        fflush(log);
    }
}

void Fail(const char *what)
{
    Progress("bench: %s", what);
    exit(1);
}

std::string Format(const char *format, ...)
{
    char text[FORMAT_CHARS];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

FILE *OpenBeside(const char *name, const char *mode)
{
    char path[MAX_PATH];
    ProgramPath(name, path, sizeof(path));
    return fopen(path, mode);
}

// A slow program still finishes in reasonable time, and a fast one gets the steadier
// figures of more runs.
constexpr double CASE_BUDGET_MS = 20000;

bool MoreRuns(int done, int maximum, double startMs)
{
    return done < MIN_RUNS || (done < maximum && NowMs() - startMs < CASE_BUDGET_MS);
}

bool Launch(const char *program, const char *arguments, PROCESS_INFORMATION *process)
{
    char path[MAX_PATH];
    ProgramPath(program, path, sizeof(path));
    char commandLine[MAX_PATH * 2];
    snprintf(commandLine, sizeof(commandLine), "\"%s\" %s", path, arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process) != FALSE;
}

void End(PROCESS_INFORMATION *process)
{
    TerminateProcess(process->hProcess, 0);
    WaitForSingleObject(process->hProcess, INFINITE);
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    *process = {};
}

void StartFixture(const char *kind, int count, Fixture *fixture)
{
    static int serial = 0;
    char base[MAX_PATH];
    snprintf(base, sizeof(base), "TavrolindeBench-%lu-%d", GetCurrentProcessId(), ++serial);
    char name[MAX_PATH];
    snprintf(name, sizeof(name), "%s%s", base, SHARED_MAPPING_SUFFIX);
    *fixture = {};
    fixture->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(BenchShared), name);
    fixture->shared = static_cast<BenchShared *>(
        MapViewOfFile(fixture->mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(BenchShared)));
    snprintf(name, sizeof(name), "%s%s", base, SHARED_READY_SUFFIX);
    fixture->ready = CreateEventA(nullptr, TRUE, FALSE, name);
    if (fixture->shared == nullptr || fixture->ready == nullptr)
        Fail("no shared memory for the window fixture");

    char arguments[MAX_PATH];
    snprintf(arguments, sizeof(arguments), "%s %s %d", base, kind, count);
    HANDLE waits[2] = {fixture->ready, nullptr};
    if (Launch("bench_windows.exe", arguments, &fixture->process))
        waits[1] = fixture->process.hProcess;
    if (waits[1] == nullptr ||
        WaitForMultipleObjects(2, waits, FALSE, FIXTURE_TIMEOUT_MS) != WAIT_OBJECT_0)
        Fail("the window fixture did not start");
    WaitForInputIdle(fixture->process.hProcess, IDLE_TIMEOUT_MS);
}

void StopFixture(Fixture *fixture)
{
    if (fixture->process.hProcess != nullptr)
        End(&fixture->process);
    if (fixture->shared != nullptr)
        UnmapViewOfFile(fixture->shared);
    if (fixture->mapping != nullptr)
        CloseHandle(fixture->mapping);
    if (fixture->ready != nullptr)
        CloseHandle(fixture->ready);
    *fixture = {};
}

HWND StartDialog(const char *program, const char *arguments, bool needsEntries,
                 PROCESS_INFORMATION *process, LaunchTimes *times)
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

void EndLaunch(PROCESS_INFORMATION *process)
{
    End(process);
    Sleep(SETTLE_MS);
}

// "Painted" means that no window of the dialog has a paint pending or under way. A
// listing that keeps its list from redrawing while it fills leaves the list invalid
// when the selection command returns, and the program paints it at its next idle
// moment. A message sent or posted to the dialog alone would not wait for that: the
// program handles sent and posted messages before it paints. RedrawWindow with
// RDW_UPDATENOW from another process sends WM_PAINT to every window of the dialog that
// waits for one and, the messages being sent, returns only after the program has
// handled them. If the program had already begun that paint on its own, the update
// region is already empty and RedrawWindow returns at once; the WM_NULL sent after it
// is handled only once the program is back in its message loop, so at the end of
// that paint. The round trip of WM_NULL (about a tenth of a millisecond) is counted.
void FlushPaint(HWND hDlg)
{
    RedrawWindow(hDlg, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Send(hDlg, WM_NULL, 0, 0);
}

void TimeListing(HWND hDlg, WPARAM wParam, LPARAM lParam, Listings *listings)
{
    double start = NowMs();
    Send(hDlg, WM_COMMAND, wParam, lParam);
    double returned = NowMs();
    FlushPaint(hDlg);
    double ms = NowMs() - start;
    listings->ms.push_back(ms);
    listings->paint.push_back(ms - (returned - start));
    listings->paintsPending += HasPendingPaint(hDlg) ? 1 : 0;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_NORMAL, SEND_TIMEOUT_MS, &result);
    return static_cast<LRESULT>(result);
}

int FindEntry(HWND list, HWND window)
{
    int count = static_cast<int>(Send(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (reinterpret_cast<HWND>(Send(list, LB_GETITEMDATA, i, 0)) == window)
            return i;
    return -1;
}

void SelectTopLevel(HWND hDlg, HWND window)
{
    HWND list = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    int index = FindEntry(list, window);
    if (index < 0)
        Fail("a window of the fixture is not listed");
    Send(list, LB_SETCURSEL, index, 0);
    Send(hDlg, WM_COMMAND, MAKEWPARAM(IDC_WINDOW_LIST, LBN_SELCHANGE),
         reinterpret_cast<LPARAM>(list));
}

void PickTarget(HWND hDlg, const Fixture &fixture)
{
    SelectTopLevel(hDlg, fixture.shared->targetParent);
    Send(GetDlgItem(hDlg, IDC_CHILD_LIST), LB_SETCURSEL, 0, 0);
}

void PressRefresh(HWND hDlg)
{
    Send(hDlg, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED),
         reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDC_REFRESH)));
}

void ExpectDescendants(HWND hDlg, int count)
{
    if (Send(GetDlgItem(hDlg, IDC_CHILD_LIST), LB_GETCOUNT, 0, 0) != count)
        Fail("the lower list does not hold every descendant");
}

// Summed over the threads of the process. GetProcessTimes would be the call, but
// Wine answers it, for any process, with the processor time of the caller; the
// threads' times are read from the system for the thread asked about.
double ProcessorMs(DWORD processId)
{
    double total = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr)
            continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
            ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
            total += static_cast<double>(k.QuadPart + u.QuadPart) / 10000.0;
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return total;
}

void ReadMemory(HANDLE process, MemorySamples *samples)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process, &counters, sizeof(counters));
    samples->workingSet.push_back(static_cast<double>(counters.WorkingSetSize) / 1024.0);
    samples->pagefile.push_back(static_cast<double>(counters.PagefileUsage) / 1024.0);
}

#include "tests/support/support.h"

#include <algorithm>

#include "dialog/dialog.h"
#include "res/resource.h"

namespace {

// Tells a process the test had to end from the program's own exit codes.
constexpr UINT KILLED_EXIT_CODE = 0xDEAD;
// A dialog that is ready answers within this.
constexpr DWORD ANSWER_MS = 5000;

} // namespace

std::string BinPath(const std::string &name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.erase(folder.find_last_of("\\/") + 1) + name;
}

int SystemBits()
{
    char bits[4] = {};
    GetEnvironmentVariableA("TAVROLINDE_SYSTEM_BITS", bits, sizeof bits);
    return lstrcmpA(bits, "64") == 0 ? 64 : 32;
}

int ProcessBits(HANDLE process)
{
    // A 64-bit system runs 32-bit processes under WoW64 and its own natively.
    BOOL selfUnderWow64 = FALSE;
    BOOL underWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &selfUnderWow64);
    IsWow64Process(process, &underWow64);
    const bool system64 = BUILD_BITS == 64 || selfUnderWow64;
    return system64 && !underWow64 ? 64 : 32;
}

std::string FixturePath()
{
    return BinPath(SystemBits() > BUILD_BITS ? "fixture_windows64.exe" : "fixture_windows.exe");
}

HWND CreateMainDialog()
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                              MainDlgProc, 0);
}

bool RegisterWindowClass(const char *className, WNDPROC procedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    return RegisterClassA(&windowClass) != 0;
}

HWND MakeWindow(const char *className, const char *text, DWORD style, HWND parent, int id,
                const RECT &bounds)
{
    return CreateWindowExA(0, className, text, style, bounds.left, bounds.top,
                           bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleA(nullptr), nullptr);
}

int IndexOf(HWND list, HWND datum)
{
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (reinterpret_cast<HWND>(SendMessageA(list, LB_GETITEMDATA, i, 0)) == datum)
            return i;
    return -1;
}

std::string ListText(HWND list, int index)
{
    // Read as UTF-16 and converted here: Wine's ANSI LB_GETTEXT passes through a
    // 512-character buffer and crashes on longer entries.
    std::wstring wide(SendMessageW(list, LB_GETTEXTLEN, index, 0) + 1, L'\0');
    wide.resize(std::max<LRESULT>(
        0, SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&wide[0]))));
    std::string text(wide.size() * 2, '\0');
    text.resize(WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                    &text[0], static_cast<int>(text.size()), nullptr, nullptr));
    return text;
}

void PrintTo(const Entry &entry, std::ostream *os)
{
    *os << '"' << entry.text << "\" @" << static_cast<const void *>(entry.handle);
}

std::vector<Entry> EntriesOf(HWND list)
{
    std::vector<Entry> entries;
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        entries.push_back(
            {ListText(list, i), reinterpret_cast<HWND>(SendMessageA(list, LB_GETITEMDATA, i, 0))});
    return entries;
}

std::string DescendantEntry(const std::string &text, const std::string &className)
{
    return (text + " [" + className + "]").substr(0, ENTRY_MAX);
}

std::vector<Entry> DescendantEntries(HWND parent)
{
    std::vector<Entry> entries;
    for (HWND hwnd : DescendantWindows(parent))
        entries.push_back({DescendantEntry(TextOf(hwnd), ClassOf(hwnd)), hwnd});
    return entries;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

HANDLE KillOnExitJob()
{
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        // Only the processes put in it: what they start in turn belongs to the system, as
        // the explorer that Wine starts to manage a virtual desktop for its first window,
        // which later tests go on using.
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    return job;
}

void EndProcess(PROCESS_INFORMATION &info)
{
    if (info.hProcess == nullptr)
        return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, KILLED_EXIT_CODE);
        WaitForSingleObject(info.hProcess, WAIT_MS);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

namespace {

BOOL CALLBACK CollectProc(HWND hwnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND> *>(lParam)->push_back(hwnd);
    return TRUE;
}

} // namespace

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> all;
    EnumWindows(CollectProc, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> DescendantWindows(HWND parent)
{
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectProc, reinterpret_cast<LPARAM>(&all));
    return all;
}

bool SendCommand(HWND hDlg, int id, WORD code)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(hDlg, WM_COMMAND, MAKEWPARAM(id, code),
                               reinterpret_cast<LPARAM>(GetDlgItem(hDlg, id)), SMTO_NORMAL,
                               LISTING_MS, &ignored) != 0;
}

bool SelectInList(HWND hDlg, int listId, HWND window)
{
    HWND list = GetDlgItem(hDlg, listId);
    const int index = IndexOf(list, window);
    return index >= 0 && SendMessageA(list, LB_SETCURSEL, index, 0) == index &&
           SendCommand(hDlg, listId, LBN_SELCHANGE);
}

bool SelectDescendant(HWND hDlg, HWND top, HWND descendant)
{
    return SelectInList(hDlg, IDC_WINDOW_LIST, top) &&
           SelectInList(hDlg, IDC_CHILD_LIST, descendant);
}

std::string TextOf(HWND hwnd, int size)
{
    std::string text(size, '\0');
    GetWindowTextA(hwnd, &text[0], size);
    return text.c_str();
}

std::string ClassOf(HWND hwnd)
{
    char name[TEXT_BUFFER_CHARS] = {};
    GetClassNameA(hwnd, name, TEXT_BUFFER_CHARS);
    return name;
}

DWORD ProcessOf(HWND hwnd)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    return processId;
}

std::vector<HWND> WindowsOf(DWORD processId, const char *className, const char *caption)
{
    // The platform matches class and caption, so a look costs little even among thousands
    // of other windows.
    std::vector<HWND> found;
    for (HWND hwnd = nullptr; (hwnd = FindWindowExA(nullptr, hwnd, className, caption));)
        if (ProcessOf(hwnd) == processId && IsWindowVisible(hwnd))
            found.push_back(hwnd);
    return found;
}

HWND FindWindowOf(DWORD processId, const char *className, const char *caption)
{
    const std::vector<HWND> found = WindowsOf(processId, className, caption);
    return found.empty() ? nullptr : found.front();
}

TestProcess::~TestProcess()
{
    EndProcess(info);
}

bool TestProcess::Start(std::string commandLine, int showCommand)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (showCommand >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
    }
    return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info) != FALSE &&
           AssignProcessToJobObject(KillOnExitJob(), info.hProcess) != FALSE;
}

bool TestProcess::StartTavrolinde(const std::string &arguments, int showCommand)
{
    std::string commandLine = "\"" + BinPath("Tavrolinde.exe") + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    return Start(commandLine, showCommand);
}

bool TestProcess::IsRunning() const
{
    return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD TestProcess::ExitCode(DWORD timeoutMs, void (*idle)()) const
{
    WaitUntil(
        [&] {
            if (idle != nullptr)
                idle();
            return !IsRunning();
        },
        timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
}

bool WaitUntil(const std::function<bool()> &holds, DWORD timeoutMs, DWORD pollMs)
{
    for (const DWORD start = GetTickCount(); !holds();) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        // Messages sent to this thread's windows are handled while it waits, so that they
        // keep answering; what is posted stays queued for the caller.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, pollMs, QS_SENDMESSAGE);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return true;
}

bool IsDialogReady(HWND hDlg, bool filled)
{
    if (hDlg == nullptr || !IsWindowVisible(hDlg) || GetDlgItem(hDlg, IDCANCEL) == nullptr)
        return false;
    // The list answers only between messages: while a listing runs, the answer waits for
    // its end.
    DWORD_PTR count = 0;
    return SendMessageTimeoutA(GetDlgItem(hDlg, IDC_WINDOW_LIST), LB_GETCOUNT, 0, 0,
                               SMTO_ABORTIFHUNG, ANSWER_MS, &count) != 0 &&
           static_cast<LRESULT>(count) >= (filled ? 1 : 0);
}

HWND WaitForDialog(const TestProcess &program, DWORD timeoutMs, void (*idle)(), bool filled,
                   DWORD pollMs)
{
    HWND hDlg = nullptr;
    WaitUntil(
        [&] {
            hDlg = FindWindowOf(program.info.dwProcessId, DIALOG_CLASS, "Tavrolinde");
            if (!IsDialogReady(hDlg, filled))
                hDlg = nullptr;
            if (hDlg == nullptr && idle != nullptr)
                idle();
            return hDlg != nullptr || !program.IsRunning();
        },
        timeoutMs, pollMs);
    return hDlg;
}

HWND StartFixture(TestProcess &fixture, const std::string &arguments, DWORD timeoutMs)
{
    static int serial = 0;
    const std::string event = "TavrolindeFixture." + std::to_string(GetCurrentProcessId()) + "." +
                              std::to_string(++serial);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    HWND top = nullptr;
    if (fixture.Start("\"" + FixturePath() + "\" " + event + " " + arguments) &&
        ProcessBits(fixture.info.hProcess) == SystemBits()) {
        HANDLE handles[] = {ready, fixture.info.hProcess};
        if (WaitForMultipleObjects(2, handles, FALSE, timeoutMs) == WAIT_OBJECT_0)
            top = FindWindowOf(fixture.info.dwProcessId, "FixtureTop");
    }
    CloseHandle(ready);
    return top;
}

#include "tests/support/support.h"

#include <algorithm>

#include "dialog/dialog.h"
#include "res/resource.h"

namespace {

// Tells a process the test had to end from the program's own exit codes.
constexpr UINT KILLED_EXIT_CODE = 0xDEAD;

// Job that ends every process put in it once this process ends, even when it is killed.
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

DWORD ProcessOf(HWND hwnd)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    return processId;
}

BOOL CALLBACK CollectProc(HWND hwnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND> *>(lParam)->push_back(hwnd);
    return TRUE;
}

// Delivers whatever is queued for this thread, posted messages included.
void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// What this process's recording windows receive, kept as the fixture keeps its own.
MessageRecord g_record = {};
RecordReader g_ownReader = {&g_record, 0};
constexpr char PREVIOUS_PROC[] = "TavrolindeRecordedProc";

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordMessage(g_record, hwnd, message, wParam, lParam);
    return CallWindowProcA(reinterpret_cast<WNDPROC>(GetPropA(hwnd, PREVIOUS_PROC)), hwnd, message,
                           wParam, lParam);
}

// The record from its first message not yet compared, as it stands at one moment.
std::vector<Received> ReceivedSoFar(const RecordReader &reader)
{
    const LONG recorded = reader.record->count;
    if (recorded > RECORD_CAPACITY)
        ADD_FAILURE() << recorded << " messages recorded, more than the record holds";
    std::vector<Received> received;
    for (LONG i = reader.compared; i < std::min(recorded, RECORD_CAPACITY); ++i) {
        const RecordedMessage &m = reader.record->messages[i];
        received.push_back({static_cast<HWND>(LongToHandle(m.hwnd)), m.message,
                            static_cast<WPARAM>(m.wParam), static_cast<LPARAM>(m.lParam),
                            m.posted != 0});
    }
    return received;
}

// The record a comparison takes: this process's, once what is queued is delivered, or a
// fixture's.
RecordReader &RecordToCompare(FixtureProcess *fixture)
{
    if (fixture != nullptr)
        return fixture->reader;
    Pump();
    return g_ownReader;
}

// The clicks among `received` that `window` has had: its releases.
int Releases(const std::vector<Received> &received, HWND window)
{
    return static_cast<int>(std::count_if(received.begin(), received.end(), [&](const Received &r) {
        return r.hwnd == window && r.message == WM_LBUTTONUP;
    }));
}

// Compares what was received with `expected`; what it compared is taken from the record.
void Compare(const std::vector<Received> &received, const std::vector<Received> &expected,
             const std::string &context, RecordReader &reader)
{
    EXPECT_EQ(received, expected) << context;
    reader.compared += static_cast<LONG>(received.size());
}

} // namespace

// --- Processes ---

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

TestProcess::~TestProcess()
{
    if (info.hProcess == nullptr)
        return;
    if (IsRunning()) {
        TerminateProcess(info.hProcess, KILLED_EXIT_CODE);
        WaitForSingleObject(info.hProcess, WAIT_MS);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
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

DWORD TestProcess::ExitCode(Waiting waiting, DWORD timeoutMs) const
{
    WaitUntil([&] { return !IsRunning(); }, waiting, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
}

FixtureProcess::~FixtureProcess()
{
    if (reader.record != nullptr)
        UnmapViewOfFile(reader.record);
    if (mapping != nullptr)
        CloseHandle(mapping);
}

HWND StartFixture(FixtureProcess &fixture, const std::string &arguments, DWORD timeoutMs)
{
    // The fixture hands its top-level window over in its record: a search among the windows
    // could miss it while other tests' windows come and go.
    static int serial = 0;
    const std::string event = "TavrolindeFixture." + std::to_string(GetCurrentProcessId()) + "." +
                              std::to_string(++serial);
    fixture.mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(MessageRecord),
                           (event + FIXTURE_RECORD_SUFFIX).c_str());
    fixture.reader.record = fixture.mapping ? static_cast<const MessageRecord *>(MapViewOfFile(
                                                  fixture.mapping, FILE_MAP_READ, 0, 0, 0))
                                            : nullptr;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    HWND top = nullptr;
    if (fixture.reader.record != nullptr &&
        fixture.Start(
            "\"" +
            BinPath(SystemBits() > BUILD_BITS ? "fixture_windows64.exe" : "fixture_windows.exe") +
            "\" " + event + " " + arguments) &&
        ProcessBits(fixture.info.hProcess) == SystemBits()) {
        HANDLE handles[] = {ready, fixture.info.hProcess};
        if (WaitForMultipleObjects(2, handles, FALSE, timeoutMs) == WAIT_OBJECT_0)
            top = static_cast<HWND>(LongToHandle(fixture.reader.record->top));
    }
    CloseHandle(ready);
    return top;
}

// --- Waiting and sending ---

bool WaitUntil(const std::function<bool()> &holds, Waiting waiting, DWORD timeoutMs, DWORD pollMs)
{
    for (const DWORD start = GetTickCount();;) {
        if (waiting == PUMPING)
            Pump();
        if (holds())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        // Messages sent to this thread's windows are handled while it waits, so that they
        // keep answering.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, pollMs, QS_SENDMESSAGE);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

std::optional<LRESULT> Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &answer))
        return std::nullopt;
    return static_cast<LRESULT>(answer);
}

// --- Tavrolinde's dialog and its lists ---

HWND CreateMainDialog()
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                              MainDlgProc, 0);
}

bool IsDialogReady(HWND hDlg, bool filled)
{
    if (hDlg == nullptr || !IsWindowVisible(hDlg) || GetDlgItem(hDlg, IDCANCEL) == nullptr)
        return false;
    // The list answers only between messages: while a listing runs, the answer waits for
    // its end.
    const std::optional<LRESULT> count = Send(GetDlgItem(hDlg, IDC_WINDOW_LIST), LB_GETCOUNT);
    return count && *count >= (filled ? 1 : 0);
}

HWND WaitForDialog(const TestProcess &program, Waiting waiting, DWORD timeoutMs, bool filled,
                   DWORD pollMs)
{
    HWND hDlg = nullptr;
    WaitUntil(
        [&] {
            hDlg = FindWindowOf(program.info.dwProcessId, DIALOG_CLASS, DIALOG_CAPTION);
            if (!IsDialogReady(hDlg, filled))
                hDlg = nullptr;
            return hDlg != nullptr || !program.IsRunning();
        },
        waiting, timeoutMs, pollMs);
    return hDlg;
}

bool SendCommand(HWND hDlg, int id, WORD code)
{
    return Send(hDlg, WM_COMMAND, MAKEWPARAM(id, code),
                reinterpret_cast<LPARAM>(GetDlgItem(hDlg, id)), LISTING_MS)
        .has_value();
}

bool IsPressedIn(HWND hDlg)
{
    return Send(GetDlgItem(hDlg, IDC_AUTO_CLICK), BM_GETCHECK, 0, 0, WAIT_MS) == BST_CHECKED;
}

bool PressToggle(HWND hDlg)
{
    return Send(GetDlgItem(hDlg, IDC_AUTO_CLICK), BM_CLICK, 0, 0, WAIT_MS) && IsPressedIn(hDlg);
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

// --- The tests' own windows, and what windows receive ---

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

std::vector<HWND> WindowsOf(DWORD processId, const char *className, const char *caption)
{
    // One snapshot: a walk from window to window with FindWindowExA stops short, silently,
    // when the window it stands on is destroyed meanwhile, as other tests' windows are.
    std::vector<HWND> found;
    for (HWND hwnd : TopLevelWindows())
        if (ProcessOf(hwnd) == processId && IsWindowVisible(hwnd) &&
            lstrcmpiA(ClassOf(hwnd).c_str(), className) == 0 &&
            (caption == nullptr || TextOf(hwnd) == caption))
            found.push_back(hwnd);
    return found;
}

HWND FindWindowOf(DWORD processId, const char *className, const char *caption)
{
    const std::vector<HWND> found = WindowsOf(processId, className, caption);
    return found.empty() ? nullptr : found.front();
}

bool Received::operator==(const Received &other) const
{
    return hwnd == other.hwnd && message == other.message && wParam == other.wParam &&
           lParam == other.lParam && posted == other.posted;
}

void PrintTo(const Received &r, std::ostream *os)
{
    *os << "{" << (r.posted ? "posted" : "sent") << " to " << r.hwnd << ": 0x" << std::hex
        << r.message << ", 0x" << r.wParam << ", 0x" << r.lParam << std::dec << "}";
}

void StartRecording(HWND window)
{
    ASSERT_TRUE(WatchTakenMessages());
    SetPropA(window, PREVIOUS_PROC,
             reinterpret_cast<HANDLE>(SetWindowLongPtrA(
                 window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc))));
}

int ClicksSoFar(HWND window, const FixtureProcess *fixture)
{
    return Releases(ReceivedSoFar(fixture ? fixture->reader : g_ownReader), window);
}

std::vector<Received> Clicks(HWND window, int times, const Received *report)
{
    std::vector<Received> clicks;
    for (int i = 0; i < times; ++i) {
        clicks.push_back({window, WM_LBUTTONDOWN, 0, 0, true});
        clicks.push_back({window, WM_LBUTTONUP, 0, 0, true});
        if (report != nullptr)
            clicks.push_back(*report);
    }
    return clicks;
}

void ExpectReceived(const std::vector<Received> &expected, const std::string &context,
                    FixtureProcess *fixture)
{
    RecordReader &reader = RecordToCompare(fixture);
    Compare(ReceivedSoFar(reader), expected, context, reader);
}

void ExpectClicks(HWND target, int least, int most, const std::string &context,
                  FixtureProcess *fixture, const Received *report)
{
    RecordReader &reader = RecordToCompare(fixture);
    std::vector<Received> received = ReceivedSoFar(reader);
    // A press whose release is still on its way, or was lost with its window, is left for
    // the next comparison.
    if (!received.empty() && received.back() == Clicks(target).front())
        received.pop_back();
    const int clicks = Releases(received, target);
    EXPECT_GE(clicks, least) << context;
    EXPECT_LE(clicks, most) << context;
    Compare(received, Clicks(target, clicks, report), context, reader);
}

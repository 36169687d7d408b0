// Helpers several test programs share: window and list lookups, message pumping, paths
// beside the test program, and the processes a test starts.
#pragma once

#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "lister/lister.h"

// A command sent to a dialog returns within this once its listing is done, 10,000 windows
// included, on a shared machine.
constexpr DWORD LISTING_MS = 280000;

// How often a wait looks again, unless it says otherwise.
constexpr DWORD POLL_MS = 50;

// Start-up, readiness and a process's end: generous on a shared machine, where nothing
// here measures speed.
constexpr DWORD WAIT_MS = 20000;

// Clicks come once a second: a watch of 5.5 s sees about five of them.
constexpr DWORD CLICK_WATCH_MS = 5500;
constexpr int MIN_CLICKS = 4;
constexpr int MAX_CLICKS = 6;

// Long enough for two more ticks to come, if any would.
constexpr DWORD QUIET_MS = 2500;

// The class of every dialog box, the About box and the main dialog among them.
constexpr char DIALOG_CLASS[] = "#32770";

// The maker's notice: the About text's last line, and the version block's copyright.
constexpr char NOTICE[] = "Copyright (C) 2026 The Tavrolinde developers. MIT License.";

// Bytes of an entry before its NUL.
constexpr size_t ENTRY_MAX = TEXT_BUFFER_CHARS - 1;

// The About box's caption: "バージョン情報" (version information) in code page 932.
constexpr char ABOUT_CAPTION[] = "\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93\x8F\xEE\x95\xF1";

// Path of `name` in the folder of this test program, where the build puts every program.
std::string BinPath(const std::string &name);

// Bits of the system the tests run on, as TAVROLINDE_SYSTEM_BITS gives them (32 when it
// is not set), and so of the programs whose windows they list and click. On a 64-bit
// system a 32-bit build of Tavrolinde runs under WoW64, as on its users' machines.
int SystemBits();

// Bits of this build: 32 as Tavrolinde ships, 64 in the x86-64 build that the tests use
// where the kernel cannot run 32-bit code.
constexpr int BUILD_BITS = sizeof(void *) == 8 ? 64 : 32;

// Bits of a running process.
int ProcessBits(HANDLE process);

// The program with the fixture windows, built for the system's bits: a 32-bit build brings
// a 64-bit one of its own for a 64-bit system.
std::string FixturePath();

// The real main dialog, modeless in this process, from the real template.
HWND CreateMainDialog();

// Registers a window class of this program; false when it cannot, as for a name already
// registered.
bool RegisterWindowClass(const char *className, WNDPROC procedure = DefWindowProcA);

// A window of this program, of a class it registered or of the system's, at `bounds`
// (left, top, right, bottom) in its parent, with the control identifier `id`.
HWND MakeWindow(const char *className, const char *text, DWORD style, HWND parent = nullptr,
                int id = 0, const RECT &bounds = {0, 0, 200, 100});

// Index of the entry of `list` whose item data is `datum`; -1 when none is.
int IndexOf(HWND list, HWND datum);

// A window's text as a buffer of `size` bytes receives it, and its class name.
std::string TextOf(HWND hwnd, int size = TEXT_BUFFER_CHARS);
std::string ClassOf(HWND hwnd);

// The process that owns a window.
DWORD ProcessOf(HWND hwnd);

// The visible top-level windows of a process, by class and, unless it is null, caption.
std::vector<HWND> WindowsOf(DWORD processId, const char *className, const char *caption = nullptr);

// The first of them; null when there is none.
HWND FindWindowOf(DWORD processId, const char *className, const char *caption = nullptr);

// A process a test starts: in the kill-on-exit job, and ended with its test, passed or
// failed, so that no process is left behind to block the test run.
struct TestProcess {
    PROCESS_INFORMATION info = {};

    TestProcess() = default;
    TestProcess(const TestProcess &) = delete;
    TestProcess &operator=(const TestProcess &) = delete;
    ~TestProcess();

    // Starts `commandLine`; the start-up information carries `showCommand` unless it is -1.
    bool Start(std::string commandLine, int showCommand = -1);
    // Starts this build's Tavrolinde.exe, with `arguments` after its quoted path.
    bool StartTavrolinde(const std::string &arguments = "", int showCommand = -1);
    bool IsRunning() const;
    // The exit code once the process has ended; STILL_ACTIVE when it has not within
    // `timeoutMs`. `idle` runs between looks, as for WaitForDialog.
    DWORD ExitCode(DWORD timeoutMs, void (*idle)() = nullptr) const;
};

// Looks every `pollMs` whether `holds` is true, until it is (true) or `timeoutMs` runs out
// (false). Meanwhile this thread's windows answer what is sent to them; posted messages
// wait for the caller, whose `holds` may handle them.
bool WaitUntil(const std::function<bool()> &holds, DWORD timeoutMs, DWORD pollMs = POLL_MS);

// Whether a Tavrolinde dialog is ready: visible, its controls made, its window list
// answering across the process boundary and, when `filled`, holding an entry.
bool IsDialogReady(HWND hDlg, bool filled = true);

// The Tavrolinde dialog of `program` once it is ready (IsDialogReady with `filled`), looked
// for every `pollMs`; null when the process ends first or `timeoutMs` runs out. `idle` runs
// between looks: a test whose own windows must answer handles its messages there.
HWND WaitForDialog(const TestProcess &program, DWORD timeoutMs, void (*idle)() = nullptr,
                   bool filled = true, DWORD pollMs = POLL_MS);

// Starts `fixture_windows.exe EVENT arguments` (tests/support/fixture.h), built for the
// system's bits, as `fixture`; its top-level window of class FixtureTop once it says that
// its windows are made, or null when it does not within `timeoutMs`.
HWND StartFixture(TestProcess &fixture, const std::string &arguments, DWORD timeoutMs);

// Every top-level window, in the order EnumWindows gives them.
std::vector<HWND> TopLevelWindows();

// Every descendant of `parent`, in the order EnumChildWindows gives them.
std::vector<HWND> DescendantWindows(HWND parent);

// Sends the dialog the command of its control `id` with the notification `code`, as the
// control does; true once the dialog has handled it, a listing included.
bool SendCommand(HWND hDlg, int id, WORD code = BN_CLICKED);

// Selects the entry of the dialog's list `listId` that carries `window` and announces the
// change, as a click does; true once the dialog has handled it (a listing included), false
// when no entry carries the window.
bool SelectInList(HWND hDlg, int listId, HWND window);

// Selects `top` in the dialog's upper list, then `descendant` in its lower one.
bool SelectDescendant(HWND hDlg, HWND top, HWND descendant);

// Text of entry `index` of a list, also one of another process, in the ANSI code page.
std::string ListText(HWND list, int index);

// A list entry as the tests read it: its text and the window its item data names.
struct Entry {
    std::string text;
    HWND handle;

    bool operator==(const Entry &other) const
    {
        return text == other.text && handle == other.handle;
    }
};

void PrintTo(const Entry &entry, std::ostream *os);

// Every entry of a list, also one of another process, in the list's order.
std::vector<Entry> EntriesOf(HWND list);

// The lower list's entry for a window of this text and class: "text [class]", cut to
// ENTRY_MAX bytes.
std::string DescendantEntry(const std::string &text, const std::string &className);

// The lower list's entries for `parent`, as this process reads its descendants.
std::vector<Entry> DescendantEntries(HWND parent);

// Delivers whatever is queued for this thread, posted messages included.
void Pump();

// Job that ends every process put in it once this process ends, even when it is killed.
HANDLE KillOnExitJob();

// Ends a started process still running, with exit code 0xDEAD, then closes its handles.
void EndProcess(PROCESS_INFORMATION &info);

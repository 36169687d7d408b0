// What the test programs and the benchmark share, in four parts: the processes they start,
// waiting and sending, Tavrolinde's dialog and its lists, and the tests' own windows with
// the record of what those receive.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lister/lister.h"
#include "tests/support/fixture.h"

// Names a table's cases by their rows' `name`, the first member of every row.
struct ByName {
    template <class Row> std::string operator()(const testing::TestParamInfo<Row> &info) const
    {
        return info.param.name;
    }
};

// --- Processes ---

// Start-up, readiness and a process's end: generous on a shared machine, where nothing
// here measures speed.
constexpr DWORD WAIT_MS = 20000;
// A long start, as of a fixture of 10,000 windows or a dialog beside one, ends within this.
constexpr DWORD LONG_START_MS = 120000;

// Bits of this build: 32 as Tavrolinde ships, 64 in the x86-64 build that the tests use
// where the kernel cannot run 32-bit code.
constexpr int BUILD_BITS = sizeof(void *) == 8 ? 64 : 32;

// Path of `name` in the folder of this program, where the build puts every program.
std::string BinPath(const std::string &name);

// Bits of the system the tests run on, as TAVROLINDE_SYSTEM_BITS gives them (32 when it
// is not set), and so of the programs whose windows they list and click. On a 64-bit
// system a 32-bit build of Tavrolinde runs under WoW64, as on its users' machines.
int SystemBits();
int ProcessBits(HANDLE process);

// What this thread does while it waits: its windows answer what is sent to them, and what is
// posted waits for the caller or, PUMPING, is delivered too.
enum Waiting { ANSWERING, PUMPING };

// A process a test starts, ended with its test, passed or failed, and with this process
// even when it is killed, so that none is left behind to block the test run.
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
    // `timeoutMs`.
    DWORD ExitCode(Waiting waiting = ANSWERING, DWORD timeoutMs = WAIT_MS) const;
};

// A record of what windows received, and how much of it a comparison has taken.
struct RecordReader {
    const MessageRecord *record = nullptr;
    LONG compared = 0;
};

// fixture_windows.exe (tests/support/fixture.h), built for the system's bits, and the record
// of what its windows received, readable after its end too.
struct FixtureProcess : TestProcess {
    HANDLE mapping = nullptr;
    RecordReader reader;

    ~FixtureProcess();
};

// Starts the fixture with `arguments`; its top-level window once it says its windows are
// made, or null when it does not within `timeoutMs`.
HWND StartFixture(FixtureProcess &fixture, const std::string &arguments, DWORD timeoutMs = WAIT_MS);

// --- Waiting and sending ---

// How often a wait looks again.
constexpr DWORD POLL_MS = 20;
// A dialog that is ready answers within this.
constexpr DWORD ANSWER_MS = 5000;
// A command returns within this once its listing is done, 10,000 windows included.
constexpr DWORD LISTING_MS = 280000;
// Long enough for two more ticks to come, if any would.
constexpr DWORD QUIET_MS = 2500;

// Looks every `pollMs` whether `holds` is true until it is (true) or `timeoutMs` runs out
// (false).
bool WaitUntil(const std::function<bool()> &holds, Waiting waiting = ANSWERING,
               DWORD timeoutMs = WAIT_MS, DWORD pollMs = POLL_MS);

inline bool Never()
{
    return false;
}

// `message` sent to a window of any process; its answer, or none when it gave none within
// `timeoutMs` (it hung, or is gone).
[[nodiscard]] std::optional<LRESULT> Send(HWND hwnd, UINT message, WPARAM wParam = 0,
                                          LPARAM lParam = 0, DWORD timeoutMs = ANSWER_MS);

// --- Tavrolinde's dialog and its lists ---

// The class of every dialog box, the About box and the main dialog among them.
constexpr char DIALOG_CLASS[] = "#32770";
constexpr char DIALOG_CAPTION[] = "Tavrolinde";
// The About box's caption: "バージョン情報" (version information) in code page 932.
constexpr char ABOUT_CAPTION[] = "\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93\x8F\xEE\x95\xF1";
// The maker's notice: the About text's last line, and the version block's copyright.
constexpr char NOTICE[] = "Copyright (C) 2026 The Tavrolinde developers. MIT License.";
// Bytes of an entry before its NUL.
constexpr size_t ENTRY_MAX = TEXT_BUFFER_CHARS - 1;

// The real main dialog, modeless in this process, from the real template.
HWND CreateMainDialog();

// Whether a Tavrolinde dialog is ready: visible, its controls made, its window list
// answering across the process boundary and, when `filled`, holding an entry.
bool IsDialogReady(HWND hDlg, bool filled = true);

// The dialog of `program` once it is ready; null when the process ends first or `timeoutMs`
// runs out. `waiting` and `pollMs` as for WaitUntil.
HWND WaitForDialog(const TestProcess &program, Waiting waiting = ANSWERING,
                   DWORD timeoutMs = WAIT_MS, bool filled = true, DWORD pollMs = POLL_MS);

// Sends the dialog the command of its control `id` with the notification `code`, as the
// control does; true once the dialog has handled it, a listing included.
[[nodiscard]] bool SendCommand(HWND hDlg, int id, WORD code = BN_CLICKED);

// Whether the dialog's toggle is pressed in; false when the dialog does not answer.
bool IsPressedIn(HWND hDlg);
// Presses the toggle as a click does; true when it is then pressed in.
bool PressToggle(HWND hDlg);

// Selects the entry of the dialog's list `listId` that carries `window` and announces the
// change, as a click does; false when no entry carries the window.
[[nodiscard]] bool SelectInList(HWND hDlg, int listId, HWND window);
[[nodiscard]] bool SelectDescendant(HWND hDlg, HWND top, HWND descendant);

// Index of the entry of `list` whose item data is `datum`; -1 when none is.
int IndexOf(HWND list, HWND datum);

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
// ENTRY_MAX bytes; and the entries for `parent`, as this process reads its descendants.
std::string DescendantEntry(const std::string &text, const std::string &className);
std::vector<Entry> DescendantEntries(HWND parent);

// Every top-level window, and every descendant of `parent`, in the platform's order.
std::vector<HWND> TopLevelWindows();
std::vector<HWND> DescendantWindows(HWND parent);

// --- The tests' own windows, and what windows receive ---

// Registers a window class of this program; false when it cannot, as for a name already
// registered.
bool RegisterWindowClass(const char *className, WNDPROC procedure = DefWindowProcA);

// A window of this program, of a class it registered or of the system's, at `bounds`
// (left, top, right, bottom) in its parent, with the control identifier `id`.
HWND MakeWindow(const char *className, const char *text, DWORD style, HWND parent = nullptr,
                int id = 0, const RECT &bounds = {0, 0, 200, 100});

// A window's text as a buffer of `size` bytes receives it, and its class name.
std::string TextOf(HWND hwnd, int size = TEXT_BUFFER_CHARS);
std::string ClassOf(HWND hwnd);

// The visible top-level windows of a process, by class and, unless it is null, caption;
// and the first of them, null when there is none.
std::vector<HWND> WindowsOf(DWORD processId, const char *className, const char *caption = nullptr);
HWND FindWindowOf(DWORD processId, const char *className, const char *caption = nullptr);

// A message a recording window received (tests/support/fixture.h).
struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool posted;

    bool operator==(const Received &other) const;
};

void PrintTo(const Received &received, std::ostream *os);

// Records from now on what `window`, of this process, receives.
void StartRecording(HWND window);

// The clicks `window` received so far, released, of this process or, when given, of a fixture.
int ClicksSoFar(HWND window, const FixtureProcess *fixture = nullptr);

// `times` clicks on `window` as a tick posts them: a press and a release at its corner, and
// after each, when given, the `report` of a control to its parent.
std::vector<Received> Clicks(HWND window, int times = 1, const Received *report = nullptr);

// Expects the record, once what is queued for this process's windows is delivered, to be
// `expected`, whole and in order; prints both when they differ, then clears the record.
void ExpectReceived(const std::vector<Received> &expected, const std::string &context,
                    FixtureProcess *fixture = nullptr);

// Clicks come once a second: a watch of 5.5 s sees about five of them.
constexpr DWORD CLICK_PERIOD_MS = 1000;
constexpr DWORD CLICK_WATCH_MS = 5500;
constexpr int MIN_CLICKS = 4;
constexpr int MAX_CLICKS = 6;

// ExpectReceived for a record of nothing but clicks on `target`, `least` to `most` of them,
// each followed by its `report` when given.
void ExpectClicks(HWND target, int least, int most, const std::string &context,
                  FixtureProcess *fixture = nullptr, const Received *report = nullptr);

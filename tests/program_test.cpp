// Tavrolinde started as a process of its own, the way a user starts it: its dialog
// appears, it closes with exit code 0, it honours the start-up show command, a second
// copy runs beside the first, and a command line changes nothing.
#include <windows.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "res/resource.h"
#include "tests/support.h"

namespace {

// The machine is shared and slow: waits poll generously rather than time anything.
constexpr DWORD WAIT_MS = 20000;
constexpr DWORD POLL_MS = 100;
// One started copy of the program; whatever a test leaves running is ended here, so a
// failed assertion does not leave a process behind to block the test run.
struct StartedProgram {
    PROCESS_INFORMATION info = {};

    StartedProgram() = default;
    StartedProgram(const StartedProgram &) = delete;
    StartedProgram &operator=(const StartedProgram &) = delete;
    ~StartedProgram()
    {
        EndProcess(info);
    }
};

// Starts the program with `arguments` after its quoted path; the start-up information
// carries `showCommand` when `useShowWindow` is set.
bool Start(StartedProgram &program, const std::string &arguments, bool useShowWindow = false,
           WORD showCommand = SW_SHOWNORMAL)
{
    const std::string path = BinPath("Tavrolinde.exe");
    std::string commandLine = "\"" + path + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (useShowWindow) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = showCommand;
    }
    return CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &program.info) != FALSE;
}

struct DialogSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM lParam)
{
    auto *search = reinterpret_cast<DialogSearch *>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (processId != search->processId)
        return TRUE;
    char className[64] = {};
    char caption[64] = {};
    GetClassNameA(hwnd, className, sizeof className);
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (lstrcmpA(className, "#32770") == 0 && lstrcmpA(caption, "Tavrolinde") == 0) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialogOf(const StartedProgram &program)
{
    DialogSearch search = {program.info.dwProcessId, nullptr};
    EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A dialog is findable before its controls exist: ready means visible, with the window
// list answering a message across the process boundary.
bool IsReady(HWND hDlg)
{
    if (hDlg == nullptr || !IsWindowVisible(hDlg))
        return false;
    HWND list = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    if (list == nullptr || GetDlgItem(hDlg, IDCANCEL) == nullptr)
        return false;
    DWORD_PTR count = 0;
    return SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count) != 0 &&
           static_cast<LRESULT>(count) != LB_ERR;
}

// The program's dialog once it is ready, or null when it does not get there in time
// or the process ends first.
HWND WaitForDialog(const StartedProgram &program)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < WAIT_MS) {
        HWND hDlg = FindDialogOf(program);
        if (IsReady(hDlg))
            return hDlg;
        if (WaitForSingleObject(program.info.hProcess, POLL_MS) != WAIT_TIMEOUT)
            return nullptr;
    }
    return nullptr;
}

// The exit code once the process has ended, STILL_ACTIVE if it has not in time.
DWORD WaitForExitCode(const StartedProgram &program)
{
    WaitForSingleObject(program.info.hProcess, WAIT_MS);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(program.info.hProcess, &code);
    return code;
}

bool IsRunning(const StartedProgram &program)
{
    return WaitForSingleObject(program.info.hProcess, 0) == WAIT_TIMEOUT;
}

void Close(HWND hDlg)
{
    PostMessageA(hDlg, WM_CLOSE, 0, 0);
}

} // namespace

TEST(ProgramProcess, ShowsItsOwnTopLevelDialogCaptionedTavrolinde)
{
    StartedProgram program;
    ASSERT_TRUE(Start(program, "")) << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog of the started process";

    EXPECT_EQ(GetParent(hDlg), nullptr);
    EXPECT_EQ(GetWindow(hDlg, GW_OWNER), nullptr);
    EXPECT_EQ(GetAncestor(hDlg, GA_ROOT), hDlg);

    Close(hDlg);
    EXPECT_EQ(WaitForExitCode(program), 0u);
}

// Both ways the dialog is closed from outside: the caption's close box and the Exit
// button (or Esc) arrive as these messages.
struct ClosingMessage {
    const char *name;
    UINT message;
    WPARAM wParam;
};

// Test names carry the case's name rather than its bytes.
void PrintTo(const ClosingMessage &c, std::ostream *out)
{
    *out << c.name;
}

class ClosingTheDialog : public testing::TestWithParam<ClosingMessage> {};

TEST_P(ClosingTheDialog, EndsTheProcessWithExitCodeZero)
{
    StartedProgram program;
    ASSERT_TRUE(Start(program, "")) << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog of the started process";

    ASSERT_TRUE(PostMessageA(hDlg, GetParam().message, GetParam().wParam, 0));
    EXPECT_EQ(WaitForExitCode(program), 0u);
    EXPECT_FALSE(IsWindow(hDlg));
}

INSTANTIATE_TEST_SUITE_P(ByMessage, ClosingTheDialog,
                         testing::Values(ClosingMessage{"WmClose", WM_CLOSE, 0},
                                         ClosingMessage{"ExitButton", WM_COMMAND,
                                                        MAKEWPARAM(IDCANCEL, BN_CLICKED)}),
                         [](const testing::TestParamInfo<ClosingMessage> &info) {
                             return std::string(info.param.name);
                         });

TEST(ProgramProcess, EnterOnTheDialogLeavesItOpen)
{
    StartedProgram program;
    ASSERT_TRUE(Start(program, "")) << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog of the started process";

    // Enter arrives as IDOK, which no control carries; sent, so it has been handled
    // when the call returns.
    DWORD_PTR ignored = 0;
    ASSERT_NE(SendMessageTimeoutA(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0,
                                  SMTO_ABORTIFHUNG, WAIT_MS, &ignored),
              0);
    EXPECT_TRUE(IsWindow(hDlg));
    EXPECT_TRUE(IsWindowVisible(hDlg));
    EXPECT_TRUE(IsRunning(program));

    Close(hDlg);
    EXPECT_EQ(WaitForExitCode(program), 0u);
}

struct ShowCommandCase {
    const char *name;
    bool useShowWindow;
    WORD showCommand;
    bool minimized;
};

void PrintTo(const ShowCommandCase &c, std::ostream *out)
{
    *out << c.name;
}

class StartUpShowCommand : public testing::TestWithParam<ShowCommandCase> {};

TEST_P(StartUpShowCommand, DecidesWhetherTheDialogEndsUpMinimized)
{
    const ShowCommandCase &c = GetParam();
    StartedProgram program;
    ASSERT_TRUE(Start(program, "", c.useShowWindow, c.showCommand))
        << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog of the started process";

    // The show command is applied after the dialog has shown itself; once the program
    // waits for input in its message loop, it has been applied.
    ASSERT_EQ(WaitForInputIdle(program.info.hProcess, WAIT_MS), 0u);
    if (c.minimized) {
        const DWORD start = GetTickCount();
        while (!IsIconic(hDlg) && GetTickCount() - start < WAIT_MS)
            Sleep(POLL_MS);
    }
    EXPECT_EQ(IsIconic(hDlg) != FALSE, c.minimized);
    EXPECT_TRUE(IsWindowVisible(hDlg));

    Close(hDlg);
    EXPECT_EQ(WaitForExitCode(program), 0u);
}

INSTANTIATE_TEST_SUITE_P(ByStartUpInformation, StartUpShowCommand,
                         testing::Values(ShowCommandCase{"MinimizedWithoutActivation", true,
                                                         SW_SHOWMINNOACTIVE, true},
                                         ShowCommandCase{"Minimized", true, SW_SHOWMINIMIZED, true},
                                         ShowCommandCase{"Normal", true, SW_SHOWNORMAL, false},
                                         ShowCommandCase{"NoneGiven", false, 0, false}),
                         [](const testing::TestParamInfo<ShowCommandCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(ProgramProcess, SecondCopyRunsBesideTheFirstAndEachClosesOnItsOwn)
{
    StartedProgram first;
    ASSERT_TRUE(Start(first, "")) << "CreateProcessA failed, error " << GetLastError();
    HWND firstDlg = WaitForDialog(first);
    ASSERT_NE(firstDlg, nullptr) << "no visible dialog of the first copy";

    StartedProgram second;
    ASSERT_TRUE(Start(second, "")) << "CreateProcessA failed, error " << GetLastError();
    HWND secondDlg = WaitForDialog(second);
    ASSERT_NE(secondDlg, nullptr) << "no visible dialog of the second copy";

    EXPECT_NE(first.info.dwProcessId, second.info.dwProcessId);
    EXPECT_NE(firstDlg, secondDlg);
    EXPECT_TRUE(IsRunning(first));
    EXPECT_TRUE(IsWindowVisible(firstDlg));

    // The copy started last closes first, so neither copy's exit can follow the other's.
    Close(secondDlg);
    EXPECT_EQ(WaitForExitCode(second), 0u);
    EXPECT_TRUE(IsRunning(first));
    EXPECT_TRUE(IsWindowVisible(firstDlg));
    EXPECT_TRUE(IsReady(firstDlg));

    Close(firstDlg);
    EXPECT_EQ(WaitForExitCode(first), 0u);
}

struct CommandLineCase {
    const char *name;
    const char *arguments;
};

void PrintTo(const CommandLineCase &c, std::ostream *out)
{
    *out << c.name;
}

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, IsAcceptedAndIgnored)
{
    StartedProgram program;
    ASSERT_TRUE(Start(program, GetParam().arguments))
        << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog with arguments \""
                             << GetParam().arguments << "\"";
    ASSERT_EQ(WaitForInputIdle(program.info.hProcess, WAIT_MS), 0u);
    EXPECT_FALSE(IsIconic(hDlg));

    Close(hDlg);
    EXPECT_EQ(WaitForExitCode(program), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ByArguments, CommandLine,
    testing::Values(CommandLineCase{"HelpSwitch", "/?"},
                    CommandLineCase{"SeveralWords", "--minimized -x 42 extra words"},
                    CommandLineCase{"QuotedPathOfNoFile", "\"C:\\no such folder\\file.txt\""}),
    [](const testing::TestParamInfo<CommandLineCase> &info) {
        return std::string(info.param.name);
    });

// Tavrolinde started as a process of its own, the way a user starts it: its dialog
// appears, it closes with exit code 0, it honours the start-up show command, a second
// copy runs beside the first, and a command line changes nothing.
#include <windows.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "res/resource.h"
#include "tests/support/support.h"

namespace {

// The machine is shared and slow: waits poll generously rather than time anything.
constexpr DWORD WAIT_MS = 20000;

HWND WaitForDialog(const TestProcess &program)
{
    return WaitForDialog(program, WAIT_MS);
}

void Close(HWND hDlg)
{
    PostMessageA(hDlg, WM_CLOSE, 0, 0);
}

} // namespace

TEST(ProgramProcess, ShowsItsOwnTopLevelDialogCaptionedTavrolinde)
{
    TestProcess program;
    ASSERT_TRUE(program.StartTavrolinde()) << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog of the started process";

    EXPECT_EQ(GetParent(hDlg), nullptr);
    EXPECT_EQ(GetWindow(hDlg, GW_OWNER), nullptr);
    EXPECT_EQ(GetAncestor(hDlg, GA_ROOT), hDlg);

    Close(hDlg);
    EXPECT_EQ(program.ExitCode(WAIT_MS), 0u);
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
    TestProcess program;
    ASSERT_TRUE(program.StartTavrolinde()) << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog of the started process";

    ASSERT_TRUE(PostMessageA(hDlg, GetParam().message, GetParam().wParam, 0));
    EXPECT_EQ(program.ExitCode(WAIT_MS), 0u);
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
    TestProcess program;
    ASSERT_TRUE(program.StartTavrolinde()) << "CreateProcessA failed, error " << GetLastError();
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
    EXPECT_TRUE(program.IsRunning());

    Close(hDlg);
    EXPECT_EQ(program.ExitCode(WAIT_MS), 0u);
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
    TestProcess program;
    ASSERT_TRUE(program.StartTavrolinde("", c.useShowWindow ? c.showCommand : -1))
        << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog of the started process";

    // The show command is applied after the dialog has shown itself; once the program
    // waits for input in its message loop, it has been applied.
    ASSERT_EQ(WaitForInputIdle(program.info.hProcess, WAIT_MS), 0u);
    if (c.minimized)
        WaitUntil([&] { return IsIconic(hDlg) != FALSE; }, WAIT_MS);
    EXPECT_EQ(IsIconic(hDlg) != FALSE, c.minimized);
    EXPECT_TRUE(IsWindowVisible(hDlg));

    Close(hDlg);
    EXPECT_EQ(program.ExitCode(WAIT_MS), 0u);
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
    TestProcess first;
    ASSERT_TRUE(first.StartTavrolinde()) << "CreateProcessA failed, error " << GetLastError();
    HWND firstDlg = WaitForDialog(first);
    ASSERT_NE(firstDlg, nullptr) << "no visible dialog of the first copy";

    TestProcess second;
    ASSERT_TRUE(second.StartTavrolinde()) << "CreateProcessA failed, error " << GetLastError();
    HWND secondDlg = WaitForDialog(second);
    ASSERT_NE(secondDlg, nullptr) << "no visible dialog of the second copy";

    EXPECT_NE(first.info.dwProcessId, second.info.dwProcessId);
    EXPECT_NE(firstDlg, secondDlg);
    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(IsWindowVisible(firstDlg));

    // The copy started last closes first, so neither copy's exit can follow the other's.
    Close(secondDlg);
    EXPECT_EQ(second.ExitCode(WAIT_MS), 0u);
    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(IsWindowVisible(firstDlg));
    EXPECT_TRUE(IsDialogReady(firstDlg));

    Close(firstDlg);
    EXPECT_EQ(first.ExitCode(WAIT_MS), 0u);
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
    TestProcess program;
    ASSERT_TRUE(program.StartTavrolinde(GetParam().arguments))
        << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog with arguments \""
                             << GetParam().arguments << "\"";
    ASSERT_EQ(WaitForInputIdle(program.info.hProcess, WAIT_MS), 0u);
    EXPECT_FALSE(IsIconic(hDlg));

    Close(hDlg);
    EXPECT_EQ(program.ExitCode(WAIT_MS), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ByArguments, CommandLine,
    testing::Values(CommandLineCase{"HelpSwitch", "/?"},
                    CommandLineCase{"SeveralWords", "--minimized -x 42 extra words"},
                    CommandLineCase{"QuotedPathOfNoFile", "\"C:\\no such folder\\file.txt\""}),
    [](const testing::TestParamInfo<CommandLineCase> &info) {
        return std::string(info.param.name);
    });

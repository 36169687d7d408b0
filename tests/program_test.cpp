// Tavrolinde started as a process of its own, the way a user starts it: its dialog
// appears, it closes with exit code 0, it honours the start-up show command, a second
// copy runs beside the first, and a command line changes nothing.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"
#include "tests/support/support.h"

namespace {

// Both ways the dialog is closed from outside: the caption's close box and the Exit
// button (or Esc) arrive as these messages.
struct ClosingMessage {
    const char *name;
    UINT message;
    WPARAM wParam;
};

constexpr ClosingMessage CLOSE_BOX = {"WmClose", WM_CLOSE, 0};

// Starts this build's Tavrolinde with `arguments` and the start-up show command
// `showCommand` (none when -1); once its dialog is ready, does act(program, hDlg), then
// closes the dialog with `closing`: the process ends with exit code 0, its dialog gone.
template <typename Act>
void StartActClose(Act act, const std::string &arguments = "", int showCommand = -1,
                   const ClosingMessage &closing = CLOSE_BOX)
{
    TestProcess program;
    ASSERT_TRUE(program.StartTavrolinde(arguments, showCommand))
        << "CreateProcessA failed, error " << GetLastError();
    HWND hDlg = WaitForDialog(program);
    ASSERT_NE(hDlg, nullptr) << "no visible Tavrolinde dialog with arguments \"" << arguments
                             << "\"";
    ASSERT_NO_FATAL_FAILURE(act(program, hDlg));
    ASSERT_TRUE(PostMessageA(hDlg, closing.message, closing.wParam, 0));
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_FALSE(IsWindow(hDlg));
}

// The show command is applied after the dialog has shown itself; once the program waits
// for input in its message loop, it has been applied.
void ExpectShown(bool minimized, const TestProcess &program, HWND hDlg)
{
    ASSERT_EQ(WaitForInputIdle(program.info.hProcess, WAIT_MS), 0u);
    if (minimized)
        WaitUntil([&] { return IsIconic(hDlg) != FALSE; });
    EXPECT_EQ(IsIconic(hDlg) != FALSE, minimized);
    EXPECT_TRUE(IsWindowVisible(hDlg));
}

TEST(ProgramProcess, ShowsItsOwnTopLevelDialogCaptionedTavrolinde)
{
    StartActClose([](const TestProcess &, HWND hDlg) {
        EXPECT_EQ(GetParent(hDlg), nullptr);
        EXPECT_EQ(GetWindow(hDlg, GW_OWNER), nullptr);
        EXPECT_EQ(GetAncestor(hDlg, GA_ROOT), hDlg);
    });
}

class ClosingTheDialog : public testing::TestWithParam<ClosingMessage> {};

TEST_P(ClosingTheDialog, EndsTheProcessWithExitCodeZero)
{
    StartActClose([](const TestProcess &, HWND) {}, "", -1, GetParam());
}

INSTANTIATE_TEST_SUITE_P(ByMessage, ClosingTheDialog,
                         testing::Values(CLOSE_BOX,
                                         ClosingMessage{"ExitButton", WM_COMMAND,
                                                        MAKEWPARAM(IDCANCEL, BN_CLICKED)}),
                         ByName());

TEST(ProgramProcess, EnterOnTheDialogLeavesItOpen)
{
    StartActClose([](const TestProcess &program, HWND hDlg) {
        // Enter arrives as IDOK, which no control carries; sent, so it has been handled
        // when the call returns.
        ASSERT_TRUE(SendCommand(hDlg, IDOK));
        EXPECT_TRUE(IsWindow(hDlg));
        EXPECT_TRUE(IsWindowVisible(hDlg));
        EXPECT_TRUE(program.IsRunning());
    });
}

struct ShowCommandCase {
    const char *name;
    int showCommand; // -1: the start-up information carries none
    bool minimized;
};

class StartUpShowCommand : public testing::TestWithParam<ShowCommandCase> {};

TEST_P(StartUpShowCommand, DecidesWhetherTheDialogEndsUpMinimized)
{
    const ShowCommandCase &c = GetParam();
    StartActClose(
        [&](const TestProcess &program, HWND hDlg) { ExpectShown(c.minimized, program, hDlg); }, "",
        c.showCommand);
}

INSTANTIATE_TEST_SUITE_P(ByStartUpInformation, StartUpShowCommand,
                         testing::Values(ShowCommandCase{"MinimizedWithoutActivation",
                                                         SW_SHOWMINNOACTIVE, true},
                                         ShowCommandCase{"Minimized", SW_SHOWMINIMIZED, true},
                                         ShowCommandCase{"Normal", SW_SHOWNORMAL, false},
                                         ShowCommandCase{"NoneGiven", -1, false}),
                         ByName());

TEST(ProgramProcess, SecondCopyRunsBesideTheFirstAndEachClosesOnItsOwn)
{
    StartActClose([](const TestProcess &first, HWND firstDlg) {
        // The copy started last closes first, so neither copy's exit can follow the other's.
        ASSERT_NO_FATAL_FAILURE(StartActClose([&](const TestProcess &second, HWND secondDlg) {
            EXPECT_NE(first.info.dwProcessId, second.info.dwProcessId);
            EXPECT_NE(firstDlg, secondDlg);
            EXPECT_TRUE(first.IsRunning());
            EXPECT_TRUE(IsWindowVisible(firstDlg));
        }));
        EXPECT_TRUE(first.IsRunning());
        EXPECT_TRUE(IsWindowVisible(firstDlg));
        EXPECT_TRUE(IsDialogReady(firstDlg));
    });
}

struct CommandLineCase {
    const char *name;
    const char *arguments;
};

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, IsAcceptedAndIgnored)
{
    StartActClose([](const TestProcess &program, HWND hDlg) { ExpectShown(false, program, hDlg); },
                  GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    ByArguments, CommandLine,
    testing::Values(CommandLineCase{"HelpSwitch", "/?"},
                    CommandLineCase{"SeveralWords", "--minimized -x 42 extra words"},
                    CommandLineCase{"QuotedPathOfNoFile", "\"C:\\no such folder\\file.txt\""}),
    ByName());

} // namespace

// The main dialog, built in this process from the real template: how it opens, what its
// procedure returns, which commands leave it alone, how it closes, and the About box,
// looked at from inside the box's own modal loop.
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dialog/dialog.h"
#include "res/resource.h"
#include "tests/support/support.h"

namespace {

// Takes the thread's quit message; false when none is pending.
bool TakeQuit(WPARAM &exitCode)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    exitCode = msg.wParam;
    return true;
}

void DestroyDialog(HWND hDlg)
{
    if (IsWindow(hDlg))
        DestroyWindow(hDlg);
    WPARAM ignored;
    TakeQuit(ignored);
}

constexpr char FIXTURE_CLASS[] = "TavrolindeDialogFixture";

// Counts the left-button presses each fixture window receives.
std::map<HWND, int> g_presses;

LRESULT CALLBACK FixtureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN)
        ++g_presses[hwnd];
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A titled top-level window holding two children, so both lists have entries to select.
// A popup without caption: Wine destroys it without waiting for a window manager.
struct Fixture {
    HWND top = nullptr;
    HWND children[2] = {};

    Fixture()
    {
        RegisterWindowClass(FIXTURE_CLASS, FixtureProc);
        top = MakeWindow(FIXTURE_CLASS, "Dialog fixture", WS_POPUP | WS_VISIBLE);
        for (HWND &child : children)
            child = MakeWindow(FIXTURE_CLASS, "child", WS_CHILD | WS_VISIBLE, top);
    }
    ~Fixture()
    {
        DestroyWindow(top);
    }
};

// A list's entries and its selection.
std::pair<std::vector<Entry>, LRESULT> StateOf(HWND list)
{
    return {EntriesOf(list), SendMessageA(list, LB_GETCURSEL, 0, 0)};
}

} // namespace

TEST(DialogStartUp, OpensVisibleTopmostCentredWithItsBigIconAndListsItself)
{
    HWND hDlg = CreateMainDialog();
    ASSERT_NE(hDlg, nullptr);

    EXPECT_TRUE(IsWindowVisible(hDlg));
    EXPECT_TRUE(GetWindowLongA(hDlg, GWL_EXSTYLE) & WS_EX_TOPMOST);

    RECT work, frame;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_TRUE(GetWindowRect(hDlg, &frame));
    EXPECT_NEAR(frame.left + frame.right, work.left + work.right, 4) << "twice the centre x";
    EXPECT_NEAR(frame.top + frame.bottom, work.top + work.bottom, 4) << "twice the centre y";

    HICON appIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
    ASSERT_NE(appIcon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(hDlg, WM_GETICON, ICON_BIG, 0)), appIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(hDlg, WM_GETICON, ICON_SMALL, 0)), nullptr);

    EXPECT_GE(IndexOf(GetDlgItem(hDlg, IDC_WINDOW_LIST), hDlg), 0)
        << "the dialog is among the windows listed at start-up";
    DestroyDialog(hDlg);
}

TEST(DialogProcedure, ReturnsTrueForWhatItHandlesAndFalseOtherwise)
{
    struct Row {
        const char *name;
        UINT message;
        WPARAM wParam;
        INT_PTR result;
    };
    // The rows that close the dialog come last: destroying a window costs Wine seconds.
    const Row rows[] = {
        {"WM_INITDIALOG", WM_INITDIALOG, 0, FALSE},
        {"WM_COMMAND Enter", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), TRUE},
        {"WM_COMMAND unknown id", WM_COMMAND, MAKEWPARAM(0x7777, 0), TRUE},
        {"WM_COMMAND Refresh", WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), TRUE},
        {"WM_COMMAND toggle", WM_COMMAND, MAKEWPARAM(IDC_AUTO_CLICK, BN_CLICKED), TRUE},
        {"WM_COMMAND upper list", WM_COMMAND, MAKEWPARAM(IDC_WINDOW_LIST, LBN_SELCHANGE), TRUE},
        {"WM_TIMER 0", WM_TIMER, 0, TRUE},
        {"WM_TIMER 7", WM_TIMER, 7, TRUE},
        {"WM_DESTROY", WM_DESTROY, 0, TRUE},
        {"WM_NULL", WM_NULL, 0, FALSE},
        {"WM_SIZE", WM_SIZE, 0, FALSE},
        {"WM_KEYDOWN", WM_KEYDOWN, VK_SPACE, FALSE},
        {"WM_LBUTTONDOWN", WM_LBUTTONDOWN, 0, FALSE},
        {"WM_USER", WM_USER, 0, FALSE},
        {"WM_COMMAND Exit", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), TRUE},
        {"WM_CLOSE", WM_CLOSE, 0, TRUE},
    };
    HWND hDlg = nullptr;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (!IsWindow(hDlg))
            hDlg = CreateMainDialog();
        ASSERT_NE(hDlg, nullptr);
        EXPECT_EQ(MainDlgProc(hDlg, row.message, row.wParam, 0), row.result);
    }
    DestroyDialog(hDlg);
}

TEST(DialogCommands, EnterAndNotificationsWithoutActionChangeNothing)
{
    Fixture fixture;
    HWND hDlg = CreateMainDialog();
    ASSERT_NE(hDlg, nullptr);
    ASSERT_TRUE(SelectDescendant(hDlg, fixture.top, fixture.children[1]));
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    HWND lower = GetDlgItem(hDlg, IDC_CHILD_LIST);
    const auto before = std::make_pair(StateOf(upper), StateOf(lower));
    const auto expectUnchanged = [&] {
        ASSERT_TRUE(IsWindow(hDlg));
        EXPECT_EQ(std::make_pair(StateOf(upper), StateOf(lower)), before);
        EXPECT_EQ(IsDlgButtonChecked(hDlg, IDC_AUTO_CLICK), BST_UNCHECKED);
    };

    struct Row {
        const char *name;
        WPARAM wParam;
        HWND control;
    };
    const Row rows[] = {
        {"Enter", MAKEWPARAM(IDOK, BN_CLICKED), nullptr},
        {"lower list selection change", MAKEWPARAM(IDC_CHILD_LIST, LBN_SELCHANGE), lower},
        {"lower list double-click", MAKEWPARAM(IDC_CHILD_LIST, LBN_DBLCLK), lower},
        {"upper list double-click", MAKEWPARAM(IDC_WINDOW_LIST, LBN_DBLCLK), upper},
        {"unknown control", MAKEWPARAM(0x7777, BN_CLICKED), nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SendMessageA(hDlg, WM_COMMAND, row.wParam, reinterpret_cast<LPARAM>(row.control));
        ASSERT_NO_FATAL_FAILURE(expectUnchanged());
    }

    // The Enter key itself, with either list holding the focus.
    for (HWND list : {upper, lower}) {
        SetFocus(list);
        MSG enter = {list, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
        IsDialogMessageA(hDlg, &enter);
        ASSERT_NO_FATAL_FAILURE(expectUnchanged());
    }
    WPARAM exitCode;
    EXPECT_FALSE(TakeQuit(exitCode));
    DestroyDialog(hDlg);
}

TEST(DialogClosing, ExitAndCloseDestroyTheDialogAndPostQuitZero)
{
    struct Row {
        const char *name;
        UINT message;
        WPARAM wParam;
    };
    const Row rows[] = {
        {"Exit button or Esc", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
        {"close box", WM_CLOSE, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        HWND hDlg = CreateMainDialog();
        ASSERT_NE(hDlg, nullptr);
        WPARAM exitCode = 1;
        ASSERT_FALSE(TakeQuit(exitCode)) << "no quit before the dialog closes";
        SendMessageA(hDlg, row.message, row.wParam, 0);
        EXPECT_FALSE(IsWindow(hDlg));
        ASSERT_TRUE(TakeQuit(exitCode));
        EXPECT_EQ(exitCode, 0u);
        DestroyDialog(hDlg);
    }
}

namespace {

// What the probe sees while the About box is open.
struct AboutView {
    HWND hDlg = nullptr;
    HWND target = nullptr;
    HWND box = nullptr;
    HWND owner = nullptr;
    bool boxEnabled = false;
    bool dialogEnabled = true;
    std::string caption;
    std::string text;
    HICON icon = nullptr;
    int pressesWhileOpen = 0;
    int polls = 0;
};
AboutView g_about;

// Generous: about five seconds to find the box and to see the tick's click arrive.
constexpr int MAX_POLLS = 50;

BOOL CALLBACK FindBoxProc(HWND hwnd, LPARAM)
{
    if (hwnd != g_about.hDlg && ClassOf(hwnd) == DIALOG_CLASS) {
        g_about.box = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ReadBoxChildProc(HWND child, LPARAM)
{
    if (ClassOf(child) != "Static")
        return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        g_about.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    else if (TextOf(child).rfind("Tavrolinde", 0) == 0)
        g_about.text = TextOf(child);
    return TRUE;
}

// Runs on the thread's timer inside the box's modal loop: reads the box, then hands the
// dialog a tick and lets the loop deliver its click before closing the box.
void CALLBACK ProbeAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    ++g_about.polls;
    if (g_about.box == nullptr) {
        EnumThreadWindows(GetCurrentThreadId(), FindBoxProc, 0);
        if (g_about.box != nullptr) {
            g_about.owner = GetWindow(g_about.box, GW_OWNER);
            g_about.boxEnabled = IsWindowEnabled(g_about.box) != FALSE;
            g_about.dialogEnabled = IsWindowEnabled(g_about.hDlg) != FALSE;
            g_about.caption = TextOf(g_about.box);
            EnumChildWindows(g_about.box, ReadBoxChildProc, 0);
            PostMessageA(g_about.hDlg, WM_TIMER, 7, 0);
        } else if (g_about.polls > MAX_POLLS) {
            KillTimer(nullptr, timer);
        }
        return;
    }
    g_about.pressesWhileOpen = g_presses[g_about.target];
    if (g_about.pressesWhileOpen > 0 || g_about.polls > MAX_POLLS) {
        KillTimer(nullptr, timer);
        PostMessageA(g_about.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

} // namespace

TEST(DialogAbout, ShowsAModalVersionBoxWhileTicksGoOn)
{
    Fixture fixture;
    HWND hDlg = CreateMainDialog();
    ASSERT_NE(hDlg, nullptr);
    ASSERT_TRUE(SelectDescendant(hDlg, fixture.top, fixture.children[0]));
    g_about.hDlg = hDlg;
    g_about.target = fixture.children[0];

    ASSERT_NE(SetTimer(nullptr, 0, 100, ProbeAbout), 0u);
    SendCommand(hDlg, IDC_ABOUT);

    ASSERT_NE(g_about.box, nullptr) << "no message box appeared";
    EXPECT_EQ(g_about.owner, hDlg);
    EXPECT_TRUE(g_about.boxEnabled);
    EXPECT_FALSE(g_about.dialogEnabled) << "the box is modal to the dialog";
    EXPECT_EQ(g_about.caption, ABOUT_CAPTION);
    EXPECT_EQ(g_about.text, std::string("Tavrolinde\n\nVersion 1.0 (2005/02/28)\n\n") + NOTICE);
    EXPECT_EQ(g_about.icon, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP)));
    EXPECT_GT(g_about.pressesWhileOpen, 0) << "a tick during the box clicks the selection";

    EXPECT_FALSE(IsWindow(g_about.box));
    EXPECT_TRUE(IsWindow(hDlg));
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    DestroyDialog(hDlg);
}

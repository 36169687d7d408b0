// The main dialog, built in this process from the real template: how it opens, what its
// procedure returns, which commands leave it alone, how it closes, stopping its timer, and
// the About box, looked at from inside the box's own modal loop.
#include <windows.h>
#include <gtest/gtest.h>

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

// A titled top-level window holding two recording children, so both lists have entries to
// select. A popup without caption: Wine destroys it without waiting for a window manager.
struct Fixture {
    HWND top = nullptr;
    HWND children[2] = {};

    Fixture()
    {
        top = MakeWindow("Static", "Dialog fixture", WS_POPUP | WS_VISIBLE);
        for (HWND &child : children) {
            child = MakeWindow("Static", "child", WS_CHILD | WS_VISIBLE, top);
            StartRecording(child);
        }
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

struct ProcedureRow {
    const char *name;
    UINT message;
    WPARAM wParam;
    INT_PTR result;
};

const ProcedureRow PROCEDURE_ROWS[] = {
    {"WmInitDialog", WM_INITDIALOG, 0, FALSE},
    {"WmCommandEnter", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), TRUE},
    {"WmCommandUnknownId", WM_COMMAND, MAKEWPARAM(0x7777, 0), TRUE},
    {"WmCommandRefresh", WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), TRUE},
    {"WmCommandToggle", WM_COMMAND, MAKEWPARAM(IDC_AUTO_CLICK, BN_CLICKED), TRUE},
    {"WmCommandUpperList", WM_COMMAND, MAKEWPARAM(IDC_WINDOW_LIST, LBN_SELCHANGE), TRUE},
    {"WmCommandExit", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), TRUE},
    {"WmTimer0", WM_TIMER, 0, TRUE},
    {"WmTimer7", WM_TIMER, 7, TRUE},
    {"WmDestroy", WM_DESTROY, 0, TRUE},
    {"WmClose", WM_CLOSE, 0, TRUE},
    {"WmNull", WM_NULL, 0, FALSE},
    {"WmSize", WM_SIZE, 0, FALSE},
    {"WmKeyDown", WM_KEYDOWN, VK_SPACE, FALSE},
    {"WmLButtonDown", WM_LBUTTONDOWN, 0, FALSE},
    {"WmUser", WM_USER, 0, FALSE},
};

class DialogProcedure : public testing::TestWithParam<ProcedureRow> {};

TEST_P(DialogProcedure, ReturnsTrueForWhatItHandlesAndFalseOtherwise)
{
    HWND hDlg = CreateMainDialog();
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(MainDlgProc(hDlg, GetParam().message, GetParam().wParam, 0), GetParam().result);
    DestroyDialog(hDlg);
}

INSTANTIATE_TEST_SUITE_P(ByMessage, DialogProcedure, testing::ValuesIn(PROCEDURE_ROWS), ByName());

// A command the dialog is sent from the control it names, if any, or, where `enterInList`
// names a list, the Enter key with that list holding the focus.
struct InertRow {
    const char *name;
    WPARAM wParam;
    int enterInList;
};

const InertRow INERT_ROWS[] = {
    {"Enter", MAKEWPARAM(IDOK, BN_CLICKED), 0},
    {"LowerListSelectionChange", MAKEWPARAM(IDC_CHILD_LIST, LBN_SELCHANGE), 0},
    {"LowerListDoubleClick", MAKEWPARAM(IDC_CHILD_LIST, LBN_DBLCLK), 0},
    {"UpperListDoubleClick", MAKEWPARAM(IDC_WINDOW_LIST, LBN_DBLCLK), 0},
    {"UnknownControl", MAKEWPARAM(0x7777, BN_CLICKED), 0},
    {"EnterKeyInTheUpperList", 0, IDC_WINDOW_LIST},
    {"EnterKeyInTheLowerList", 0, IDC_CHILD_LIST},
};

class DialogCommands : public testing::TestWithParam<InertRow> {};

TEST_P(DialogCommands, EnterAndNotificationsWithoutActionChangeNothing)
{
    const InertRow &row = GetParam();
    Fixture fixture;
    HWND hDlg = CreateMainDialog();
    ASSERT_NE(hDlg, nullptr);
    ASSERT_TRUE(SelectDescendant(hDlg, fixture.top, fixture.children[1]));
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    HWND lower = GetDlgItem(hDlg, IDC_CHILD_LIST);
    const auto before = std::make_pair(StateOf(upper), StateOf(lower));

    if (row.enterInList != 0) {
        HWND list = GetDlgItem(hDlg, row.enterInList);
        SetFocus(list);
        MSG enter = {list, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
        IsDialogMessageA(hDlg, &enter);
    } else {
        SendMessageA(hDlg, WM_COMMAND, row.wParam,
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, LOWORD(row.wParam))));
    }
    ASSERT_TRUE(IsWindow(hDlg));
    EXPECT_EQ(std::make_pair(StateOf(upper), StateOf(lower)), before);
    EXPECT_EQ(IsDlgButtonChecked(hDlg, IDC_AUTO_CLICK), BST_UNCHECKED);
    WPARAM exitCode;
    EXPECT_FALSE(TakeQuit(exitCode));
    ExpectReceived({}, "nothing is clicked");
    DestroyDialog(hDlg);
}

INSTANTIATE_TEST_SUITE_P(ByInput, DialogCommands, testing::ValuesIn(INERT_ROWS), ByName());

struct ClosingRow {
    const char *name;
    void (*close)(HWND);
};

const ClosingRow CLOSING_ROWS[] = {
    {"ExitButtonOrEsc",
     [](HWND h) { SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }},
    {"CloseBox", [](HWND h) { SendMessageA(h, WM_CLOSE, 0, 0); }},
    {"DestroyWindow", [](HWND h) { DestroyWindow(h); }},
};

class DialogClosing : public testing::TestWithParam<ClosingRow> {};

TEST_P(DialogClosing, DestroysTheDialogStopsItsTimerAndPostsQuitZero)
{
    HWND hDlg = CreateMainDialog();
    ASSERT_NE(hDlg, nullptr);
    WPARAM exitCode = 1;
    ASSERT_FALSE(TakeQuit(exitCode)) << "no quit before the dialog closes";
    ASSERT_TRUE(PressToggle(hDlg));
    GetParam().close(hDlg);
    ASSERT_FALSE(IsWindow(hDlg));

    int ticks = 0;
    int quits = 0;
    // Every message of the thread for a while, each counted and handled.
    WaitUntil(
        [&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ticks += msg.message == WM_TIMER;
                if (msg.message == WM_QUIT) {
                    ++quits;
                    exitCode = msg.wParam;
                }
                DispatchMessageA(&msg);
            }
            return false;
        },
        ANSWERING, QUIET_MS);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(By, DialogClosing, testing::ValuesIn(CLOSING_ROWS), ByName());

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
    int clicksWhileOpen = 0;
    int polls = 0;
};
AboutView g_about;

// Generous: about five seconds to find the box and to see the tick's click arrive.
constexpr UINT PROBE_MS = 100;
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
    else if (TextOf(child).rfind(DIALOG_CAPTION, 0) == 0)
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
    g_about.clicksWhileOpen = ClicksSoFar(g_about.target);
    if (g_about.clicksWhileOpen > 0 || g_about.polls > MAX_POLLS) {
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

    ASSERT_NE(SetTimer(nullptr, 0, PROBE_MS, ProbeAbout), 0u);
    EXPECT_TRUE(SendCommand(hDlg, IDC_ABOUT)) << "the About box never closed";

    ASSERT_NE(g_about.box, nullptr) << "no message box appeared";
    EXPECT_EQ(g_about.owner, hDlg);
    EXPECT_TRUE(g_about.boxEnabled);
    EXPECT_FALSE(g_about.dialogEnabled) << "the box is modal to the dialog";
    EXPECT_EQ(g_about.caption, ABOUT_CAPTION);
    EXPECT_EQ(g_about.text, std::string("Tavrolinde\n\nVersion 1.0 (2005/02/28)\n\n") + NOTICE);
    EXPECT_EQ(g_about.icon, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP)));
    EXPECT_GT(g_about.clicksWhileOpen, 0) << "a tick during the box clicks the selection";
    ExpectReceived(Clicks(g_about.target), "the one tick during the box");

    EXPECT_FALSE(IsWindow(g_about.box));
    EXPECT_TRUE(IsWindow(hDlg));
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    DestroyDialog(hDlg);
}

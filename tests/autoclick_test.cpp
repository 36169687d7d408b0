// The click timer of the real dialog, in this process: what a tick posts and to whom,
// how the lower list's selection steers it, and how the toggle and the dialog's end
// start and stop the timer. Fixture windows of the test record what reaches them.
#include <windows.h>
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "dialog/dialog.h"
#include "res/resource.h"
#include "tests/support/support.h"

namespace {

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;

    bool operator==(const Received &other) const
    {
        return hwnd == other.hwnd && message == other.message && wParam == other.wParam &&
               lParam == other.lParam;
    }
};

void PrintTo(const Received &r, std::ostream *out)
{
    *out << "{hwnd " << r.hwnd << ", message 0x" << std::hex << r.message << ", wParam 0x"
         << r.wParam << ", lParam 0x" << r.lParam << std::dec << "}";
}

std::vector<Received> g_received;

// Mouse buttons and commands only: the activation that comes with a tick is no click.
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK) || message == WM_COMMAND)
        g_received.push_back({hwnd, message, wParam, lParam});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

constexpr char RECORDING_CLASS[] = "TavrolindeRecordingWindow";
constexpr int BUTTON_ID = 42;
// Generous waits on a shared machine; nothing here measures speed.
constexpr DWORD ARMED_WAIT_MS = 3000;

std::vector<Received> ClickOn(HWND target)
{
    return {{target, WM_LBUTTONDOWN, 0, 0}, {target, WM_LBUTTONUP, 0, 0}};
}

// Takes the next WM_TIMER for hDlg from the queue within `ms`.
bool TakeTimer(HWND hDlg, DWORD ms, MSG &msg)
{
    return WaitUntil(
        [&] { return PeekMessageA(&msg, hDlg, WM_TIMER, WM_TIMER, PM_REMOVE) != FALSE; }, ms);
}

// A titled popup `top` (Wine destroys a window without caption at once) holding `outer`
// with `inner` inside it, `sibling`, and a real push button; all but the button record.
class AutoClick : public testing::Test {
  protected:
    void SetUp() override
    {
        RegisterWindowClass(RECORDING_CLASS, RecordingProc);
        top = MakeWindow(RECORDING_CLASS, "Click fixture", WS_POPUP | WS_VISIBLE);
        outer = MakeWindow(RECORDING_CLASS, "outer", WS_CHILD | WS_VISIBLE, top);
        inner = MakeWindow(RECORDING_CLASS, "inner", WS_CHILD | WS_VISIBLE, outer);
        sibling = MakeWindow(RECORDING_CLASS, "sibling", WS_CHILD | WS_VISIBLE, top);
        button =
            MakeWindow("Button", "press", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, top, BUTTON_ID);
        hDlg = CreateMainDialog();
        ASSERT_NE(hDlg, nullptr);
        Pump();
        g_received.clear();
    }

    void TearDown() override
    {
        if (IsWindow(hDlg))
            DestroyWindow(hDlg);
        DestroyWindow(top);
    }

    void Tick(WPARAM timerId = 0)
    {
        SendMessageA(hDlg, WM_TIMER, timerId, 0);
    }

    // Presses the toggle as a click would; returns whether it is now pressed in.
    bool PressToggle()
    {
        SendDlgItemMessageA(hDlg, IDC_AUTO_CLICK, BM_CLICK, 0, 0);
        return IsDlgButtonChecked(hDlg, IDC_AUTO_CLICK) == BST_CHECKED;
    }

    HWND hDlg = nullptr;
    HWND top = nullptr;
    HWND outer = nullptr;
    HWND inner = nullptr;
    HWND sibling = nullptr;
    HWND button = nullptr;
};

} // namespace

TEST_F(AutoClick, ATickWithNothingSelectedClicksNothing)
{
    Tick();
    Pump();
    EXPECT_TRUE(g_received.empty()) << "lower list still empty";

    ASSERT_TRUE(SelectInList(hDlg, IDC_WINDOW_LIST, top));
    ASSERT_GT(SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_GETCOUNT, 0, 0), 0);
    Tick();
    Pump();
    EXPECT_TRUE(g_received.empty()) << "lower list filled, nothing selected";
}

TEST_F(AutoClick, EachTickPostsOnePressAndReleaseToTheSelectedWindowOnly)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
    // The identifier of the timer is not looked at.
    for (WPARAM timerId : {WPARAM{0}, WPARAM{7}, WPARAM{0x1234}}) {
        SCOPED_TRACE(timerId);
        g_received.clear();
        Tick(timerId);
        EXPECT_TRUE(g_received.empty()) << "posted, not sent: nothing arrives before the queue";
        Pump();
        // outer, its parent, and top record as well: nothing may reach them.
        EXPECT_EQ(g_received, ClickOn(inner));
    }
}

TEST_F(AutoClick, AClickedButtonReportsBnClickedToItsParent)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, button));
    Tick();
    Pump();
    const std::vector<Received> clicked = {
        {top, WM_COMMAND, MAKEWPARAM(BUTTON_ID, BN_CLICKED), reinterpret_cast<LPARAM>(button)}};
    EXPECT_EQ(g_received, clicked);
}

TEST_F(AutoClick, AnotherSelectionMovesTheNextClick)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
    Tick();
    Pump();
    EXPECT_EQ(g_received, ClickOn(inner));

    g_received.clear();
    ASSERT_TRUE(SelectInList(hDlg, IDC_CHILD_LIST, sibling));
    Tick();
    Pump();
    EXPECT_EQ(g_received, ClickOn(sibling));
}

TEST_F(AutoClick, TicksClickNothingOnceTheLowerListIsEmptied)
{
    struct Row {
        const char *name;
        int id;
        WORD code;
    };
    const Row rows[] = {
        {"refresh", IDC_REFRESH, BN_CLICKED},
        {"new choice in the upper list", IDC_WINDOW_LIST, LBN_SELCHANGE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
        g_received.clear();
        ASSERT_TRUE(SendCommand(hDlg, row.id, row.code));
        Tick();
        Pump();
        EXPECT_TRUE(g_received.empty());
    }
}

TEST_F(AutoClick, TheTogglePressedInArmsTheTimerAndReleasedDisarmsIt)
{
    MSG timer;
    ASSERT_TRUE(PressToggle());
    ASSERT_TRUE(TakeTimer(hDlg, ARMED_WAIT_MS, timer)) << "no tick after the toggle went in";
    EXPECT_EQ(timer.wParam, 0u) << "the click timer's identifier";

    ASSERT_FALSE(PressToggle());
    EXPECT_FALSE(TakeTimer(hDlg, QUIET_MS, timer)) << "a tick after the toggle came out";
}

TEST_F(AutoClick, ADestroyedDialogStopsItsTimerAndPostsQuitZero)
{
    struct Row {
        const char *name;
        void (*close)(HWND);
    };
    const Row rows[] = {
        {"DestroyWindow", [](HWND h) { DestroyWindow(h); }},
        {"WM_CLOSE", [](HWND h) { SendMessageA(h, WM_CLOSE, 0, 0); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (!IsWindow(hDlg))
            hDlg = CreateMainDialog();
        ASSERT_TRUE(PressToggle());
        row.close(hDlg);
        ASSERT_FALSE(IsWindow(hDlg));

        int ticks = 0;
        int quits = 0;
        WPARAM exitCode = 1;
        // Every message of the thread for a while, each counted and handled.
        WaitUntil(
            [&] {
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    ticks += msg.message == WM_TIMER && msg.hwnd == hDlg;
                    if (msg.message == WM_QUIT) {
                        ++quits;
                        exitCode = msg.wParam;
                    }
                    DispatchMessageA(&msg);
                }
                return false;
            },
            QUIET_MS);
        EXPECT_EQ(ticks, 0);
        EXPECT_EQ(quits, 1);
        EXPECT_EQ(exitCode, 0u);
    }
}

// The one test on real time: bounds are wide, the period being a second.
TEST_F(AutoClick, TheFirstClickComesAboutASecondAfterThePress)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(PressToggle());
    Pump();
    EXPECT_TRUE(g_received.empty()) << "no click at the press itself";

    WaitUntil(
        [] {
            Pump();
            return !g_received.empty();
        },
        ARMED_WAIT_MS, 10);
    const DWORD elapsed = GetTickCount() - pressed;
    ASSERT_FALSE(g_received.empty()) << "no click within " << ARMED_WAIT_MS << " ms";
    EXPECT_GE(elapsed, 500u);
    EXPECT_EQ(g_received, ClickOn(inner));
}

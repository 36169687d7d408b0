// The click timer of the real dialog, in this process: what a tick posts and to whom,
// how the lower list's selection steers it, and how the toggle starts and stops the timer
// (the dialog's end stops it too: see dialog_test). The test's windows record what reaches
// them.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"
#include "tests/support/support.h"

namespace {

constexpr int BUTTON_ID = 42;
// Generous waits on a shared machine; nothing here measures speed.
constexpr DWORD ARMED_WAIT_MS = 3000;
// The earliest a first click may come after the press, the period being a second.
constexpr DWORD FIRST_CLICK_MS = CLICK_PERIOD_MS / 2;

// Takes the next WM_TIMER for hDlg from the queue within `ms`.
bool TakeTimer(HWND hDlg, DWORD ms, MSG &msg)
{
    return WaitUntil(
        [&] { return PeekMessageA(&msg, hDlg, WM_TIMER, WM_TIMER, PM_REMOVE) != FALSE; }, ANSWERING,
        ms);
}

// A titled popup `top` (Wine destroys a window without caption at once) holding `outer`
// with `inner` inside it, `sibling`, and a real push button; all but the button record.
class AutoClick : public testing::Test {
  protected:
    void SetUp() override
    {
        top = MakeWindow("Static", "Click fixture", WS_POPUP | WS_VISIBLE);
        outer = MakeWindow("Static", "outer", WS_CHILD | WS_VISIBLE, top);
        inner = MakeWindow("Static", "inner", WS_CHILD | WS_VISIBLE, outer);
        sibling = MakeWindow("Static", "sibling", WS_CHILD | WS_VISIBLE, top);
        button =
            MakeWindow("Button", "press", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, top, BUTTON_ID);
        for (HWND window : {top, outer, inner, sibling})
            ASSERT_NO_FATAL_FAILURE(StartRecording(window));
        hDlg = CreateMainDialog();
        ASSERT_NE(hDlg, nullptr);
        ExpectReceived({}, "before the test");
    }

    void TearDown() override
    {
        if (IsWindow(hDlg))
            DestroyWindow(hDlg);
        DestroyWindow(top);
    }

    // A tick as the timer brings it: the identifier of the timer is not looked at.
    void Tick(WPARAM timerId = 0)
    {
        SendMessageA(hDlg, WM_TIMER, timerId, 0);
    }

    HWND hDlg = nullptr;
    HWND top = nullptr, outer = nullptr, inner = nullptr, sibling = nullptr, button = nullptr;
};

} // namespace

TEST_F(AutoClick, ATickWithNothingSelectedClicksNothing)
{
    Tick();
    ExpectReceived({}, "lower list still empty");

    ASSERT_TRUE(SelectInList(hDlg, IDC_WINDOW_LIST, top));
    ASSERT_GT(SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_GETCOUNT, 0, 0), 0);
    Tick();
    ExpectReceived({}, "lower list filled, nothing selected");
}

struct TimerRow {
    const char *name;
    WPARAM timerId;
};

const TimerRow TIMER_ROWS[] = {{"TimerZero", 0}, {"TimerSeven", 7}, {"TimerX1234", 0x1234}};

class AutoClickTimer : public AutoClick, public testing::WithParamInterface<TimerRow> {};

// outer, its parent, and top record as well: nothing may reach them.
TEST_P(AutoClickTimer, EachTickPostsOnePressAndReleaseToTheSelectedWindowOnly)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
    for (int tick = 1; tick <= 2; ++tick) {
        Tick(GetParam().timerId);
        ExpectReceived(Clicks(inner), "tick " + std::to_string(tick));
    }
}

INSTANTIATE_TEST_SUITE_P(ById, AutoClickTimer, testing::ValuesIn(TIMER_ROWS), ByName());

TEST_F(AutoClick, AClickedButtonReportsBnClickedToItsParent)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, button));
    Tick();
    ExpectReceived({{top, WM_COMMAND, MAKEWPARAM(BUTTON_ID, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button), false}},
                   "the button's report");
}

TEST_F(AutoClick, AnotherSelectionMovesTheNextClick)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
    Tick();
    ExpectReceived(Clicks(inner), "first selection");

    ASSERT_TRUE(SelectInList(hDlg, IDC_CHILD_LIST, sibling));
    Tick();
    ExpectReceived(Clicks(sibling), "second selection");
}

struct EmptyingRow {
    const char *name;
    int id;
    WORD code;
};

const EmptyingRow EMPTYING_ROWS[] = {
    {"Refresh", IDC_REFRESH, BN_CLICKED},
    {"NewChoiceInTheUpperList", IDC_WINDOW_LIST, LBN_SELCHANGE},
};

class AutoClickEmptied : public AutoClick, public testing::WithParamInterface<EmptyingRow> {};

TEST_P(AutoClickEmptied, TicksClickNothingOnceTheLowerListIsEmptied)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
    ASSERT_TRUE(SendCommand(hDlg, GetParam().id, GetParam().code));
    Tick();
    ExpectReceived({}, "after the lower list was emptied");
}

INSTANTIATE_TEST_SUITE_P(By, AutoClickEmptied, testing::ValuesIn(EMPTYING_ROWS), ByName());

TEST_F(AutoClick, TheTogglePressedInArmsTheTimerAndReleasedDisarmsIt)
{
    MSG timer;
    ASSERT_TRUE(PressToggle(hDlg));
    ASSERT_TRUE(TakeTimer(hDlg, ARMED_WAIT_MS, timer)) << "no tick after the toggle went in";
    EXPECT_EQ(timer.wParam, 0u) << "the click timer's identifier";

    ASSERT_FALSE(PressToggle(hDlg));
    EXPECT_FALSE(TakeTimer(hDlg, QUIET_MS, timer)) << "a tick after the toggle came out";
}

// The one test on real time: bounds are wide, the period being a second.
TEST_F(AutoClick, TheFirstClickComesAboutASecondAfterThePress)
{
    ASSERT_TRUE(SelectDescendant(hDlg, top, inner));
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(PressToggle(hDlg));
    ExpectReceived({}, "no click at the press itself");

    ASSERT_TRUE(WaitUntil([&] { return ClicksSoFar(inner) > 0; }, PUMPING, ARMED_WAIT_MS))
        << "no click within " << ARMED_WAIT_MS << " ms";
    EXPECT_GE(GetTickCount() - pressed, FIRST_CLICK_MS);
    ExpectReceived(Clicks(inner), "the first tick");
}

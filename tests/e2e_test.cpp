// Tavrolinde started as a program of its own and driven the way a person drives it: real key
// presses and mouse clicks go to the X server through xdotool. This process watches from
// outside, through window messages and through windows of its own that get clicked. All of
// it runs in one Wine virtual desktop, whose screen coordinates are the X server's.
#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "res/resource.h"
#include "tests/support/support.h"

namespace {

// Long enough for a click already on its way to arrive.
constexpr DWORD CLICK_ON_ITS_WAY_MS = 500;
// xdotool's pause between the keys of one command.
constexpr int KEY_DELAY_MS = 50;
// The caption's close box lies within this many pixels of the frame's right edge.
constexpr int CLOSE_BOX_REACH_PX = 80;
// More lines of the word in Notepad than the test clicks Find Next, so that every click moves on.
constexpr int WORD_LINES = 60;

constexpr int TAB_ORDER[] = {IDCANCEL,       IDC_WINDOW_LIST, IDC_CHILD_LIST,
                             IDC_AUTO_CLICK, IDC_REFRESH,     IDC_ABOUT};
constexpr int TAB_STOPS = sizeof TAB_ORDER / sizeof TAB_ORDER[0];

// Real input through xdotool, a Linux program. Wine starts it as no Windows process: the
// process information it returns holds no handles of ours, only what its stack held (once the
// kill-on-exit job's handle, whose closing ended every program of the test), so none of it is
// closed. xdotool touches a file once its input has gone out, in the current folder, where
// Wine starts it; `timeout` ends it should it hang, once this process no longer waits for it.
bool Xdotool(const std::string &commands)
{
    static int serial = 0;
    const std::string marker =
        "e2e_input_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
    std::string commandLine = "/usr/bin/timeout " + std::to_string(WAIT_MS / 1000) +
                              " /usr/bin/xdotool " + commands + " exec /usr/bin/touch " + marker;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    const bool done = WaitUntil(
        [&] { return GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, PUMPING);
    DeleteFileA(marker.c_str());
    return done;
}

// Keys go to the X window with the keyboard focus, which Wine gives to the window it
// activates. Moving that focus from outside makes Wine replay earlier keys: it is left alone.
bool Press(const std::string &keys)
{
    return Xdotool("key --delay " + std::to_string(KEY_DELAY_MS) + " " + keys);
}

// The xdotool commands of a click at `p`. No synchronous move: it would wait forever when
// the pointer already is there.
std::string ClickCommands(POINT p)
{
    return "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1";
}

bool ClickAt(POINT p)
{
    return Xdotool(ClickCommands(p));
}

// The middle of a dialog's control, on the screen.
POINT MiddleOf(HWND hDlg, int id)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(hDlg, id), &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

bool ClickControl(HWND hDlg, int id)
{
    return ClickAt(MiddleOf(hDlg, id));
}

// A message to a window of another process; LB_ERR when it gets no answer.
LRESULT Ask(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return Send(hwnd, message, wParam, lParam, WAIT_MS).value_or(LB_ERR);
}

// Clicks the middle of a list line; false when the line is not in view.
bool ClickLine(HWND list, int index)
{
    RECT line = {};
    RECT client = {};
    GetClientRect(list, &client);
    if (index < 0 || Ask(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&line)) == LB_ERR ||
        line.top < client.top || line.bottom > client.bottom)
        return false;
    POINT p = {(line.left + line.right) / 2, (line.top + line.bottom) / 2};
    ClientToScreen(list, &p);
    return ClickAt(p);
}

constexpr char TARGET_CLASS[] = "TavrolindeE2ETarget";
// A target's buttons stand one a row; a second target stands below a first of up to two rows.
constexpr int ROW_PX = 30;
constexpr int SECOND_TARGET_Y = 100;

// A titled top-level window of this process with one button per label, left of where the
// dialog opens, shown without taking the activation; it and its buttons record.
HWND CreateTarget(const char *title, const std::vector<const char *> &labels, int y = 0)
{
    RegisterWindowClass(TARGET_CLASS);
    const int rows = static_cast<int>(labels.size());
    HWND top = MakeWindow(TARGET_CLASS, title, WS_OVERLAPPED | WS_CAPTION, nullptr, 0,
                          {0, y, 200, y + 40 + ROW_PX * rows});
    for (int i = 0; i < rows; ++i)
        StartRecording(MakeWindow("Button", labels[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, top,
                                  0, {8, 4 + ROW_PX * i, 158, ROW_PX * (i + 1)}));
    StartRecording(top);
    ShowWindow(top, SW_SHOWNOACTIVATE);
    return top;
}

HWND Button(HWND target, const char *label)
{
    return FindWindowExA(target, nullptr, "Button", label);
}

// What a click on a target's button makes it report to its window.
Received Report(HWND button)
{
    return {GetParent(button), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
            reinterpret_cast<LPARAM>(button), false};
}

// The first window of a process of this class and caption once it is in the foreground; null
// when none comes there.
HWND WaitInFront(DWORD processId, const char *className, const char *caption = nullptr)
{
    HWND hwnd = nullptr;
    const bool inFront = WaitUntil(
        [&] {
            hwnd = FindWindowOf(processId, className, caption);
            return hwnd != nullptr && GetForegroundWindow() == hwnd;
        },
        PUMPING);
    return inFront ? hwnd : nullptr;
}

// Each test starts the program afresh, after the windows of its own it wants listed.
class Program : public testing::Test {
  protected:
    // Waits for the dialog to be ready and in the foreground, where keys go.
    void Start()
    {
        ASSERT_TRUE(program.StartTavrolinde());
        hDlg = WaitForDialog(program, PUMPING);
        ASSERT_TRUE(hDlg != nullptr &&
                    WaitUntil([&] { return GetForegroundWindow() == hDlg; }, PUMPING))
            << "no dialog in front";
        upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
        lower = GetDlgItem(hDlg, IDC_CHILD_LIST);
        GetWindowRect(hDlg, &frame);
    }

    // The control with the keyboard focus on the dialog's thread; 0 when none of its own.
    int Focused() const
    {
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof gui;
        if (!GetGUIThreadInfo(program.info.dwThreadId, &gui) || GetParent(gui.hwndFocus) != hDlg)
            return 0;
        return GetDlgCtrlID(gui.hwndFocus);
    }

    HWND About() const
    {
        return FindWindowOf(program.info.dwProcessId, DIALOG_CLASS, ABOUT_CAPTION);
    }

    // Clicks `window`'s title in the upper list, then `entry` in the lower one.
    void SelectWithTheMouse(HWND window, const Entry &entry)
    {
        ASSERT_TRUE(ClickLine(upper, IndexOf(upper, window))) << "window not listed";
        int index = -1;
        ASSERT_TRUE(WaitUntil(
            [&] {
                index = IndexOf(lower, entry.handle);
                return index >= 0 && ListText(lower, index) == entry.text;
            },
            PUMPING))
            << "no entry " << testing::PrintToString(entry);
        ASSERT_TRUE(ClickLine(lower, index)) << "line " << index << " hidden";
        ASSERT_TRUE(WaitUntil([&] { return Ask(lower, LB_GETCURSEL) == index; }, PUMPING))
            << "line " << index << " clicked, yet line " << Ask(lower, LB_GETCURSEL)
            << " is selected among " << Ask(lower, LB_GETCOUNT);
    }

    // Presses the toggle in with the mouse, then handles messages for CLICK_WATCH_MS, calling
    // look() at each poll.
    template <typename Look> void PressInAndWatch(Look look)
    {
        ASSERT_TRUE(ClickControl(hDlg, IDC_AUTO_CLICK));
        ASSERT_TRUE(WaitUntil([&] { return IsPressedIn(hDlg); }, PUMPING))
            << "the toggle stayed out";
        WaitUntil(
            [&] {
                look();
                return false;
            },
            PUMPING, CLICK_WATCH_MS);
    }

    // Releases the toggle with the mouse; the clicks have stopped when what they change,
    // measure(), stays as it is once a click already on its way has arrived.
    template <typename Measure> void ReleaseAndExpectNoChange(Measure measure)
    {
        ASSERT_TRUE(ClickControl(hDlg, IDC_AUTO_CLICK));
        ASSERT_TRUE(WaitUntil([&] { return !IsPressedIn(hDlg); }, PUMPING));
        WaitUntil(Never, PUMPING, CLICK_ON_ITS_WAY_MS);
        const auto settled = measure();
        EXPECT_FALSE(WaitUntil([&] { return measure() != settled; }, PUMPING, QUIET_MS))
            << "clicked after the toggle was released";
    }

    // Clicks the caption's close box, found by asking the dialog what lies along the caption.
    bool ClickCloseBox() const
    {
        POINT client = {0, 0};
        ClientToScreen(hDlg, &client);
        POINT p = {frame.right - 1, (frame.top + client.y) / 2};
        int right = -1;
        for (; p.x > frame.right - CLOSE_BOX_REACH_PX; --p.x) {
            const bool close = Ask(hDlg, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == HTCLOSE;
            if (close && right < 0)
                right = p.x;
            if (!close && right >= 0)
                break;
        }
        return right >= 0 && ClickAt({(p.x + right) / 2, p.y});
    }

    TestProcess program;
    HWND hDlg = nullptr;
    HWND upper = nullptr;
    HWND lower = nullptr;
    RECT frame = {}; // the dialog's, where it opened
};

} // namespace

class TypicalUse : public Program {};

TEST_F(TypicalUse, ChosenButtonIsClickedAboutOnceASecondUntilTheToggleIsReleased)
{
    HWND target = CreateTarget("Tavrolinde e2e target", {"First", "Second"});
    ASSERT_NO_FATAL_FAILURE(Start());
    // The target overlaps the dialog's top right corner, which must still show the dialog
    // while the target is brought forward.
    SetWindowPos(target, nullptr, frame.right - 60, frame.top - 80, 200, 110,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const POINT corner = {frame.right - 20, frame.top + 10};

    HWND second = Button(target, "Second");
    ASSERT_NO_FATAL_FAILURE(SelectWithTheMouse(target, {"Second [Button]", second}));
    EXPECT_EQ(EntriesOf(lower), (std::vector<Entry>{{"First [Button]", Button(target, "First")},
                                                    {"Second [Button]", second}}));
    int seen = ClicksSoFar(second);
    int forward = 0;
    int covered = 0;
    ASSERT_NO_FATAL_FAILURE(PressInAndWatch([&] {
        for (; seen < ClicksSoFar(second); ++seen) {
            forward += GetForegroundWindow() == target;
            covered += GetAncestor(WindowFromPoint(corner), GA_ROOT) != hDlg;
        }
    }));
    EXPECT_EQ(forward, ClicksSoFar(second))
        << "the target was not in the foreground at every click";
    EXPECT_EQ(covered, 0) << "the target covered the dialog";
    const Received report = Report(second);
    ExpectClicks(second, MIN_CLICKS, MAX_CLICKS, "the chosen button, and nothing else", nullptr,
                 &report);

    ReleaseAndExpectNoChange([&] { return ClicksSoFar(second); });
}

class AutoClick : public Program {};

TEST_F(AutoClick, AboutBoxIsModalToTheDialogAndTheClicksGoOnWhileItIsOpen)
{
    HWND target = CreateTarget("Tavrolinde e2e target", {"Target"});
    HWND button = Button(target, "Target");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(SelectWithTheMouse(target, {"Target [Button]", button}));
    ASSERT_TRUE(ClickControl(hDlg, IDC_AUTO_CLICK));
    ASSERT_TRUE(WaitUntil([&] { return ClicksSoFar(button) > 0; }, PUMPING)) << "no click came";

    ASSERT_TRUE(ClickControl(hDlg, IDC_ABOUT));
    HWND about = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (about = About()) != nullptr; }, PUMPING)) << "no About box";
    EXPECT_EQ(GetWindow(about, GW_OWNER), hDlg);
    EXPECT_FALSE(IsWindowEnabled(hDlg));
    const Received report = Report(button);
    ExpectClicks(button, 1, MAX_CLICKS, "before the About box opened", nullptr, &report);
    WaitUntil(Never, PUMPING, CLICK_WATCH_MS);
    ExpectClicks(button, MIN_CLICKS, MAX_CLICKS, "while the About box is open", nullptr, &report);
    EXPECT_TRUE(IsWindow(about) && !IsWindowEnabled(hDlg)) << "the About box closed meanwhile";

    ASSERT_TRUE(ClickControl(about, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }, PUMPING))
        << "OK left the About box open";
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    ReleaseAndExpectNoChange([&] { return ClicksSoFar(button); });
}

class Listing : public Program {};

TEST_F(Listing, ClickOnATitleFillsTheLowerListAndEveryArrowMoveListsAnew)
{
    CreateTarget("Tavrolinde e2e one", {"One"});
    CreateTarget("Tavrolinde e2e two", {"Two", "Three"}, SECOND_TARGET_Y);
    ASSERT_NO_FATAL_FAILURE(Start());
    auto listingOf = [&](int index) {
        return DescendantEntries(reinterpret_cast<HWND>(Ask(upper, LB_GETITEMDATA, index)));
    };
    // Neighbours with different descendants, so that every move shows.
    ASSERT_GE(Ask(upper, LB_GETCOUNT), 3);
    ASSERT_NE(listingOf(0), listingOf(1));
    ASSERT_NE(listingOf(1), listingOf(2));

    ASSERT_TRUE(ClickLine(upper, 0));
    EXPECT_TRUE(WaitUntil([&] { return EntriesOf(lower) == listingOf(0); }, PUMPING));
    const struct {
        const char *key;
        int index;
    } moves[] = {{"Down", 1}, {"Down", 2}, {"Up", 1}, {"Up", 0}};
    for (const auto &move : moves) {
        ASSERT_TRUE(Press(move.key));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return Ask(upper, LB_GETCURSEL) == move.index &&
                       EntriesOf(lower) == listingOf(move.index);
            },
            PUMPING))
            << move.key << " to line " << move.index;
    }
}

struct TabCase {
    const char *name;
    const char *key;
    int step;
};

class FocusKey : public Program, public testing::WithParamInterface<TabCase> {};

TEST_P(FocusKey, MovesFromTheFirstControlThroughAllInTheTemplatesOrderAndWrapsAround)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    int position = 0;
    ASSERT_TRUE(WaitUntil([&] { return Focused() == TAB_ORDER[position]; }, PUMPING))
        << "the dialog opened with the focus on " << Focused();
    for (int i = 0; i <= TAB_STOPS; ++i) {
        ASSERT_TRUE(Press(GetParam().key));
        position = (position + GetParam().step + TAB_STOPS) % TAB_STOPS;
        ASSERT_TRUE(WaitUntil([&] { return Focused() == TAB_ORDER[position]; }, PUMPING))
            << "expected control " << TAB_ORDER[position] << ", focus on " << Focused();
    }
}

INSTANTIATE_TEST_SUITE_P(ByKey, FocusKey,
                         testing::Values(TabCase{"Tab", "Tab", 1},
                                         TabCase{"ShiftTab", "shift+Tab", -1}),
                         ByName());

class Mnemonic : public Program {};

TEST_F(Mnemonic, AltPPressesTheToggleInAndOutAndArmsTheClicks)
{
    HWND target = CreateTarget("Tavrolinde e2e target", {"Target"});
    HWND button = Button(target, "Target");
    ASSERT_NO_FATAL_FAILURE(Start());
    for (bool pressedIn : {true, false, true}) {
        ASSERT_TRUE(Press("alt+p"));
        EXPECT_TRUE(WaitUntil([&] { return IsPressedIn(hDlg) == pressedIn; }, PUMPING));
    }
    // Armed by the key while nothing was selected: a selection is clicked at the next tick.
    ASSERT_NO_FATAL_FAILURE(SelectWithTheMouse(target, {"Target [Button]", button}));
    EXPECT_TRUE(WaitUntil([&] { return ClicksSoFar(button) > 0; }, PUMPING)) << "no click came";
    const Received report = Report(button);
    ExpectClicks(button, 1, MAX_CLICKS, "the clicks armed by the key", nullptr, &report);
    ReleaseAndExpectNoChange([&] { return ClicksSoFar(button); });
}

TEST_F(Mnemonic, AltRListsTheTopLevelWindowsAnewAndEmptiesTheLowerList)
{
    HWND first = CreateTarget("Tavrolinde e2e first", {"Button"});
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(ClickLine(upper, IndexOf(upper, first)));
    ASSERT_TRUE(WaitUntil([&] { return Ask(lower, LB_GETCOUNT) == 1; }, PUMPING));
    HWND later = CreateTarget("Tavrolinde e2e later", {"Button"}, SECOND_TARGET_Y);
    ASSERT_EQ(IndexOf(upper, later), -1);

    ASSERT_TRUE(Press("alt+r"));
    EXPECT_TRUE(WaitUntil([&] { return IndexOf(upper, later) >= 0; }, PUMPING));
    EXPECT_GE(IndexOf(upper, first), 0);
    EXPECT_EQ(Ask(lower, LB_GETCOUNT), 0);
}

TEST_F(Mnemonic, AltAOpensTheAboutBoxOwnedByTheDialogAndEnterClosesIt)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Press("alt+a"));
    HWND about = WaitInFront(program.info.dwProcessId, DIALOG_CLASS, ABOUT_CAPTION);
    ASSERT_NE(about, nullptr) << "no About box in front";
    EXPECT_EQ(GetWindow(about, GW_OWNER), hDlg);
    EXPECT_FALSE(IsWindowEnabled(hDlg));

    ASSERT_TRUE(Press("Return"));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, PUMPING));
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    EXPECT_TRUE(program.IsRunning());
}

struct ListRow {
    const char *name;
    int id;
};

class EnterKey : public Program, public testing::WithParamInterface<ListRow> {};

TEST_P(EnterKey, InAListChangesNothing)
{
    HWND target = CreateTarget("Tavrolinde e2e target", {"One", "Two"});
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(ClickLine(upper, IndexOf(upper, target)));
    ASSERT_TRUE(WaitUntil([&] { return Ask(lower, LB_GETCOUNT) == 2; }, PUMPING));
    const int list = GetParam().id;
    if (list == IDC_CHILD_LIST) {
        ASSERT_TRUE(ClickLine(lower, 1));
        ASSERT_TRUE(WaitUntil([&] { return Ask(lower, LB_GETCURSEL) == 1; }, PUMPING));
    }
    ASSERT_EQ(Focused(), list);
    const auto state = [&] {
        return std::make_tuple(EntriesOf(upper), EntriesOf(lower), Ask(upper, LB_GETCURSEL),
                               Ask(lower, LB_GETCURSEL), IsPressedIn(hDlg), IsWindowEnabled(hDlg));
    };
    const auto before = state();

    // Tab after Enter: once the focus has moved on to the control after the list, which has
    // the next identifier, Enter has been handled.
    ASSERT_TRUE(Press("Return Tab"));
    EXPECT_TRUE(WaitUntil([&] { return Focused() == list + 1; }, PUMPING));
    EXPECT_TRUE(program.IsRunning());
    EXPECT_EQ(About(), nullptr);
    EXPECT_EQ(state(), before);
}

INSTANTIATE_TEST_SUITE_P(ByList, EnterKey,
                         testing::Values(ListRow{"UpperList", IDC_WINDOW_LIST},
                                         ListRow{"LowerList", IDC_CHILD_LIST}),
                         ByName());

struct CloseCase {
    const char *name;
    const char *keys;
    int button; // with no keys: the button clicked, or the close box when 0
};

class Closing : public Program, public testing::WithParamInterface<CloseCase> {};

TEST_P(Closing, EndsTheProcessWithExitCodeZero)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    const CloseCase &c = GetParam();
    if (c.keys != nullptr)
        ASSERT_TRUE(Press(c.keys));
    else if (c.button != 0)
        ASSERT_TRUE(ClickControl(hDlg, c.button));
    else
        ASSERT_TRUE(ClickCloseBox()) << "no close box on the caption";
    EXPECT_EQ(program.ExitCode(PUMPING), 0u);
}

INSTANTIATE_TEST_SUITE_P(ByInput, Closing,
                         testing::Values(CloseCase{"Esc", "Escape", 0},
                                         CloseCase{"AltF4", "alt+F4", 0},
                                         CloseCase{"AltX", "alt+x", 0},
                                         CloseCase{"ExitButtonClick", nullptr, IDCANCEL},
                                         CloseCase{"CloseBoxClick", nullptr, 0}),
                         ByName());

// Tavrolinde lists itself, so its own buttons are targets a user can pick: its dialog above,
// one of its buttons below, the toggle pressed in. Each row says what five seconds of clicks
// on that button leave; then nothing refreshes the lists any more, and the user can close
// what is open and release the toggle for good.
struct OwnTargetCase {
    const char *name;
    int button;
    bool endsTheProgram;
    size_t aboutBoxes;
    bool stillPressedIn;
    bool lowerListKept;
};

class OwnTarget : public Program, public testing::WithParamInterface<OwnTargetCase> {
  protected:
    size_t AboutBoxes() const
    {
        return WindowsOf(program.info.dwProcessId, DIALOG_CLASS, ABOUT_CAPTION).size();
    }

    // The About box's OK, then the toggle, clicked in one go right after a tick, so that the
    // next tick cannot open another box in between. A tick brings the dialog forward: it has
    // come when the foreground moves from the box to the dialog. Wine then draws the dialog
    // over its own box, so the box is brought forward again before it is clicked.
    void CloseTheAboutBoxAndRelease()
    {
        HWND about = About();
        ASSERT_NE(about, nullptr);
        const auto inFront = [&](HWND hwnd) {
            return WaitUntil([&] { return GetForegroundWindow() == hwnd; }, PUMPING);
        };
        SetForegroundWindow(about);
        ASSERT_TRUE(inFront(about));
        ASSERT_TRUE(inFront(hDlg)) << "no tick came";
        SetForegroundWindow(about);
        ASSERT_TRUE(inFront(about));
        ASSERT_TRUE(Xdotool(ClickCommands(MiddleOf(about, IDOK)) + " " +
                            ClickCommands(MiddleOf(hDlg, IDC_AUTO_CLICK))));
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, PUMPING))
            << "OK left the About box open";
    }
};

TEST_P(OwnTarget, ClicksOnAnOwnButtonNeverRunAwayAndTheUserKeepsControl)
{
    const OwnTargetCase &c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start());
    HWND button = GetDlgItem(hDlg, c.button);
    ASSERT_NO_FATAL_FAILURE(SelectWithTheMouse(hDlg, {TextOf(button) + " [Button]", button}));
    const size_t ownControls = DescendantWindows(hDlg).size();
    ASSERT_NO_FATAL_FAILURE(PressInAndWatch([] {}));

    if (c.endsTheProgram) {
        EXPECT_EQ(program.ExitCode(PUMPING), 0u);
        return;
    }
    ASSERT_TRUE(program.IsRunning());
    EXPECT_EQ(AboutBoxes(), c.aboutBoxes);
    EXPECT_EQ(IsPressedIn(hDlg), c.stillPressedIn);
    EXPECT_EQ(EntriesOf(lower).size(), c.lowerListKept ? ownControls : 0u);
    HWND later = CreateTarget("Tavrolinde e2e later", {"Later"});
    WaitUntil(Never, PUMPING, QUIET_MS);
    EXPECT_EQ(IndexOf(upper, later), -1) << "the lists were refreshed again";

    if (c.aboutBoxes > 0) {
        ASSERT_NO_FATAL_FAILURE(CloseTheAboutBoxAndRelease());
    } else if (c.stillPressedIn) {
        ASSERT_TRUE(ClickControl(hDlg, IDC_AUTO_CLICK));
    }
    EXPECT_TRUE(WaitUntil([&] { return !IsPressedIn(hDlg); }, PUMPING));
    WaitUntil(Never, PUMPING, QUIET_MS);
    EXPECT_EQ(AboutBoxes(), 0u);
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    EXPECT_FALSE(IsPressedIn(hDlg));
}

INSTANTIATE_TEST_SUITE_P(
    ByButton, OwnTarget,
    testing::Values(OwnTargetCase{"About", IDC_ABOUT, false, 1, true, true},
                    OwnTargetCase{"Toggle", IDC_AUTO_CLICK, false, 0, false, true},
                    OwnTargetCase{"Refresh", IDC_REFRESH, false, 0, true, false},
                    OwnTargetCase{"Exit", IDCANCEL, true, 0, false, false}),
    ByName());

class RealApplication : public Program {};

// Wine's Notepad: its Find dialog's Find Next button has an effect that shows from outside,
// as each click selects the next occurrence of the word in the editor, and EM_GETSEL
// reports the selection across processes.
TEST_F(RealApplication, NotepadsFindNextIsClickedOnceASecondAndTheSelectionMovesOn)
{
    const std::string file = BinPath("e2e_find.txt");
    std::string words = "Tavrolinde finds:\r\n";
    for (int i = 0; i < WORD_LINES; ++i)
        words += "word\r\n";
    ASSERT_TRUE(std::ofstream(file, std::ios::binary) << words) << "cannot write " << file;

    // The system's own Notepad: a 32-bit program on a 64-bit system reaches the native one
    // through sysnative.
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string notepadPath = std::string(windows) +
                                    (SystemBits() > BUILD_BITS ? "\\sysnative" : "\\system32") +
                                    "\\notepad.exe";
    TestProcess notepad;
    ASSERT_TRUE(notepad.Start("\"" + notepadPath + "\" \"" + file + "\""));
    EXPECT_EQ(ProcessBits(notepad.info.hProcess), SystemBits());
    HWND main = WaitInFront(notepad.info.dwProcessId, "Notepad");
    ASSERT_NE(main, nullptr) << "no Notepad in front";
    HWND edit = FindWindowExA(main, nullptr, "Edit", nullptr);
    ASSERT_TRUE(Press("ctrl+f"));
    HWND find = WaitInFront(notepad.info.dwProcessId, DIALOG_CLASS);
    ASSERT_NE(find, nullptr) << "no Find dialog in front";
    // The common Find dialog's IDOK is Find Next, enabled once there is a word to find.
    HWND findNext = GetDlgItem(find, IDOK);
    ASSERT_TRUE(Press("w o r d"));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(findNext) != FALSE; }, PUMPING));

    ASSERT_NO_FATAL_FAILURE(Start());
    // Notepad above the dialog, its Find dialog below: nothing covers what gets clicked.
    SetWindowPos(main, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN), frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(find, nullptr, 0, frame.bottom, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    ASSERT_NO_FATAL_FAILURE(SelectWithTheMouse(find, {TextOf(findNext) + " [Button]", findNext}));

    LRESULT selection = Ask(edit, EM_GETSEL);
    int moves = 0;
    ASSERT_NO_FATAL_FAILURE(PressInAndWatch([&] {
        const LRESULT now = Ask(edit, EM_GETSEL);
        moves += now != selection;
        selection = now;
    }));
    EXPECT_GE(moves, MIN_CLICKS);
    EXPECT_LE(moves, MAX_CLICKS);

    ReleaseAndExpectNoChange([&] { return Ask(edit, EM_GETSEL); });
}

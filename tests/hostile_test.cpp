// The real Tavrolinde.exe, driven from outside with window messages, against hostile
// windows of fixture_windows.exe processes: long, printf-like and Japanese texts, windows
// and processes that vanish, a hung target, 10,000 descendants, a toggle pressed 201 times.
// In each case the dialog keeps answering and every entry carries the right text and handle.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/support.h"

namespace {

// A dialog that no target blocks answers within this.
constexpr DWORD UNBLOCKED_MS = 2000;
// A target that does not answer within this hangs.
constexpr DWORD HUNG_MS = 200;
// The first click after a press or a new choice comes within this.
constexpr DWORD CLICK_COMES_MS = 5000;
// The dialog is watched this long for an answer that does not come.
constexpr DWORD SILENCE_WATCH_MS = 3000;
// The hung target is watched this long: its hang and a few ticks beyond.
constexpr DWORD HANG_WATCH_MS = FIXTURE_HANG_MS + 3 * CLICK_PERIOD_MS;
// The clicks queued during a hang are handled within this once the target wakes.
constexpr DWORD DELIVERY_MS = 300;
// A hung target's clicks wait in its queue: after the hang, at least this many have come.
constexpr int CLICKS_AFTER_HANG = 8;
// How often a watch asks whether the dialog answers: asked without a pause, the program
// handles the questions and its timer's ticks wait.
constexpr DWORD WATCH_POLL_MS = 250;
// A buffer this large receives a window's whole text, the fixture's longest included.
constexpr int WHOLE_TEXT_BYTES = 65536;
// An odd number of presses, which leaves the toggle pressed in.
constexpr int PRESSES = 201;

// A list holds characters, not bytes: a text cut inside a double-byte character is right
// without its lone lead byte.
std::string Whole(std::string text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && ++i == text.size())
            text.pop_back();
    return text;
}

// Where two texts part, with a little of each, instead of two 1000-byte strings.
std::string Difference(const std::string &actual, const std::string &expected)
{
    if (actual == expected)
        return "";
    const size_t at =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first -
        actual.begin();
    return "lengths " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(at) + ": entry " +
           testing::PrintToString(actual.substr(at, 8)) + ", window " +
           testing::PrintToString(expected.substr(at, 8)) + " '" + expected.substr(0, 60) + "'";
}

DWORD Since(DWORD start)
{
    return GetTickCount() - start;
}

// The most clicks the ticks since `start` can have made.
int TicksSince(DWORD start)
{
    return static_cast<int>(Since(start) / CLICK_PERIOD_MS) + 1;
}

class Hostile : public testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tavrolinde_.StartTavrolinde()) << "error " << GetLastError();
        dlg_ = WaitForDialog(tavrolinde_);
        ASSERT_NE(dlg_, nullptr) << "no ready Tavrolinde dialog";
    }

    // A fixture process of the system's bits (null when it is of others), ended with the test.
    HWND StartFixture(const std::string &arguments, DWORD waitMs = WAIT_MS)
    {
        fixtures_.push_back(std::make_unique<FixtureProcess>());
        return ::StartFixture(*fixtures_.back(), arguments, waitMs);
    }

    HWND Control(int id) const
    {
        return GetDlgItem(dlg_, id);
    }

    bool Answers() const
    {
        return Send(dlg_, WM_NULL, 0, 0, UNBLOCKED_MS).has_value();
    }

    // The windows the upper list is for: visible, titled, top-level, not the program manager.
    static std::vector<HWND> Listable()
    {
        std::vector<HWND> listable;
        for (HWND hwnd : TopLevelWindows())
            if (IsWindowVisible(hwnd) && !TextOf(hwnd).empty() && ClassOf(hwnd) != "Progman")
                listable.push_back(hwnd);
        return listable;
    }

    // Refresh, sent; then the dialog answers and the upper list is right: each window listable
    // all along is listed once, nothing else is but windows that came or went meanwhile (tests
    // may run in parallel), and each entry holds its window's title as the 1024-byte buffer
    // receives it. Not the order: activation may reorder the windows after the listing.
    void Refresh() const
    {
        const std::vector<HWND> before = Listable();
        ASSERT_TRUE(SendCommand(dlg_, IDC_REFRESH));
        EXPECT_TRUE(Answers());
        const std::vector<HWND> after = Listable();
        const auto has = [](const std::vector<HWND> &all, HWND hwnd) {
            return std::count(all.begin(), all.end(), hwnd);
        };
        std::vector<HWND> listed;
        for (const Entry &entry : EntriesOf(Control(IDC_WINDOW_LIST))) {
            listed.push_back(entry.handle);
            if (!IsWindow(entry.handle))
                continue;
            EXPECT_TRUE(has(before, entry.handle) || has(after, entry.handle))
                << "entry of a window that is not listable: " << entry.handle;
            EXPECT_EQ(Difference(entry.text, Whole(TextOf(entry.handle))), "")
                << "upper entry of " << entry.handle;
        }
        for (HWND hwnd : before) {
            if (has(after, hwnd)) {
                EXPECT_EQ(has(listed, hwnd), 1) << "entries of '" << TextOf(hwnd) << "'";
            }
        }
    }

    // Lower list: every descendant of `top`, in EnumChildWindows' order, each with its entry
    // made of its whole text, whatever its length; stops after a few wrong entries.
    void ExpectLowerRight(HWND top) const
    {
        const std::vector<HWND> expected = DescendantWindows(top);
        const std::vector<Entry> entries = EntriesOf(Control(IDC_CHILD_LIST));
        ASSERT_EQ(entries.size(), expected.size()) << "entries of the lower list";
        for (size_t i = 0, wrong = 0; i < entries.size() && wrong < 5; ++i) {
            const std::string difference = Difference(
                entries[i].text, Whole(DescendantEntry(TextOf(expected[i], WHOLE_TEXT_BYTES),
                                                       ClassOf(expected[i]))));
            wrong += entries[i].handle != expected[i] || !difference.empty();
            EXPECT_EQ(entries[i].handle, expected[i]) << "lower entry " << i;
            EXPECT_EQ(difference, "") << "lower entry " << i;
        }
    }

    // `top` chosen above; then the dialog answers and the lower list is right.
    void Select(HWND top) const
    {
        ASSERT_TRUE(SelectInList(dlg_, IDC_WINDOW_LIST, top))
            << "no entry of " << top << " to choose";
        EXPECT_TRUE(Answers());
        ExpectLowerRight(top);
    }

    // A fixture started with `arguments` as top_, and a clicking one as witness_ when asked
    // for, listed above by a refresh; top_ chosen there.
    void StartChosen(const std::string &arguments, bool withWitness = false)
    {
        top_ = StartFixture(arguments);
        ASSERT_NE(top_, nullptr) << "no fixture " << arguments;
        if (withWitness) {
            witness_ = StartFixture("click");
            ASSERT_NE(witness_, nullptr) << "no witness";
        }
        ASSERT_NO_FATAL_FAILURE(Refresh());
        ASSERT_NO_FATAL_FAILURE(Select(top_));
    }

    // The target of the clicking fixture `top`, chosen below once `top` is chosen above.
    HWND Target(HWND top) const
    {
        HWND target = FindWindowExA(top, nullptr, FIXTURE_CHILD_CLASS, FIXTURE_TARGET);
        return SelectInList(dlg_, IDC_CHILD_LIST, target) ? target : nullptr;
    }

    // StartChosen, then top_'s target_ chosen below.
    void StartClicking(const std::string &arguments, bool withWitness = false)
    {
        ASSERT_NO_FATAL_FAILURE(StartChosen(arguments, withWitness));
        target_ = Target(top_);
        ASSERT_NE(target_, nullptr);
    }

    TestProcess tavrolinde_;
    std::vector<std::unique_ptr<FixtureProcess>> fixtures_;
    HWND dlg_ = nullptr;
    HWND top_ = nullptr;
    HWND witness_ = nullptr;
    HWND target_ = nullptr;
};

// --- texts: as window titles (upper entries) and as descendant texts (lower entries) ---

struct TextRow {
    const char *name;
    const char *text; // as fixture_windows.exe names its hostile texts
    size_t length;    // of the title, when the text is a length
};

const TextRow TEXT_ROWS[] = {
    {"Length1023", "1023", 1023}, {"Length1024", "1024", 1024}, {"Length1025", "1025", 1025},
    {"Length5000", "5000", 5000}, {"Printf", "printf", 0},      {"Japanese", "japanese", 0},
    {"Dbcs1021", "dbcs1021", 0},  {"Dbcs1022", "dbcs1022", 0},
};

class HostileText : public Hostile, public testing::WithParamInterface<TextRow> {};

TEST_P(HostileText, IsListedRightAboveAndBelow)
{
    ASSERT_NO_FATAL_FAILURE(StartChosen(std::string("text ") + GetParam().text));
    if (GetParam().length != 0) {
        ASSERT_EQ(TextOf(top_, WHOLE_TEXT_BYTES).size(), GetParam().length)
            << "the fixture's title";
    }
    ASSERT_EQ(DescendantWindows(top_).size(), 2u) << "the fixture's descendants";
}

INSTANTIATE_TEST_SUITE_P(Texts, HostileText, testing::ValuesIn(TEXT_ROWS), ByName());

// --- a listed window that is gone when its stale entry is chosen ---

enum class Gone { WINDOW_CLOSED, PROCESS_QUIT, PROCESS_KILLED };

struct GoneRow {
    const char *name;
    Gone gone;
};

// Closes `window` of `fixture`, or ends the fixture's process one way or another.
void Vanish(FixtureProcess &fixture, HWND window, Gone gone)
{
    if (gone == Gone::WINDOW_CLOSED)
        SendMessageA(window, WM_CLOSE, 0, 0);
    else if (gone == Gone::PROCESS_QUIT)
        PostMessageA(window, WM_FIXTURE_QUIT, 0, 0);
    else
        TerminateProcess(fixture.info.hProcess, 0);
    if (gone != Gone::WINDOW_CLOSED) {
        ASSERT_EQ(fixture.ExitCode(), 0u);
    }
    ASSERT_FALSE(IsWindow(window));
}

const GoneRow STALE_ROWS[] = {{"WindowDestroyed", Gone::WINDOW_CLOSED},
                              {"ProcessEnded", Gone::PROCESS_KILLED}};

class StaleEntry : public Hostile, public testing::WithParamInterface<GoneRow> {};

TEST_P(StaleEntry, GivesAnEmptyLowerList)
{
    ASSERT_NO_FATAL_FAILURE(StartChosen("click"));
    ASSERT_EQ(SendMessageA(Control(IDC_CHILD_LIST), LB_GETCOUNT, 0, 0), 3);
    ASSERT_NO_FATAL_FAILURE(Vanish(*fixtures_[0], top_, GetParam().gone));

    ASSERT_TRUE(SelectInList(dlg_, IDC_WINDOW_LIST, top_)) << "the stale entry cannot be chosen";
    EXPECT_TRUE(Answers());
    EXPECT_EQ(SendMessageA(Control(IDC_CHILD_LIST), LB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(tavrolinde_.IsRunning());
}

INSTANTIATE_TEST_SUITE_P(Gone, StaleEntry, testing::ValuesIn(STALE_ROWS), ByName());

// --- click targets that vanish or hang while the toggle is pressed in ---

const GoneRow VANISHING_ROWS[] = {{"WindowDestroyed", Gone::WINDOW_CLOSED},
                                  {"ProcessExits", Gone::PROCESS_QUIT}};

class VanishingTarget : public Hostile, public testing::WithParamInterface<GoneRow> {};

TEST_P(VanishingTarget, TicksGoOnAndClickNothingElse)
{
    ASSERT_NO_FATAL_FAILURE(StartClicking("click", true));
    FixtureProcess &fixture = *fixtures_[0], &witness = *fixtures_[1];
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(PressToggle(dlg_));
    ASSERT_TRUE(
        WaitUntil([&] { return ClicksSoFar(target_, &fixture) > 0; }, ANSWERING, CLICK_COMES_MS))
        << "the target is never clicked";
    ASSERT_NO_FATAL_FAILURE(Vanish(fixture, target_, GetParam().gone));
    ASSERT_FALSE(WaitUntil([&] { return !Answers(); }, ANSWERING, SILENCE_WATCH_MS, WATCH_POLL_MS))
        << "the dialog fell silent";
    EXPECT_TRUE(tavrolinde_.IsRunning());
    ExpectClicks(target_, 1, TicksSince(pressed), "the vanished target's fixture", &fixture);
    ExpectReceived({}, "the witness, before it is chosen", &witness);

    // The timer still runs: a new target chosen below is clicked, and nothing else.
    const DWORD chosen = GetTickCount();
    ASSERT_NO_FATAL_FAILURE(Select(witness_));
    HWND next = Target(witness_);
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(
        WaitUntil([&] { return ClicksSoFar(next, &witness) > 0; }, ANSWERING, CLICK_COMES_MS))
        << "the ticks have stopped";
    ExpectClicks(next, 1, TicksSince(chosen), "the new target's fixture", &witness);
    EXPECT_TRUE(IsPressedIn(dlg_)) << "the toggle came out";
}

INSTANTIATE_TEST_SUITE_P(Vanishing, VanishingTarget, testing::ValuesIn(VANISHING_ROWS), ByName());

TEST_F(Hostile, TargetHungForTenSecondsNeverBlocksTheDialog)
{
    ASSERT_NO_FATAL_FAILURE(StartClicking("click hang"));
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(PressToggle(dlg_));

    bool sawHang = false;
    const bool fellSilent = WaitUntil(
        [&] {
            if (!Answers())
                return true;
            sawHang |= !Send(target_, WM_NULL, 0, 0, HUNG_MS).has_value();
            return false;
        },
        ANSWERING, HANG_WATCH_MS, WATCH_POLL_MS);
    ASSERT_FALSE(fellSilent) << "the dialog fell silent while its target hung";
    EXPECT_TRUE(sawHang) << "the target never hung";
    // The hang began at the first tick, about 1 s in, and ended about 11 s in; every tick
    // meanwhile posted a click, delivered at once when the thread woke: some 12 by now.
    // (A dialog blocked by its target would have clicked some 3 times.)
    WaitUntil(Never, ANSWERING, DELIVERY_MS);
    ExpectClicks(target_, CLICKS_AFTER_HANG, TicksSince(pressed), "after the hang",
                 fixtures_[0].get());
    EXPECT_TRUE(tavrolinde_.IsRunning());
}

// --- sizes and repetition ---

TEST_F(Hostile, TenThousandDescendantsAreListedCompletelyAndInOrder)
{
    DWORD start = GetTickCount();
    HWND top = StartFixture("tree 100 99", LONG_START_MS);
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(DescendantWindows(top).size(), 10000u);
    const DWORD made = Since(start);
    ASSERT_NO_FATAL_FAILURE(Refresh());

    start = GetTickCount();
    ASSERT_TRUE(SelectInList(dlg_, IDC_WINDOW_LIST, top))
        << "no listing within " << LISTING_MS << " ms";
    const DWORD listed = Since(start);
    EXPECT_TRUE(Answers());
    start = GetTickCount();
    ExpectLowerRight(top);
    printf("[ timing ] 10,000 windows made in %lu ms, listed in %lu ms, checked in %lu ms\n", made,
           listed, Since(start));
}

TEST_F(Hostile, TwoHundredOnePressesLeaveTheToggleInAndClickOnceASecond)
{
    ASSERT_NO_FATAL_FAILURE(StartClicking("click"));
    FixtureProcess *fixture = fixtures_[0].get();
    const DWORD pressed = GetTickCount();
    for (int i = 0; i < PRESSES; ++i)
        PressToggle(dlg_);
    EXPECT_TRUE(IsPressedIn(dlg_)) << "the toggle came out";
    EXPECT_TRUE(Answers());
    ExpectClicks(target_, 0, TicksSince(pressed), "while the toggle was pressed", fixture);
    WaitUntil(Never, ANSWERING, CLICK_WATCH_MS);
    ExpectClicks(target_, MIN_CLICKS, MAX_CLICKS, "in a watch of the clicks", fixture);
    EXPECT_TRUE(Answers());
}

} // namespace

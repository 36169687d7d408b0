// The real Tavrolinde.exe, driven from outside with window messages, against hostile
// windows of fixture_windows.exe processes: long, printf-like and Japanese texts, windows
// and processes that vanish, a hung target, 10,000 descendants, a toggle pressed 201 times.
// In each case the dialog keeps answering and every entry carries the right text and handle.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "lister/lister.h"
#include "res/resource.h"
#include "tests/support/fixture.h"
#include "tests/support/support.h"

namespace {

constexpr DWORD ANSWER_MS = 2000; // the dialog must answer within this

// A list holds characters, not bytes: a text cut inside a double-byte character is right
// without its lone lead byte.
std::string Whole(std::string text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && ++i == text.size())
            text.pop_back();
    return text;
}

// An upper entry's right text: the title as the 1024-byte buffer receives it.
std::string TopLevelEntry(HWND hwnd)
{
    return Whole(TextOf(hwnd));
}

// A descendant's right entry: made of its whole text, whatever its length.
std::string WholeDescendantEntry(HWND hwnd)
{
    return Whole(DescendantEntry(TextOf(hwnd, 65536), ClassOf(hwnd)));
}

// Where two texts part, with a little of each, instead of two 1000-byte strings.
std::string Difference(const std::string &actual, const std::string &expected)
{
    if (actual == expected)
        return "";
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const auto hex = [&](const std::string &s) {
        std::string out;
        char byte[4];
        for (size_t i = at; i < s.size() && i < at + 8; ++i)
            wsprintfA(byte, "%02X ", static_cast<unsigned char>(s[i])), out += byte;
        return out;
    };
    return "lengths " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(at) + ": entry [" + hex(actual) +
           "] window [" + hex(expected) + "] '" + expected.substr(0, 60) + "'";
}

DWORD Since(DWORD start)
{
    return GetTickCount() - start;
}

class Hostile : public testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tavrolinde_.StartTavrolinde()) << "error " << GetLastError();
        dlg_ = WaitForDialog(tavrolinde_, WAIT_MS);
        ASSERT_NE(dlg_, nullptr) << "no ready Tavrolinde dialog";
    }

    // A fixture process of the system's bits (null when it is of others), ended with the test.
    HWND StartFixture(const std::string &arguments, DWORD waitMs = WAIT_MS)
    {
        fixtures_.push_back(std::make_unique<TestProcess>());
        return ::StartFixture(*fixtures_.back(), arguments, waitMs);
    }

    HWND List(int id) const
    {
        return GetDlgItem(dlg_, id);
    }

    bool Answers() const
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(dlg_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ANSWER_MS, &result) != 0;
    }

    // Chooses `top` in the upper list as a user would; returns once the lower list is made.
    bool SelectUpper(HWND top) const
    {
        return SelectInList(dlg_, IDC_WINDOW_LIST, top);
    }

    // One real press of the toggle; returns whether it is now pressed in.
    bool Press() const
    {
        DWORD_PTR result = 0;
        HWND toggle = List(IDC_AUTO_CLICK);
        SendMessageTimeoutA(toggle, BM_CLICK, 0, 0, SMTO_NORMAL, WAIT_MS, &result);
        return SendMessageA(toggle, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    // The clicks a fixture window has received, or -1 if it does not answer.
    static int Clicks(HWND hwnd, DWORD ms = 5000)
    {
        DWORD_PTR count = 0;
        if (!SendMessageTimeoutA(hwnd, WM_FIXTURE_CLICKS, 0, 0, SMTO_ABORTIFHUNG, ms, &count))
            return -1;
        return static_cast<int>(count);
    }

    static bool WaitForClicks(HWND hwnd, int atLeast, DWORD ms)
    {
        return WaitUntil([&] { return Clicks(hwnd) >= atLeast; }, ms, 100);
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

    // Upper list, made between the snapshot `before` and now: each window listable all along
    // is listed once, nothing else is but windows that came or went meanwhile (tests may run
    // in parallel), and each entry holds its window's title. Not the order: activation may
    // reorder the windows after the listing.
    void ExpectUpperRight(const std::vector<HWND> &before) const
    {
        const std::vector<HWND> after = Listable();
        const auto has = [](const std::vector<HWND> &all, HWND hwnd) {
            return std::count(all.begin(), all.end(), hwnd);
        };
        std::vector<HWND> listed;
        for (const Entry &entry : EntriesOf(List(IDC_WINDOW_LIST))) {
            listed.push_back(entry.handle);
            if (!IsWindow(entry.handle))
                continue;
            EXPECT_TRUE(has(before, entry.handle) || has(after, entry.handle))
                << "entry of a window that is not listable: " << entry.handle;
            EXPECT_EQ(Difference(entry.text, TopLevelEntry(entry.handle)), "")
                << "upper entry of " << entry.handle;
        }
        for (HWND hwnd : before) {
            if (has(after, hwnd)) {
                EXPECT_EQ(has(listed, hwnd), 1) << "entries of '" << TextOf(hwnd) << "'";
            }
        }
    }

    // Lower list: every descendant of `top`, in EnumChildWindows' order, each with its
    // entry; stops after a few wrong entries.
    void ExpectLowerRight(HWND top) const
    {
        const std::vector<HWND> expected = DescendantWindows(top);
        const std::vector<Entry> entries = EntriesOf(List(IDC_CHILD_LIST));
        ASSERT_EQ(entries.size(), expected.size()) << "entries of the lower list";
        for (size_t i = 0, wrong = 0; i < entries.size() && wrong < 5; ++i) {
            const std::string difference =
                Difference(entries[i].text, WholeDescendantEntry(expected[i]));
            wrong += entries[i].handle != expected[i] || !difference.empty();
            EXPECT_EQ(entries[i].handle, expected[i]) << "lower entry " << i;
            EXPECT_EQ(difference, "") << "lower entry " << i;
        }
    }

    // Refresh, sent; then the dialog answers and the upper list is right.
    void Refresh() const
    {
        const std::vector<HWND> before = Listable();
        ASSERT_TRUE(SendCommand(dlg_, IDC_REFRESH));
        EXPECT_TRUE(Answers());
        ExpectUpperRight(before);
    }

    // `top` chosen above; then the dialog answers and the lower list is right.
    void Select(HWND top) const
    {
        ASSERT_TRUE(SelectUpper(top)) << "no entry of " << top << " to choose";
        EXPECT_TRUE(Answers());
        ExpectLowerRight(top);
    }

    // Fixture `top` chosen above and its "target" below.
    HWND Target(HWND top) const
    {
        HWND target = FindWindowExA(top, nullptr, "FixtureChild", "target");
        Select(top);
        return SelectInList(dlg_, IDC_CHILD_LIST, target) ? target : nullptr;
    }

    // A clicking fixture started with `arguments` as top_, and one more as `witness` when
    // asked for, listed above; top_'s target_ chosen below.
    void StartClicking(const std::string &arguments, HWND *witness = nullptr)
    {
        top_ = StartFixture(arguments);
        ASSERT_NE(top_, nullptr);
        if (witness != nullptr) {
            *witness = StartFixture("click");
            ASSERT_NE(*witness, nullptr);
        }
        ASSERT_NO_FATAL_FAILURE(Refresh());
        target_ = Target(top_);
        ASSERT_NE(target_, nullptr);
    }

    // The windows of fixture `top` other than `except`, none of which may have a click.
    static void ExpectNoClicks(HWND top, HWND except = nullptr)
    {
        std::vector<HWND> windows = DescendantWindows(top);
        windows.push_back(top);
        for (HWND hwnd : windows) {
            if (hwnd != except) {
                EXPECT_EQ(Clicks(hwnd), 0) << "clicks on '" << TextOf(hwnd) << "'";
            }
        }
    }

    TestProcess tavrolinde_;
    std::vector<std::unique_ptr<TestProcess>> fixtures_;
    HWND dlg_ = nullptr;
    HWND top_ = nullptr;
    HWND target_ = nullptr;
};

// --- texts: as window titles (upper entries) and as descendant texts (lower entries) ---

class HostileText : public Hostile, public testing::WithParamInterface<const char *> {};

TEST_P(HostileText, IsListedRightAboveAndBelow)
{
    HWND top = StartFixture(std::string("text ") + GetParam());
    ASSERT_NE(top, nullptr) << "fixture window";
    if (const size_t length = atoi(GetParam())) {
        ASSERT_EQ(TextOf(top, 65536).size(), length) << "the fixture's title";
    }
    ASSERT_NO_FATAL_FAILURE(Refresh());
    ASSERT_GE(IndexOf(List(IDC_WINDOW_LIST), top), 0) << "the fixture is not listed";
    ASSERT_EQ(DescendantWindows(top).size(), 2u);
    ASSERT_NO_FATAL_FAILURE(Select(top));
}

INSTANTIATE_TEST_SUITE_P(Texts, HostileText,
                         testing::Values("1023", "1024", "1025", "5000", "printf", "japanese",
                                         "dbcs1021", "dbcs1022"),
                         [](const testing::TestParamInfo<const char *> &info) {
                             return std::string(info.param);
                         });

// --- a listed window that is gone when its stale entry is chosen ---

class StaleEntry : public Hostile, public testing::WithParamInterface<bool> {};

TEST_P(StaleEntry, GivesAnEmptyLowerList)
{
    const bool processEnds = GetParam();
    HWND top = StartFixture("click");
    ASSERT_NE(top, nullptr);
    ASSERT_NO_FATAL_FAILURE(Refresh());
    ASSERT_NO_FATAL_FAILURE(Select(top));
    ASSERT_EQ(SendMessageA(List(IDC_CHILD_LIST), LB_GETCOUNT, 0, 0), 3);
    if (processEnds) {
        TerminateProcess(fixtures_[0]->info.hProcess, 0);
        ASSERT_EQ(fixtures_[0]->ExitCode(WAIT_MS), 0u);
    } else {
        SendMessageA(top, WM_CLOSE, 0, 0);
    }
    ASSERT_FALSE(IsWindow(top));

    ASSERT_TRUE(SelectUpper(top)) << "the stale entry cannot be chosen";
    EXPECT_TRUE(Answers());
    EXPECT_EQ(SendMessageA(List(IDC_CHILD_LIST), LB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(tavrolinde_.IsRunning());
}

INSTANTIATE_TEST_SUITE_P(Gone, StaleEntry, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &info) {
                             return info.param ? "ProcessEnded" : "WindowDestroyed";
                         });

// --- click targets that vanish or hang while the toggle is pressed in ---

class VanishingTarget : public Hostile, public testing::WithParamInterface<bool> {};

TEST_P(VanishingTarget, TicksGoOnAndClickNothingElse)
{
    const bool processExits = GetParam();
    HWND witness = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartClicking("click", &witness));
    ASSERT_TRUE(Press());
    ASSERT_TRUE(WaitForClicks(target_, 1, 5000)) << "the target is never clicked";

    if (processExits) {
        PostMessageA(top_, WM_FIXTURE_QUIT, 0, 0);
        ASSERT_EQ(fixtures_[0]->ExitCode(WAIT_MS), 0u);
    } else {
        SendMessageA(target_, WM_CLOSE, 0, 0);
    }
    ASSERT_FALSE(IsWindow(target_));
    ASSERT_FALSE(WaitUntil([&] { return !Answers(); }, 3000, 250)) << "the dialog fell silent";
    EXPECT_TRUE(tavrolinde_.IsRunning());
    if (!processExits)
        ExpectNoClicks(top_, target_);
    ExpectNoClicks(witness);

    // The timer still runs: a new target chosen below is clicked, and nothing else.
    HWND next = Target(witness);
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(WaitForClicks(next, 1, 5000)) << "the ticks have stopped";
    ExpectNoClicks(witness, next);
    EXPECT_EQ(SendMessageA(List(IDC_AUTO_CLICK), BM_GETCHECK, 0, 0), BST_CHECKED);
}

INSTANTIATE_TEST_SUITE_P(Vanishing, VanishingTarget, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool> &info) {
                             return info.param ? "ProcessExits" : "WindowDestroyed";
                         });

TEST_F(Hostile, TargetHungForTenSecondsNeverBlocksTheDialog)
{
    ASSERT_NO_FATAL_FAILURE(StartClicking("click hang"));
    ASSERT_TRUE(Press());

    bool sawHang = false;
    const bool fellSilent = WaitUntil(
        [&] {
            const DWORD asked = GetTickCount();
            if (!Answers())
                return true;
            EXPECT_LT(Since(asked), ANSWER_MS);
            DWORD_PTR result = 0;
            sawHang |= !SendMessageTimeoutA(target_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &result);
            return false;
        },
        13000, 250);
    ASSERT_FALSE(fellSilent) << "the dialog fell silent while its target hung";
    EXPECT_TRUE(sawHang) << "the target never hung";
    // The hang began at the first tick, about 1 s in, and ended about 11 s in; every tick
    // meanwhile posted a click, delivered at once when the thread woke: some 12 by now.
    // (A dialog blocked by its target would have clicked some 3 times.)
    Sleep(300);
    EXPECT_GE(Clicks(target_), 8) << "the ticks stopped during the hang";
    ExpectNoClicks(top_, target_);
    EXPECT_TRUE(tavrolinde_.IsRunning());
}

// --- sizes and repetition ---

TEST_F(Hostile, TenThousandDescendantsAreListedCompletelyAndInOrder)
{
    DWORD start = GetTickCount();
    HWND top = StartFixture("tree 100 99", 120000);
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(DescendantWindows(top).size(), 10000u);
    const DWORD made = Since(start);
    ASSERT_NO_FATAL_FAILURE(Refresh());

    start = GetTickCount();
    ASSERT_TRUE(SelectUpper(top)) << "no listing within " << LISTING_MS << " ms";
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
    for (int i = 0; i < 201; ++i)
        Press();
    EXPECT_EQ(SendMessageA(List(IDC_AUTO_CLICK), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(Answers());
    const int before = Clicks(target_);
    Sleep(CLICK_WATCH_MS);
    const int clicks = Clicks(target_) - before;
    EXPECT_GE(clicks, MIN_CLICKS);
    EXPECT_LE(clicks, MAX_CLICKS);
    EXPECT_TRUE(Answers());
    ExpectNoClicks(top_, target_);
}

} // namespace

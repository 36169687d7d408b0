// The window lister inside the real dialog, built from the real template: which top-level
// windows the upper list shows, what the lower list shows for a selected window, what
// Refresh and a selection change leave behind, and how a descendant's entry is composed.
// Every assertion is about windows the test makes; other windows only share the lists.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lister/lister.h"
#include "res/resource.h"
#include "tests/support/support.h"

namespace {

constexpr char PLAIN_CLASS[] = "TavrolindeTestPlain";
constexpr char CHILD_CLASS[] = "TavrolindeTestChild";

bool Contains(const std::vector<HWND> &windows, HWND hwnd)
{
    return std::find(windows.begin(), windows.end(), hwnd) != windows.end();
}

// A list's first line, pixel by pixel: as the screen shows it, or as the list draws it when
// asked to print itself into a bitmap.
std::vector<COLORREF> FirstLine(HWND list, bool onScreen)
{
    UpdateWindow(list);
    RECT client = {};
    GetClientRect(list, &client);
    const int width = client.right;
    const int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    HDC screen = GetDC(list);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(copy, bitmap);
    if (onScreen)
        BitBlt(copy, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    else
        SendMessageA(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(copy),
                     PRF_CLIENT | PRF_ERASEBKGND);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(GetPixel(copy, x, y));
    SelectObject(copy, previous);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(list, screen);
    return pixels;
}

// Owns the dialog, the windows and the classes a test makes, and drives the dialog.
class ListerTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(Register(PLAIN_CLASS));
        ASSERT_TRUE(Register(CHILD_CLASS));
    }

    void TearDown() override
    {
        if (dialog_ != nullptr)
            DestroyWindow(dialog_);
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
            DestroyWindow(*it);
        for (const std::string &name : classes_)
            UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
    }

    bool Register(const char *className, WNDPROC procedure = DefWindowProcA)
    {
        if (!RegisterWindowClass(className, procedure))
            return false;
        classes_.push_back(className);
        return true;
    }

    // Shown without activation: under Wine, destroying a window that was once active
    // waits two seconds for the X server.
    HWND MakeTopLevel(const char *className, const char *title, bool visible = true)
    {
        HWND hwnd = MakeWindow(className, title, WS_POPUP);
        if (hwnd == nullptr)
            return nullptr;
        windows_.push_back(hwnd);
        if (visible)
            ShowWindow(hwnd, SW_SHOWNA);
        return hwnd;
    }

    static HWND MakeChild(HWND parent, const char *className, const char *title,
                          bool visible = true)
    {
        return MakeWindow(className, title, WS_CHILD | (visible ? WS_VISIBLE : 0), parent);
    }

    // A parent whose tree holds grandchildren, a hidden child and a text-less child; its
    // descendants' entries in depth-first order go to treeEntries_.
    void BuildTree()
    {
        parent_ = MakeTopLevel(PLAIN_CLASS, "Tavrolinde test parent");
        ASSERT_NE(parent_, nullptr);
        HWND alpha = MakeChild(parent_, CHILD_CLASS, "Alpha");
        HWND alphaOne = MakeChild(alpha, CHILD_CLASS, "Alpha one");
        HWND alphaUntitled = MakeChild(alpha, CHILD_CLASS, "");
        HWND bravoHidden = MakeChild(parent_, CHILD_CLASS, "Bravo", false);
        HWND bravoOne = MakeChild(bravoHidden, "Button", "Bravo one");
        HWND charlie = MakeChild(parent_, "Static", "Charlie");
        treeEntries_ = {
            {"Alpha [TavrolindeTestChild]", alpha},
            {"Alpha one [TavrolindeTestChild]", alphaOne},
            {" [TavrolindeTestChild]", alphaUntitled},
            {"Bravo [TavrolindeTestChild]", bravoHidden},
            {"Bravo one [Button]", bravoOne},
            {"Charlie [Static]", charlie},
        };
        for (const Entry &entry : treeEntries_)
            ASSERT_NE(entry.handle, nullptr);
    }

    void OpenDialog()
    {
        dialog_ = CreateMainDialog();
        ASSERT_NE(dialog_, nullptr);
    }

    HWND List(int id) const
    {
        return GetDlgItem(dialog_, id);
    }

    LRESULT Selection(int id) const
    {
        return SendMessageA(List(id), LB_GETCURSEL, 0, 0);
    }

    // Selects the upper entry that carries `window` and announces the change, as a click does.
    void Select(HWND window)
    {
        ASSERT_TRUE(SelectInList(dialog_, IDC_WINDOW_LIST, window))
            << "the window is not in the upper list";
    }

    HWND dialog_ = nullptr;
    HWND parent_ = nullptr;
    std::vector<Entry> treeEntries_;
    std::vector<HWND> windows_;
    std::vector<std::string> classes_;
};

// Top-level filter: one row per kind of window; the row's windows exist before the dialog,
// so both the first listing and a Refresh must treat them alike.
struct TopLevelCase {
    const char *name;
    const char *className; // null: no window of the row's own, the dialog alone
    const char *title;
    bool visible;
    int copies;
    bool listed;
};

const TopLevelCase TOP_LEVEL_CASES[] = {
    {"VisibleTitledWindowIsListed", PLAIN_CLASS, "Tavrolinde test window", true, 1, true},
    {"HiddenTitledWindowIsNotListed", PLAIN_CLASS, "Tavrolinde test hidden", false, 1, false},
    {"VisibleUntitledWindowIsNotListed", PLAIN_CLASS, "", true, 1, false},
    {"ProgramManagerIsNotListed", "Progman", "Tavrolinde test Progman", true, 1, false},
    {"ManyProgramManagersAreNotListed", "Progman", "Tavrolinde test Progman", true, 20, false},
    {"LowerCaseProgmanIsListed", "progman", "Tavrolinde test progman", true, 1, true},
    {"TwoWindowsWithOneTitleGiveTwoEntries", PLAIN_CLASS, "Tavrolinde test twin", true, 2, true},
    {"TheDialogListsItself", nullptr, nullptr, true, 0, true},
};

class TopLevelListing : public ListerTest, public ::testing::WithParamInterface<TopLevelCase> {};

// Wine's shell holds a global atom "Progman", and class names are atoms found without
// regard to case: while it lives, a class "progman" reports itself as "Progman". Removing
// it would disturb every program of the wineserver, so only a server of the test's own will do.
void FreeProgmanAtom()
{
    char own[8] = {};
    GetEnvironmentVariableA("TAVROLINDE_OWN_WINESERVER", own, sizeof own);
    ASSERT_STREQ(own, "1") << "the atom may only be removed in a wineserver of the test's own";
    for (int i = 0; i < 100 && GlobalFindAtomA("Progman") != 0; ++i)
        GlobalDeleteAtom(GlobalFindAtomA("Progman"));
    ASSERT_EQ(GlobalFindAtomA("Progman"), 0);
}

TEST_P(TopLevelListing, ListsVisibleTitledWindowsButNotTheProgramManager)
{
    const TopLevelCase &row = GetParam();
    std::vector<HWND> made;
    if (row.className != nullptr) {
        if (std::strcmp(row.className, "progman") == 0) {
            ASSERT_NO_FATAL_FAILURE(FreeProgmanAtom());
        }
        if (std::strcmp(row.className, PLAIN_CLASS) != 0) {
            ASSERT_TRUE(Register(row.className));
        }
        for (int i = 0; i < row.copies; ++i) {
            made.push_back(MakeTopLevel(row.className, row.title, row.visible));
            ASSERT_NE(made.back(), nullptr);
            ASSERT_EQ(ClassOf(made.back()), row.className);
        }
    }
    ASSERT_NO_FATAL_FAILURE(OpenDialog());

    auto check = [&](const char *when) {
        SCOPED_TRACE(when);
        // Expected: the listed ones among the test's windows, in the platform's order now.
        std::vector<Entry> expected;
        for (HWND hwnd : TopLevelWindows()) {
            if (hwnd == dialog_)
                expected.push_back({DIALOG_CAPTION, hwnd});
            else if (row.listed && Contains(made, hwnd))
                expected.push_back({row.title, hwnd});
        }
        std::vector<Entry> ours;
        int titled = 0;
        for (const Entry &entry : EntriesOf(List(IDC_WINDOW_LIST))) {
            if (entry.handle == dialog_ || Contains(made, entry.handle))
                ours.push_back(entry);
            if (row.title != nullptr && entry.text == row.title)
                ++titled;
        }
        EXPECT_EQ(ours, expected);
        if (row.title != nullptr) {
            EXPECT_EQ(titled, row.listed ? row.copies : 0)
                << "entries titled \"" << row.title << "\"";
        }
    };
    check("first listing");
    ASSERT_TRUE(SendCommand(dialog_, IDC_REFRESH));
    check("after Refresh");
}

INSTANTIATE_TEST_SUITE_P(Filter, TopLevelListing, ::testing::ValuesIn(TOP_LEVEL_CASES), ByName());

using DescendantListing = ListerTest;

TEST_F(DescendantListing, ListsEveryDescendantDepthFirstWithItsHandle)
{
    ASSERT_NO_FATAL_FAILURE(BuildTree());
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    ASSERT_NO_FATAL_FAILURE(Select(parent_));

    std::vector<Entry> entries = EntriesOf(List(IDC_CHILD_LIST));
    EXPECT_EQ(entries, treeEntries_);
    std::vector<HWND> handles;
    for (const Entry &entry : entries)
        handles.push_back(entry.handle);
    EXPECT_EQ(handles, DescendantWindows(parent_));
}

TEST_F(DescendantListing, EntriesCarryTheTextVerbatimCutToTheBuffer)
{
    // "ボタン" (button) in code page 932.
    const std::string japanese = "\x83\x7B\x83\x5E\x83\x93";
    const std::string texts[] = {Pattern(2000), "%s%n%x%%", japanese};
    HWND parent = MakeTopLevel(PLAIN_CLASS, "Tavrolinde test texts");
    ASSERT_NE(parent, nullptr);
    std::vector<Entry> expected;
    for (const std::string &text : texts) {
        HWND child = MakeChild(parent, CHILD_CLASS, "");
        ASSERT_NE(child, nullptr);
        SetWindowTextA(child, text.c_str());
        // The platform hands out at most 1023 bytes of a text, and the Japanese one intact.
        ASSERT_EQ(TextOf(child), text.substr(0, ENTRY_MAX));
        expected.push_back({DescendantEntry(TextOf(child), CHILD_CLASS), child});
    }
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    ASSERT_NO_FATAL_FAILURE(Select(parent));

    EXPECT_EQ(EntriesOf(List(IDC_CHILD_LIST)), expected);
}

constexpr char VANISHING_CLASS[] = "TavrolindeTestVanishing";
constexpr char VANISHING_TEXT[] = "Gone";

// Hands out its text and is destroyed while doing so, before its class can be read.
LRESULT CALLBACK VanishingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_GETTEXT)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    DestroyWindow(hwnd);
    lstrcpynA(reinterpret_cast<LPSTR>(lParam), VANISHING_TEXT, static_cast<int>(wParam));
    return lstrlenA(reinterpret_cast<LPSTR>(lParam));
}

// The class of a window that is gone cannot be read: its entry shows no class, not the
// class of the window listed before it.
TEST_F(DescendantListing, AWindowGoneWhileReadIsListedWithoutAClass)
{
    ASSERT_TRUE(Register(VANISHING_CLASS, VanishingProc));
    HWND parent = MakeTopLevel(PLAIN_CLASS, "Tavrolinde test vanishing");
    ASSERT_NE(parent, nullptr);
    HWND before = MakeChild(parent, CHILD_CLASS, "Before");
    HWND gone = MakeChild(parent, VANISHING_CLASS, "");
    ASSERT_NE(before, nullptr);
    ASSERT_NE(gone, nullptr);
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    ASSERT_NO_FATAL_FAILURE(Select(parent));

    std::vector<Entry> expected = {{DescendantEntry("Before", CHILD_CLASS), before},
                                   {DescendantEntry(VANISHING_TEXT, ""), gone}};
    EXPECT_EQ(EntriesOf(List(IDC_CHILD_LIST)), expected);
    EXPECT_FALSE(IsWindow(gone));
}

// A selection change with nothing to look into empties the lower list, filled beforehand.
struct EmptyingRow {
    const char *name;
    bool selectsALoneWindow; // or takes the upper list's selection away
};

const EmptyingRow EMPTYING_ROWS[] = {{"WindowWithoutDescendants", true}, {"NoSelection", false}};

class Emptying : public ListerTest, public testing::WithParamInterface<EmptyingRow> {};

// What the user sees follows each time: the first line on the screen is what a list box of
// the test's own, alike in all but its owner, draws for the same entries.
TEST_P(Emptying, TheLowerListIsDrawnAsListedThenDrawnEmpty)
{
    ASSERT_NO_FATAL_FAILURE(BuildTree());
    HWND lone = MakeTopLevel(PLAIN_CLASS, "Tavrolinde test lone");
    ASSERT_NE(lone, nullptr);
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    // Away from the middle of the screen, where other tests' dialogs, topmost too, open.
    SetWindowPos(dialog_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND lower = List(IDC_CHILD_LIST);
    HWND drawing =
        MakeWindow("ListBox", "", GetWindowLongA(lower, GWL_STYLE) & ~WS_VISIBLE, dialog_);
    ASSERT_NE(drawing, nullptr);
    SendMessageA(drawing, WM_SETFONT, SendMessageA(lower, WM_GETFONT, 0, 0), FALSE);
    // Its frame may differ, its inside may not.
    RECT client = {}, drawingClient = {}, frame = {};
    GetClientRect(lower, &client);
    GetClientRect(drawing, &drawingClient);
    GetWindowRect(drawing, &frame);
    SetWindowPos(drawing, nullptr, 0, 0,
                 frame.right - frame.left + client.right - drawingClient.right,
                 frame.bottom - frame.top + client.bottom - drawingClient.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    ASSERT_NO_FATAL_FAILURE(Select(parent_));
    const std::vector<Entry> entries = EntriesOf(lower);
    ASSERT_EQ(entries, treeEntries_);
    for (const Entry &entry : entries)
        SendMessageA(drawing, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
    // Compared as a whole: a failure printing thousands of pixels would say no more.
    const std::vector<COLORREF> shown = FirstLine(lower, true);
    EXPECT_TRUE(shown == FirstLine(drawing, false)) << "the first entry is not drawn as listed";
    SendMessageA(drawing, LB_DELETESTRING, 0, 0);
    SendMessageA(drawing, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(entries[1].text.c_str()));
    EXPECT_FALSE(shown == FirstLine(drawing, false)) << "another entry is drawn alike";

    if (GetParam().selectsALoneWindow) {
        ASSERT_NO_FATAL_FAILURE(Select(lone));
    } else {
        SendMessageA(List(IDC_WINDOW_LIST), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        ASSERT_EQ(Selection(IDC_WINDOW_LIST), LB_ERR);
        ASSERT_TRUE(SendCommand(dialog_, IDC_WINDOW_LIST, LBN_SELCHANGE));
    }
    EXPECT_TRUE(EntriesOf(lower).empty());
    SendMessageA(drawing, LB_RESETCONTENT, 0, 0);
    EXPECT_TRUE(FirstLine(lower, true) == FirstLine(drawing, false)) << "not drawn empty";
}

INSTANTIATE_TEST_SUITE_P(By, Emptying, testing::ValuesIn(EMPTYING_ROWS), ByName());

// The lower list, subclassed to refuse one append and pass everything else on.
WNDPROC g_listProc = nullptr;
int g_addsSeen = 0;
int g_refusedAdd = 0;
LRESULT g_refusal = LB_ERR;

LRESULT CALLBACK RefusingListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_ADDSTRING && ++g_addsSeen == g_refusedAdd)
        return g_refusal;
    return CallWindowProcA(g_listProc, hwnd, message, wParam, lParam);
}

struct RefusalRow {
    const char *name;
    int refusedAdd; // 1-based, in enumeration order
    LRESULT refusal;
};

const RefusalRow REFUSAL_ROWS[] = {{"First", 1, LB_ERR},
                                   {"Second", 2, LB_ERR},
                                   {"SecondForWantOfSpace", 2, LB_ERRSPACE},
                                   {"Last", 6, LB_ERR}};

class RefusedEntry : public ListerTest, public testing::WithParamInterface<RefusalRow> {};

TEST_P(RefusedEntry, LeavesEveryOtherEntryWithItsOwnHandle)
{
    ASSERT_NO_FATAL_FAILURE(BuildTree());
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    HWND list = List(IDC_CHILD_LIST);
    g_listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefusingListProc)));
    ASSERT_NE(g_listProc, nullptr);
    g_addsSeen = 0;
    g_refusedAdd = GetParam().refusedAdd;
    g_refusal = GetParam().refusal;
    ASSERT_NO_FATAL_FAILURE(Select(parent_));
    std::vector<Entry> expected = treeEntries_;
    expected.erase(expected.begin() + (GetParam().refusedAdd - 1));
    EXPECT_EQ(EntriesOf(list), expected);
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProc));
}

INSTANTIATE_TEST_SUITE_P(Append, RefusedEntry, testing::ValuesIn(REFUSAL_ROWS), ByName());

using Refresh = ListerTest;

TEST_F(Refresh, EmptiesTheDescendantsRelistsAndLeavesNoSelection)
{
    ASSERT_NO_FATAL_FAILURE(BuildTree());
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    ASSERT_NO_FATAL_FAILURE(Select(parent_));
    SendMessageA(List(IDC_CHILD_LIST), LB_SETCURSEL, 0, 0);
    ASSERT_NE(Selection(IDC_WINDOW_LIST), LB_ERR);
    ASSERT_EQ(Selection(IDC_CHILD_LIST), 0);
    // Made after the first listing: only a relisting can show it.
    HWND late = MakeTopLevel(PLAIN_CLASS, "Tavrolinde test late");
    ASSERT_NE(late, nullptr);

    ASSERT_TRUE(SendCommand(dialog_, IDC_REFRESH));
    EXPECT_TRUE(EntriesOf(List(IDC_CHILD_LIST)).empty());
    EXPECT_EQ(Selection(IDC_WINDOW_LIST), LB_ERR);
    EXPECT_EQ(Selection(IDC_CHILD_LIST), LB_ERR);
    std::vector<Entry> entries = EntriesOf(List(IDC_WINDOW_LIST));
    for (const Entry &expected :
         {Entry{"Tavrolinde test parent", parent_}, Entry{"Tavrolinde test late", late},
          Entry{DIALOG_CAPTION, dialog_}})
        EXPECT_EQ(std::count(entries.begin(), entries.end(), expected), 1)
            << "entry \"" << expected.text << "\"";
}

struct CompositionRow {
    const char *name;
    std::string text;
    std::string className;
};

const CompositionRow COMPOSITION_ROWS[] = {
    {"Short", "OK", "Button"},
    {"EmptyText", "", "Button"},
    {"PrintfDirectives", "%s%n%x%%", "%n%s"},
    {"TextExactlyFilling", Pattern(ENTRY_MAX - 9), "Button"},
    {"TextOneByteOver", Pattern(ENTRY_MAX - 8), "Button"},
    {"Text1023BytesLongClass", Pattern(ENTRY_MAX), Pattern(300, 50)},
    {"Text2000Bytes", Pattern(2000), "Button"},
    {"Class1023Bytes", "ab", Pattern(ENTRY_MAX, 50)},
};

class EntryComposition : public testing::TestWithParam<CompositionRow> {};

// Composed into a buffer with guard bytes on both sides.
TEST_P(EntryComposition, IsTheTextAndClassCutToTheBufferAndNeverOverruns)
{
    struct Guarded {
        char before[64];
        char entry[TEXT_BUFFER_CHARS];
        char after[64];
    };
    const char GUARD = '\xA5';
    const CompositionRow &row = GetParam();
    Guarded buffer;
    std::memset(&buffer, GUARD, sizeof buffer);
    ComposeDescendantEntry(buffer.entry, row.text.c_str(), row.className.c_str());

    EXPECT_EQ(std::string(buffer.before, sizeof buffer.before),
              std::string(sizeof buffer.before, GUARD));
    EXPECT_EQ(std::string(buffer.after, sizeof buffer.after),
              std::string(sizeof buffer.after, GUARD));
    const char *end =
        static_cast<const char *>(std::memchr(buffer.entry, '\0', sizeof buffer.entry));
    ASSERT_NE(end, nullptr) << "no NUL inside the buffer";
    EXPECT_EQ(std::string(buffer.entry, end - buffer.entry),
              DescendantEntry(row.text, row.className));
}

INSTANTIATE_TEST_SUITE_P(DescendantEntry, EntryComposition, testing::ValuesIn(COMPOSITION_ROWS),
                         ByName());

} // namespace

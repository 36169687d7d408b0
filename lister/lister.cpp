#include <windows.h>
#include <stdio.h>

#include "lister/lister.h"
#include "res/resource.h"

int g_nextIndex = 0;

namespace {

// The desktop's program manager is never listed.
constexpr char PROGRAM_MANAGER_CLASS[] = "Progman";

// A text cut to fit its buffer can end in the first byte of a double-byte character.
// The list would pair that byte with the terminating NUL and read on past the entry's
// end, so the half character is dropped.
void DropHalfCharacter(LPSTR text)
{
    for (LPSTR c = text; *c != '\0'; ++c) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*c))) {
            if (c[1] == '\0') {
                *c = '\0';
                return;
            }
            ++c;
        }
    }
}

// Appends an entry and stores the window's handle with it. A refused entry stores
// nothing, so every later entry still carries its own window's handle.
void AppendEntry(HWND list, LPSTR entry, HWND hwnd)
{
    DropHalfCharacter(entry);
    LRESULT added = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    if (added == LB_ERR || added == LB_ERRSPACE)
        return;
    SendMessageA(list, LB_SETITEMDATA, g_nextIndex, reinterpret_cast<LPARAM>(hwnd));
    ++g_nextIndex;
}

// Empties a list for a listing into it. The list is looked up once and stays still
// until the listing ends: a window with thousands of descendants would otherwise
// repaint the list, and its scroll bar, thousands of times.
HWND BeginFill(HWND hDlg, int listId)
{
    HWND list = GetDlgItem(hDlg, listId);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    g_nextIndex = 0;
    return list;
}

// Repaints the list once, with everything the listing put there.
void EndFill(HWND list)
{
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

// Reads a window's text and class. A window that is gone by then leaves both empty, as
// a window with nothing to copy does, and never what the window before it left there.
void ReadWindow(HWND hwnd, LPSTR text, LPSTR className)
{
    text[0] = '\0';
    className[0] = '\0';
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
}

// A top-level listing: the list it fills, and whether the desktop is shown. The desktop
// is a top-level window's only parent, so the window is visible when the desktop is and
// its own style has WS_VISIBLE. Asking the desktop once and each window for its style
// costs less than IsWindowVisible for every window, which walks the parents each time.
// (A window that another program moves under a new parent while the listing runs is
// judged as the top-level window it was when the listing found it.)
struct TopLevelListing {
    HWND list;
    bool desktopVisible;
};

bool IsTopLevelVisible(const TopLevelListing &listing, HWND hwnd)
{
    return listing.desktopVisible && (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

BOOL CALLBACK EnumTopLevelProc(HWND hwnd, LPARAM lParam)
{
    const auto *listing = reinterpret_cast<const TopLevelListing *>(lParam);
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    ReadWindow(hwnd, text, className);
    if (IsTopLevelVisible(*listing, hwnd) && lstrlenA(text) > 0 &&
        lstrcmpA(className, PROGRAM_MANAGER_CLASS) != 0)
        AppendEntry(listing->list, text, hwnd);
    return TRUE;
}

// lParam is the list that receives the entries.
BOOL CALLBACK EnumDescendantProc(HWND hwnd, LPARAM lParam)
{
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    char entry[TEXT_BUFFER_CHARS];
    ReadWindow(hwnd, text, className);
    ComposeDescendantEntry(entry, text, className);
    AppendEntry(reinterpret_cast<HWND>(lParam), entry, hwnd);
    return TRUE;
}

} // namespace

void ComposeDescendantEntry(LPSTR entry, LPCSTR text, LPCSTR className)
{
    // The formatter fills at most all but the last byte and leaves a cut entry
    // unterminated: the last byte is always the NUL.
    _snprintf(entry, TEXT_BUFFER_CHARS - 1, "%s [%s]", text, className);
    entry[TEXT_BUFFER_CHARS - 1] = '\0';
}

void ListTopLevelWindows(HWND hDlg)
{
    TopLevelListing listing;
    listing.list = BeginFill(hDlg, IDC_WINDOW_LIST);
    listing.desktopVisible = IsWindowVisible(GetDesktopWindow()) != FALSE;
    EnumWindows(EnumTopLevelProc, reinterpret_cast<LPARAM>(&listing));
    EndFill(listing.list);
}

void RefreshWindowLists(HWND hDlg)
{
    SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_RESETCONTENT, 0, 0);
    ListTopLevelWindows(hDlg);
}

void ListDescendantWindows(HWND hDlg)
{
    LRESULT selected = SendDlgItemMessageA(hDlg, IDC_WINDOW_LIST, LB_GETCURSEL, 0, 0);
    HWND list = BeginFill(hDlg, IDC_CHILD_LIST);
    // Without a selection there is no window to look into: the list stays empty.
    if (selected != LB_ERR) {
        HWND parent = reinterpret_cast<HWND>(
            SendDlgItemMessageA(hDlg, IDC_WINDOW_LIST, LB_GETITEMDATA, selected, 0));
        EnumChildWindows(parent, EnumDescendantProc, reinterpret_cast<LPARAM>(list));
    }
    EndFill(list);
}

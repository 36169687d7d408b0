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

// A top-level listing: the list it fills, and the program manager's windows as they
// were when it began. Finding those by their class costs one request to the platform
// for the whole listing, where reading every window's class would cost about a third
// of the listing's time. Only these candidates have their class read and compared.
constexpr int PROGRAM_MANAGER_SLOTS = 8;
// More candidates than the slots hold: every window's class is read.
constexpr int PROGRAM_MANAGERS_UNCOUNTED = -1;

struct TopLevelListing {
    HWND list;
    HWND programManagers[PROGRAM_MANAGER_SLOTS];
    int programManagerCount;
};

// The platform finds a class by its atom, without regard to letter case, so the
// candidates are a superset of the windows whose class is "Progman" exactly.
void FindProgramManagers(TopLevelListing *listing)
{
    listing->programManagerCount = 0;
    HWND found = nullptr;
    while ((found = FindWindowExA(nullptr, found, PROGRAM_MANAGER_CLASS, nullptr)) != nullptr) {
        if (listing->programManagerCount == PROGRAM_MANAGER_SLOTS) {
            listing->programManagerCount = PROGRAM_MANAGERS_UNCOUNTED;
            return;
        }
        listing->programManagers[listing->programManagerCount++] = found;
    }
}

bool IsProgramManager(const TopLevelListing &listing, HWND hwnd)
{
    bool candidate = listing.programManagerCount == PROGRAM_MANAGERS_UNCOUNTED;
    for (int i = 0; i < listing.programManagerCount && !candidate; ++i)
        candidate = listing.programManagers[i] == hwnd;
    if (!candidate)
        return false;
    char className[TEXT_BUFFER_CHARS];
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
    return lstrcmpA(className, PROGRAM_MANAGER_CLASS) == 0;
}

// Accepts a visible window with a title that is not the program manager. Each test is
// made only for a window that passed the ones before: a hidden window's text is never
// read.
BOOL CALLBACK EnumTopLevelProc(HWND hwnd, LPARAM lParam)
{
    const auto *listing = reinterpret_cast<const TopLevelListing *>(lParam);
    if (!IsWindowVisible(hwnd))
        return TRUE;
    char text[TEXT_BUFFER_CHARS];
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    if (lstrlenA(text) > 0 && !IsProgramManager(*listing, hwnd))
        AppendEntry(listing->list, text, hwnd);
    return TRUE;
}

// lParam is the list that receives the entries.
BOOL CALLBACK EnumDescendantProc(HWND hwnd, LPARAM lParam)
{
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    char entry[TEXT_BUFFER_CHARS];
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
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
    FindProgramManagers(&listing);
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

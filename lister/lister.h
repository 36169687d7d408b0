// The window lister: fills the dialog's two lists, each entry carrying its window's handle
// as item datum.
#pragma once
#include <windows.h>

// Size in bytes of every buffer that receives a window text, a class name or an entry.
constexpr int TEXT_BUFFER_CHARS = 1024;

// Index that the next accepted window's entry takes during a listing.
extern int g_nextIndex;

// Fills the window list with the visible, titled top-level windows.
void ListTopLevelWindows(HWND hDlg);
// Empties both lists, then lists the top-level windows anew.
void RefreshWindowLists(HWND hDlg);
// Fills the descendant list with every descendant of the window selected above.
void ListDescendantWindows(HWND hDlg);

// Composes a descendant's entry "text [class]" into entry, cut to TEXT_BUFFER_CHARS
// bytes with its NUL.
void ComposeDescendantEntry(LPSTR entry, LPCSTR text, LPCSTR className);

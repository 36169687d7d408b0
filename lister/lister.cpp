#include <windows.h>
#include <cstdio>

#include "lister/lister.h"
#include "res/resource.h"

int g_nextIndex = 0;

namespace
{

// The desktop's program manager is never listed.
constexpr char PROGRAM_MANAGER_CLASS[] = "Progman";

// Appends an entry and stores the window's handle with it. A refused entry stores
// nothing, so every later entry still carries its own window's handle.
void AppendEntry(HWND hDlg, int listId, LPCSTR entry, HWND hwnd)
{
    LRESULT added =
        SendDlgItemMessageA(hDlg, listId, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    if (added == LB_ERR || added == LB_ERRSPACE)
        return;
    SendDlgItemMessageA(hDlg, listId, LB_SETITEMDATA, g_nextIndex, reinterpret_cast<LPARAM>(hwnd));
    ++g_nextIndex;
}

} // namespace

BOOL CALLBACK EnumTopLevelProc(HWND hwnd, LPARAM lParam)
{
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
    if (IsWindowVisible(hwnd) && lstrlenA(text) > 0 &&
        lstrcmpA(className, PROGRAM_MANAGER_CLASS) != 0)
        AppendEntry(reinterpret_cast<HWND>(lParam), IDC_WINDOW_LIST, text, hwnd);
    return TRUE;
}

BOOL CALLBACK EnumDescendantProc(HWND hwnd, LPARAM lParam)
{
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    char entry[TEXT_BUFFER_CHARS];
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
    ComposeDescendantEntry(entry, text, className);
    AppendEntry(reinterpret_cast<HWND>(lParam), IDC_CHILD_LIST, entry, hwnd);
    return TRUE;
}

void ComposeDescendantEntry(LPSTR entry, LPCSTR text, LPCSTR className)
{
    // Given the buffer's size, the formatter cuts a long entry instead of overrunning.
    std::snprintf(entry, TEXT_BUFFER_CHARS, "%s [%s]", text, className);
}

void ListTopLevelWindows(HWND hDlg)
{
    g_nextIndex = 0;
    EnumWindows(EnumTopLevelProc, reinterpret_cast<LPARAM>(hDlg));
}

void RefreshWindowLists(HWND hDlg)
{
    SendDlgItemMessageA(hDlg, IDC_WINDOW_LIST, LB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_RESETCONTENT, 0, 0);
    ListTopLevelWindows(hDlg);
}

void ListDescendantWindows(HWND hDlg)
{
    LRESULT selected = SendDlgItemMessageA(hDlg, IDC_WINDOW_LIST, LB_GETCURSEL, 0, 0);
    SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_RESETCONTENT, 0, 0);
    // Without a selection there is no window to look into: the list stays empty.
    if (selected == LB_ERR)
        return;
    HWND parent = reinterpret_cast<HWND>(
        SendDlgItemMessageA(hDlg, IDC_WINDOW_LIST, LB_GETITEMDATA, selected, 0));
    g_nextIndex = 0;
    EnumChildWindows(parent, EnumDescendantProc, reinterpret_cast<LPARAM>(hDlg));
}

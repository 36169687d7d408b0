// The floor that Tavrolinde is measured against: its own dialog, from the same template
// with the same manifest and icon, shown and made topmost the same way and run by the same
// message loop.
//   floor_dialog.exe        lists nothing: what starting such a dialog costs at the least
//   floor_dialog.exe list   also does the listings' job the simplest way, when Tavrolinde
//                           does it: the upper list at start-up and on Refresh, the lower
//                           list on a selection in the upper one
// A listing reads each window's text and class into buffers of Tavrolinde's size and fills
// an identical list with redraw off, one LB_ADDSTRING (and the window's handle, which a
// click needs) a window and one repaint.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "lister/lister.h"
#include "res/resource.h"

namespace {

constexpr int EXIT_NO_DIALOG = 1;
constexpr char LIST_ARGUMENT[] = "list";
constexpr char PROGRAM_MANAGER_CLASS[] = "Progman";

bool g_list = false;

struct Listing {
    HWND list;
    bool topLevel;
};

BOOL CALLBACK AddWindowProc(HWND hwnd, LPARAM lParam)
{
    const auto *listing = reinterpret_cast<const Listing *>(lParam);
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    char entry[TEXT_BUFFER_CHARS];
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
    if (listing->topLevel && (!IsWindowVisible(hwnd) || text[0] == '\0' ||
                              strcmp(className, PROGRAM_MANAGER_CLASS) == 0))
        return TRUE;
    if (!listing->topLevel) {
        // The C runtime's formatter, as Tavrolinde's: the listings differ in nothing else.
        _snprintf(entry, sizeof entry - 1, "%s [%s]", text, className);
        entry[sizeof entry - 1] = '\0';
    }
    LRESULT index = SendMessageA(listing->list, LB_ADDSTRING, 0,
                                 reinterpret_cast<LPARAM>(listing->topLevel ? text : entry));
    SendMessageA(listing->list, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(hwnd));
    return TRUE;
}

// Fills a list with the top-level windows, or with the descendants of `parent`.
void Fill(HWND hDlg, int listId, HWND parent)
{
    Listing listing = {GetDlgItem(hDlg, listId), listId == IDC_WINDOW_LIST};
    SendMessageA(listing.list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(listing.list, LB_RESETCONTENT, 0, 0);
    if (listing.topLevel)
        EnumWindows(AddWindowProc, reinterpret_cast<LPARAM>(&listing));
    else
        EnumChildWindows(parent, AddWindowProc, reinterpret_cast<LPARAM>(&listing));
    SendMessageA(listing.list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listing.list, nullptr, TRUE);
}

void OnCommand(HWND hDlg, WORD id, WORD code)
{
    if (id == IDCANCEL) {
        DestroyWindow(hDlg);
    } else if (g_list && id == IDC_REFRESH) {
        SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_RESETCONTENT, 0, 0);
        Fill(hDlg, IDC_WINDOW_LIST, nullptr);
    } else if (g_list && id == IDC_WINDOW_LIST && code == LBN_SELCHANGE) {
        LRESULT selected = SendDlgItemMessageA(hDlg, IDC_WINDOW_LIST, LB_GETCURSEL, 0, 0);
        Fill(hDlg, IDC_CHILD_LIST,
             reinterpret_cast<HWND>(
                 SendDlgItemMessageA(hDlg, IDC_WINDOW_LIST, LB_GETITEMDATA, selected, 0)));
    }
}

INT_PTR CALLBACK FloorDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        ShowWindow(hDlg, SW_SHOW);
        HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
        SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SetWindowPos(hDlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        if (g_list)
            Fill(hDlg, IDC_WINDOW_LIST, nullptr);
        return FALSE;
    }
    case WM_COMMAND:
        OnCommand(hDlg, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hDlg);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    g_list = strcmp(commandLine, LIST_ARGUMENT) == 0;
    HWND hDlg = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, FloorDlgProc, 0);
    if (hDlg == nullptr)
        return EXIT_NO_DIALOG;

    ShowWindow(hDlg, showCommand);
    UpdateWindow(hDlg);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(hDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

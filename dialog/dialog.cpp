#include <windows.h>

#include "autoclick/autoclick.h"
#include "dialog/dialog.h"
#include "lister/lister.h"
#include "res/resource.h"

namespace {

// "バージョン情報" (version information) in code page 932.
constexpr char ABOUT_CAPTION[] = "\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93\x8F\xEE\x95\xF1";
constexpr char ABOUT_TEXT[] = "Tavrolinde\n\nVersion 1.0 (2005/02/28)\n\n" TAVROLINDE_COPYRIGHT;

// True while the About box is open. The dialog's own About button can be the auto-clicker's
// target: each tick would then open one more box inside the previous box's modal loop,
// until the thread's stack is spent, and the disabled dialog could not be reached to stop it.
bool g_aboutOpen = false;

void OnInitDialog(HWND hDlg)
{
    // Visible before the first listing, so the dialog lists itself.
    ShowWindow(hDlg, SW_SHOW);
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
    SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SetWindowPos(hDlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ListTopLevelWindows(hDlg);
}

void ShowAbout(HWND hDlg)
{
    if (g_aboutOpen)
        return;
    MSGBOXPARAMSA params;
    params.cbSize = sizeof(params);
    params.hwndOwner = hDlg;
    params.hInstance = GetModuleHandleA(nullptr);
    params.lpszText = ABOUT_TEXT;
    params.lpszCaption = ABOUT_CAPTION;
    params.dwStyle = MB_USERICON;
    params.lpszIcon = MAKEINTRESOURCEA(IDI_APP);
    params.dwContextHelpId = 0;
    params.lpfnMsgBoxCallback = nullptr;
    params.dwLanguageId = 0;
    g_aboutOpen = true;
    MessageBoxIndirectA(&params);
    g_aboutOpen = false;
}

void OnCommand(HWND hDlg, WORD id, WORD code)
{
    switch (id) {
    case IDCANCEL:
        DestroyWindow(hDlg);
        break;
    case IDC_ABOUT:
        ShowAbout(hDlg);
        break;
    case IDC_AUTO_CLICK:
        ToggleAutoClick(hDlg);
        break;
    case IDC_REFRESH:
        RefreshWindowLists(hDlg);
        break;
    }
    if (code == LBN_SELCHANGE && id == IDC_WINDOW_LIST)
        ListDescendantWindows(hDlg);
}

} // namespace

INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(hDlg);
        return FALSE;
    case WM_COMMAND:
        OnCommand(hDlg, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        ClickSelectedWindow(hDlg);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hDlg);
        return TRUE;
    case WM_DESTROY:
        // The timer stops before the quit message, so no tick follows the dialog's end.
        StopAutoClick(hDlg);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

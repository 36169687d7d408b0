// The start-up baseline: the program's own dialog, from the same template with the
// same manifest and icon, shown and made topmost the same way and run by the same
// message loop, but listing nothing. It is what starting Tavrolinde costs at the least.
#include <windows.h>

#include "res/resource.h"

namespace {

constexpr int EXIT_NO_DIALOG = 1;

INT_PTR CALLBACK MinimalDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        ShowWindow(hDlg, SW_SHOW);
        HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
        SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SetWindowPos(hDlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            DestroyWindow(hDlg);
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

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int showCommand)
{
    HWND hDlg =
        CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MinimalDlgProc, 0);
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

#include <windows.h>

#include "dialog/dialog.h"
#include "res/resource.h"

// Exit code when the dialog cannot be created, for instance without its template.
constexpr int EXIT_NO_DIALOG = 1;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int showCommand)
{
    HWND hDlg = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
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

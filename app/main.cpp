#include <windows.h>

#include "dialog/dialog.h"
#include "res/resource.h"

// Exit code when the dialog cannot be created, for instance without its template.
constexpr int EXIT_NO_DIALOG = 1;
// Exit code when the message loop fails instead of ending with the quit message.
constexpr int EXIT_LOOP_FAILED = 2;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int showCommand)
{
    HWND hDlg = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDlgProc, 0);
    if (hDlg == nullptr)
        return EXIT_NO_DIALOG;

    ShowWindow(hDlg, showCommand);
    UpdateWindow(hDlg);

    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        if (!IsDialogMessageA(hDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return got == 0 ? static_cast<int>(msg.wParam) : EXIT_LOOP_FAILED;
}

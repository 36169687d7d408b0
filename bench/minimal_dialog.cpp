// The start-up baseline: the program's own dialog, from the same template with the
// same manifest and icon, shown and made topmost the same way and run by the same
// message loop, but listing nothing. It is what starting Tavrolinde costs at the least.
//   minimal_dialog.exe             lists nothing
//   minimal_dialog.exe enumerate   also runs the bare top-level enumeration where
//                                  Tavrolinde runs its top-level listing: at start-up
//                                  and at every Refresh command
// The second form is the floor of the top-level listing in a dialog process like
// Tavrolinde's, at the moments the listing runs there.
#include <windows.h>
#include <string.h>

#include "bench/bare.h"
#include "res/resource.h"

namespace {

constexpr int EXIT_NO_DIALOG = 1;
constexpr char ENUMERATE_ARGUMENT[] = "enumerate";

bool g_enumerate = false;

// The number of windows that pass the filters, or 0 when nothing is enumerated.
int Enumerate()
{
    return g_enumerate ? BareTopLevel() : 0;
}

INT_PTR CALLBACK MinimalDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        ShowWindow(hDlg, SW_SHOW);
        HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
        SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SetWindowPos(hDlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        Enumerate();
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            DestroyWindow(hDlg);
        else if (LOWORD(wParam) == IDC_REFRESH)
            // The count answers the command, so the benchmark sees the work was done.
            SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, Enumerate());
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
    g_enumerate = strcmp(commandLine, ENUMERATE_ARGUMENT) == 0;
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

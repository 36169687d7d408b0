#include <windows.h>

#include "autoclick/autoclick.h"
#include "res/resource.h"

void ToggleAutoClick(HWND hDlg)
{
    if (IsDlgButtonChecked(hDlg, IDC_AUTO_CLICK) == BST_CHECKED)
        SetTimer(hDlg, CLICK_TIMER_ID, CLICK_INTERVAL_MS, nullptr);
    else
        KillTimer(hDlg, CLICK_TIMER_ID);
}

void ClickSelectedWindow(HWND hDlg)
{
    LRESULT selected = SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return;
    HWND target = reinterpret_cast<HWND>(
        SendDlgItemMessageA(hDlg, IDC_CHILD_LIST, LB_GETITEMDATA, selected, 0));
    SetForegroundWindow(GetParent(target));
    SetForegroundWindow(target);
    // Posted, never sent: a hung target cannot block the dialog.
    PostMessageA(target, WM_LBUTTONDOWN, 0, 0);
    PostMessageA(target, WM_LBUTTONUP, 0, 0);
}

void StopAutoClick(HWND hDlg)
{
    KillTimer(hDlg, CLICK_TIMER_ID);
}

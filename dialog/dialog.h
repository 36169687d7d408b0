// The main dialog: its dialog procedure, handed to the platform when the dialog is created.
#pragma once
#include <windows.h>

INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

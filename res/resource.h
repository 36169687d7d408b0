// Identifiers of the resources and controls, shared by the resource script and the code.
#pragma once

#define IDD_MAIN 101

#define IDI_APP 5
#define IDI_APP_SMALL 104

// The Exit button is the platform's IDCANCEL (2), so Esc closes the dialog.
#define IDC_ABOUT 3
#define IDC_WINDOW_LIST 1001
#define IDC_CHILD_LIST 1002
#define IDC_AUTO_CLICK 1003
#define IDC_REFRESH 1004

// The maker's notice: the version block's LegalCopyright and the About box's last line.
#define TAVROLINDE_COPYRIGHT "Copyright (C) 2026 The Tavrolinde developers. MIT License."

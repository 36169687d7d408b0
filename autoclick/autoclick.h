// The auto-clicker: while the toggle is pressed in, a one-second timer on the dialog clicks
// the window selected in the descendant list.
#pragma once
#include <windows.h>

constexpr UINT_PTR CLICK_TIMER_ID = 0;
constexpr UINT CLICK_INTERVAL_MS = 1000;

// Arms or disarms the timer by the toggle's state, which the platform has already flipped.
void ToggleAutoClick(HWND hDlg);
// One tick: brings the selected descendant's parent and then the descendant forward and
// posts it a left-button press and release. Does nothing without a selection.
void ClickSelectedWindow(HWND hDlg);
// Stops the timer; harmless when it does not run.
void StopAutoClick(HWND hDlg);

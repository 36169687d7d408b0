// Helpers several test programs share: window and list lookups, message pumping, paths
// beside the test program, and the processes a test starts.
#pragma once

#include <windows.h>

#include <string>

// Path of `name` in the folder of this test program, where the build puts every program.
std::string BinPath(const std::string &name);

// The real main dialog, modeless in this process, from the real template.
HWND CreateMainDialog();

// Index of the entry of `list` whose item data is `datum`; -1 when none is.
int IndexOf(HWND list, HWND datum);

// Text of entry `index` of a list, also one of another process, in the ANSI code page.
std::string ListText(HWND list, int index);

// Delivers whatever is queued for this thread, posted messages included.
void Pump();

// Job that ends every process put in it once this process ends, even when it is killed.
HANDLE KillOnExitJob();

// Ends a started process still running, with exit code 0xDEAD, then closes its handles.
void EndProcess(PROCESS_INFORMATION &info);

// Helpers several test programs share: window and list lookups, message pumping, paths
// beside the test program, and the processes a test starts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Path of `name` in the folder of this test program, where the build puts every program.
std::string BinPath(const std::string &name);

// Bits of the system the tests run on, as TAVROLINDE_SYSTEM_BITS gives them (32 when it
// is not set), and so of the programs whose windows they list and click. On a 64-bit
// system Tavrolinde runs under WoW64, as on its users' machines.
int SystemBits();

// Bits of a running process.
int ProcessBits(HANDLE process);

// The program with the fixture windows, built for the system's bits.
std::string FixturePath();

// The real main dialog, modeless in this process, from the real template.
HWND CreateMainDialog();

// Index of the entry of `list` whose item data is `datum`; -1 when none is.
int IndexOf(HWND list, HWND datum);

// Every top-level window, in the order EnumWindows gives them.
std::vector<HWND> TopLevelWindows();

// Every descendant of `parent`, in the order EnumChildWindows gives them.
std::vector<HWND> DescendantWindows(HWND parent);

// Selects the upper entry of this process's dialog that carries `window` and announces the
// change, as a click does; false when no entry carries it.
bool SelectInUpperList(HWND hDlg, HWND window);

// Text of entry `index` of a list, also one of another process, in the ANSI code page.
std::string ListText(HWND list, int index);

// Delivers whatever is queued for this thread, posted messages included.
void Pump();

// Job that ends every process put in it once this process ends, even when it is killed.
HANDLE KillOnExitJob();

// Ends a started process still running, with exit code 0xDEAD, then closes its handles.
void EndProcess(PROCESS_INFORMATION &info);

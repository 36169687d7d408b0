// The benchmark's tools: statistics, the clock, the processes it starts (Tavrolinde,
// the minimal dialog, the window fixture), driving Tavrolinde's dialog from outside as
// a user would, and processor and memory readings of another process.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "bench/bench_shared.h"

struct Summary {
    int runs;
    double median;
    double min;
    double max;
    double mean;
    double deviation;
};

Summary Summarize(const std::vector<double> &values);

// Milliseconds on the performance counter, which every process of the machine shares.
double NowMs();
double CounterToMs(LONGLONG counter);

// Progress on the standard error, so the report on the standard output stays clean.
void Progress(const char *format, ...);
// A formatted string, cut at 1 KiB.
std::string Format(const char *format, ...);

// A program of the build, started from the benchmark's own folder.
bool Launch(const char *program, const char *arguments, PROCESS_INFORMATION *process);
// Ends a program at once and waits until it is gone. A graceful exit of a Wine process
// takes about two seconds, which would dominate a benchmark that starts many.
void End(PROCESS_INFORMATION *process);
// Size in bytes of a file in the benchmark's folder, or -1.
long long FileSize(const char *name);

struct Fixture {
    PROCESS_INFORMATION process;
    HANDLE mapping;
    HANDLE ready;
    BenchShared *shared;
};

// Starts bench_windows.exe with the given kind and count and waits until its windows
// exist and are painted.
bool StartFixture(const char *kind, int count, Fixture *fixture);
void StopFixture(Fixture *fixture);

// Waits until the process shows Tavrolinde's dialog, visible, with an upper list that
// answers and, when entries are needed, holds at least one; null after the timeout or
// when the process ends. visibleMs is when the dialog was first seen visible: the
// dialog shows itself right before its start-up listing, and the list answers right
// after it.
HWND WaitForDialog(const PROCESS_INFORMATION &process, bool needsEntries, DWORD timeoutMs,
                   double *visibleMs);

// Has every pending paint of the dialog and its controls done before returning (see
// bench_util.cpp for why this captures "painted").
void FlushPaint(HWND hDlg);
// True when a control of the dialog still waits to be painted.
bool HasPendingPaint(HWND hDlg);

// A message sent to another process's window, waiting at most ten minutes.
LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Index of the entry whose item datum is the window, or -1.
int FindEntry(HWND list, HWND window);
// Selects a window in the upper list and notifies the dialog as a click would; false
// when the window is not listed.
bool SelectTopLevel(HWND hDlg, HWND window);
// Sends the Refresh button's command.
void PressRefresh(HWND hDlg);

// Processor time (kernel and user) of a process so far, in milliseconds.
double ProcessorMs(DWORD processId);
// Working set and page-file usage of a process, in KiB.
double WorkingSetKiB(HANDLE process);
double PagefileKiB(HANDLE process);

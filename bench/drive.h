// Driving and timing: the clock, the processes the benchmark starts (Tavrolinde, the
// minimal dialog, the window fixture), Tavrolinde's dialog driven from outside as a
// user would drive it, and processor and memory readings of another process.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "bench/bench_shared.h"

constexpr char TAVROLINDE[] = "Tavrolinde.exe";
constexpr char MINIMAL_DIALOG[] = "minimal_dialog.exe";
// The minimal dialog's argument for running the bare top-level enumeration.
constexpr char ENUMERATE[] = "enumerate";
// Pauses after a program ends and after a case is set up, so that the system's work
// for them is not counted in the next run.
constexpr DWORD SETTLE_MS = 100;
constexpr DWORD SETTLE_CASE_MS = 1000;

// Milliseconds on the performance counter, which every process of the machine shares.
double NowMs();
double CounterToMs(LONGLONG counter);

// Progress on the standard error, so the report on the standard output stays clean.
void Progress(const char *format, ...);
// Ends the benchmark with a message on the standard error.
[[noreturn]] void Fail(const char *what);
// A formatted string, cut at 1 KiB.
std::string Format(const char *format, ...);
// A file in the benchmark's folder, opened with fopen's mode; null when it cannot be.
FILE *OpenBeside(const char *name, const char *mode);

// Runs of a case: at least a few, then more up to the maximum while the case stays
// within its time budget (startMs is when it began).
constexpr int MIN_RUNS = 5;
bool MoreRuns(int done, int maximum, double startMs);

// A program of the build, started from the benchmark's own folder.
bool Launch(const char *program, const char *arguments, PROCESS_INFORMATION *process);
// Ends a program at once and waits until it is gone. A graceful exit of a Wine process
// takes about two seconds, which would dominate a benchmark that starts many.
void End(PROCESS_INFORMATION *process);

struct Fixture {
    PROCESS_INFORMATION process;
    HANDLE mapping;
    HANDLE ready;
    BenchShared *shared;
};

// Starts bench_windows.exe with the given kind and count and waits until its windows
// exist and are painted; ends the benchmark when it cannot.
void StartFixture(const char *kind, int count, Fixture *fixture);
void StopFixture(Fixture *fixture);

struct LaunchTimes {
    // From the launch until the dialog is visible, its list answering and painted.
    double launch;
    // From the dialog first seen visible until its list answers: the start-up
    // listing (or the bare enumeration) with the dialog's first paint.
    double listing;
};

// Starts a program of the build and waits until its dialog is visible with its upper
// list answering (for Tavrolinde: filled) and everything painted; times says how long.
HWND StartDialog(const char *program, const char *arguments, bool needsEntries,
                 PROCESS_INFORMATION *process, LaunchTimes *times = nullptr);
HWND StartTavrolinde(PROCESS_INFORMATION *process);
LaunchTimes TimeLaunch(const char *program, const char *arguments, bool needsEntries,
                       PROCESS_INFORMATION *process);
// Ends a launched program and lets the system finish its work for it.
void EndLaunch(PROCESS_INFORMATION *process);

// Has every pending paint of the dialog and its controls done before returning (see
// drive.cpp for why this captures "painted").
void FlushPaint(HWND hDlg);

// The timed listings of one case.
struct Listings {
    std::vector<double> ms;
    // From each command's return until the paint was done.
    std::vector<double> paint;
    // Those with a paint still pending after the wait for it.
    int paintsPending = 0;
};

// Sends a command to the dialog and times it until it is handled and painted.
void TimeListing(HWND hDlg, WPARAM wParam, LPARAM lParam, Listings *listings);

// A message sent to another process's window, waiting at most ten minutes.
LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Index of the entry whose item datum is the window, or -1.
int FindEntry(HWND list, HWND window);
// Selects a window in the upper list and notifies the dialog as a click would; ends
// the benchmark when the window is not listed.
void SelectTopLevel(HWND hDlg, HWND window);
// Selects the fixture's target in the upper list, then its one child in the lower one.
void PickTarget(HWND hDlg, const Fixture &fixture);
// Sends the Refresh button's command.
void PressRefresh(HWND hDlg);
// Ends the benchmark unless the lower list holds exactly this many entries.
void ExpectDescendants(HWND hDlg, int count);

// Processor time (kernel and user) of a process so far, in milliseconds.
double ProcessorMs(DWORD processId);

// Working set and page-file usage of a process, in KiB, one sample per reading.
struct MemorySamples {
    std::vector<double> workingSet;
    std::vector<double> pagefile;
};

void ReadMemory(HANDLE process, MemorySamples *samples);

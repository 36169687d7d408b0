// What the benchmark and its window fixture share: a named block of memory through
// which the fixture hands over its windows and records the clicks that its windows
// receive, and a named event that it sets once every window exists and is painted.
#pragma once
#include <windows.h>

// Suffixes appended to the base name that the benchmark gives the fixture.
constexpr char SHARED_MAPPING_SUFFIX[] = "-mapping";
constexpr char SHARED_READY_SUFFIX[] = "-ready";

// Clicks kept with their arrival time; later ones are only counted.
constexpr LONG MAX_RECORDED_CLICKS = 4096;

// Levels of every chain in a nested fixture: the container's child is the first.
constexpr int NESTED_CHAIN_DEPTH = 10;

// Titles of the fixture's top-level windows, as the upper list shows them.
constexpr char CONTAINER_TITLE_PREFIX[] = "Bench container";
constexpr char TARGET_TITLE[] = "Bench target";
constexpr char TOP_LEVEL_TITLE_PREFIX[] = "Bench top-level";

struct BenchShared {
    // The window whose descendants are listed; none for a top-level fixture.
    HWND container;
    // The target window, a top-level window with a single child...
    HWND targetParent;
    // ...which is the window to click.
    HWND target;
    // Left-button presses that any child of the fixture received.
    volatile LONG clicks;
    // Arrival of each press, in performance-counter units.
    LONGLONG clickTimes[MAX_RECORDED_CLICKS];
};

// The bare enumerations that the listings are measured against: every window's text
// and class read into buffers of the listings' size and, for the top-level windows,
// the upper list's filters tested, but nothing put in a list. The benchmark runs them
// in its own process; the minimal dialog runs the top-level one in a dialog process
// like Tavrolinde's.
#pragma once
#include <windows.h>

// Every descendant of the window; returns how many there are.
int BareDescendants(HWND parent);
// Every top-level window; returns how many pass the upper list's filters.
int BareTopLevel();

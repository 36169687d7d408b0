// What the window fixture program and the programs that drive it share: the private
// messages its windows answer and the shapes of window it makes.
#pragma once
#include <windows.h>

// Answered by every fixture window with the count of WM_LBUTTONDOWNs it has received.
constexpr UINT WM_FIXTURE_CLICKS = WM_APP;
// Sent or posted to any fixture window, ends the fixture process.
constexpr UINT WM_FIXTURE_QUIT = WM_APP + 1;

// Windows in each chain of a `chains` fixture: the top window's child is the first.
constexpr int FIXTURE_CHAIN_DEPTH = 10;

// The auto-clicker: the one-second click timer driven by the toggle.
#pragma once
#include <windows.h>

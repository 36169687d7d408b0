// The window lister: fills the dialog's two lists, each entry carrying its window's handle.
#pragma once
#include <windows.h>

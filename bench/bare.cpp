#include <windows.h>

#include "bench/bare.h"
#include "lister/lister.h"

namespace {

// The desktop's program manager, which the top-level listing leaves out.
constexpr char PROGRAM_MANAGER_CLASS[] = "Progman";

// The lengths are summed only so that no call can be left out as unused.
struct BareCount {
    int windows;
    int characters;
};

// The text and class of a window, into buffers of TEXT_BUFFER_CHARS.
void ReadWindow(HWND hwnd, char *text, char *className)
{
    GetWindowTextA(hwnd, text, TEXT_BUFFER_CHARS);
    GetClassNameA(hwnd, className, TEXT_BUFFER_CHARS);
}

BOOL CALLBACK BareDescendantProc(HWND hwnd, LPARAM lParam)
{
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    ReadWindow(hwnd, text, className);
    auto *count = reinterpret_cast<BareCount *>(lParam);
    ++count->windows;
    count->characters += lstrlenA(text) + lstrlenA(className);
    return TRUE;
}

BOOL CALLBACK BareTopLevelProc(HWND hwnd, LPARAM lParam)
{
    char text[TEXT_BUFFER_CHARS];
    char className[TEXT_BUFFER_CHARS];
    ReadWindow(hwnd, text, className);
    if (IsWindowVisible(hwnd) && lstrlenA(text) > 0 &&
        lstrcmpA(className, PROGRAM_MANAGER_CLASS) != 0) {
        auto *count = reinterpret_cast<BareCount *>(lParam);
        ++count->windows;
        count->characters += lstrlenA(text);
    }
    return TRUE;
}

} // namespace

int BareDescendants(HWND parent)
{
    BareCount count = {};
    EnumChildWindows(parent, BareDescendantProc, reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

int BareTopLevel()
{
    BareCount count = {};
    EnumWindows(BareTopLevelProc, reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

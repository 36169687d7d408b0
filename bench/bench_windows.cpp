// Windows for the benchmark to list and click, in a process of their own as another
// application's would be:
//   bench_windows.exe BASE flat N       a window with N children
//   bench_windows.exe BASE nested N     a window with N descendants in chains ten deep
//   bench_windows.exe BASE toplevel N   N visible, titled top-level windows
//   bench_windows.exe BASE target 0     only the target
// Every kind also makes the target: a top-level window with one child that records
// the arrival of each left-button press. BASE names the shared block and the event
// (bench_shared.h). The process runs until it is ended.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bench/bench_shared.h"

namespace {

constexpr char CONTAINER_CLASS[] = "BenchContainer";
constexpr char ITEM_CLASS[] = "BenchItem";
constexpr char TOP_LEVEL_CLASS[] = "BenchTopLevel";

constexpr int EXIT_BAD_ARGUMENTS = 2;
constexpr int EXIT_NO_SHARED = 3;

// Children are small squares in a grid, so thousands of them fit in the container.
constexpr int ITEM_SIZE = 6;
constexpr int ITEM_COLUMNS = 64;
constexpr int ITEM_ROWS = 40;
constexpr int NESTED_ITEM_SIZE = 4;

// Extra top-level windows are small and tile the screen.
constexpr int TOP_LEVEL_WIDTH = 120;
constexpr int TOP_LEVEL_HEIGHT = 40;
constexpr int TOP_LEVEL_COLUMNS = 10;
constexpr int TOP_LEVEL_ROWS = 24;

constexpr int TITLE_CHARS = 64;

BenchShared *g_shared = nullptr;

LRESULT CALLBACK ItemProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        LONG index = g_shared->clicks;
        if (index < MAX_RECORDED_CLICKS)
            g_shared->clickTimes[index] = now.QuadPart;
        // The time is stored before the count that makes it visible to the benchmark.
        InterlockedIncrement(&g_shared->clicks);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = CONTAINER_CLASS;
    RegisterClassA(&wc);
    wc.lpszClassName = TOP_LEVEL_CLASS;
    RegisterClassA(&wc);
    wc.lpfnWndProc = ItemProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = ITEM_CLASS;
    RegisterClassA(&wc);
}

HWND CreateItem(HWND parent, int number, int x, int y, int size)
{
    char text[TITLE_CHARS];
    snprintf(text, sizeof(text), "Item %d", number);
    return CreateWindowExA(0, ITEM_CLASS, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, size,
                           size, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

HWND CreateContainer(const char *kind, int count)
{
    char title[TITLE_CHARS];
    snprintf(title, sizeof(title), "%s %s %d", CONTAINER_TITLE_PREFIX, kind, count);
    return CreateWindowExA(0, CONTAINER_CLASS, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                           ITEM_COLUMNS * ITEM_SIZE + 16, ITEM_ROWS * ITEM_SIZE + 40, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

int GridX(int cell)
{
    return (cell % ITEM_COLUMNS) * ITEM_SIZE;
}

int GridY(int cell)
{
    return (cell / ITEM_COLUMNS % ITEM_ROWS) * ITEM_SIZE;
}

void CreateFlat(HWND container, int count)
{
    for (int i = 0; i < count; ++i)
        CreateItem(container, i, GridX(i), GridY(i), ITEM_SIZE);
}

// Chains of NESTED_CHAIN_DEPTH windows, each a child of the one before.
void CreateNested(HWND container, int count)
{
    int number = 0;
    for (int chain = 0; number < count; ++chain) {
        HWND parent = CreateItem(container, number++, GridX(chain), GridY(chain), ITEM_SIZE);
        for (int level = 1; level < NESTED_CHAIN_DEPTH && number < count; ++level)
            parent = CreateItem(parent, number++, 0, 0, NESTED_ITEM_SIZE);
    }
}

void CreateTopLevels(int count)
{
    for (int i = 0; i < count; ++i) {
        char title[TITLE_CHARS];
        snprintf(title, sizeof(title), "%s %04d", TOP_LEVEL_TITLE_PREFIX, i);
        int cell = i % (TOP_LEVEL_COLUMNS * TOP_LEVEL_ROWS);
        HWND hwnd =
            CreateWindowExA(0, TOP_LEVEL_CLASS, title, WS_OVERLAPPED | WS_CAPTION,
                            (cell % TOP_LEVEL_COLUMNS) * TOP_LEVEL_WIDTH,
                            (cell / TOP_LEVEL_COLUMNS) * TOP_LEVEL_HEIGHT, TOP_LEVEL_WIDTH,
                            TOP_LEVEL_HEIGHT, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
        UpdateWindow(hwnd);
    }
}

void CreateTarget()
{
    g_shared->targetParent =
        CreateWindowExA(0, CONTAINER_CLASS, TARGET_TITLE, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                        400, 200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    g_shared->target = CreateItem(g_shared->targetParent, 0, 10, 10, 40);
    ShowWindow(g_shared->targetParent, SW_SHOWNOACTIVATE);
    UpdateWindow(g_shared->targetParent);
}

// Handles what showing and painting the windows left in the queue, so the fixture is
// quiet when the benchmark starts measuring.
void DrainMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc != 4)
        return EXIT_BAD_ARGUMENTS;
    const char *base = __argv[1];
    const char *kind = __argv[2];
    int count = atoi(__argv[3]);

    char name[MAX_PATH];
    snprintf(name, sizeof(name), "%s%s", base, SHARED_MAPPING_SUFFIX);
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (mapping == nullptr)
        return EXIT_NO_SHARED;
    g_shared = static_cast<BenchShared *>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(BenchShared)));
    if (g_shared == nullptr)
        return EXIT_NO_SHARED;

    RegisterClasses(instance);
    if (strcmp(kind, "flat") == 0 || strcmp(kind, "nested") == 0) {
        HWND container = CreateContainer(kind, count);
        if (strcmp(kind, "flat") == 0)
            CreateFlat(container, count);
        else
            CreateNested(container, count);
        ShowWindow(container, SW_SHOWNOACTIVATE);
        RedrawWindow(container, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        g_shared->container = container;
    } else if (strcmp(kind, "toplevel") == 0) {
        CreateTopLevels(count);
    } else if (strcmp(kind, "target") != 0) {
        return EXIT_BAD_ARGUMENTS;
    }
    CreateTarget();
    DrainMessages();

    snprintf(name, sizeof(name), "%s%s", base, SHARED_READY_SUFFIX);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (ready == nullptr)
        return EXIT_NO_SHARED;
    SetEvent(ready);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

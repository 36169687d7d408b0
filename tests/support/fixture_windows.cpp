// Windows of a process of their own, for the tests to list and click. A top-level window
// of class FixtureTop, with children and grandchildren of class FixtureChild:
//   fixture_windows.exe EVENT text NAME     titled by the text NAME (see Text), holding a
//                                           child and a "Static" grandchild with that text
//   fixture_windows.exe EVENT tree N M      N children "child i", each with M grandchildren
//                                           "grandchild i.j"
//   fixture_windows.exe EVENT chains N      N descendants "item i" in chains of
//                                           FIXTURE_CHAIN_DEPTH, each the child of the one
//                                           before
//   fixture_windows.exe EVENT click [hang]  children "sibling 1", "target", "sibling 2";
//                                           with hang, the target's thread sleeps
//                                           FIXTURE_HANG_MS at its first WM_LBUTTONDOWN
//   fixture_windows.exe EVENT tops N        besides the top-level window, N more, visible
//                                           and titled "top i", none of them activated
// Every window records what it receives in the mapping named EVENT.record, which its driver
// made. Once the windows exist and their first paint is done, the fixture writes its
// top-level window there, sets the named event EVENT and runs until ended. WM_CLOSE destroys
// one window, the process going on; WM_FIXTURE_QUIT to any window ends the process.
#include <windows.h>
#include <stdlib.h>

#include <string>

#include "tests/support/fixture.h"

namespace {

HWND g_hangingTarget = nullptr;
MessageRecord *g_record = nullptr;
// How the fixture ends when it cannot make its windows: with arguments it does not know,
// or with no driver to tell that they are made.
constexpr int EXIT_BAD_ARGUMENTS = 2;
constexpr int EXIT_NO_DRIVER = 3;

std::wstring Wide(const std::string &ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// The hostile texts, by name: lengths around the 1024-byte buffer, printf directives,
// Japanese, and cuts at and inside a double-byte character.
std::wstring Text(const std::string &name)
{
    const std::wstring japanese =
        L"\u65E5\u672C\u8A9E\u306E\u30A6\u30A3\u30F3\u30C9\u30A6"; // 日本語のウィンドウ
    if (name == "printf")
        return L"%s%s%n%x%%";
    if (name == "japanese")
        return japanese;
    if (name == "dbcs1021") // the double-byte character ends at byte 1023
        return std::wstring(1021, L'a') + japanese;
    if (name == "dbcs1022") // byte 1023 is a lead byte
        return std::wstring(1022, L'a') + japanese;
    return Wide(Pattern(static_cast<size_t>(atoi(name.c_str()))));
}

LRESULT CALLBACK FixtureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordMessage(*g_record, hwnd, message, wParam, lParam);
    switch (message) {
    case WM_LBUTTONDOWN:
        if (hwnd == g_hangingTarget) {
            g_hangingTarget = nullptr;
            Sleep(FIXTURE_HANG_MS);
        }
        return 0;
    case WM_FIXTURE_QUIT:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND Make(const wchar_t *cls, const std::wstring &text, HWND parent, DWORD visible = WS_VISIBLE)
{
    const DWORD style = (parent ? WS_CHILD : WS_OVERLAPPEDWINDOW) | visible;
    return CreateWindowExW(0, cls, text.c_str(), style, 0, 0, 300, 200, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc < 3)
        return EXIT_BAD_ARGUMENTS;
    const std::string what = __argv[2];
    const std::string arg = __argc > 3 ? __argv[3] : "";
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE,
                                      (std::string(__argv[1]) + FIXTURE_RECORD_SUFFIX).c_str());
    g_record = mapping ? static_cast<MessageRecord *>(
                             MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(MessageRecord)))
                       : nullptr;
    if (g_record == nullptr || !WatchTakenMessages())
        return EXIT_NO_DRIVER;
    const std::wstring topClass = Wide(FIXTURE_TOP_CLASS), childClass = Wide(FIXTURE_CHILD_CLASS);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FixtureProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = topClass.c_str();
    RegisterClassW(&wc);
    wc.lpszClassName = childClass.c_str();
    RegisterClassW(&wc);

    // The top-level window is shown once its contents exist: made inside a hidden window,
    // thousands of windows take no paint each.
    HWND top =
        Make(topClass.c_str(), what == "text" ? Text(arg) : L"fixture " + Wide(what), nullptr, 0);
    if (what == "text") {
        Make(L"Static", Text(arg), Make(childClass.c_str(), Text(arg), top));
    } else if (what == "tree" && __argc > 4) {
        const int children = atoi(__argv[3]), grandchildren = atoi(__argv[4]);
        for (int i = 0; i < children; ++i) {
            HWND child = Make(childClass.c_str(), L"child " + std::to_wstring(i), top);
            for (int j = 0; j < grandchildren; ++j)
                Make(childClass.c_str(),
                     L"grandchild " + std::to_wstring(i) + L"." + std::to_wstring(j), child);
        }
    } else if (what == "chains") {
        const int count = atoi(arg.c_str());
        for (int made = 0; made < count;) {
            HWND parent = top;
            for (int level = 0; level < FIXTURE_CHAIN_DEPTH && made < count; ++level)
                parent = Make(childClass.c_str(), L"item " + std::to_wstring(made++), parent);
        }
    } else if (what == "tops") {
        const int count = atoi(arg.c_str());
        for (int i = 0; i < count; ++i)
            ShowWindow(Make(topClass.c_str(), L"top " + std::to_wstring(i), nullptr, 0),
                       SW_SHOWNOACTIVATE);
    } else if (what == "click") {
        Make(childClass.c_str(), L"sibling 1", top);
        HWND target = Make(childClass.c_str(), Wide(FIXTURE_TARGET), top);
        Make(childClass.c_str(), L"sibling 2", top);
        if (arg == "hang")
            g_hangingTarget = target;
    } else {
        return EXIT_BAD_ARGUMENTS;
    }
    ShowWindow(top, SW_SHOWNORMAL);

    // Showing and painting leave messages queued: handled now, the fixture is quiet
    // once it says it is ready.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    g_record->top = static_cast<UINT32>(HandleToLong(top));
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, __argv[1]);
    if (ready == nullptr)
        return EXIT_NO_DRIVER;
    SetEvent(ready);
    CloseHandle(ready);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

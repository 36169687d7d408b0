#include "tests/support.h"

#include <algorithm>

#include "dialog/dialog.h"
#include "res/resource.h"

namespace {

// Long enough for a terminated process to be gone on a shared machine.
constexpr DWORD END_WAIT_MS = 20000;
// Tells a process the test had to end from the program's own exit codes.
constexpr UINT KILLED_EXIT_CODE = 0xDEAD;

} // namespace

std::string BinPath(const std::string &name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.erase(folder.find_last_of("\\/") + 1) + name;
}

int SystemBits()
{
    char bits[4] = {};
    GetEnvironmentVariableA("TAVROLINDE_SYSTEM_BITS", bits, sizeof bits);
    return lstrcmpA(bits, "64") == 0 ? 64 : 32;
}

int ProcessBits(HANDLE process)
{
    // A 64-bit system runs 32-bit processes under WoW64 and its own natively.
    BOOL selfUnderWow64 = FALSE;
    BOOL underWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &selfUnderWow64);
    IsWow64Process(process, &underWow64);
    return selfUnderWow64 && !underWow64 ? 64 : 32;
}

std::string FixturePath()
{
    return BinPath(SystemBits() == 64 ? "fixture_windows64.exe" : "fixture_windows.exe");
}

HWND CreateMainDialog()
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                              MainDlgProc, 0);
}

int IndexOf(HWND list, HWND datum)
{
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (reinterpret_cast<HWND>(SendMessageA(list, LB_GETITEMDATA, i, 0)) == datum)
            return i;
    return -1;
}

std::string ListText(HWND list, int index)
{
    // Read as UTF-16 and converted here: Wine's ANSI LB_GETTEXT passes through a
    // 512-character buffer and crashes on longer entries.
    std::wstring wide(SendMessageW(list, LB_GETTEXTLEN, index, 0) + 1, L'\0');
    wide.resize(std::max<LRESULT>(
        0, SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&wide[0]))));
    std::string text(wide.size() * 2, '\0');
    text.resize(WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                    &text[0], static_cast<int>(text.size()), nullptr, nullptr));
    return text;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

HANDLE KillOnExitJob()
{
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    return job;
}

void EndProcess(PROCESS_INFORMATION &info)
{
    if (info.hProcess == nullptr)
        return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, KILLED_EXIT_CODE);
        WaitForSingleObject(info.hProcess, END_WAIT_MS);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

namespace {

BOOL CALLBACK CollectProc(HWND hwnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND> *>(lParam)->push_back(hwnd);
    return TRUE;
}

} // namespace

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> all;
    EnumWindows(CollectProc, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> DescendantWindows(HWND parent)
{
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectProc, reinterpret_cast<LPARAM>(&all));
    return all;
}

bool SelectInUpperList(HWND hDlg, HWND window)
{
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    const int index = IndexOf(upper, window);
    if (index < 0)
        return false;
    SendMessageA(upper, LB_SETCURSEL, index, 0);
    SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDC_WINDOW_LIST, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(upper));
    return true;
}

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <algorithm>
#include <cmath>
#include <ctype.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "bench/bench_util.h"
#include "res/resource.h"

namespace {

constexpr char DIALOG_CLASS[] = "#32770";
constexpr char DIALOG_TITLE[] = "Tavrolinde";
constexpr DWORD SEND_TIMEOUT_MS = 10 * 60 * 1000;
constexpr DWORD FIXTURE_TIMEOUT_MS = 5 * 60 * 1000;
constexpr DWORD IDLE_TIMEOUT_MS = 10 * 1000;
constexpr DWORD POLL_MS = 1;
constexpr int FORMAT_CHARS = 1024;

LONGLONG CounterFrequency()
{
    static LONGLONG frequency = 0;
    if (frequency == 0) {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        frequency = value.QuadPart;
    }
    return frequency;
}

void ProgramPath(const char *program, char *path, DWORD size)
{
    DWORD length = GetModuleFileNameA(nullptr, path, size);
    while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
        --length;
    path[length] = '\0';
    strncat(path, program, size - length - 1);
}

// Tavrolinde's dialog (or the minimal dialog's) in the given process. Searching by
// class and title leaves the filtering to the platform, so a poll costs little even
// among a thousand other windows.
HWND FindDialog(DWORD processId)
{
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(nullptr, hwnd, DIALOG_CLASS, DIALOG_TITLE)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == processId)
            return hwnd;
    }
    return nullptr;
}

} // namespace

Summary Summarize(const std::vector<double> &values)
{
    Summary summary = {};
    summary.runs = static_cast<int>(values.size());
    if (values.empty())
        return summary;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    size_t middle = sorted.size() / 2;
    summary.median = sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    summary.min = sorted.front();
    summary.max = sorted.back();
    double sum = 0;
    for (double value : sorted)
        sum += value;
    summary.mean = sum / sorted.size();
    double squares = 0;
    for (double value : sorted)
        squares += (value - summary.mean) * (value - summary.mean);
    summary.deviation = sorted.size() > 1 ? std::sqrt(squares / (sorted.size() - 1)) : 0;
    return summary;
}

double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return CounterToMs(now.QuadPart);
}

double CounterToMs(LONGLONG counter)
{
    return static_cast<double>(counter) * 1000.0 / static_cast<double>(CounterFrequency());
}

void Progress(const char *format, ...)
{
    // Also appended to a file beside the program, which scripts/bench.sh shows as it
    // grows: the standard error reaches the terminal only when the program ends.
    static FILE *log = nullptr;
    if (log == nullptr) {
        char path[MAX_PATH];
        ProgramPath("bench-progress.log", path, sizeof(path));
        log = fopen(path, "a");
    }
    char line[FORMAT_CHARS];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof(line), format, arguments);
    va_end(arguments);
    fprintf(stderr, "%s\n", line);
    fflush(stderr);
    if (log != nullptr) {
        fprintf(log, "%s\n", line);
        fflush(log);
    }
}

std::string Format(const char *format, ...)
{
    char text[FORMAT_CHARS];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

bool Launch(const char *program, const char *arguments, PROCESS_INFORMATION *process)
{
    char path[MAX_PATH];
    ProgramPath(program, path, sizeof(path));
    char commandLine[MAX_PATH * 2];
    snprintf(commandLine, sizeof(commandLine), "\"%s\" %s", path, arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process) != FALSE;
}

void End(PROCESS_INFORMATION *process)
{
    TerminateProcess(process->hProcess, 0);
    WaitForSingleObject(process->hProcess, INFINITE);
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    *process = {};
}

long long FileSize(const char *name)
{
    char path[MAX_PATH];
    ProgramPath(name, path, sizeof(path));
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {

// What ImportedLibraries reads: the file's bytes and, once they are found, its headers and
// section table, each checked to lie inside the file.
struct PeImage {
    std::vector<char> bytes;
    const IMAGE_NT_HEADERS32 *headers;
    const IMAGE_SECTION_HEADER *sections;
    WORD sectionCount;
};

// The bytes at an offset, or null when the file is too short for them.
const char *At(const PeImage &image, ULONGLONG offset, ULONGLONG size)
{
    ULONGLONG total = image.bytes.size();
    return offset <= total && size <= total - offset ? image.bytes.data() + offset : nullptr;
}

// The file offset of a relative virtual address, through the section that holds it;
// 0 when no section does.
ULONGLONG FileOffset(const PeImage &image, DWORD rva)
{
    for (WORD i = 0; i < image.sectionCount; ++i) {
        const IMAGE_SECTION_HEADER &section = image.sections[i];
        ULONGLONG start = section.VirtualAddress;
        ULONGLONG size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
        if (rva >= start && rva < start + size)
            return rva - start + section.PointerToRawData;
    }
    return 0;
}

// Reads the headers and the section table; false when the file is no 32-bit PE image.
bool ReadHeaders(PeImage *image)
{
    const auto *dos =
        reinterpret_cast<const IMAGE_DOS_HEADER *>(At(*image, 0, sizeof(IMAGE_DOS_HEADER)));
    if (dos == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0)
        return false;
    image->headers = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(
        At(*image, static_cast<ULONGLONG>(dos->e_lfanew), sizeof(IMAGE_NT_HEADERS32)));
    const IMAGE_NT_HEADERS32 *headers = image->headers;
    if (headers == nullptr || headers->Signature != IMAGE_NT_SIGNATURE ||
        headers->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC ||
        headers->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT)
        return false;
    ULONGLONG table = static_cast<ULONGLONG>(dos->e_lfanew) +
                      offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                      headers->FileHeader.SizeOfOptionalHeader;
    image->sectionCount = headers->FileHeader.NumberOfSections;
    image->sections = reinterpret_cast<const IMAGE_SECTION_HEADER *>(At(
        *image, table, static_cast<ULONGLONG>(image->sectionCount) * sizeof(IMAGE_SECTION_HEADER)));
    return image->sections != nullptr;
}

} // namespace

std::vector<std::string> ImportedLibraries(const char *name)
{
    std::vector<std::string> libraries;
    char path[MAX_PATH];
    ProgramPath(name, path, sizeof(path));
    FILE *file = fopen(path, "rb");
    if (file == nullptr)
        return libraries;
    PeImage image = {};
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof(chunk), file)) > 0;)
        image.bytes.insert(image.bytes.end(), chunk, chunk + got);
    fclose(file);
    if (!ReadHeaders(&image))
        return libraries;

    const IMAGE_DATA_DIRECTORY *directories = image.headers->OptionalHeader.DataDirectory;
    DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    ULONGLONG first = rva != 0 ? FileOffset(image, rva) : 0;
    for (ULONGLONG offset = first; offset != 0; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto *entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(
            At(image, offset, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
        ULONGLONG nameOffset = entry != nullptr ? FileOffset(image, entry->Name) : 0;
        const char *text = nameOffset != 0 ? At(image, nameOffset, 1) : nullptr;
        if (text == nullptr)
            break;
        std::string library(text, strnlen(text, image.bytes.data() + image.bytes.size() - text));
        for (char &c : library)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        libraries.push_back(library);
    }
    // Libraries loaded on first use count as imports too; this reader names them only as such.
    if (directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size != 0)
        libraries.push_back("(libraries loaded on first use)");
    std::sort(libraries.begin(), libraries.end());
    return libraries;
}

bool StartFixture(const char *kind, int count, Fixture *fixture)
{
    static int serial = 0;
    char base[MAX_PATH];
    snprintf(base, sizeof(base), "TavrolindeBench-%lu-%d", GetCurrentProcessId(), ++serial);
    char name[MAX_PATH];
    snprintf(name, sizeof(name), "%s%s", base, SHARED_MAPPING_SUFFIX);
    *fixture = {};
    fixture->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(BenchShared), name);
    fixture->shared = static_cast<BenchShared *>(
        MapViewOfFile(fixture->mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(BenchShared)));
    snprintf(name, sizeof(name), "%s%s", base, SHARED_READY_SUFFIX);
    fixture->ready = CreateEventA(nullptr, TRUE, FALSE, name);
    if (fixture->shared == nullptr || fixture->ready == nullptr)
        return false;

    char arguments[MAX_PATH];
    snprintf(arguments, sizeof(arguments), "%s %s %d", base, kind, count);
    if (!Launch("bench_windows.exe", arguments, &fixture->process))
        return false;
    HANDLE waits[2] = {fixture->ready, fixture->process.hProcess};
    if (WaitForMultipleObjects(2, waits, FALSE, FIXTURE_TIMEOUT_MS) != WAIT_OBJECT_0)
        return false;
    WaitForInputIdle(fixture->process.hProcess, IDLE_TIMEOUT_MS);
    return true;
}

void StopFixture(Fixture *fixture)
{
    if (fixture->process.hProcess != nullptr)
        End(&fixture->process);
    if (fixture->shared != nullptr)
        UnmapViewOfFile(fixture->shared);
    if (fixture->mapping != nullptr)
        CloseHandle(fixture->mapping);
    if (fixture->ready != nullptr)
        CloseHandle(fixture->ready);
    *fixture = {};
}

HWND WaitForDialog(const PROCESS_INFORMATION &process, bool needsEntries, DWORD timeoutMs,
                   double *visibleMs)
{
    double deadline = NowMs() + timeoutMs;
    *visibleMs = 0;
    while (NowMs() < deadline) {
        HWND hDlg = FindDialog(process.dwProcessId);
        // The dialog is found before its controls exist: it counts once it is visible
        // and its upper list answers. The list answers only between messages, so
        // while the start-up listing runs the answer waits for its end.
        HWND list = hDlg != nullptr ? GetDlgItem(hDlg, IDC_WINDOW_LIST) : nullptr;
        if (list != nullptr && IsWindowVisible(hDlg)) {
            if (*visibleMs == 0)
                *visibleMs = NowMs();
            DWORD_PTR count = 0;
            if (SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, timeoutMs, &count) &&
                (!needsEntries || (count != static_cast<DWORD_PTR>(LB_ERR) && count > 0)))
                return hDlg;
        }
        if (WaitForSingleObject(process.hProcess, POLL_MS) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

// "Painted" means that no window of the dialog has a paint pending or under way. A
// listing that keeps its list from redrawing while it fills leaves the list invalid
// when the selection command returns, and the program paints it at its next idle
// moment. A message sent or posted to the dialog alone would not wait for that: the
// program handles sent and posted messages before it paints. RedrawWindow with
// RDW_UPDATENOW from another process sends WM_PAINT to every window of the dialog that
// waits for one and, the messages being sent, returns only after the program has
// handled them. If the program had already begun that paint on its own, the update
// region is already empty and RedrawWindow returns at once; the WM_NULL sent after it
// is handled only once the program is back in its message loop, so at the end of
// that paint. The round trip of WM_NULL (about a tenth of a millisecond) is counted.
void FlushPaint(HWND hDlg)
{
    RedrawWindow(hDlg, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Send(hDlg, WM_NULL, 0, 0);
}

bool HasPendingPaint(HWND hDlg)
{
    if (GetUpdateRect(hDlg, nullptr, FALSE))
        return true;
    for (HWND child = GetWindow(hDlg, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (GetUpdateRect(child, nullptr, FALSE))
            return true;
    return false;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_NORMAL, SEND_TIMEOUT_MS, &result);
    return static_cast<LRESULT>(result);
}

int FindEntry(HWND list, HWND window)
{
    int count = static_cast<int>(Send(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (reinterpret_cast<HWND>(Send(list, LB_GETITEMDATA, i, 0)) == window)
            return i;
    return -1;
}

bool SelectTopLevel(HWND hDlg, HWND window)
{
    HWND list = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    int index = FindEntry(list, window);
    if (index < 0)
        return false;
    Send(list, LB_SETCURSEL, index, 0);
    Send(hDlg, WM_COMMAND, MAKEWPARAM(IDC_WINDOW_LIST, LBN_SELCHANGE),
         reinterpret_cast<LPARAM>(list));
    return true;
}

void PressRefresh(HWND hDlg)
{
    Send(hDlg, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED),
         reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDC_REFRESH)));
}

// Summed over the threads of the process. GetProcessTimes would be the call, but
// Wine answers it, for any process, with the processor time of the caller; the
// threads' times are read from the system for the thread asked about.
double ProcessorMs(DWORD processId)
{
    double total = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr)
            continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
            ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
            total += static_cast<double>(k.QuadPart + u.QuadPart) / 10000.0;
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return total;
}

double WorkingSetKiB(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process, &counters, sizeof(counters));
    return static_cast<double>(counters.WorkingSetSize) / 1024.0;
}

double PagefileKiB(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process, &counters, sizeof(counters));
    return static_cast<double>(counters.PagefileUsage) / 1024.0;
}

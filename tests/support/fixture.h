// What the window fixture program and the programs that drive it share: the names of its
// windows, the message that ends it, and the one recorder of what a window receives, kept
// by the fixture in memory its driver reads and by the tests for their own windows.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

constexpr char FIXTURE_TOP_CLASS[] = "FixtureTop";
constexpr char FIXTURE_CHILD_CLASS[] = "FixtureChild";
// The text of the `click` fixture's child that the tests pick to be clicked, and how long a
// `click hang` fixture's target hangs at its first press.
constexpr char FIXTURE_TARGET[] = "target";
constexpr DWORD FIXTURE_HANG_MS = 10000;
// Sent or posted to any fixture window, ends the fixture process.
constexpr UINT WM_FIXTURE_QUIT = WM_APP;
// Windows in each chain of a `chains` fixture: the top window's child is the first.
constexpr int FIXTURE_CHAIN_DEPTH = 10;
// The fixture's record is the mapping named after its ready event with this suffix.
constexpr char FIXTURE_RECORD_SUFFIX[] = ".record";

// Printable text that does not repeat within 94 bytes, so that a shifted cut shows.
inline std::string Pattern(size_t length, int seed = 0)
{
    std::string text(length, ' ');
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>('!' + (i * 7 + seed) % 94);
    return text;
}

// Messages a record holds; a record past them fails every comparison.
constexpr LONG RECORD_CAPACITY = 1024;

// The record's layout is the same for 32- and 64-bit programs, which share it on a 64-bit
// system: handles are 32 bits significant on both sides.
struct RecordedMessage {
    UINT64 wParam;
    INT64 lParam;
    UINT32 hwnd;
    UINT32 message;
    UINT32 posted;
    UINT32 unused;
};

struct MessageRecord {
    UINT32 top; // the fixture's top-level window, written before it says it is ready
    volatile LONG count;
    RecordedMessage messages[RECORD_CAPACITY];
};
static_assert(sizeof(RecordedMessage) == 32 && offsetof(MessageRecord, messages) == 8);

// The mouse buttons and commands a recording window receives; the activation and the moves
// that come with a click are left out.
inline bool IsRecorded(UINT message)
{
    return (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK) || message == WM_COMMAND;
}

// The message this thread last took from its queue: a window procedure that is handed it
// handles a posted message, any other comes through a send.
inline MSG g_taken = {};

inline LRESULT CALLBACK TakenProc(int code, WPARAM removed, LPARAM lParam)
{
    if (code == HC_ACTION && removed == PM_REMOVE)
        g_taken = *reinterpret_cast<const MSG *>(lParam);
    return CallNextHookEx(nullptr, code, removed, lParam);
}

// Watches this thread's queue, so that the record can tell posted messages from sent ones.
inline bool WatchTakenMessages()
{
    static HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, TakenProc, nullptr, GetCurrentThreadId());
    return hook != nullptr;
}

// Appends what a recording window's procedure is handed, if it is recorded.
inline void RecordMessage(MessageRecord &record, HWND hwnd, UINT message, WPARAM wParam,
                          LPARAM lParam)
{
    if (!IsRecorded(message))
        return;
    const bool posted = !InSendMessage() && g_taken.hwnd == hwnd && g_taken.message == message &&
                        g_taken.wParam == wParam && g_taken.lParam == lParam;
    g_taken = {};
    const LONG at = record.count;
    if (at < RECORD_CAPACITY)
        record.messages[at] = {static_cast<UINT64>(wParam),
                               static_cast<INT64>(lParam),
                               static_cast<UINT32>(HandleToLong(hwnd)),
                               message,
                               posted,
                               0};
    InterlockedIncrement(&record.count);
}

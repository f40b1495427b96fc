// The display libraries draw on a thread of their own, which ends itself a
// moment after its display has gone. A test program that ends while such a
// thread is still talking to the X server can hang in Wine's process exit
// until wineserver kills it, and the test is counted as failed. So before a
// test program ends, every display of this process is told that its time is
// up (the message the controller's hiding step posts) and its thread is
// given a few seconds to end.
//
// Linked into each test program itself, so the linker keeps it.

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "companions/osdview/osd_screen.h"
#include "osd/osd_record.h"

namespace {

constexpr DWORD SETTLE_LIMIT_MS = 5000;
constexpr DWORD POLL_MS = 20;
// ThreadQuerySetWin32StartAddress of NtQueryInformationThread.
constexpr ULONG THREAD_START_ADDRESS_CLASS = 9;

using QueryThread = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

bool IsDisplayLibrary(HMODULE module)
{
    return GetProcAddress(module, OSD_TEXT_EXPORT) || GetProcAddress(module, OSD_TEXT_EXPORT_A) ||
           GetProcAddress(module, OSD_IMAGE_EXPORT) || GetProcAddress(module, OSD_IMAGE_EXPORT_A);
}

struct ModuleRange {
    const char* Begin;
    const char* End;
};

std::vector<ModuleRange> DisplayLibraries()
{
    std::vector<ModuleRange> ranges;
    HMODULE modules[256];
    DWORD bytes = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof(modules), &bytes)) {
        return ranges;
    }
    const DWORD count = bytes / sizeof(HMODULE) < 256 ? bytes / sizeof(HMODULE) : 256;
    for (DWORD i = 0; i < count; ++i) {
        MODULEINFO info{};
        if (IsDisplayLibrary(modules[i]) &&
            GetModuleInformation(GetCurrentProcess(), modules[i], &info, sizeof(info))) {
            const char* base = static_cast<const char*>(info.lpBaseOfDll);
            ranges.push_back({base, base + info.SizeOfImage});
        }
    }
    return ranges;
}

// Threads of this process that began in a display library.
size_t DisplayThreadCount()
{
    static const auto query =
        reinterpret_cast<QueryThread>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread"));
    const std::vector<ModuleRange> libraries = DisplayLibraries();
    if (!query || libraries.empty()) {
        return 0;
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) {
            continue;
        }
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (!thread) {
            continue;
        }
        const char* start = nullptr;
        if (query(thread, THREAD_START_ADDRESS_CLASS, &start, sizeof(start), nullptr) == 0) {
            for (const ModuleRange& library : libraries) {
                count += start >= library.Begin && start < library.End;
            }
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return count;
}

// Tells each display once: every telling starts the thread's idle time anew.
BOOL CALLBACK EndDisplay(HWND window, LPARAM toldWindows)
{
    auto& told = *reinterpret_cast<std::vector<HWND>*>(toldWindows);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[64] = {};
    if (pid == GetCurrentProcessId() && GetClassNameA(window, className, sizeof(className)) &&
        std::strncmp(className, OSD_VIEW_CLASS_PREFIX, sizeof(OSD_VIEW_CLASS_PREFIX) - 1) == 0 &&
        std::find(told.begin(), told.end(), window) == told.end()) {
        PostMessageA(window, WM_TIMER, OSD_HIDE_TIMER_ID, 0);
        told.push_back(window);
    }
    return TRUE;
}

class DisplaySettle : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::vector<HWND> told;
        const DWORD start = GetTickCount();
        while (DisplayThreadCount() > 0 && GetTickCount() - start < SETTLE_LIMIT_MS) {
            EnumWindows(EndDisplay, reinterpret_cast<LPARAM>(&told));
            Sleep(POLL_MS);
        }
    }
};

const bool g_registered = (::testing::AddGlobalTestEnvironment(new DisplaySettle), true);

}  // namespace

// kovactl: talks to a running kova.exe from outside.
//
//   kovactl wait [ms]     wait until the main window exists; print it
//   kovactl close [ms]    post WM_CLOSE, wait for the process to end and
//                         print its exit code (the tool's own exit code too)
//
// Exit code 2 means the main window was not found in time.

#include <windows.h>

#include "core/messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD DEFAULT_TIMEOUT_MS = 15000;

HWND FindMainWindow()
{
    HWND window = FindWindowA(MAIN_WINDOW_CLASS, nullptr);
    return window ? window : FindWindowA(KEYBOARD_WINDOW_CLASS, nullptr);
}

HWND WaitForMainWindow(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindMainWindow()) {
            return window;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(50);
    }
}

int Wait(DWORD timeoutMs)
{
    HWND window = WaitForMainWindow(timeoutMs);
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    char cls[128] = {};
    GetClassNameA(window, cls, sizeof(cls));
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("main window \"%s\" of process %lu, %s\n", cls, pid, IsWindowVisible(window) ? "visible" : "hidden");
    return 0;
}

int Close(DWORD timeoutMs)
{
    HWND window = FindMainWindow();
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    DWORD start = GetTickCount();
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (!process || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        std::printf("kova did not end within %lu ms\n", timeoutMs);
        if (process) {
            CloseHandle(process);
        }
        return 3;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    std::printf("kova ended after %lu ms with exit code %lu\n", GetTickCount() - start, code);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kovactl wait|close [ms]\n");
        return 64;
    }
    DWORD timeout = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : DEFAULT_TIMEOUT_MS;
    if (std::strcmp(argv[1], "wait") == 0) {
        return Wait(timeout);
    }
    if (std::strcmp(argv[1], "close") == 0) {
        return Close(timeout);
    }
    std::fprintf(stderr, "unknown command %s\n", argv[1]);
    return 64;
}

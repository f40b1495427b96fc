// kovactl: talks to a running kova.exe from outside.
//
//   kovactl wait [ms]     wait until the main window exists; print it
//   kovactl close [ms]    post WM_CLOSE, wait for the process to end and
//                         print its exit code (the tool's own exit code too)
//   kovactl register N    register a window of the tool as target number N
//                         (WM_COPYDATA, as the client library does); print
//                         kova's answer
//   kovactl endsession    tell kova the Windows session ends (it answers
//                         the query, then blanks the remote's display)
//
// Exit code 2 means the main window was not found in time.

#include <windows.h>

#include "config/target_window_table.h"
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

int Register(unsigned number)
{
    HWND window = FindMainWindow();
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    // A window of our own to be the target; it goes when the tool ends.
    HWND own = CreateWindowExA(0, "STATIC", "kovactl", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    TargetWindowRegistration registration{};
    registration.hOwnerWnd = own;
    registration.ucId = static_cast<uint8_t>(number);
    registration.uMsg = 0x10;
    registration.dwCtrl = 0x00010000;
    COPYDATASTRUCT copy{};
    copy.cbData = sizeof(registration);
    copy.lpData = &registration;
    LRESULT answer = SendMessageA(window, WM_COPYDATA, COPYDATA_REGISTER_WINDOW, reinterpret_cast<LPARAM>(&copy));
    std::printf("registration of window %p as number %u answered %s\n", static_cast<void*>(own), number,
                answer ? "TRUE" : "FALSE");
    return answer ? 0 : 1;
}

int EndSession()
{
    HWND window = FindMainWindow();
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    LRESULT allowed = SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    SendMessageA(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    std::printf("WM_QUERYENDSESSION answered %s; WM_ENDSESSION sent (session goes on)\n", allowed ? "TRUE" : "FALSE");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kovactl wait|close [ms] | register N | endsession\n");
        return 64;
    }
    DWORD timeout = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : DEFAULT_TIMEOUT_MS;
    if (std::strcmp(argv[1], "wait") == 0) {
        return Wait(timeout);
    }
    if (std::strcmp(argv[1], "close") == 0) {
        return Close(timeout);
    }
    if (std::strcmp(argv[1], "register") == 0 && argc > 2) {
        return Register(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
    }
    if (std::strcmp(argv[1], "endsession") == 0) {
        return EndSession();
    }
    std::fprintf(stderr, "unknown command %s\n", argv[1]);
    return 64;
}

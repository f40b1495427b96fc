// The reference of the start-up benchmark: a Windows program that does
// nothing but create one top-level window and wait for WM_CLOSE, started
// the same way as kova.exe. With "--threads N" it first starts idle threads
// until it has N in all: the memory reference for a program of kova's
// thread count.

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK EmptyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI IdleThread(void*)
{
    Sleep(INFINITE);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    constexpr int THREADS_MAX = 64;
    const char* threads = std::strstr(commandLine, "--threads ");
    for (int n = threads ? std::min(std::atoi(threads + 10), THREADS_MAX) : 1; n > 1; --n) {
        HANDLE thread = CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
        if (thread) {
            CloseHandle(thread);
        }
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = EmptyProc;
    wc.hInstance = instance;
    wc.lpszClassName = "KovaBenchEmptyProgram";
    RegisterClassA(&wc);
    CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    return 0;
}

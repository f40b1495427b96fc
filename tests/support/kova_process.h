#pragma once
// Runs kova.exe (or another staged program) as a real process in the prefix
// and watches it from outside: its window, its exit code.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// Path of a file in the program folder, where the build stages kova.exe and
// its companions.
std::string StagedPath(const char* fileName);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // ends a process that is still running

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program with the given arguments; extra variables are added to
    // this process's environment for the child.
    bool Start(const std::string& program, const std::string& arguments,
               const std::vector<std::pair<std::string, std::string>>& environment = {});

    // Waits until the process has a top-level window of that class.
    HWND WaitForWindow(const char* className, DWORD timeoutMs) const;
    // Waits for the exit; true with its code when it ended in time.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    bool IsRunning() const;
    DWORD Id() const { return m_pid; }
    HANDLE Handle() const { return m_process; }

    void Terminate();

private:
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
};

// The top-level window of a class that belongs to a process, or null.
HWND FindProcessWindow(DWORD pid, const char* className);

// Whole-process tests write the program's settings into the prefix's real
// registry; this removes HKLM and HKCU "Software\Orlan" before and after.
class CleanOrlanRegistry {
public:
    CleanOrlanRegistry();
    ~CleanOrlanRegistry();
    static void Wipe();
};

// Polls cond every 20 ms until it holds or the time is up.
template <typename Cond>
bool WaitUntil(Cond cond, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (cond()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return cond();
        }
        // Keep this thread's own windows responsive while waiting.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(20);
    }
}

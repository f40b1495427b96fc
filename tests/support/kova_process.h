#pragma once
// Runs kova.exe (or another staged program) as a real process in the prefix
// and watches it from outside: its window, its exit code.

#include <windows.h>

#include "base/messages.h"
#include "tests/support/pump.h"

#include <gtest/gtest.h>

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

// Whole-process tests of kova.exe: the program's settings wiped before and
// after, kova.exe started, and closed the way the shell closes it.
class KovaProcessTest : public ::testing::Test {
protected:
    // Starting takes a few seconds on a loaded machine, never this long.
    static constexpr DWORD START_TIMEOUT_MS = 20000;
    // Each watcher may take 5.5 s to end; the rest of the shut-down is quick.
    static constexpr DWORD SHUTDOWN_LIMIT_MS = 2 * 5500 + 2000;

    CleanOrlanRegistry clean;
    ChildProcess kova;

    // Starts kova.exe with args and waits for its main window of windowClass
    // (a failure of the test when it does not come).
    HWND StartKova(const std::string& args = "", const char* windowClass = MAIN_WINDOW_CLASS);
    // WM_CLOSE, then kova.exe must end within SHUTDOWN_LIMIT_MS with exit code 0.
    void CloseAndExpectCleanExit(HWND window);
};

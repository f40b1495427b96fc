#include "tests/support/kova_process.h"

#include <cstring>
#include <map>

std::string StagedPath(const char* fileName)
{
    return std::string(KOVA_STAGE_DIR_WIN) + "\\" + fileName;
}

ChildProcess::~ChildProcess()
{
    Terminate();
}

bool ChildProcess::Start(const std::string& program, const std::string& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment)
{
    Terminate();
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty()) {
        commandLine += " " + arguments;
    }

    // The child's environment: ours, with the extra variables set or replaced.
    std::map<std::string, std::string> vars;
    if (LPCH block = GetEnvironmentStringsA()) {
        for (const char* p = block; *p; p += std::strlen(p) + 1) {
            const char* eq = std::strchr(p + 1, '=');  // "=C:" style entries start with '='
            if (eq) {
                vars[std::string(p, eq)] = eq + 1;
            }
        }
        FreeEnvironmentStringsA(block);
    }
    for (const auto& [name, value] : environment) {
        vars[name] = value;
    }
    std::string envBlock;
    for (const auto& [name, value] : vars) {
        envBlock += name + "=" + value;
        envBlock.push_back('\0');
    }
    envBlock.push_back('\0');

    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string mutableLine = commandLine;
    if (!CreateProcessA(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, envBlock.data(), nullptr, &si,
                        &pi)) {
        return false;
    }
    CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
    return true;
}

namespace {

struct FindData {
    DWORD pid;
    const char* className;
    HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param)
{
    auto* data = reinterpret_cast<FindData*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != data->pid) {
        return TRUE;
    }
    char cls[256] = {};
    GetClassNameA(window, cls, sizeof(cls));
    if (std::strcmp(cls, data->className) == 0) {
        data->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const char* className)
{
    FindData data{pid, className, nullptr};
    EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&data));
    if (!data.found) {
        // Message-only and hidden windows are enumerated as well by FindWindowEx.
        HWND w = nullptr;
        while ((w = FindWindowExA(nullptr, w, className, nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid) {
                return w;
            }
        }
    }
    return data.found;
}

HWND ChildProcess::WaitForWindow(const char* className, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindProcessWindow(m_pid, className);
            return found != nullptr || !IsRunning();
        },
        timeoutMs);
    return found;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!m_process || WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    if (exitCode) {
        *exitCode = code;
    }
    return true;
}

bool ChildProcess::IsRunning() const
{
    return m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Terminate()
{
    if (m_process) {
        if (IsRunning()) {
            TerminateProcess(m_process, 0xDEAD);
            WaitForSingleObject(m_process, 5000);
        }
        CloseHandle(m_process);
        m_process = nullptr;
        m_pid = 0;
    }
}

CleanOrlanRegistry::CleanOrlanRegistry() { Wipe(); }
CleanOrlanRegistry::~CleanOrlanRegistry() { Wipe(); }

void CleanOrlanRegistry::Wipe()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Orlan");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Orlan");
}

HWND KovaProcessTest::StartKova(const std::string& args, const char* windowClass)
{
    EXPECT_TRUE(kova.Start(StagedPath("kova.exe"), args)) << "CreateProcess failed with " << GetLastError();
    HWND window = kova.WaitForWindow(windowClass, START_TIMEOUT_MS);
    EXPECT_NE(window, nullptr) << "kova.exe did not create its main window";
    return window;
}

void KovaProcessTest::CloseAndExpectCleanExit(HWND window)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD code = 0xFFFF;
    ASSERT_TRUE(kova.WaitForExit(SHUTDOWN_LIMIT_MS, &code)) << "kova.exe did not end in time after WM_CLOSE";
    EXPECT_EQ(code, 0u);
}

#include "tests/dde/dde_watch.h"

#include "tests/support/kova_process.h"

#include <cstdio>
#include <fstream>

namespace {

LONG g_clients = 0;

std::string TempFile(const char* kind)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    char path[MAX_PATH] = {};
    std::snprintf(path, sizeof(path), "%sddewatch-%lu-%ld.%s", temp, GetCurrentProcessId(),
                  InterlockedIncrement(&g_clients), kind);
    return path;
}

HANDLE InheritableFile(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    // Only whole lines: the client may be writing the next one.
    while (std::getline(in, line) && !in.eof()) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

DdeWatch::DdeWatch(const std::string& arguments)
    : m_textPath(TempFile("out")), m_statusPath(TempFile("err"))
{
    HANDLE out = InheritableFile(m_textPath);
    HANDLE err = InheritableFile(m_statusPath);
    std::string program = StagedPath("ddewatch.exe");
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
        CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        m_process = pi.hProcess;
    }
    if (out != INVALID_HANDLE_VALUE) {
        CloseHandle(out);
    }
    if (err != INVALID_HANDLE_VALUE) {
        CloseHandle(err);
    }
}

DdeWatch::~DdeWatch()
{
    if (m_process) {
        if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process, 0xDEAD);
            WaitForSingleObject(m_process, 5000);
        }
        CloseHandle(m_process);
    }
    DeleteFileA(m_textPath.c_str());
    DeleteFileA(m_statusPath.c_str());
}

std::vector<std::string> DdeWatch::Texts() const
{
    return ReadLines(m_textPath);
}

std::vector<std::string> DdeWatch::Status() const
{
    return ReadLines(m_statusPath);
}

std::string DdeWatch::Transcript() const
{
    std::string all = "stderr:";
    for (const std::string& line : Status()) {
        all += "\n  " + line;
    }
    all += "\nstdout:";
    for (const std::string& line : Texts()) {
        all += "\n  " + line;
    }
    return all;
}

bool DdeWatch::WaitForStatus(const std::string& part, DWORD timeoutMs) const
{
    return WaitUntil(
        [&] {
            for (const std::string& line : Status()) {
                if (line.find(part) != std::string::npos) {
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

bool DdeWatch::WaitForTexts(size_t count, DWORD timeoutMs) const
{
    return WaitUntil([&] { return Texts().size() >= count; }, timeoutMs);
}

DWORD DdeWatch::WaitForExit(DWORD timeoutMs) const
{
    if (!m_process || !WaitUntil([&] { return WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0; }, timeoutMs)) {
        return ~0u;
    }
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    return code;
}

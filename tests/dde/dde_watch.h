#pragma once
// ddewatch.exe started as a separate process, a real DDE client: its texts
// (stdout) and its status lines (stderr) go to files of their own that the
// test reads while it keeps handling its own thread's messages, which is
// where the server of the test process answers.

#include <windows.h>

#include <string>
#include <vector>

// Generous: a DDE connection is a broadcast that every top-level window of the
// session, busy or not, gets to answer first.
constexpr DWORD DDE_WAIT_MS = 30000;

// ddewatch's exit codes.
constexpr DWORD DDEWATCH_DONE = 0;
constexpr DWORD DDEWATCH_NO_SERVER = 3;
constexpr DWORD DDEWATCH_ADVISE_REFUSED = 4;
constexpr DWORD DDEWATCH_NO_DATA = 5;
constexpr DWORD DDEWATCH_EXECUTE_REFUSED = 6;

class DdeWatch {
public:
    explicit DdeWatch(const std::string& arguments);
    ~DdeWatch();  // ends the client if it still runs

    DdeWatch(const DdeWatch&) = delete;
    DdeWatch& operator=(const DdeWatch&) = delete;

    bool Started() const { return m_process != nullptr; }
    std::vector<std::string> Texts() const;
    std::vector<std::string> Status() const;
    // Everything the client printed, for failure messages.
    std::string Transcript() const;

    // Each waits, handling this thread's messages meanwhile.
    bool WaitForStatus(const std::string& part, DWORD timeoutMs = DDE_WAIT_MS) const;
    bool WaitForTexts(size_t count, DWORD timeoutMs = DDE_WAIT_MS) const;
    // The exit code, or ~0u when the client did not end in time.
    DWORD WaitForExit(DWORD timeoutMs = DDE_WAIT_MS) const;

private:
    std::string m_textPath;
    std::string m_statusPath;
    HANDLE m_process = nullptr;
};

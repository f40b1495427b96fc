#pragma once
// What the latency benchmarks share: the performance counter, the report of
// a series of latencies, the main window of the kova.exe they started, and
// the bare relay they measure against: a thread that reads a pipe and posts
// a window message, timed from the pipe write to the window procedure, the
// floor that Wine and this machine set for any such path.

#include <windows.h>

#include "companions/vreceiver/virtual_receiver.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

int64_t Now();
double Microseconds(int64_t ticks);

// Dispatches this thread's messages until flag is nonzero; false when the
// time was up first.
bool PumpUntil(const int64_t& flag, DWORD timeoutMs);

// One line: count, median, 99th percentile and maximum, in microseconds.
void Report(const char* name, std::vector<int64_t> samples, size_t wanted);

// The main window of class className of process pid; null when it did not
// come in time.
HWND WaitForMainWindow(DWORD pid, const char* className, DWORD timeoutMs);

// kova.exe from the program folder on a virtual receiver hosted in the
// benchmark: a classic receiver's vendor collection (number 3, 8-byte
// reports). The receiver comes first: kova registers for its device notices
// when it starts.
class BenchKova {
public:
    explicit BenchKova(const std::string& receiverName);
    ~BenchKova();  // WM_CLOSE, the process's end awaited, the receiver stopped

    BenchKova(const BenchKova&) = delete;
    BenchKova& operator=(const BenchKova&) = delete;

    // The receiver listens with its collection plugged.
    bool ReceiverReady() const { return m_ready; }
    // Starts kova.exe with the environment as it is now; true once its main
    // window (of mainWindowClass) exists and it has opened the collection.
    bool Start(const char* mainWindowClass);
    HWND Window() const { return m_window; }
    // One input report to the collection; false when it reached no handle.
    bool Send(const uint8_t* report, size_t size);

private:
    std::atomic<int> m_opened{0};
    VirtualReceiver m_receiver;
    bool m_ready = false;
    PROCESS_INFORMATION m_process{};
    HWND m_window = nullptr;
};

class BareRelay {
public:
    BareRelay() = default;
    ~BareRelay();

    BareRelay(const BareRelay&) = delete;
    BareRelay& operator=(const BareRelay&) = delete;

    bool Start();
    // One 8-byte write through the relay, its message handled by this
    // thread's loop; the latency in counter ticks, or -1.
    int64_t Once();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI ReaderMain(void* context);

    HANDLE m_server = INVALID_HANDLE_VALUE;
    HANDLE m_client = INVALID_HANDLE_VALUE;
    HWND m_window = nullptr;
    HANDLE m_thread = nullptr;
};

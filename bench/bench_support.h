#pragma once
// What the benchmarks share: the performance counter, the bare relay (a
// thread that reads a pipe and posts a window message: the floor of this
// machine for a report reaching a window), the receiver's identity in the
// prefix's registry for the length of a run, and kova.exe started and
// found as in the field.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

int64_t Now();
int64_t TicksPerSecond();
double Microseconds(int64_t ticks);

// The bare relay. Each message posted carries the report's first 8 bytes
// after its ID in lParam.
constexpr UINT WM_RELAYED = WM_APP + 1;
struct Relay {
    HANDLE Server = INVALID_HANDLE_VALUE;
    HANDLE Client = INVALID_HANDLE_VALUE;  // the writing end
    HWND Window = nullptr;
    HANDLE Thread = nullptr;
    std::atomic<bool> Stop{false};
    std::atomic<int64_t> Relayed{0};  // when the window last saw a message
    std::atomic<uint32_t> Count{0};   // messages the window saw
};
// reportLength: the size of each report the relay reads.
bool StartRelay(Relay& relay, DWORD reportLength);
void StopRelay(Relay& relay);
// One write through the relay, its latency in counter ticks, or -1.
int64_t RelayOnce(Relay& relay);

// The receiver's identity (vendor and product of entry 1) in the prefix's
// registry for the run; whatever was there before comes back afterwards.
class IdentityForTheRun {
public:
    IdentityForTheRun(uint32_t vendor, uint32_t product);
    ~IdentityForTheRun();

private:
    struct Saved {
        bool Present = false;
        DWORD Value = 0;
    };
    static void Save(const char* name, Saved* saved);
    static void Set(const char* name, DWORD value);
    static void Restore(const char* name, const Saved& saved);

    bool m_orlanExisted = false;
    Saved m_product;
    Saved m_vendor;
};

// kova.exe's main window of process pid, or null after timeoutMs.
HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs);

// The command line of a program in the program folder.
std::string StagedCommandLine(const char* fileName);

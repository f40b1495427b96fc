// Press-to-screen latency through the whole program: kova.exe runs as in the
// field (test mode, no settings but the receiver's identity) on a virtual
// receiver hosted here; each press is written to the receiver's pipe and
// timed until the display library is called to show the button's name (the
// library's journal line carries the performance counter at the call).
// In the same run, and interleaved with it, a bare relay: a thread that
// reads a pipe and posts a window message, timed from the pipe write to the
// window procedure. The difference is what kova itself adds.
//
//   press_latency [--count N]

#include <windows.h>

#include "bench/bench_support.h"
#include "base/messages.h"
#include "companions/journal/journal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t BENCH_VENDOR = 0x0BDA;
constexpr uint32_t BENCH_PRODUCT = 0x0150;
constexpr char IDENTITY_KEY[] = "Software\\Orlan\\Kova";
constexpr char ORLAN_KEY[] = "Software\\Orlan";
constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD SHOW_TIMEOUT_MS = 5000;
// The wake check reads the receiver 3 s after the start: measure after it.
constexpr DWORD SETTLE_MS = 4000;

// --- kova.exe ------------------------------------------------------------

// Reads the lines the display libraries add to the journal.
class JournalTail {
public:
    explicit JournalTail(std::string path) : m_path(std::move(path)) {}

    // The counter of the next display call journalled; -1 when none came in
    // time.
    int64_t WaitForDisplay(DWORD timeoutMs)
    {
        const DWORD start = GetTickCount();
        for (;;) {
            ReadMore();
            size_t end;
            while ((end = m_pending.find('\n')) != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                const size_t qpc = line.find(" qpc=");
                if (line.rfind("orlanosd.dll OnScreen_Display", 0) == 0 && qpc != std::string::npos) {
                    return std::strtoll(line.c_str() + qpc + 5, nullptr, 10);
                }
            }
            if (GetTickCount() - start > timeoutMs) {
                return -1;
            }
            Sleep(1);
        }
    }

private:
    void ReadMore()
    {
        HANDLE file = CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return;
        }
        LARGE_INTEGER offset;
        offset.QuadPart = m_offset;
        SetFilePointerEx(file, offset, nullptr, FILE_BEGIN);
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            m_pending.append(buffer, read);
            m_offset += read;
        }
        CloseHandle(file);
    }

    std::string m_path;
    int64_t m_offset = 0;
    std::string m_pending;
};

// The receiver's identity in the prefix's registry for the run; whatever
// was there before comes back afterwards.
class IdentityForTheRun {
public:
    IdentityForTheRun()
    {
        HKEY key = nullptr;
        m_orlanExisted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ORLAN_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (key) {
            RegCloseKey(key);
        }
        Save("ProductID1", &m_product);
        Save("VendorID1", &m_vendor);
        Set("ProductID1", BENCH_PRODUCT);
        Set("VendorID1", BENCH_VENDOR);
    }
    ~IdentityForTheRun()
    {
        if (!m_orlanExisted) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, ORLAN_KEY);
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, ORLAN_KEY);
            return;
        }
        Restore("ProductID1", m_product);
        Restore("VendorID1", m_vendor);
    }

private:
    struct Saved {
        bool Present = false;
        DWORD Value = 0;
    };
    static void Save(const char* name, Saved* saved)
    {
        DWORD size = sizeof(saved->Value);
        saved->Present = RegGetValueA(HKEY_LOCAL_MACHINE, IDENTITY_KEY, name, RRF_RT_REG_DWORD, nullptr,
                                      &saved->Value, &size) == ERROR_SUCCESS;
    }
    static void Set(const char* name, DWORD value)
    {
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, IDENTITY_KEY, name, REG_DWORD, &value, sizeof(value));
    }
    static void Restore(const char* name, const Saved& saved)
    {
        if (saved.Present) {
            Set(name, saved.Value);
        } else {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, IDENTITY_KEY, name);
        }
    }

    bool m_orlanExisted = false;
    Saved m_product;
    Saved m_vendor;
};

}  // namespace

int main(int argc, char** argv)
{
    uint32_t count = 300;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0) {
            count = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        }
    }
    IdentityForTheRun identity;
    BenchKova kova("press-bench-" + std::to_string(GetCurrentProcessId()));
    if (!kova.ReceiverReady()) {
        return 1;
    }

    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string journal = std::string(temp) + "kova-press-bench-" + std::to_string(GetCurrentProcessId()) + ".log";
    DeleteFileA(journal.c_str());
    SetEnvironmentVariableA(JOURNAL_ENV, journal.c_str());
    SetEnvironmentVariableA(JOURNAL_CLOCK_ENV, "1");

    bool ok = kova.Start(MAIN_WINDOW_CLASS);
    Sleep(SETTLE_MS);

    BareRelay relay;
    ok = ok && relay.Start();
    JournalTail displays(journal);
    std::vector<int64_t> throughKova;
    std::vector<int64_t> bare;
    for (uint32_t i = 0; ok && i < count; ++i) {
        const int64_t relayed = relay.Once();
        if (relayed >= 0) {
            bare.push_back(relayed);
        }
        // NextTrack and PrevTrack by turns, each released before the next.
        const uint8_t press[8] = {2, static_cast<uint8_t>(i % 2 ? 2 : 1)};
        const uint8_t release[8] = {2};
        const int64_t sent = Now();
        if (!kova.Send(press, sizeof(press))) {
            break;
        }
        const int64_t shown = displays.WaitForDisplay(SHOW_TIMEOUT_MS);
        if (shown > 0) {
            throughKova.push_back(shown - sent);
        }
        kova.Send(release, sizeof(release));
        Sleep(10);
    }

    std::printf("press to display library, %u presses (Wine, a virtual receiver):\n", count);
    Report("kova.exe, receiver to OSD", throughKova, count);
    Report("bare pipe-to-window relay", bare, count);
    std::fflush(stdout);

    DeleteFileA(journal.c_str());
    return ok && throughKova.size() == count ? 0 : 1;
}

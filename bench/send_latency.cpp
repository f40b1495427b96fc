// Press-to-command latency on a configured machine: kova.exe runs its
// working key controller on a virtual receiver hosted here, with a full
// target table: 255 configured entries and 255 registered windows (windows
// of this program), the target being the last registered, so the last entry
// of the table. Each press of MCE Start (media-center code 13) is written to
// the receiver's pipe and timed until the target's window procedure gets
// its command. In the same run, and interleaved with it, the bare relay
// (bench_support.h).
//
//   send_latency [--count N] [--all-in-category | --running]
//
// By default only the target wants the press's category: the press scans
// the whole table and posts to the target alone. With --all-in-category
// every entry wants it: each press looks for the 255 configured
// applications (none of which runs) by class and title and posts to the 254
// other registered windows before the target. With --running the configured
// applications' 255 windows exist too (one class, 255 titles), and get the
// command as well.

#include <windows.h>

#include "bench/bench_support.h"
#include "base/messages.h"
#include "config/controls.h"
#include "config/target_window_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t BENCH_VENDOR = 0x0BDA;
constexpr uint32_t BENCH_PRODUCT = 0x0150;
constexpr char ORLAN_KEY[] = "Software\\Orlan";
constexpr char IDENTITY_KEY[] = "Software\\Orlan\\Kova";
constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD COMMAND_TIMEOUT_MS = 5000;
// Settle after the start (the wake check, the first display).
constexpr DWORD SETTLE_MS = 4000;

constexpr int CONFIGURED = TARGET_WINDOW_STATIC_MAX;
constexpr int REGISTERED = TARGET_WINDOW_STATIC_MAX;
// MCE Start posts command 4109 to category 0.
constexpr uint32_t PRESS_CATEGORY = 0x10000;
constexpr uint32_t OTHER_CATEGORIES = 0x7E0000;
constexpr uint32_t MCE_START_COMMAND = 4109;
constexpr uint32_t TARGET_NUMBER = 100;  // WM_APP + 100
constexpr uint32_t OTHER_NUMBER = 101;
constexpr char CONFIGURED_CLASS[] = "KovaBenchConfigured";
constexpr char REGISTERED_CLASS[] = "KovaBenchRegistered";

int64_t g_arrived = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TARGET_MESSAGE_BASE + TARGET_NUMBER && lParam == MCE_START_COMMAND) {
        g_arrived = Now();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* className, const std::string& title)
{
    return CreateWindowExA(0, className, title.c_str(), WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// --- The configured machine -------------------------------------------------

void SetDword(const char* key, const char* name, DWORD value)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, name, REG_DWORD, &value, sizeof(value));
}

void SetString(const char* key, const char* name, const std::string& value)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

enum class Table { TargetAlone, AllInCategory, Running };

void Configure(Table table)
{
    SetDword(IDENTITY_KEY, "ProductID1", BENCH_PRODUCT);
    SetDword(IDENTITY_KEY, "VendorID1", BENCH_VENDOR);
    SetDword(CONTROLS_KEY, "Test_Mode", 0);
    SetDword(CONTROLS_KEY, "ApResume", 0);
    SetDword(CONTROLS_KEY, "Vk_ApFore", 0);
    for (int n = 1; n <= CONFIGURED; ++n) {
        const std::string prefix = "Wnd" + std::to_string(n);
        // Applications that are not running have classes of their own that
        // no window has.
        SetString(TARGET_WINDOWS_KEY, (prefix + "_Class").c_str(),
                  table == Table::Running ? std::string(CONFIGURED_CLASS) : "KovaBenchAbsent" + std::to_string(n));
        SetString(TARGET_WINDOWS_KEY, (prefix + "_Title").c_str(), "configured " + std::to_string(n));
        SetDword(TARGET_WINDOWS_KEY, (prefix + "_Control").c_str(),
                 table == Table::TargetAlone ? OTHER_CATEGORIES : PRESS_CATEGORY);
        SetDword(TARGET_WINDOWS_KEY, (prefix + "_Msg").c_str(), OTHER_NUMBER);
    }
}

bool Register(HWND kova, HWND window, int number, uint32_t message, uint32_t categories)
{
    TargetWindowRegistration registration{};
    registration.hOwnerWnd = window;
    registration.ucId = static_cast<uint8_t>(number);
    registration.uMsg = message;
    registration.dwCtrl = categories;
    COPYDATASTRUCT copy{};
    copy.cbData = sizeof(registration);
    copy.lpData = &registration;
    return SendMessageA(kova, WM_COPYDATA, COPYDATA_REGISTER_WINDOW, reinterpret_cast<LPARAM>(&copy)) != 0;
}

// Runs kova.exe on the configured table with the registered windows and
// takes count presses and relays, interleaved; false when it could not.
bool Measure(Table table, uint32_t count, const std::vector<HWND>& registered, std::vector<int64_t>& throughKova,
             std::vector<int64_t>& bare)
{
    BenchKova kova("send-bench-" + std::to_string(GetCurrentProcessId()));
    if (!kova.ReceiverReady()) {
        return false;
    }
    Configure(table);

    bool ok = kova.Start(MAIN_WINDOW_CLASS);
    for (int n = 1; ok && n <= REGISTERED; ++n) {
        const bool isTarget = n == REGISTERED;
        ok = Register(kova.Window(), registered[n - 1], n, isTarget ? TARGET_NUMBER : OTHER_NUMBER,
                      isTarget || table != Table::TargetAlone ? PRESS_CATEGORY : OTHER_CATEGORIES);
    }
    Sleep(SETTLE_MS);

    BareRelay relay;
    ok = ok && relay.Start();
    const uint8_t press[8] = {4, 13};
    const uint8_t release[8] = {4};
    for (uint32_t i = 0; ok && i < count; ++i) {
        const int64_t relayed = relay.Once();
        if (relayed >= 0) {
            bare.push_back(relayed);
        }
        g_arrived = 0;
        const int64_t sent = Now();
        if (!kova.Send(press, sizeof(press))) {
            break;
        }
        if (PumpUntil(g_arrived, COMMAND_TIMEOUT_MS)) {
            throughKova.push_back(g_arrived - sent);
        }
        kova.Send(release, sizeof(release));
        // The other windows' commands of this press are handled before the next.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }

    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t count = 300;
    Table table = Table::TargetAlone;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
            count = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--all-in-category") == 0) {
            table = Table::AllInCategory;
        } else if (std::strcmp(argv[i], "--running") == 0) {
            table = Table::Running;
        }
    }

    // The benchmark writes a whole configuration: only onto a machine that
    // has none, which it leaves as it found it.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY existing = nullptr;
        if (RegOpenKeyExA(root, ORLAN_KEY, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
            RegCloseKey(existing);
            std::printf("%s\\%s exists: run the benchmark in a prefix without kova's settings\n",
                        root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU", ORLAN_KEY);
            return 1;
        }
    }

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = CONFIGURED_CLASS;
    RegisterClassA(&wc);
    wc.lpszClassName = REGISTERED_CLASS;
    RegisterClassA(&wc);
    std::vector<HWND> windows;
    for (int n = 1; table == Table::Running && n <= CONFIGURED; ++n) {
        windows.push_back(MakeWindow(CONFIGURED_CLASS, "configured " + std::to_string(n)));
    }
    std::vector<HWND> registered;
    for (int n = 1; n <= REGISTERED; ++n) {
        registered.push_back(MakeWindow(REGISTERED_CLASS, "registered " + std::to_string(n)));
    }

    std::vector<int64_t> throughKova;
    std::vector<int64_t> bare;
    const bool ok = Measure(table, count, registered, throughKova, bare);

    const char* tables[] = {"only the target in the press's category", "all in the press's category",
                            "all in the press's category, the configured applications running"};
    std::printf("press to target window, %u presses, 255 configured + 255 registered entries, the target last, %s:\n",
                count, tables[static_cast<int>(table)]);
    Report("kova.exe, receiver to target", throughKova, count);
    Report("bare pipe-to-window relay", bare, count);
    std::fflush(stdout);

    // The settings written here, and the registrations kova kept for them.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RegDeleteTreeA(root, ORLAN_KEY);
        RegDeleteKeyA(root, ORLAN_KEY);
    }
    for (HWND w : windows) {
        DestroyWindow(w);
    }
    for (HWND w : registered) {
        DestroyWindow(w);
    }
    return ok && throughKova.size() == count ? 0 : 1;
}

#include "bench/bench_support.h"

#include "base/folders.h"
#include "base/messages.h"

#include <cstring>

namespace {

constexpr char IDENTITY_KEY[] = "Software\\Orlan\\Kova";
constexpr char ORLAN_KEY[] = "Software\\Orlan";
constexpr char RELAY_WINDOW_CLASS[] = "KovaBenchRelay";

LARGE_INTEGER Frequency()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return frequency;
}

struct RelayThread {
    Relay* Owner;
    DWORD ReportLength;
};

LRESULT CALLBACK RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RELAYED) {
        auto* relay = reinterpret_cast<Relay*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        relay->Relayed = Now();
        ++relay->Count;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI RelayMain(void* context)
{
    RelayThread job = *static_cast<RelayThread*>(context);
    delete static_cast<RelayThread*>(context);
    uint8_t report[4096] = {};
    DWORD read = 0;
    while (!job.Owner->Stop && ReadFile(job.Owner->Server, report, job.ReportLength, &read, nullptr)) {
        LPARAM payload = 0;
        std::memcpy(&payload, report + 1, sizeof(payload));
        PostMessageA(job.Owner->Window, WM_RELAYED, 0, payload);
    }
    return 0;
}

}  // namespace

int64_t Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

int64_t TicksPerSecond() { return Frequency().QuadPart; }

double Microseconds(int64_t ticks)
{
    return 1e6 * static_cast<double>(ticks) / static_cast<double>(Frequency().QuadPart);
}

bool StartRelay(Relay& relay, DWORD reportLength)
{
    const std::string name = "\\\\.\\pipe\\kova_bench_relay_" + std::to_string(GetCurrentProcessId());
    relay.Server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                    0, 4096, 0, nullptr);
    relay.Client = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = RelayProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = RELAY_WINDOW_CLASS;
    RegisterClassA(&wc);
    relay.Window = CreateWindowExA(0, RELAY_WINDOW_CLASS, "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance,
                                   nullptr);
    if (relay.Server == INVALID_HANDLE_VALUE || relay.Client == INVALID_HANDLE_VALUE || !relay.Window ||
        reportLength > 4096) {
        return false;
    }
    SetWindowLongPtrA(relay.Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&relay));
    relay.Thread = CreateThread(nullptr, 0, RelayMain, new RelayThread{&relay, reportLength}, 0, nullptr);
    return relay.Thread != nullptr;
}

void StopRelay(Relay& relay)
{
    relay.Stop = true;
    if (relay.Client != INVALID_HANDLE_VALUE) {
        CloseHandle(relay.Client);  // the reader's ReadFile fails and it ends
    }
    if (relay.Thread) {
        WaitForSingleObject(relay.Thread, 5000);
        CloseHandle(relay.Thread);
    }
    if (relay.Server != INVALID_HANDLE_VALUE) {
        CloseHandle(relay.Server);
    }
    if (relay.Window) {
        DestroyWindow(relay.Window);
    }
}

int64_t RelayOnce(Relay& relay)
{
    const uint8_t report[8] = {2, 1};
    relay.Relayed = 0;
    const int64_t start = Now();
    DWORD written = 0;
    if (!WriteFile(relay.Client, report, sizeof(report), &written, nullptr)) {
        return -1;
    }
    MSG msg;
    while (relay.Relayed == 0 && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    return relay.Relayed - start;
}

IdentityForTheRun::IdentityForTheRun(uint32_t vendor, uint32_t product)
{
    HKEY key = nullptr;
    m_orlanExisted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ORLAN_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key) {
        RegCloseKey(key);
    }
    Save("ProductID1", &m_product);
    Save("VendorID1", &m_vendor);
    Set("ProductID1", product);
    Set("VendorID1", vendor);
}

IdentityForTheRun::~IdentityForTheRun()
{
    if (!m_orlanExisted) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, ORLAN_KEY);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, ORLAN_KEY);
        return;
    }
    Restore("ProductID1", m_product);
    Restore("VendorID1", m_vendor);
}

void IdentityForTheRun::Save(const char* name, Saved* saved)
{
    DWORD size = sizeof(saved->Value);
    saved->Present = RegGetValueA(HKEY_LOCAL_MACHINE, IDENTITY_KEY, name, RRF_RT_REG_DWORD, nullptr, &saved->Value,
                                  &size) == ERROR_SUCCESS;
}

void IdentityForTheRun::Set(const char* name, DWORD value)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, IDENTITY_KEY, name, REG_DWORD, &value, sizeof(value));
}

void IdentityForTheRun::Restore(const char* name, const Saved& saved)
{
    if (saved.Present) {
        Set(name, saved.Value);
    } else {
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, IDENTITY_KEY, name);
    }
}

HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        for (HWND w = FindWindowA(MAIN_WINDOW_CLASS, nullptr); w;
             w = FindWindowExA(nullptr, w, MAIN_WINDOW_CLASS, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid) {
                return w;
            }
        }
        Sleep(1);
    }
    return nullptr;
}

std::string StagedCommandLine(const char* fileName)
{
    char folder[MAX_PATH] = {};
    GetRemoteProgramDir(folder, sizeof(folder));
    return "\"" + std::string(folder) + "\\" + fileName + "\"";
}

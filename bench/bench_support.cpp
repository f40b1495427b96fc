#include "bench/bench_support.h"

#include "base/folders.h"
#include "hid/hid_backend.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <string>

namespace {

constexpr UINT WM_RELAYED = WM_APP + 1;
constexpr char RELAY_WINDOW_CLASS[] = "KovaBenchRelay";
constexpr DWORD RELAY_TIMEOUT_MS = 5000;
constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD END_TIMEOUT_MS = 20000;
constexpr uint32_t RECEIVER_COLLECTION = 3;
constexpr DWORD FLAT_OUT_TIMEOUT_MS = 60000;
constexpr size_t RELAY_REPORT_MAX = 64;
constexpr char IDENTITY_KEY[] = "Software\\Orlan\\Kova";
constexpr char ORLAN_KEY[] = "Software\\Orlan";

int64_t g_relayed = 0;
std::atomic<uint32_t> g_relayedCount{0};

struct FlatOutWriter {
    HANDLE Pipe;
    uint32_t Count;
    size_t Length;
};

DWORD WINAPI WriteFlatOut(void* context)
{
    const auto* job = static_cast<const FlatOutWriter*>(context);
    uint8_t report[RELAY_REPORT_MAX] = {2};
    for (uint32_t seq = 0; seq < job->Count; ++seq) {
        std::memcpy(report + 1, &seq, sizeof(seq));
        DWORD written = 0;
        if (!WriteFile(job->Pipe, report, static_cast<DWORD>(job->Length), &written, nullptr)) {
            return 1;
        }
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

int64_t TicksPerSecond()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    return frequency.QuadPart;
}

double Microseconds(int64_t ticks) { return 1e6 * static_cast<double>(ticks) / static_cast<double>(TicksPerSecond()); }

bool PumpUntil(const int64_t& flag, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    MSG msg;
    while (flag == 0) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
            continue;
        }
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void Report(const char* name, std::vector<int64_t> samples, size_t wanted)
{
    std::sort(samples.begin(), samples.end());
    auto pct = [&](double p) {
        return samples.empty() ? 0.0
                               : Microseconds(samples[std::min(samples.size() - 1, static_cast<size_t>(p * samples.size()))]);
    };
    std::printf("%-30s %5zu presses  median %8.1f us  p99 %8.1f us  max %8.1f us%s\n", name, samples.size(), pct(0.5),
                pct(0.99), samples.empty() ? 0.0 : Microseconds(samples.back()),
                samples.size() == wanted ? "" : "  (some lost)");
}

HWND WaitForMainWindow(DWORD pid, const char* className, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        for (HWND w = FindWindowA(className, nullptr); w; w = FindWindowExA(nullptr, w, className, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid) {
                return w;
            }
        }
        Sleep(50);
    }
    return nullptr;
}

std::string StagedCommandLine(const char* fileName)
{
    char folder[MAX_PATH] = {};
    GetRemoteProgramDir(folder, sizeof(folder));
    return "\"" + std::string(folder) + "\\" + fileName + "\"";
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

BenchKova::BenchKova(const std::string& receiverName)
    : m_receiver(receiverName, [this](const std::string& event) {
          if (event.rfind("opened 3 ", 0) == 0) {
              ++m_opened;
          }
      })
{
    std::string error;
    m_ready = m_receiver.Start() &&
              m_receiver.Execute("plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=8 feature=4", &error);
    if (!m_ready) {
        std::printf("cannot start the virtual receiver %s\n", error.c_str());
    }
    SetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, receiverName.c_str());
}

BenchKova::~BenchKova()
{
    if (m_window) {
        PostMessageA(m_window, WM_CLOSE, 0, 0);
    }
    if (m_process.hProcess) {
        if (WaitForSingleObject(m_process.hProcess, END_TIMEOUT_MS) != WAIT_OBJECT_0) {
            TerminateProcess(m_process.hProcess, 1);
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    m_receiver.Stop();
}

bool BenchKova::Start(const char* mainWindowClass)
{
    std::string commandLine = StagedCommandLine("kova.exe");
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    if (!m_ready ||
        !CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_process)) {
        std::printf("cannot start %s\n", commandLine.c_str());
        return false;
    }
    m_window = WaitForMainWindow(m_process.dwProcessId, mainWindowClass, START_TIMEOUT_MS);
    const DWORD start = GetTickCount();
    while (m_window && m_opened == 0 && GetTickCount() - start < START_TIMEOUT_MS) {
        Sleep(50);
    }
    return m_window && m_opened > 0;
}

bool BenchKova::Send(const uint8_t* report, size_t size)
{
    return m_receiver.SendInput(RECEIVER_COLLECTION, report, size) > 0;
}

BareRelay::~BareRelay()
{
    if (m_client != INVALID_HANDLE_VALUE) {
        CloseHandle(m_client);  // the reader's ReadFile fails and it ends
    }
    if (m_thread) {
        WaitForSingleObject(m_thread, RELAY_TIMEOUT_MS);
        CloseHandle(m_thread);
    }
    if (m_server != INVALID_HANDLE_VALUE) {
        CloseHandle(m_server);
    }
    if (m_window) {
        DestroyWindow(m_window);
    }
}

bool BareRelay::Start()
{
    const std::string name = "\\\\.\\pipe\\kova_bench_relay_" + std::to_string(GetCurrentProcessId());
    m_server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 0,
                                4096, 0, nullptr);
    m_client = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = RELAY_WINDOW_CLASS;
    RegisterClassA(&wc);
    m_window = CreateWindowExA(0, RELAY_WINDOW_CLASS, "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (m_server == INVALID_HANDLE_VALUE || m_client == INVALID_HANDLE_VALUE || !m_window) {
        return false;
    }
    m_thread = CreateThread(nullptr, 0, ReaderMain, this, 0, nullptr);
    return m_thread != nullptr;
}

int64_t BareRelay::Once()
{
    const uint8_t report[8] = {2, 1};
    g_relayed = 0;
    const int64_t start = Now();
    DWORD written = 0;
    if (!WriteFile(m_client, report, sizeof(report), &written, nullptr) || !PumpUntil(g_relayed, RELAY_TIMEOUT_MS)) {
        return -1;
    }
    return g_relayed - start;
}

double BareRelay::FlatOut(uint32_t count, size_t length)
{
    if (count < 2 || length == 0 || length > RELAY_REPORT_MAX) {
        return -1;
    }
    g_relayedCount = 0;
    FlatOutWriter job{m_client, count, length};
    HANDLE writer = CreateThread(nullptr, 0, WriteFlatOut, &job, 0, nullptr);
    if (!writer) {
        return -1;
    }
    int64_t first = 0;
    const DWORD start = GetTickCount();
    MSG msg;
    while (g_relayedCount < count && GetTickCount() - start < FLAT_OUT_TIMEOUT_MS) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
            if (first == 0 && g_relayedCount == 1) {
                first = g_relayed;
            }
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        }
    }
    WaitForSingleObject(writer, INFINITE);
    CloseHandle(writer);
    const double seconds = Microseconds(g_relayed - first) / 1e6;
    return g_relayedCount == count && seconds > 0 ? (count - 1) / seconds : -1;
}

LRESULT CALLBACK BareRelay::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RELAYED) {
        g_relayed = Now();
        ++g_relayedCount;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI BareRelay::ReaderMain(void* context)
{
    auto* relay = static_cast<BareRelay*>(context);
    uint8_t report[RELAY_REPORT_MAX];
    DWORD read = 0;
    while (ReadFile(relay->m_server, report, sizeof(report), &read, nullptr)) {
        PostMessageA(relay->m_window, WM_RELAYED, 0, 0);
    }
    return 0;
}

#include "bench/bench_support.h"

#include "base/folders.h"
#include "hid/hid_backend.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr UINT WM_RELAYED = WM_APP + 1;
constexpr char RELAY_WINDOW_CLASS[] = "KovaBenchRelay";
constexpr DWORD RELAY_TIMEOUT_MS = 5000;
constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD END_TIMEOUT_MS = 20000;
constexpr uint32_t RECEIVER_COLLECTION = 3;

int64_t g_relayed = 0;

}  // namespace

int64_t Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Microseconds(int64_t ticks)
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    return 1e6 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

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
    char folder[MAX_PATH] = {};
    GetRemoteProgramDir(folder, sizeof(folder));
    std::string commandLine = "\"" + std::string(folder) + "\\kova.exe\"";
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

LRESULT CALLBACK BareRelay::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RELAYED) {
        g_relayed = Now();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI BareRelay::ReaderMain(void* context)
{
    auto* relay = static_cast<BareRelay*>(context);
    uint8_t report[8];
    DWORD read = 0;
    while (ReadFile(relay->m_server, report, sizeof(report), &read, nullptr)) {
        PostMessageA(relay->m_window, WM_RELAYED, 0, 0);
    }
    return 0;
}

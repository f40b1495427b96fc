#include "soak/soak_world.h"

#include "base/folders.h"
#include "base/messages.h"
#include "base/scoped.h"
#include "hid/hid_backend.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

LARGE_INTEGER Frequency()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
}

constexpr char ORLAN_KEY[] = "Software\\Orlan";
constexpr char KOVA_KEY[] = "Software\\Orlan\\Kova";

void SetDword(HKEY root, const char* key, const char* name, DWORD value)
{
    RegSetKeyValueA(root, key, name, REG_DWORD, &value, sizeof(value));
}

const char* PlugLine(uint32_t collection)
{
    switch (collection) {
    case COL_CONSUMER: return "plug 2 vid=0x0bda pid=0x0150 page=0x000c usage=0x01 in=3 feature=0";
    case COL_VENDOR: return "plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=8 feature=4";
    case COL_DISPLAY: return "plug 4 vid=0x0bda pid=0x0151 page=0xff01 usage=0x01 in=8 out=8 feature=8";
    default: return "";
    }
}

// The handles of one process, from the system's handle list (Wine answers
// 0 to GetProcessHandleCount, but lists every handle the server holds).
long CountHandles(DWORD pid)
{
    using QueryFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) {
        return -1;
    }
    constexpr ULONG SYSTEM_EXTENDED_HANDLE_INFORMATION = 64;
    constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);
    struct Entry {
        void* Object;
        ULONG_PTR UniqueProcessId;
        ULONG_PTR HandleValue;
        ULONG GrantedAccess;
        USHORT CreatorBackTraceIndex;
        USHORT ObjectTypeIndex;
        ULONG HandleAttributes;
        ULONG Reserved;
    };
    struct Header {
        ULONG_PTR NumberOfHandles;
        ULONG_PTR Reserved;
    };
    std::vector<uint8_t> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        LONG status = query(SYSTEM_EXTENDED_HANDLE_INFORMATION, buffer.data(), static_cast<ULONG>(buffer.size()),
                            &needed);
        if (status == STATUS_INFO_LENGTH_MISMATCH) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status != 0) {
            return -1;
        }
        const auto* header = reinterpret_cast<const Header*>(buffer.data());
        const size_t fits = (buffer.size() - sizeof(Header)) / sizeof(Entry);
        if (header->NumberOfHandles == 0 || header->NumberOfHandles > fits) {
            return -1;
        }
        const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(Header));
        long count = 0;
        for (ULONG_PTR i = 0; i < header->NumberOfHandles; ++i) {
            count += entries[i].UniqueProcessId == pid ? 1 : 0;
        }
        return count;
    }
    return -1;
}

DWORD CountThreads(DWORD pid)
{
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) {
        return 0;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    DWORD count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == pid ? 1 : 0;
    }
    return count;
}

struct WindowCount {
    DWORD Pid;
    DWORD Count;
};

BOOL CALLBACK CountChild(HWND window, LPARAM context)
{
    auto* c = reinterpret_cast<WindowCount*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    c->Count += owner == c->Pid ? 1 : 0;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context)
{
    CountChild(window, context);
    EnumChildWindows(window, CountChild, context);
    return TRUE;
}

DWORD CountWindows(DWORD pid)
{
    WindowCount c{pid, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&c));
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr)) {
        CountChild(w, reinterpret_cast<LPARAM>(&c));
    }
    return c.Count;
}

}  // namespace

int64_t SoakNow()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double SoakMilliseconds(int64_t ticks)
{
    static const LARGE_INTEGER frequency = Frequency();
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

void Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

void WipeRegistry()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RegDeleteTreeA(root, ORLAN_KEY);
        RegDeleteKeyA(root, ORLAN_KEY);
    }
}

void PrepareRegistry(bool radioDisplay)
{
    WipeRegistry();
    SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "VendorID1", SOAK_VENDOR);
    SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "ProductID1", SOAK_CLASSIC_PRODUCT);
    SetDword(HKEY_LOCAL_MACHINE, "Software\\Orlan\\Kova\\Controls", "Test_Mode", 0);
    if (radioDisplay) {
        SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "VendorID2", SOAK_VENDOR);
        SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "ProductID2", SOAK_RADIO_PRODUCT);
    }
    // The user's key: the remote's display word is remembered only there.
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, KOVA_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

// --- SoakReceiver ---------------------------------------------------------

SoakReceiver::SoakReceiver()
    : m_name("soak-" + std::to_string(GetCurrentProcessId())),
      m_receiver(m_name, [this](const std::string& line) { OnEvent(line); })
{
}

SoakReceiver::~SoakReceiver() { m_receiver.Stop(); }

bool SoakReceiver::Start()
{
    if (!m_receiver.Start()) {
        Say("cannot start the virtual receiver %s", m_name.c_str());
        return false;
    }
    return true;
}

bool SoakReceiver::Run(const std::string& command)
{
    std::string error;
    if (!m_receiver.Execute(command, &error)) {
        Say("receiver refused \"%s\": %s", command.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool SoakReceiver::Send(uint32_t collection, const uint8_t* bytes, size_t length)
{
    return m_receiver.SendInput(collection, bytes, length) > 0;
}

void SoakReceiver::PlugAll(bool display)
{
    Run(PlugLine(COL_CONSUMER));
    Run(PlugLine(COL_VENDOR));
    // The wake check after a start or resume reads this: no wake button.
    Run("feature 3 03 00");
    if (display) {
        Run(PlugLine(COL_DISPLAY));
    }
}

void SoakReceiver::OnEvent(const std::string& line)
{
    // "opened 3 handle 7" counts as "opened 3"; "ready NAME" as "ready".
    const size_t first = line.find(' ');
    std::string key = line.substr(0, first);
    if (first != std::string::npos) {
        const size_t second = line.find(' ', first + 1);
        const std::string word = line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos) {
            key += " " + word;
        }
    }
    uint32_t collection = 0;
    long handle = 0;
    char kind[16] = {};
    const int fields = std::sscanf(line.c_str(), "%15s %u handle %ld", kind, &collection, &handle);
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_counts[key];
    if (fields == 3 && std::strcmp(kind, "opened") == 0) {
        m_open[collection][handle] = true;
    } else if (fields == 3 && std::strcmp(kind, "closed") == 0) {
        m_open[collection].erase(handle);
    } else if (fields >= 2 && std::strcmp(kind, "unplugged") == 0) {
        m_open[collection].clear();  // the unplug cut every handle
    }
}

long SoakReceiver::SoleHandle(uint32_t collection) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_open.find(collection);
    return it != m_open.end() && it->second.size() == 1 ? it->second.begin()->first : -1;
}

long SoakReceiver::WaitForKovaHandle(uint32_t collection, long previous, HWND kova) const
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < SOAK_EVENT_TIMEOUT_MS) {
        const long handle = SoleHandle(collection);
        if (handle >= 0 && handle != previous) {
            DWORD_PTR result = 0;
            SendMessageTimeoutA(kova, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            if (SoleHandle(collection) == handle) {
                return handle;
            }
        }
        Sleep(2);
    }
    return -1;
}

long SoakReceiver::Count(const std::string& kindAndCollection) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_counts.find(kindAndCollection);
    return it == m_counts.end() ? 0 : it->second;
}

bool SoakReceiver::WaitForCount(const std::string& kindAndCollection, long target, DWORD timeoutMs) const
{
    const DWORD start = GetTickCount();
    while (Count(kindAndCollection) < target) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(2);
    }
    return true;
}

// --- KovaUnderSoak --------------------------------------------------------

KovaUnderSoak::KovaUnderSoak(const std::string& receiverName) : m_receiverName(receiverName) {}

KovaUnderSoak::~KovaUnderSoak()
{
    if (m_process) {
        if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
            Close();
        }
        if (m_process) {
            CloseHandle(m_process);
        }
    }
}

bool KovaUnderSoak::Start()
{
    if (m_process) {
        CloseHandle(m_process);
        m_process = nullptr;
    }
    m_window = nullptr;
    SetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, m_receiverName.c_str());
    char folder[MAX_PATH] = {};
    GetRemoteProgramDir(folder, sizeof(folder));
    std::string commandLine = "\"" + std::string(folder) + "\\kova.exe\"";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Say("cannot start %s", commandLine.c_str());
        return false;
    }
    CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
    const DWORD start = GetTickCount();
    while (!m_window && GetTickCount() - start < SOAK_START_TIMEOUT_MS) {
        for (HWND w = FindWindowA(MAIN_WINDOW_CLASS, nullptr); w;
             w = FindWindowExA(nullptr, w, MAIN_WINDOW_CLASS, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == m_pid) {
                m_window = w;
            }
        }
        if (!m_window) {
            if (WaitForSingleObject(m_process, 20) == WAIT_OBJECT_0) {
                Say("kova.exe ended before its window came");
                return false;
            }
        }
    }
    return m_window != nullptr;
}

bool KovaUnderSoak::Close()
{
    if (!m_process) {
        return false;
    }
    if (m_window) {
        PostMessageA(m_window, WM_CLOSE, 0, 0);
    }
    DWORD code = 1;
    // Each watcher thread may take 5.5 s to end.
    if (WaitForSingleObject(m_process, 20000) != WAIT_OBJECT_0) {
        Say("kova.exe did not end within 20 s of WM_CLOSE");
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, 5000);
        return false;
    }
    GetExitCodeProcess(m_process, &code);
    return code == 0;
}

void KovaUnderSoak::Kill()
{
    if (m_process) {
        TerminateProcess(m_process, 9);
        WaitForSingleObject(m_process, 10000);
    }
    m_window = nullptr;
}

ProcessFigures KovaUnderSoak::Measure() const
{
    ProcessFigures f;
    if (m_window) {
        DWORD_PTR result = 0;
        const int64_t start = SoakNow();
        if (SendMessageTimeoutA(m_window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) {
            f.AnswerMs = SoakMilliseconds(SoakNow() - start);
        }
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(m_process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        // Wine leaves PrivateUsage at 0 and gives the private commit as
        // PagefileUsage, which is what PrivateUsage equals on Windows.
        f.PrivateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    }
    f.Threads = CountThreads(m_pid);
    f.GdiObjects = GetGuiResources(m_process, GR_GDIOBJECTS);
    f.UserObjects = GetGuiResources(m_process, GR_USEROBJECTS);
    f.Handles = CountHandles(m_pid);
    f.Windows = CountWindows(m_pid);
    return f;
}

// --- DeliveryWindow -------------------------------------------------------

namespace {
constexpr char CLIENT_CLASS[] = "KovaSoakClient";
constexpr UINT CLIENT_POSTED = WM_APP + CLIENT_MESSAGE;
}  // namespace

DeliveryWindow::DeliveryWindow()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = CLIENT_CLASS;
    RegisterClassA(&wc);
    // A hidden top-level window: a target by its category, never the one
    // in front.
    m_window = CreateWindowExA(0, CLIENT_CLASS, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    char folder[MAX_PATH] = {};
    GetRemoteProgramDir(folder, sizeof(folder));
    m_library = LoadLibraryA((std::string(folder) + "\\kovaapi.dll").c_str());
}

DeliveryWindow::~DeliveryWindow()
{
    if (m_window) {
        DestroyWindow(m_window);
    }
    if (m_library) {
        FreeLibrary(m_library);
    }
}

bool DeliveryWindow::Register(UINT id)
{
    using InitFn = UINT(WINAPI*)(HWND, UINT, UINT, DWORD);
    auto init = m_library ? reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(m_library, "InitKovaMsg")))
                          : nullptr;
    return init && m_window && init(m_window, id, CLIENT_MESSAGE, CLIENT_CATEGORY_0) == id;
}

LRESULT CALLBACK DeliveryWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == CLIENT_POSTED) {
        if (auto* self = reinterpret_cast<DeliveryWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
            self->m_commands.push_back(lParam);
            ++self->m_total;
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string DeliveryWindow::Next(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (m_taken < m_commands.size()) {
            return std::to_string(m_commands[m_taken++]);
        }
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
            continue;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return std::string();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// --- ShadowDecoder --------------------------------------------------------

namespace {

KeyActions Decode(KeyDecoderState& state, const uint8_t* bytes, size_t length, size_t inputLength)
{
    // What kova's buffer holds after the read: the report cut to the input
    // length, zeros past a short report's end.
    std::vector<uint8_t> buffer(inputLength, 0);
    std::memcpy(buffer.data(), bytes, std::min(length, inputLength));
    KeyActions actions;
    if (length > 0) {
        DecodeClassicReport(state, buffer.data(), buffer.size(), 0, false, actions);
    }
    return actions;
}

}  // namespace

KeyActions ShadowDecoder::Feed(const uint8_t* bytes, size_t length, size_t inputLength)
{
    return Decode(m_state, bytes, length, inputLength);
}

KeyActions ShadowDecoder::Peek(const uint8_t* bytes, size_t length, size_t inputLength) const
{
    KeyDecoderState copy = m_state;
    return Decode(copy, bytes, length, inputLength);
}

bool HasButtonCall(const KeyActions& actions)
{
    for (int i = 0; i < actions.count; ++i) {
        // Every report ends with the raw-report call, which is no button.
        if (actions.items[i].kind == KeyActionKind::Call && actions.items[i].handler != KeyHandler::Report) {
            return true;
        }
    }
    return false;
}

std::string HeldModifiers()
{
    const struct {
        int key;
        const char* name;
    } keys[] = {{VK_LSHIFT, "LShift"}, {VK_RSHIFT, "RShift"}, {VK_LCONTROL, "LCtrl"}, {VK_RCONTROL, "RCtrl"},
                {VK_LMENU, "LAlt"},    {VK_RMENU, "RAlt"},    {VK_LWIN, "LWin"},     {VK_RWIN, "RWin"}};
    std::string held;
    for (const auto& k : keys) {
        if (GetAsyncKeyState(k.key) & 0x8000) {
            held += held.empty() ? k.name : std::string(" ") + k.name;
        }
    }
    return held;
}

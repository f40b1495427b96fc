#include "tests/core/hub_fixture.h"

#include "base/messages.h"
#include "config/device_identities.h"
#include "core/main_window.h"
#include "core/watchers.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_logLock;
std::vector<std::string> g_log;

constexpr char HOST_WINDOW_CLASS[] = "KovaHubTestMainWindow";

HWND g_hostWindow = nullptr;
LONG g_reportMessages = 0;

LRESULT CALLBACK CountReports(int code, WPARAM wParam, LPARAM lParam)
{
    auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd == g_hostWindow && msg->message == WM_HID_REPORT) {
        ++g_reportMessages;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string Format(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    return line;
}

}  // namespace

void HubLog::Add(const std::string& line)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    g_log.push_back(line);
}

std::vector<std::string> HubLog::Lines()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    return g_log;
}

std::vector<std::string> HubLog::With(const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& line : Lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

void HubLog::Clear()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    g_log.clear();
}

RecordingKeyCtrl::RecordingKeyCtrl() : CKeyCtrl(CMainCtrl::RemoteTray) {}

RecordingKeyCtrl::~RecordingKeyCtrl()
{
    HubLog::Add(Format("deleted key devices=%d trays=%d osd=%d kovaapi=%d watchers=%d", CMainCtrl::DeviceManager ? 1 : 0,
                       (CMainCtrl::RemoteTray || CMainCtrl::KeyboardTray) ? 1 : 0, CMainCtrl::Osd ? 1 : 0,
                       GetModuleHandleA("kovaapi.dll") ? 1 : 0, SendWindowWatcherRunning ? 1 : 0));
}

void RecordingKeyCtrl::LaunchWakeButton(uint8_t code, uint8_t origin)
{
    HubLog::Add(Format("key LaunchWakeButton %u %u", code, origin));
}
void RecordingKeyCtrl::OnWakeEvent(uint8_t kind, uint16_t code, uint8_t flag)
{
    HubLog::Add(Format("key OnWakeEvent %u %u %u", kind, code, flag));
}
void RecordingKeyCtrl::FinishNumericEntry(uint32_t result)
{
    HubLog::Add(Format("key FinishNumericEntry 0x%08x", result));
}
void RecordingKeyCtrl::OnRemoteButton(uint16_t code, uint32_t state, uint32_t deviceFlags)
{
    HubLog::Add(Format("key OnRemoteButton %u %u %u", code, state, deviceFlags));
}
void RecordingKeyCtrl::OnConsumerKey(uint16_t usage, uint32_t state)
{
    HubLog::Add(Format("key OnConsumerKey %u %u", usage, state));
}
void RecordingKeyCtrl::OnFunctionKey(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnFunctionKey %u %u", code, state));
}
void RecordingKeyCtrl::OnApplicationKey(uint16_t bit, uint32_t state)
{
    HubLog::Add(Format("key OnApplicationKey %u %u", bit, state));
}
void RecordingKeyCtrl::OnDigitKey(uint16_t bit, uint32_t state)
{
    HubLog::Add(Format("key OnDigitKey %u %u", bit, state));
}
void RecordingKeyCtrl::OnModeKey(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnModeKey %u %u", code, state));
}
void RecordingKeyCtrl::OnMediaCenterKey(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnMediaCenterKey %u %u", code, state));
}
void RecordingKeyCtrl::OnExtraKey(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnExtraKey %u %u", code, state));
}
void RecordingKeyCtrl::OnExtraKey2(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnExtraKey2 %u %u", code, state));
}
void RecordingKeyCtrl::OnReport(const uint8_t* report, uint32_t length)
{
    HubLog::Add(Format("key OnReport id=%u length=%u", length ? report[0] : 0u, length));
}
void RecordingKeyCtrl::OnPanelKey(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnPanelKey %u %u", code, state));
}
void RecordingKeyCtrl::OnPanelKey2(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnPanelKey2 %u %u", code, state));
}
void RecordingKeyCtrl::OnEffectKey(uint32_t pressed, uint32_t state)
{
    HubLog::Add(Format("key OnEffectKey %u %u", pressed, state));
}
void RecordingKeyCtrl::OnDataKey(uint16_t code, uint32_t state)
{
    HubLog::Add(Format("key OnDataKey %u %u", code, state));
}
void RecordingKeyCtrl::OnValueKey(uint16_t kind, uint16_t value, uint32_t state)
{
    HubLog::Add(Format("key OnValueKey %u %u %u", kind, value, state));
}

RecordingTray::RecordingTray(HWND window, UINT iconId) : m_id(iconId)
{
    IconData.cbSize = sizeof(IconData);
    IconData.hWnd = window;
    IconData.uID = iconId;
    IconData.uFlags = NIF_MESSAGE | NIF_TIP;
    IconData.uCallbackMessage = WM_USER + 2;
    std::snprintf(IconData.szTip, sizeof(IconData.szTip), "test tray %u", iconId);
    Enabled = 1;
}

RecordingTray::~RecordingTray()
{
    HubLog::Add(Format("deleted tray %u key=%d osd=%d", m_id, CMainCtrl::KeyController ? 1 : 0, CMainCtrl::Osd ? 1 : 0));
}

LRESULT RecordingTray::OnTrayNotify(UINT message, UINT iconId, UINT mouseMessage)
{
    HubLog::Add(Format("tray %u OnTrayNotify 0x%x %u 0x%x", m_id, message, iconId, mouseMessage));
    return 0;
}
void RecordingTray::CloseUtility() { HubLog::Add(Format("tray %u CloseUtility", m_id)); }
void RecordingTray::CloseHelp() { HubLog::Add(Format("tray %u CloseHelp", m_id)); }
BOOL RecordingTray::ConfirmExit() { return FALSE; }
void RecordingTray::OpenUtility() {}
void RecordingTray::OpenHelp() {}
BOOL RecordingTray::IsUtilityOpen() { return FALSE; }
BOOL RecordingTray::IsHelpOpen() { return FALSE; }

MainWindowHost::MainWindowHost(const char* className)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className ? className : HOST_WINDOW_CLASS;
    RegisterClassA(&wc);
    m_window = CreateWindowExA(WS_EX_NOACTIVATE, wc.lpszClassName, "Orlan KOVA", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, wc.hInstance, nullptr);
    EXPECT_NE(m_window, nullptr);
    EXPECT_NE(GetMainController(), nullptr);
    g_hostWindow = m_window;
    g_reportMessages = 0;
    m_hook = SetWindowsHookExA(WH_GETMESSAGE, CountReports, nullptr, GetCurrentThreadId());
    EXPECT_NE(m_hook, nullptr);
}

MainWindowHost::~MainWindowHost()
{
    Destroy();
    if (m_hook) {
        UnhookWindowsHookEx(m_hook);
    }
    g_hostWindow = nullptr;
}

int MainWindowHost::ReportMessages() const { return g_reportMessages; }

CMainCtrl* MainWindowHost::Controller() const { return GetMainController(); }

RecordingKeyCtrl* MainWindowHost::InstallKeyController()
{
    delete CMainCtrl::KeyController;
    auto* key = new RecordingKeyCtrl();
    CMainCtrl::KeyController = key;
    return key;
}

void MainWindowHost::InstallTrays(bool keyboard)
{
    delete CMainCtrl::RemoteTray;
    CMainCtrl::RemoteTray = new RecordingTray(m_window, 1);
    delete CMainCtrl::KeyboardTray;
    CMainCtrl::KeyboardTray = keyboard ? new RecordingTray(m_window, 2) : nullptr;
    CMainCtrl::UpdateTrayIcons();
}

void MainWindowHost::Destroy()
{
    if (m_window && IsWindow(m_window)) {
        DestroyWindow(m_window);
    }
    m_window = nullptr;
    // The shut-down posts the quit message for the program's message loop.
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void SetControl(const char* name, uint32_t value)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, name, value);
}

void AddTestReceiverIdentity()
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ProductID1", TEST_PRODUCT);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "VendorID1", TEST_VENDOR);
}

std::string DisplayPlugCommand() { return PlugCommand(2, "0xFF01", "0x01", "in=8 out=8 feature=8"); }

size_t BlankingReports(const ReceiverHost& host)
{
    // Report 4: the word 0x0FF00000, least significant byte first.
    const std::string blank = " 04 00 00 f0 0f 00 00 00";
    size_t count = 0;
    for (const std::string& e : host.EventsWith("output 2 ")) {
        count += e.size() > blank.size() && e.compare(e.size() - blank.size(), blank.size(), blank) == 0;
    }
    return count;
}

size_t DisplayReports(const ReceiverHost& host) { return host.EventsWith("output 2 ").size(); }

std::string SendWindowValueName(const char* field, int n) { return "SendWnd" + std::to_string(n) + "_" + field; }

void SetSendWindowValue(const char* field, int n, uint32_t value)
{
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, SEND_WINDOW_KEY, SendWindowValueName(field, n).c_str(), value);
}

bool GetSendWindowValue(const char* field, int n, uint32_t* value)
{
    return RegistrySandbox::GetDword(HKEY_CURRENT_USER, SEND_WINDOW_KEY, SendWindowValueName(field, n).c_str(), value);
}

bool SendWindowValueExists(const char* field, int n)
{
    return RegistrySandbox::ValueExists(HKEY_CURRENT_USER, SEND_WINDOW_KEY, SendWindowValueName(field, n).c_str());
}

#include "tests/hid/receiver_host.h"

#include "base/messages.h"
#include "hid/hid_backend.h"

#include <dbt.h>
#include <gtest/gtest.h>

namespace {

LONG g_hostCounter = 0;
constexpr char TEST_WINDOW_CLASS[] = "KovaHidTestWindow";

}  // namespace

ReceiverHost::ReceiverHost()
    : m_instance("test-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(InterlockedIncrement(&g_hostCounter))),
      m_receiver(m_instance, [this](const std::string& line) { Record(line); })
{
    EXPECT_TRUE(m_receiver.Start());
    SetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, m_instance.c_str());
    ShutdownHidBackend();
}

ReceiverHost::~ReceiverHost()
{
    m_receiver.Stop();
    ShutdownHidBackend();
    SetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, nullptr);
}

void ReceiverHost::Record(const std::string& line)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.push_back(line);
}

void ReceiverHost::Run(const std::string& command)
{
    std::string error;
    EXPECT_TRUE(m_receiver.Execute(command, &error)) << command << ": " << error;
}

std::string ReceiverHost::RunBad(const std::string& command)
{
    std::string error;
    EXPECT_FALSE(m_receiver.Execute(command, &error)) << command;
    return error;
}

std::vector<std::string> ReceiverHost::Events() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

std::vector<std::string> ReceiverHost::EventsWith(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& e : Events()) {
        if (e.compare(0, prefix.size(), prefix) == 0) {
            out.push_back(e);
        }
    }
    return out;
}

bool ReceiverHost::WaitForEvents(const std::string& prefix, size_t count, DWORD timeoutMs) const
{
    return WaitUntil([&] { return EventsWith(prefix).size() >= count; }, timeoutMs);
}

std::string PlugCommand(int number, const char* page, const char* usage, const std::string& extra)
{
    char text[256];
    std::snprintf(text, sizeof(text), "plug %d vid=0x%04x pid=0x%04x page=%s usage=%s %s", number,
                  static_cast<unsigned>(TEST_VENDOR), static_cast<unsigned>(TEST_PRODUCT), page, usage,
                  extra.c_str());
    return text;
}

HidTestWindow::HidTestWindow()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = TEST_WINDOW_CLASS;
    RegisterClassA(&wc);
    m_window = CreateWindowExA(0, TEST_WINDOW_CLASS, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               wc.hInstance, this);
    EXPECT_NE(m_window, nullptr);
}

HidTestWindow::~HidTestWindow()
{
    if (m_window) {
        DestroyWindow(m_window);
    }
}

LRESULT CALLBACK HidTestWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<HidTestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && self->m_window == window) {
        return self->Handle(message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT HidTestWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_HID_READ_NEXT: {
        CHidDevice* device = m_control ? m_control->FindListedDevice(lParam) : nullptr;
        if (!device) {
            ++UnknownDevices;
            return 0;
        }
        ++ReadRequests;
        device->IssueRead();
        return 0;
    }
    case WM_HID_REPORT: {
        CHidDevice* device = m_control ? m_control->FindListedDevice(lParam) : nullptr;
        if (!device) {
            ++UnknownDevices;
            return 0;
        }
        const HidReportSet& in = device->Info.Input;
        Reports.push_back({device, std::vector<uint8_t>(in.Buffer, in.Buffer + in.Length)});
        return 0;
    }
    case WM_DEVICECHANGE: {
        auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(lParam);
        if (!header) {
            return TRUE;
        }
        if (wParam == DBT_DEVICEARRIVAL && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            auto* rec = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
            DeviceChanges.push_back(std::string("arrival ") + rec->dbcc_name);
            if (m_control) {
                m_control->AddDevice(rec->dbcc_name);
            }
        } else if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
            auto* rec = reinterpret_cast<DEV_BROADCAST_HANDLE*>(lParam);
            if (wParam == DBT_DEVICEQUERYREMOVE) {
                DeviceChanges.push_back("queryremove");
                if (m_control) {
                    m_control->CloseDevice(rec->dbch_handle);
                }
            } else if (wParam == DBT_DEVICEREMOVEPENDING || wParam == DBT_DEVICEREMOVECOMPLETE) {
                DeviceChanges.push_back(wParam == DBT_DEVICEREMOVEPENDING ? "removepending" : "removecomplete");
                if (m_control) {
                    m_control->RemoveDevice(rec->dbch_handle);
                }
            }
        } else if (wParam == DBT_DEVICEREMOVECOMPLETE) {
            DeviceChanges.push_back("interfaceremoved");
        }
        return TRUE;
    }
    default:
        return DefWindowProcA(m_window, message, wParam, lParam);
    }
}

#include "hid/hid_control.h"

#include "base/power.h"
#include "hid/feature_report_layout.h"
#include "hid/feature_reports.h"
#include "hid/hid_backend.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The collection of a classic receiver that holds the wake button: the two
// characters after the first "col" in its path are "03".
bool IsWakeButtonCollection(const char* path)
{
    const char* col = path ? std::strstr(path, "col") : nullptr;
    return col && col[3] == '0' && col[4] == '3';
}

constexpr USAGE RADIO_USAGE_PAGE = 0xFF01;
constexpr USAGE RADIO_USAGE = 0x0001;

}  // namespace

CHidControl::CHidControl(HWND mainWindow)
    : FirstDevice(nullptr), DeviceCount(0), InterfaceNotification(nullptr), m_mainWindow(mainWindow)
{
    EnumerateDevices();
}

namespace {

// Marks a manager busy while one of its operations that may stop readers runs.
class BusyScope {
public:
    explicit BusyScope(int& busy) : m_busy(busy) { ++m_busy; }
    ~BusyScope() { --m_busy; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    int& m_busy;
};

}  // namespace

CHidControl::~CHidControl()
{
    ++m_busy;
    if (InterfaceNotification) {
        GetHidBackend().UnregisterNotice(InterfaceNotification);
        InterfaceNotification = nullptr;
    }
    while (FirstDevice) {
        CHidDevice* device = FirstDevice;
        FirstDevice = device->Next;
        delete device;
    }
    DeviceCount = 0;
}

CHidDevice* CHidControl::OpenAcceptedDevice(const char* path)
{
    auto* device = new (std::nothrow) CHidDevice(m_mainWindow);
    if (!device) {
        return nullptr;
    }
    uint32_t flags = 0;
    if (device->Open(path) && MatchDevice(device->Info, &flags)) {
        device->DeviceFlags = flags;
        if (device->RegisterRemovalNotice(m_mainWindow) && device->StartReader()) {
            return device;
        }
    }
    delete device;
    return nullptr;
}

BOOL CHidControl::EnumerateDevices()
{
    HidBackend& backend = GetHidBackend();
    if (!InterfaceNotification) {
        InterfaceNotification = backend.RegisterInterfaceNotice(m_mainWindow);
        if (!InterfaceNotification) {
            return FALSE;
        }
    }
    DeviceCount = 0;
    auto add = [](const char* path, void* self) {
        auto* control = static_cast<CHidControl*>(self);
        if (CHidDevice* device = control->OpenAcceptedDevice(path)) {
            device->Next = control->FirstDevice;
            control->FirstDevice = device;
            ++control->DeviceCount;
        }
    };
    InterfaceWalk walk = ForEachInterfacePath(backend, add, this);
    if (walk == InterfaceWalk::NoSet) {
        return FALSE;
    }
    if (walk == InterfaceWalk::Failed) {
        // Devices found so far stay listed.
        backend.UnregisterNotice(InterfaceNotification);
        InterfaceNotification = nullptr;
        return FALSE;
    }
    return TRUE;
}

BOOL CHidControl::AddDevice(char* devicePath)
{
    if (!devicePath) {
        return FALSE;
    }
    for (char* p = devicePath; *p; ++p) {
        *p = LowerAscii(*p);
    }
    BusyScope busy(m_busy);
    // The same collection again (a replug whose removal we missed): the old
    // object goes first, so the list never holds one path twice.
    if (CHidDevice* old = FindDeviceByPath(devicePath)) {
        Unlink(old);
        --DeviceCount;
        if (Closing* closing = FindClosing(old)) {
            closing->Removed = true;  // its close under way destroys it
        } else {
            delete old;
        }
    }
    CHidDevice* device = OpenAcceptedDevice(devicePath);
    if (!device) {
        return FALSE;
    }
    device->Next = FirstDevice;
    FirstDevice = device;
    ++DeviceCount;
    return TRUE;
}

CHidControl::Closing* CHidControl::FindClosing(CHidDevice* device)
{
    for (Closing& c : m_closing) {
        if (c.Device == device) {
            return &c;
        }
    }
    return nullptr;
}

void CHidControl::CloseDevice(HANDLE handle)
{
    CHidDevice* device = FindDeviceByHandle(handle);
    if (!device || FindClosing(device)) {
        return;
    }
    // While the reader stops, notices sent by other threads are handled;
    // they may close other devices, or remove this very one, which must then
    // wait until its close is done.
    BusyScope busy(m_busy);
    m_closing.push_back({device, false});
    device->Close();
    bool removed = false;
    for (size_t i = m_closing.size(); i-- > 0;) {
        if (m_closing[i].Device == device) {
            removed = m_closing[i].Removed;
            m_closing.erase(m_closing.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    if (removed) {
        delete device;
    }
}

void CHidControl::RemoveDevice(HANDLE handle)
{
    CHidDevice* device = FindDeviceByHandle(handle);
    if (!device) {
        return;
    }
    BusyScope busy(m_busy);
    Unlink(device);
    --DeviceCount;
    if (Closing* closing = FindClosing(device)) {
        closing->Removed = true;
        return;
    }
    // Unlinked first: a notice handled while it stops cannot find it again.
    delete device;
}

void CHidControl::Unlink(CHidDevice* device)
{
    for (CHidDevice** link = &FirstDevice; *link; link = &(*link)->Next) {
        if (*link == device) {
            *link = device->Next;
            device->Next = nullptr;
            return;
        }
    }
}

CHidDevice* CHidControl::FindDeviceByPath(const char* path) const
{
    if (!path) {
        return nullptr;
    }
    for (CHidDevice* d = FirstDevice; d; d = d->Next) {
        if (d->Info.DevicePath && std::strcmp(d->Info.DevicePath, path) == 0) {
            return d;
        }
    }
    return nullptr;
}

CHidDevice* CHidControl::FindDeviceByHandle(HANDLE handle) const
{
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    for (CHidDevice* d = FirstDevice; d; d = d->Next) {
        if (d->Info.Handle == handle) {
            return d;
        }
    }
    return nullptr;
}

CHidDevice* CHidControl::FindListedDevice(LPARAM lParam) const
{
    for (CHidDevice* d = FirstDevice; d; d = d->Next) {
        if (reinterpret_cast<LPARAM>(d) == lParam) {
            return d;
        }
    }
    return nullptr;
}

namespace {

bool IsWakeButtonDevice(const HidDeviceInfo& info) { return IsWakeButtonCollection(info.DevicePath); }

bool IsRadioDevice(const HidDeviceInfo& info)
{
    return info.Caps.UsagePage == RADIO_USAGE_PAGE && info.Caps.Usage == RADIO_USAGE;
}

// What both wake reads start with, in the order their statuses are checked:
// the receiver's collection that passes isCollection, the caller's
// arguments, a feature report, and a zeroed buffer of its length.
struct WakeRead {
    uint32_t Status = WAKE_STATUS_OK;
    CHidDevice* Device = nullptr;
    std::unique_ptr<uint8_t[]> Buffer;
    uint32_t Length = 0;
};

WakeRead StartWakeRead(CHidDevice* first, bool (*isCollection)(const HidDeviceInfo&), bool argumentsGiven)
{
    WakeRead read;
    for (read.Device = first; read.Device; read.Device = read.Device->Next) {
        uint32_t flags = 0;
        if (CConfig::MatchDevice(read.Device->Info, &flags) && isCollection(read.Device->Info)) {
            break;
        }
    }
    if (!read.Device) {
        read.Status = WAKE_STATUS_NO_COLLECTION;
    } else if (!argumentsGiven) {
        read.Status = WAKE_STATUS_MISSING_ARGUMENT;
    } else if ((read.Length = read.Device->Info.Caps.FeatureReportByteLength) == 0) {
        read.Status = WAKE_STATUS_NO_FEATURE_REPORT;
    } else if (!(read.Buffer = NewFeatureBuffer(read.Length))) {
        read.Status = WAKE_STATUS_NO_MEMORY;
    }
    return read;
}

}  // namespace

uint32_t CHidControl::ReadWakeButton(uint8_t* code)
{
    WakeRead read = StartWakeRead(FirstDevice, IsWakeButtonDevice, code != nullptr);
    if (read.Status != WAKE_STATUS_OK) {
        return read.Status;
    }
    const ControlSettings& settings = GetControlSettings();
    for (uint32_t attempt = 0; attempt < settings.RetryGetFeature; ++attempt) {
        read.Buffer[0] = WAKE_BUTTON_REPORT_ID;
        if (ReadFeature(read.Device->Info.Handle, read.Buffer.get(), read.Length)) {
            *code = read.Length > 1 ? read.Buffer[1] : 0;
            return WAKE_STATUS_OK;
        }
        Sleep(settings.TimerGetFeatureSleep);
    }
    return WAKE_STATUS_NO_ANSWER;
}

uint32_t CHidControl::ReadWakeEvent(uint8_t* kind, uint16_t* code, uint8_t* flag)
{
    WakeRead read = StartWakeRead(FirstDevice, IsRadioDevice, kind && code);
    if (read.Status != WAKE_STATUS_OK) {
        return read.Status;
    }
    read.Buffer[0] = WAKE_EVENT_REPORT_ID;
    if (!ReadFeature(read.Device->Info.Handle, read.Buffer.get(), read.Length)) {
        return WAKE_STATUS_NO_ANSWER;
    }
    WakeEvent event = DecodeWakeEvent(read.Buffer.get(), read.Length);
    *kind = event.Kind;
    *code = event.Code;
    if (flag && IsConnectedStandbySystem()) {
        *flag = event.Flag;
    }
    // Acknowledge, so the receiver forgets the record: the last byte goes back
    // as it was read.
    ClearWakeEvent(read.Buffer.get(), read.Length);
    WriteFeature(read.Buffer.get(), read.Length);
    return WAKE_STATUS_OK;
}

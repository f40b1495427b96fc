#include "core/main_ctrl.h"

#include "base/app_context.h"
#include "base/export_binder.h"
#include "base/folders.h"
#include "base/messages.h"
#include "base/power.h"
#include "base/scoped.h"
#include "core/main_window.h"
#include "core/message_box.h"
#include "hid/hid_control.h"
#include "keys/key_ctrl.h"
#include "keys/key_send_ctrl.h"
#include "keys/key_test_ctrl.h"
#include "osd/osd_control.h"
#include "tray/kova_tray_ctrl.h"
#include "tray/tesk_tray_ctrl.h"

#include <dbt.h>
#include <imm.h>
#include <wtsapi32.h>

#include <cstddef>
#include <cstring>
#include <new>

HWND CMainCtrl::MainWindow = nullptr;
LONG CMainCtrl::ConsoleConnected = 1;
LONG CMainCtrl::SessionLocked = 0;
LONG CMainCtrl::DeviceActive = 0;
CHidControl* CMainCtrl::DeviceManager = nullptr;
CTrayControl* CMainCtrl::RemoteTray = nullptr;
CTrayControl* CMainCtrl::KeyboardTray = nullptr;
COsdControl* CMainCtrl::Osd = nullptr;
CKeyCtrl* CMainCtrl::KeyController = nullptr;
uint32_t CMainCtrl::WakeRetryCount = 0;
HANDLE CMainCtrl::RestartMutex = nullptr;
UINT_PTR CMainCtrl::WakeCheckTimer = 0;
UINT_PTR CMainCtrl::WakeRetryTimer = 0;
HINSTANCE CMainCtrl::AppInstance = nullptr;
LONG CMainCtrl::DisplayOff = 0;
LONG CMainCtrl::WakeReplySent = 0;
LONG CMainCtrl::DisplayOffSeen = 0;

namespace {

constexpr char KOVA_API_DLL[] = "kovaapi.dll";
constexpr char SET_REMOTE_LCD_EXPORT[] = "SetRFRemoconLCD";

// The 32-byte record SetRFRemoconLCD takes; a mask of 0x80000000 with every
// other field 0 blanks the display.
struct RemoteLcdRecord {
    uint32_t Size;
    uint32_t Mask;
    uint32_t Fields[6];
};
static_assert(sizeof(RemoteLcdRecord) == 32, "LCD record is 32 bytes");
constexpr uint32_t LCD_MASK_CLEAR = 0x80000000u;

using SetRFRemoconLcdFn = int(WINAPI*)(RemoteLcdRecord*);

// RFSupportFlags value of the radio receiver's report format.
constexpr uint32_t RF_SUPPORT_RADIO = 1;

// First data byte of a GUID_CONSOLE_DISPLAY_STATE record.
constexpr UCHAR DISPLAY_STATE_OFF = 0;
constexpr UCHAR DISPLAY_STATE_ON = 1;

// A device notice's header when it is there, of the expected type, and says
// it is at least minSize bytes long; null otherwise.
const DEV_BROADCAST_HDR* NoticeOfType(LPARAM header, DWORD type, size_t minSize)
{
    auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(header);
    if (!hdr || hdr->dbch_devicetype != type || hdr->dbch_size < minSize) {
        return nullptr;
    }
    return hdr;
}

bool IsRadioReceiver() { return CConfig::GetControlSettings().RFSupportFlags == RF_SUPPORT_RADIO; }

}  // namespace

CMainCtrl::CMainCtrl()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    ConsoleConnected = 1;
    SessionLocked = 0;
    // Opens the mutex when another program of the session already made it.
    RestartMutex = CreateMutexA(nullptr, FALSE, RESTART_MUTEX_NAME);
    if (GetControlSettings().IME_Disable) {
        ImmDisableIME(static_cast<DWORD>(-1));
    }
    char path[MAX_PATH] = {};
    if (BuildRemoteProgramPath(path, sizeof(path), KOVA_API_DLL)) {
        KovaApiModule.reset(LoadLibraryA(path));
    }
}

CMainCtrl::~CMainCtrl()
{
    // A wake check must not fire into a half-destroyed tree.
    StopWakeTimers();
    KovaApiModule.reset();
    if (m_sessionNotifyRegistered && MainWindow) {
        WTSUnRegisterSessionNotification(MainWindow);
        m_sessionNotifyRegistered = false;
    }
    {
        MutexLock lock(RestartMutex);
        DeleteDeviceManager();
    }
    ReleaseDeviceIdentities();
    // The tray destructors remove their icons.
    delete KeyboardTray;
    KeyboardTray = nullptr;
    delete RemoteTray;
    RemoteTray = nullptr;
    delete Osd;
    Osd = nullptr;
    delete KeyController;
    KeyController = nullptr;
    if (RestartMutex) {
        SetAppRestartMutex(nullptr);
        CloseHandle(RestartMutex);
        RestartMutex = nullptr;
    }
}

void CMainCtrl::OnCreate(HWND window, HINSTANCE instance)
{
    MainWindow = window;
    AppInstance = instance;
    // The controllers below reach the window, the instance and the message
    // box through the context, never through this class.
    SetAppMainWindow(window);
    SetAppInstance(instance);
    SetAppMessageBox(ShowMessageBox);
    SetAppRestartMutex(RestartMutex);
    if (!m_sessionNotifyRegistered) {
        m_sessionNotifyRegistered = WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION) != FALSE;
    }
    if (!CreateTrayAndDisplayControllers()) {
        return;
    }
    if (!CreateKeyController()) {
        return;
    }
    {
        MutexLock lock(RestartMutex);
        CreateDeviceManager();
    }
    StartWakeCheck();
}

bool CMainCtrl::CreateTrayAndDisplayControllers()
{
    // The remote-control tray, then the on-screen display; the keyboard tray
    // only with the keyboard features. Without the first two nothing else
    // is built.
    delete KeyboardTray;
    KeyboardTray = nullptr;
    delete RemoteTray;
    RemoteTray = new (std::nothrow) CKovaTrayCtrl();
    delete Osd;
    Osd = new (std::nothrow) COsdControl();
    if (!RemoteTray || !Osd) {
        return false;
    }
    if (GetControlSettings().Tesk_Enable) {
        KeyboardTray = new (std::nothrow) CTeskTrayCtrl();
    }
    return true;
}

bool CMainCtrl::CreateKeyController()
{
    delete KeyController;
    KeyController = nullptr;
    // The test form when Test_Mode is set (a machine without settings), else
    // the working form; either is given the remote-control tray to flash.
    // Without one nothing else is built: no receiver is opened for reports
    // that no one would handle.
    if (GetControlSettings().Test_Mode) {
        KeyController = new (std::nothrow) CKeyTestCtrl(RemoteTray);
    } else {
        KeyController = new (std::nothrow) CKeySendCtrl(RemoteTray);
    }
    return KeyController != nullptr;
}

void CMainCtrl::OnDestroy()
{
    for (CTrayControl* tray : {RemoteTray, KeyboardTray}) {
        if (tray) {
            tray->CloseHelp();
            tray->CloseUtility();
        }
    }
}

void CMainCtrl::CreateDeviceManager()
{
    if (DeviceActive) {
        return;
    }
    // A session that is not on the console opens no devices.
    if (!GetControlSettings().MagicKey_SendSighInUser && !ConsoleConnected) {
        return;
    }
    delete DeviceManager;
    DeviceManager = new (std::nothrow) CHidControl(MainWindow);
    if (!DeviceManager) {
        return;
    }
    DeviceActive = 1;
    UpdateTrayIcons();
}

void CMainCtrl::RecreateDeviceManager()
{
    DeleteDeviceManager();
    CreateDeviceManager();
}

void CMainCtrl::DeleteDeviceManager()
{
    if (!DeviceActive) {
        return;
    }
    // A notice handled while the manager stops a reader (taking messages
    // out of the queue runs those other threads send) must not pull the
    // manager from under that work: it is reopened from the message loop
    // instead, which deletes it then (and opens nothing for a session that
    // is not on the console).
    if (DeviceManager && DeviceManager->IsBusy()) {
        PostMessageA(MainWindow, WM_HID_REOPEN, 0, 0);
        return;
    }
    // Gone from view before it goes: notices handled while it stops its
    // readers find no manager.
    CHidControl* dying = DeviceManager;
    DeviceManager = nullptr;
    DeviceActive = 0;
    delete dying;
    UpdateTrayIcons();
}

void CMainCtrl::UpdateTrayIcons()
{
    const bool open = DeviceManager && DeviceManager->GetDeviceCount() != 0;
    for (CTrayControl* tray : {RemoteTray, KeyboardTray}) {
        if (!tray) {
            continue;
        }
        if (open) {
            tray->ShowIcon();
        } else {
            tray->HideIcon();
        }
    }
}

void CMainCtrl::OnDeviceChange(HWND, WPARAM event, LPARAM header)
{
    switch (event) {
    case DBT_DEVICEARRIVAL:
        OnDeviceArrival(header);
        break;
    case DBT_DEVICEQUERYREMOVE:
    case DBT_DEVICEREMOVEPENDING:
    case DBT_DEVICEREMOVECOMPLETE:
        OnHandleNotice(event, header);
        break;
    case DBT_DEVICEQUERYREMOVEFAILED: {
        // The device stays after all: open everything afresh.
        MutexLock lock(RestartMutex);
        RecreateDeviceManager();
        break;
    }
    default:
        break;
    }
}

void CMainCtrl::OnDeviceArrival(LPARAM header)
{
    constexpr size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
    const DEV_BROADCAST_HDR* hdr = NoticeOfType(header, DBT_DEVTYP_DEVICEINTERFACE, nameOffset + 1);
    if (!hdr) {
        return;
    }
    // The manager lower-cases the name in place; it must end inside the
    // record the notice says it is.
    auto* notice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(header);
    if (!std::memchr(notice->dbcc_name, '\0', hdr->dbch_size - nameOffset)) {
        return;
    }
    MutexLock lock(RestartMutex);
    if (DeviceManager) {
        DeviceManager->AddDevice(notice->dbcc_name);
    }
    UpdateTrayIcons();
}

void CMainCtrl::OnHandleNotice(WPARAM event, LPARAM header)
{
    const DEV_BROADCAST_HDR* hdr =
        NoticeOfType(header, DBT_DEVTYP_HANDLE, offsetof(DEV_BROADCAST_HANDLE, dbch_handle) + sizeof(HANDLE));
    if (!hdr) {
        return;
    }
    HANDLE handle = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(hdr)->dbch_handle;
    MutexLock lock(RestartMutex);
    if (DeviceManager) {
        if (event == DBT_DEVICEQUERYREMOVE) {
            // Let go of the handle so the removal can go ahead.
            DeviceManager->CloseDevice(handle);
        } else {
            DeviceManager->RemoveDevice(handle);
        }
    }
    UpdateTrayIcons();
}

void CMainCtrl::OnSessionChange(HWND, WPARAM code)
{
    switch (code) {
    case WTS_CONSOLE_CONNECT: {
        ConsoleConnected = 1;
        {
            MutexLock lock(RestartMutex);
            CreateDeviceManager();
        }
        StartWakeCheck();
        break;
    }
    case WTS_CONSOLE_DISCONNECT:
        ConsoleConnected = 0;
        // With MagicKey_SendSighInUser the radio remote keeps working for a
        // session that is not on the console, so its devices stay open.
        if (!GetControlSettings().MagicKey_SendSighInUser) {
            MutexLock lock(RestartMutex);
            DeleteDeviceManager();
        }
        break;
    case WTS_SESSION_LOCK:
        SessionLocked = 1;
        break;
    case WTS_SESSION_UNLOCK:
        SessionLocked = 0;
        StartWakeCheck();
        break;
    default:
        break;
    }
}

void CMainCtrl::OnPowerBroadcast(HWND window, WPARAM event, LPARAM data)
{
    if (event == PBT_POWERSETTINGCHANGE && IsConnectedStandbySystem()) {
        OnDisplayState(window, data);
    }
    switch (event) {
    case PBT_APMQUERYSUSPENDFAILED:
        PostMessageA(window, WM_HID_REOPEN, 0, 0);
        break;
    case PBT_APMSUSPEND:
        StopWakeTimers();
        ClearRemoteLcd();
        break;
    case PBT_APMRESUMECRITICAL:
    case PBT_APMRESUMESUSPEND:
        // Reopened from the message loop, not inside the power notice.
        PostMessageA(window, WM_HID_REOPEN_WAKE, 0, 0);
        break;
    default:
        break;
    }
}

void CMainCtrl::OnDisplayState(HWND window, LPARAM data)
{
    auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(data);
    if (!setting || setting->DataLength < 1 || !IsEqualGUID(setting->PowerSetting, GUID_CONSOLE_DISPLAY_STATE)) {
        return;
    }
    switch (setting->Data[0]) {
    case DISPLAY_STATE_OFF:
        DisplayOff = 1;
        SetAppDisplayOff(true);
        WakeReplySent = 0;
        DisplayOffSeen = 1;
        SetAppDisplayOffSeen(true);
        StopWakeTimers();
        ClearRemoteLcd();
        break;
    case DISPLAY_STATE_ON:
        DisplayOff = 0;
        SetAppDisplayOff(false);
        PostMessageA(window, WM_HID_REOPEN_WAKE, 0, 0);
        break;
    default:
        // Dimmed: the receiver stays as it is.
        break;
    }
}

CHidDevice* CMainCtrl::FindListedDevice(LPARAM lParam) const
{
    return DeviceManager ? DeviceManager->FindListedDevice(lParam) : nullptr;
}

void CMainCtrl::OnHidReadNext(LPARAM lParam)
{
    if (CHidDevice* device = FindListedDevice(lParam)) {
        device->IssueRead();
    }
}

void CMainCtrl::OnHidReport(LPARAM lParam)
{
    CHidDevice* device = FindListedDevice(lParam);
    const ControlSettings& settings = GetControlSettings();
    const bool away = SessionLocked || !ConsoleConnected;
    const bool standbyDisplayOff = DisplayOff && IsConnectedStandbySystem();
    // Open: the radio remote may work while the user is away.
    const bool open = settings.MagicKey_SendSighInUser || standbyDisplayOff;
    if (!device || (!open && away) || !KeyController) {
        return;
    }
    if (IsRadioReceiver()) {
        ReportGate gate{};
        gate.Away = away;
        gate.MagicKey = settings.MagicKey_SendSighInUser == 1;
        gate.WakeReplyDue = standbyDisplayOff && !WakeReplySent;
        if (KeyController->ProcessRfReport(device, gate)) {
            // Once per display-off period, whatever the write said.
            WakeReplySent = 1;
        }
        return;
    }
    // The classic receiver never works for a locked or absent user.
    if (away) {
        return;
    }
    KeyController->ProcessReport(device);
}

void CMainCtrl::ReopenDevices()
{
    MutexLock lock(RestartMutex);
    RecreateDeviceManager();
}

void CMainCtrl::ReopenDevicesAndCheckWake()
{
    ReopenDevices();
    StartWakeCheck();
}

void CMainCtrl::StartWakeCheck()
{
    if (!MainWindow) {
        return;
    }
    if (WakeRetryTimer) {
        KillTimer(MainWindow, WakeRetryTimer);
        WakeRetryTimer = 0;
    }
    WakeCheckTimer = SetTimer(MainWindow, IDT_WAKE_CHECK, WAKE_CHECK_DELAY_MS, WakeCheckTimerProc);
}

void CMainCtrl::RetryWakeCheck()
{
    const ControlSettings& settings = GetControlSettings();
    if (WakeRetryCount >= settings.RetryDirectBoot) {
        WakeRetryCount = 0;
        return;
    }
    ReopenDevices();
    ++WakeRetryCount;
    if (MainWindow) {
        WakeRetryTimer = SetTimer(MainWindow, IDT_WAKE_RETRY, settings.TimerDirectBoot, WakeCheckTimerProc);
    }
}

void CMainCtrl::StopWakeTimers()
{
    if (WakeCheckTimer) {
        KillTimer(MainWindow, WakeCheckTimer);
        WakeCheckTimer = 0;
    }
    if (WakeRetryTimer) {
        KillTimer(MainWindow, WakeRetryTimer);
        WakeRetryTimer = 0;
    }
}

void CALLBACK CMainCtrl::WakeCheckTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    // Only our two timers; both are one-shot in effect.
    if (id != IDT_WAKE_CHECK && id != IDT_WAKE_RETRY) {
        return;
    }
    // The button's action may ask or tell the user in a message box.
    MainWindowHandler handler;
    if (KillTimer(MainWindow, id)) {
        (id == IDT_WAKE_CHECK ? WakeCheckTimer : WakeRetryTimer) = 0;
    }
    const ControlSettings& settings = GetControlSettings();
    if (!settings.ApResume || SessionLocked || !ConsoleConnected || !KeyController) {
        return;
    }

    const bool radio = IsRadioReceiver();
    uint8_t kind = 0;
    uint16_t code = 0;
    uint8_t flag = 0;
    uint8_t button = 0;
    uint32_t status;
    {
        MutexLock lock(RestartMutex);
        if (!DeviceManager) {
            return;
        }
        status = radio ? DeviceManager->ReadWakeEvent(&kind, &code, &flag) : DeviceManager->ReadWakeButton(&button);
    }
    if (status != WAKE_STATUS_OK) {
        // The receiver may not be ready yet after a resume: reopen and ask again.
        RetryWakeCheck();
        return;
    }
    if (radio && kind) {
        KeyController->OnWakeEvent(kind, code, flag);
    } else if (!radio && button) {
        KeyController->LaunchWakeButton(button, 0);
    }
    WakeRetryCount = 0;
}

BOOL CMainCtrl::ClearRemoteLcd()
{
    if (!KovaApiModule) {
        return FALSE;
    }
    RemoteLcdRecord record{};
    record.Size = sizeof(record);
    record.Mask = LCD_MASK_CLEAR;
    // Looked up every time: the export is optional in older libraries.
    auto set = GetExport<SetRFRemoconLcdFn>(KovaApiModule.get(), SET_REMOTE_LCD_EXPORT);
    if (!set) {
        return FALSE;
    }
    return set(&record) == 0 ? TRUE : FALSE;
}

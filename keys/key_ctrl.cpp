#include "keys/key_ctrl.h"

#include "audio/vol_ctrl.h"
#include "base/app_context.h"
#include "base/folders.h"
#include "base/messages.h"
#include "hid/feature_reports.h"
#include "hid/hid_device.h"
#include "keys/low_bat_ctrl.h"
#include "tray/tray_control.h"

#include <shellapi.h>

#include <cstdio>
#include <new>

namespace {

// The button setting tool's window; started from Program Files when it does
// not run yet. Null when it cannot be started or shows no window in time.
HWND FindOrStartSettingTool()
{
    if (HWND tool = FindWindowA(SETTING_TOOL_CLASS, nullptr)) {
        return tool;
    }
    char folder[MAX_PATH] = {};
    char path[MAX_PATH + 32] = {};
    if (!GetProgramFilesDir(folder, sizeof(folder)) ||
        std::snprintf(path, sizeof(path), "%s%s", folder, SETTING_TOOL_PATH) >= static_cast<int>(sizeof(path))) {
        return nullptr;
    }
    SHELLEXECUTEINFOA start{};
    start.cbSize = sizeof(start);
    // A missing tool is dropped silently: no shell error box from a
    // program that runs in the background.
    start.fMask = SEE_MASK_FLAG_NO_UI;
    start.lpFile = path;
    start.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&start)) {
        return nullptr;
    }
    for (uint32_t look = 0; look < SETTING_TOOL_LOOKS; ++look) {
        Sleep(SETTING_TOOL_LOOK_MS);
        if (HWND tool = FindWindowA(SETTING_TOOL_CLASS, nullptr)) {
            return tool;
        }
    }
    return nullptr;
}

}  // namespace

CKeyCtrl::CKeyCtrl(CTrayControl* tray) : Tray(tray)
{
    VolumeControl = new (std::nothrow) CVolCtrl();
    if (GetControlSettings().Tesk_Enable) {
        BatteryWarning = new (std::nothrow) CLowBatCtrl();
    }
}

CKeyCtrl::~CKeyCtrl()
{
    delete VolumeControl;
    VolumeControl = nullptr;
    delete BatteryWarning;
    BatteryWarning = nullptr;
}

void CKeyCtrl::ProcessReport(CHidDevice* device)
{
    if (!device || !device->Info.Input.Buffer) {
        return;
    }
    KeyActions actions;
    DecodeClassicReport(Held, device->Info.Input.Buffer, device->Info.Input.Length, device->DeviceFlags,
                        BatteryWarning != nullptr, actions);
    Perform(actions, device, device->Info.Input.Buffer, device->Info.Input.Length);
}

bool CKeyCtrl::ProcessRfReport(CHidDevice* device, const ReportGate& gate)
{
    if (!device || !device->Info.Input.Buffer) {
        return false;
    }
    RfContext context{};
    context.InputReportByteLength = device->Info.Caps.InputReportByteLength;
    context.DeviceFlags = device->DeviceFlags;
    // The one reply the receiver waits for while the display of a
    // connected-standby system is off.
    context.WakeReplyDue = gate.WakeReplyDue;
    context.DropUnlessValue = gate.MagicKey && gate.Away;
    KeyActions actions;
    DecodeRfReport(Held, device->Info.Input.Buffer, device->Info.Input.Length, context, actions);
    return Perform(actions, device, device->Info.Input.Buffer, device->Info.Input.Length);
}

void CKeyCtrl::StopVolumeRepeat()
{
    KeyActions actions;
    StopRfVolumeRepeat(Held, actions);
    Perform(actions, nullptr, nullptr, 0);
}

bool CKeyCtrl::Perform(const KeyActions& actions, CHidDevice* device, const uint8_t* report, uint32_t length)
{
    bool wakeReplied = false;
    const uint32_t deviceFlags = device ? device->DeviceFlags : 0;
    for (int i = 0; i < actions.count; ++i) {
        const KeyAction& a = actions.items[i];
        switch (a.kind) {
        case KeyActionKind::Flash:
            if (Tray) {
                Tray->FlashIcon(a.code);
            }
            break;
        case KeyActionKind::BatteryLow:
            if (BatteryWarning) {
                BatteryWarning->NotifyBatteryLow(a.code);
            }
            break;
        case KeyActionKind::VolumeKeyUp:
            // The held key's repeat ends with it.
            if (VolumeControl) {
                VolumeControl->OnVolumeKey(0);
            }
            break;
        case KeyActionKind::WakeReply:
            if (device) {
                SendWakeReply(device->Info);
            }
            wakeReplied = true;
            break;
        case KeyActionKind::Call:
            Dispatch(a, deviceFlags, report, length);
            break;
        }
    }
    return wakeReplied;
}

void CKeyCtrl::Dispatch(const KeyAction& a, uint32_t deviceFlags, const uint8_t* report, uint32_t length)
{
    switch (a.handler) {
    case KeyHandler::RemoteButton: OnRemoteButton(a.code, a.state, deviceFlags); break;
    case KeyHandler::ConsumerKey: OnConsumerKey(a.code, a.state); break;
    case KeyHandler::FunctionKey: OnFunctionKey(a.code, a.state); break;
    case KeyHandler::ApplicationKey: OnApplicationKey(a.code, a.state); break;
    case KeyHandler::DigitKey: OnDigitKey(a.code, a.state); break;
    case KeyHandler::ModeKey: OnModeKey(a.code, a.state); break;
    case KeyHandler::MediaCenterKey: OnMediaCenterKey(a.code, a.state); break;
    case KeyHandler::ExtraKey: OnExtraKey(a.code, a.state); break;
    case KeyHandler::ExtraKey2: OnExtraKey2(a.code, a.state); break;
    case KeyHandler::Report:
        if (report && length) {
            OnReport(report, length);
        }
        break;
    case KeyHandler::PanelKey: OnPanelKey(a.code, a.state); break;
    case KeyHandler::PanelKey2: OnPanelKey2(a.code, a.state); break;
    case KeyHandler::EffectKey: OnEffectKey(a.code, a.state); break;
    case KeyHandler::DataKey: OnDataKey(a.code, a.state); break;
    case KeyHandler::ValueKey: OnValueKey(a.code, a.value, a.state); break;
    }
}

void CKeyCtrl::RunNumericEntryKey(uint16_t code, const EntryTimeouts& timeouts)
{
    const EntryStep step = NumericEntryKey(Entry, code, timeouts);
    switch (step.kind) {
    case EntryStep::Kind::StartTimer:
        // The window procedure ends the entry when it fires.
        if (GetAppMainWindow()) {
            SetTimer(GetAppMainWindow(), IDT_NUMERIC_ENTRY, step.value, nullptr);
        }
        break;
    case EntryStep::Kind::Finish:
        FinishNumericEntry(step.value);
        break;
    case EntryStep::Kind::Nothing:
        break;
    }
}

void CKeyCtrl::CancelNumericEntry()
{
    if (IsEntryRunning(Entry)) {
        FinishNumericEntry(ENTRY_CANCELLED);
    }
}

void CKeyCtrl::DeliverNumericEntry(uint32_t result)
{
    // The window procedure has already killed the timer that timed out.
    if (result != ENTRY_TIMEOUT && GetAppMainWindow()) {
        KillTimer(GetAppMainWindow(), IDT_NUMERIC_ENTRY);
    }
    HWND target = FindWindowA(nullptr, NAVIGATION_TEST_TITLE);
    // Without the test window only a finished number goes anywhere: to the
    // setting tool.
    if (!target && result == ENTRY_COMPLETE) {
        target = FindOrStartSettingTool();
    }
    const EntryPosts posts = TakeEntryResults(Entry, result);
    if (!target) {
        return;
    }
    for (int i = 0; i < posts.count; ++i) {
        PostMessageA(target, ENTRY_RESULT_MESSAGE, posts.items[i].which, static_cast<LPARAM>(posts.items[i].value));
    }
}

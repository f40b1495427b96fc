#include "util/button_test_page.h"

#include "base/messages.h"
#include "config/device_identities.h"
#include "hid/hid_backend.h"
#include "keys/key_test_ctrl.h"
#include "util/collections.h"
#include "util/dialog_text.h"
#include "util/util_resource.h"

#include <cstdio>

namespace {

constexpr UINT WM_APP_REOPEN = WM_APP + 2;
// Lines the page keeps of the presses before.
constexpr int LOG_LINES = 200;

}  // namespace

const char* KeyHandlerName(KeyHandler handler)
{
    switch (handler) {
    case KeyHandler::RemoteButton: return "OnRemoteButton";
    case KeyHandler::ConsumerKey: return "OnConsumerKey";
    case KeyHandler::FunctionKey: return "OnFunctionKey";
    case KeyHandler::ApplicationKey: return "OnApplicationKey";
    case KeyHandler::DigitKey: return "OnDigitKey";
    case KeyHandler::ModeKey: return "OnModeKey";
    case KeyHandler::MediaCenterKey: return "OnMediaCenterKey";
    case KeyHandler::ExtraKey: return "OnExtraKey";
    case KeyHandler::ExtraKey2: return "OnExtraKey2";
    case KeyHandler::Report: return "OnReport";
    case KeyHandler::PanelKey: return "OnPanelKey";
    case KeyHandler::PanelKey2: return "OnPanelKey2";
    case KeyHandler::EffectKey: return "OnEffectKey";
    case KeyHandler::DataKey: return "OnDataKey";
    case KeyHandler::ValueKey: return "OnValueKey";
    }
    return "?";
}

ButtonTestPage::ButtonTestPage(UtilDocument& document) : UtilPage(document, IDD_PAGE_BUTTONS) {}

ButtonTestPage::~ButtonTestPage() { CloseReceivers(); }

void ButtonTestPage::Shown(bool shown)
{
    if (shown) {
        m_notice = GetHidBackend().RegisterInterfaceNotice(m_window);
        OpenReceivers();
    } else {
        CloseReceivers();
    }
}

void ButtonTestPage::OpenReceivers()
{
    CloseReceivers();
    if (!m_notice) {
        m_notice = GetHidBackend().RegisterInterfaceNotice(m_window);
    }
    const TrialResult* trial = m_document.LastTrial();
    if (!trial) {
        return;
    }
    // The receiver's format as kova will read it after a restart.
    m_radio = trial->Controls.RFSupportFlags == 1;
    m_state = KeyDecoderState{};
    for (const CollectionInfo& c : ListCollections()) {
        uint32_t flags = 0;
        if (!c.Opened || !MatchDeviceIdentity(trial->Identities, c.UsagePage, c.Usage, c.VendorID, c.ProductID,
                                              c.Path.c_str(), &flags)) {
            continue;
        }
        Reader reader;
        reader.Device = std::make_unique<CHidDevice>(m_window);
        reader.DeviceFlags = flags;
        if (reader.Device->Open(c.Path.c_str()) && reader.Device->StartReader()) {
            m_readers.push_back(std::move(reader));
        }
    }
    SetControlText(m_window, IDC_BTN_STATUS,
                   m_readers.empty() ? LoadText(IDS_NOT_LISTENING)
                                     : FormatText(IDS_LISTENING, static_cast<int>(m_readers.size())));
    SetControlText(m_window, IDC_BTN_FORMAT, LoadText(m_radio ? IDS_FORMAT_RF : IDS_FORMAT_CLASSIC));
}

void ButtonTestPage::CloseReceivers()
{
    if (m_notice) {
        GetHidBackend().UnregisterNotice(m_notice);
        m_notice = nullptr;
    }
    // Each device stops its reader and takes back its queued messages.
    m_readers.clear();
}

ButtonTestPage::Reader* ButtonTestPage::FindReader(LPARAM device)
{
    for (Reader& reader : m_readers) {
        if (reinterpret_cast<LPARAM>(reader.Device.get()) == device) {
            return &reader;
        }
    }
    return nullptr;
}

void ButtonTestPage::OnReport(Reader& reader)
{
    const HidDeviceInfo& info = reader.Device->Info;
    if (!info.Input.Buffer || info.Input.Length == 0) {
        return;
    }
    KeyActions actions;
    if (m_radio) {
        RfContext context{};
        context.InputReportByteLength = info.Caps.InputReportByteLength;
        context.DeviceFlags = reader.DeviceFlags;
        DecodeRfReport(m_state, info.Input.Buffer, info.Input.Length, context, actions);
    } else {
        DecodeClassicReport(m_state, info.Input.Buffer, info.Input.Length, reader.DeviceFlags, false, actions);
    }
    for (int i = 0; i < actions.count; ++i) {
        const KeyAction& action = actions.items[i];
        if (action.kind == KeyActionKind::Call && action.handler != KeyHandler::Report) {
            ShowPress(action);
        }
    }
}

std::string ButtonTestPage::DescribeAction(const KeyAction& action) const
{
    const TrialResult* trial = m_document.LastTrial();
    if (!trial || trial->Controls.Test_Mode != 0) {
        // The test-mode controller shows the name it loads, nothing else.
        uint16_t code = action.handler == KeyHandler::ValueKey ? action.value : action.code;
        char name[BUTTON_NAME_MAX + 1];
        return LoadButtonName(GetModuleHandleA(nullptr), action.handler, code, name) != 0
                   ? FormatText(IDS_ACTION_TEST_MODE, name)
                   : LoadText(IDS_ACTION_TEST_MODE_NAMELESS);
    }
    return std::string();
}

void ButtonTestPage::ShowPress(const KeyAction& action)
{
    // A value key carries its kind as the code and the code as the value.
    uint16_t code = action.handler == KeyHandler::ValueKey ? action.value : action.code;
    char name[BUTTON_NAME_MAX + 1];
    if (LoadButtonName(GetModuleHandleA(nullptr), action.handler, code, name) == 0) {
        std::snprintf(name, sizeof(name), "%s", LoadText(IDS_NAMELESS).c_str());
    }
    std::string state = LoadText(action.state ? IDS_PRESSED : IDS_RELEASED);
    char codeLine[160];
    std::snprintf(codeLine, sizeof(codeLine), "%s  %u (0x%X)  %s", KeyHandlerName(action.handler), code, code,
                  state.c_str());
    if (action.state) {
        SetControlText(m_window, IDC_BTN_NAME, name);
        SetControlText(m_window, IDC_BTN_CODE, codeLine);
        SetControlText(m_window, IDC_BTN_ACTION, DescribeAction(action));
    }
    HWND log = Item(IDC_BTN_LOG);
    std::string line = std::string(name) + "  " + codeLine;
    SendMessageA(log, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (SendMessageA(log, LB_GETCOUNT, 0, 0) > LOG_LINES) {
        SendMessageA(log, LB_DELETESTRING, LOG_LINES, 0);
    }
}

INT_PTR ButtonTestPage::OnMessage(UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_HID_READ_NEXT:
        if (Reader* reader = FindReader(lParam)) {
            reader->Device->IssueRead();
        }
        return TRUE;
    case WM_HID_REPORT:
        if (Reader* reader = FindReader(lParam)) {
            OnReport(*reader);
        }
        return TRUE;
    case WM_DEVICECHANGE:
        // A receiver came or went: open afresh once the notice is answered.
        PostMessageA(m_window, WM_APP_REOPEN, 0, 0);
        SetWindowLongPtrA(m_window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_APP_REOPEN:
        if (IsWindowVisible(m_window)) {
            OpenReceivers();
        }
        return TRUE;
    default:
        return FALSE;
    }
}

#include "util/settings_page.h"

#include "config/config_report.h"
#include "config/controls.h"
#include "config/onscreen_settings.h"
#include "osd/osd_control.h"
#include "util/dialog_text.h"
#include "util/util_resource.h"

#include <commdlg.h>

#include <cstdio>

namespace {

// Values of the Controls key kova reads apart from the record: the pause of
// the TV buttons (default 0) and the on-screen switch (no default: without
// it the on-screen settings decide).
constexpr char LAUNCH_DELAY[] = "LaunchDelay";
constexpr char OSD_ENABLE[] = "OSD_Enable";

struct OnScreenNumber {
    int Id;
    const char* Name;
};
constexpr OnScreenNumber ONSCREEN_NUMBERS[] = {
    {IDC_OSD_COLOR, "Color"},
    {IDC_OSD_TIME, "Time"},
    {IDC_OSD_SIZE, "Size"},
};

}  // namespace

SettingsPage::SettingsPage(UtilDocument& document) : UtilPage(document, IDD_PAGE_SETTINGS)
{
    for (const NamedNumber& value : NamedControlSettings(DefaultControlSettings())) {
        m_rows.push_back({value.Name, true, value.Value});
    }
    m_rows.push_back({LAUNCH_DELAY, true, 0});
    m_rows.push_back({OSD_ENABLE, false, 0});
}

SettingsPage::~SettingsPage() = default;

KeyImage& SettingsPage::Controls()
{
    return m_document.Candidate(HKEY_LOCAL_MACHINE, CONTROLS_KEY, KeyTiming::AtStart);
}

KeyImage& SettingsPage::OnScreen()
{
    return m_document.Candidate(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, KeyTiming::Reload);
}

void SettingsPage::OnInit()
{
    if (const TrialResult* trial = m_document.LastTrial()) {
        ShowTrial(*trial);
    }
}

void SettingsPage::ShowTrial(const TrialResult& trial)
{
    FillingScope filling(m_filling);
    FillControls(trial);
    FillOnScreen(trial);
}

void SettingsPage::FillControls(const TrialResult& trial)
{
    std::vector<NamedNumber> effective = NamedControlSettings(trial.Controls);
    HWND list = Item(IDC_SET_CONTROLS);
    int selected = SelectedLine(list);
    int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    ResetList(list);
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows[i];
        std::string value = "-";
        if (i < effective.size()) {
            value = NumberWithHex(effective[i].Value);
        } else if (row.Name == LAUNCH_DELAY) {
            value = NumberWithHex(trial.LaunchDelay);
        }
        const ValueRead* read = FindValueRead(trial.Reads, HKEY_LOCAL_MACHINE, CONTROLS_KEY, row.Name.c_str());
        std::string note;
        if (read && read->Outcome == ReadOutcome::Taken) {
            note = row.Name == OSD_ENABLE ? NumberWithHex(read->Number) : "";
            value = row.Name == OSD_ENABLE ? note : value;
            note = "[registry]";
        } else {
            note = read ? DescribeIgnoredRead(*read) : "";
            note = note.empty() ? "[default]" : "[default] " + note;
        }
        std::string defaultText = row.HasDefault ? NumberWithHex(row.Default) : "-";
        AddListLine(list, FormatText(IDS_CONTROL_ROW, row.Name.c_str(), value.c_str(), defaultText.c_str(),
                                     note.c_str()));
    }
    SendMessageA(list, LB_SETTOPINDEX, top, 0);
    SendMessageA(list, LB_SETCURSEL, selected, 0);
}

void SettingsPage::FillOnScreen(const TrialResult& trial)
{
    // The user's own values as stored; where there is none, what the
    // machine's settings give.
    const KeyImage& image = OnScreen();
    const OnScreenSettings& s = trial.OnScreen;
    uint32_t stored = 0;
    char text[32];
    for (const OnScreenNumber& number : ONSCREEN_NUMBERS) {
        if (GetFocus() == Item(number.Id)) {
            continue;  // the person is typing there
        }
        uint32_t value = number.Id == IDC_OSD_COLOR ? s.Color : number.Id == IDC_OSD_TIME ? s.Time : s.Size;
        if (image.Number(number.Name, &stored)) {
            value = stored;
        }
        std::snprintf(text, sizeof(text), number.Id == IDC_OSD_COLOR ? "0x%06lX" : "%lu",
                      static_cast<unsigned long>(value));
        SetControlText(m_window, number.Id, text);
    }
    std::string font = s.FontFace;
    image.Text("FontFace", &font);
    if (GetFocus() != Item(IDC_OSD_FONT)) {
        SetControlText(m_window, IDC_OSD_FONT, font);
    }
    uint32_t on = s.OnScreen;
    image.Number("OnScreen", &on);
    CheckDlgButton(m_window, IDC_OSD_ON, on ? BST_CHECKED : BST_UNCHECKED);

    std::string state = FormatText(IDS_OSD_STATE, static_cast<unsigned long>(s.Color), static_cast<unsigned long>(s.Time),
                                   static_cast<unsigned long>(s.Size), s.FontFace, static_cast<unsigned long>(s.OnScreen));
    const ValueRead* enable = FindValueRead(trial.Reads, HKEY_LOCAL_MACHINE, CONTROLS_KEY, OSD_ENABLE);
    if (enable && enable->Outcome == ReadOutcome::Taken) {
        state += "\n" + LoadText(IDS_OSD_OFF_BY_CONTROLS);
    }
    SetControlText(m_window, IDC_OSD_STATE, state);
}

void SettingsPage::ShowRow(int row)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return;
    }
    uint32_t value = m_rows[row].Default;
    bool stored = Controls().Number(m_rows[row].Name, &value);
    SetControlText(m_window, IDC_SET_VALUE, stored || m_rows[row].HasDefault ? std::to_string(value) : "");
    SetControlText(m_window, IDC_SET_HELP, LoadText(IDS_CONTROL_HELP + static_cast<UINT>(row)));
}

void SettingsPage::StoreValue(int row)
{
    uint32_t value = 0;
    if (!ParseNumber(ControlText(m_window, IDC_SET_VALUE), &value)) {
        std::string label = ControlText(m_window, IDC_SET_VALUE_LABEL);
        MessageBoxA(m_window, FormatText(IDS_NOT_A_NUMBER, label.c_str()).c_str(), nullptr, MB_OK | MB_ICONWARNING);
        SetFocus(Item(IDC_SET_VALUE));
        return;
    }
    Controls().SetNumber(m_rows[row].Name, value);
    Changed();
}

void SettingsPage::OnScreenNumberChanged(int id, const char* name)
{
    std::string text = ControlText(m_window, id);
    uint32_t value = 0;
    if (text.find_first_not_of(" \t") == std::string::npos) {
        OnScreen().Remove(name);
    } else if (ParseNumber(text, &value)) {
        OnScreen().SetNumber(name, value);
    } else {
        return;  // not (yet) a number: nothing to store
    }
    Changed();
}

void SettingsPage::ChooseColour()
{
    static COLORREF custom[16] = {};
    uint32_t colour = 0;
    ParseNumber(ControlText(m_window, IDC_OSD_COLOR), &colour);
    CHOOSECOLORA choose{};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = m_window;
    choose.rgbResult = colour;
    choose.lpCustColors = custom;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (ChooseColorA(&choose)) {
        char text[32];
        std::snprintf(text, sizeof(text), "0x%06lX", static_cast<unsigned long>(choose.rgbResult));
        SetControlText(m_window, IDC_OSD_COLOR, text);
    }
}

void SettingsPage::OnCommand(int id, int code)
{
    int row = SelectedLine(Item(IDC_SET_CONTROLS));
    switch (id) {
    case IDC_SET_CONTROLS:
        if (code == LBN_SELCHANGE) {
            ShowRow(row);
        }
        break;
    case IDC_SET_STORE:
        if (row >= 0) {
            StoreValue(row);
        }
        break;
    case IDC_SET_DEFAULT:
        if (row >= 0) {
            // Without the value kova takes its default.
            Controls().Remove(m_rows[row].Name);
            Changed();
        }
        break;
    case IDC_OSD_COLOR:
    case IDC_OSD_TIME:
    case IDC_OSD_SIZE:
        if (code == EN_CHANGE) {
            for (const OnScreenNumber& number : ONSCREEN_NUMBERS) {
                if (number.Id == id) {
                    OnScreenNumberChanged(id, number.Name);
                }
            }
        }
        break;
    case IDC_OSD_FONT:
        if (code == EN_CHANGE) {
            OnScreen().SetText("FontFace", ControlText(m_window, IDC_OSD_FONT));
            Changed();
        }
        break;
    case IDC_OSD_ON:
        if (code == BN_CLICKED) {
            OnScreen().SetNumber("OnScreen", IsDlgButtonChecked(m_window, IDC_OSD_ON) == BST_CHECKED ? 1 : 0);
            Changed();
        }
        break;
    case IDC_OSD_CHOOSE_COLOR:
        ChooseColour();
        break;
    case IDC_OSD_PREVIEW:
        if (const TrialResult* trial = m_document.LastTrial()) {
            if (!m_osd) {
                m_osd = std::make_unique<COsdControl>();
            }
            m_osd->ShowPreview(trial->OnScreen, LoadText(IDS_OSD_SAMPLE).c_str());
        }
        break;
    default:
        break;
    }
}

// The configuration inspector's report: the value in effect, its source,
// and why a stored value was ignored, for each rule by which the loaders
// refuse a value.

#include "config/config_report.h"

#include "config/config.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr char KOVA_KEY[] = "Software\\Orlan\\Kova";

class ConfigReportTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override { ResetConfigStoreForTests(); }
};

const SettingLine* FindLine(const std::vector<SettingLine>& lines, const std::string& place, const std::string& name)
{
    for (const SettingLine& line : lines) {
        if (line.Place == place && line.Name == name) {
            return &line;
        }
    }
    return nullptr;
}

std::string Hklm(const char* key) { return std::string("HKLM\\") + key; }

TEST_F(ConfigReportTest, EachRuleThatRefusesAValueIsNamed)
{
    struct Row {
        const char* what;
        std::function<void()> store;
        std::string place;
        const char* name;
        const char* value;
        const char* source;
        const char* note;
    };
    const std::string longText(129, 'x');
    const std::string cutText(300, 'y');
    const Row rows[] = {
        {"a number", [] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Test_Mode", 0); },
         Hklm(CONTROLS_KEY), "Test_Mode", "0", "registry", ""},
        {"not stored", [] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Test_Mode", 0); },
         Hklm(CONTROLS_KEY), "Fmode", "6", "default", "not stored"},
        {"a text where a number belongs",
         [] { RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "ApResume", "0"); }, Hklm(CONTROLS_KEY),
         "ApResume", "1", "default", "stored REG_SZ of 2 bytes ignored: a number must be REG_DWORD"},
        {"a number of 8 bytes",
         [] { RegistrySandbox::SetBinary(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Help_Enable", {1, 0, 0, 0, 0, 0, 0, 0}); },
         Hklm(CONTROLS_KEY), "Help_Enable", "0", "default",
         "stored REG_BINARY of 8 bytes ignored: a number has 4 bytes"},
        {"a number out of range", [] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Icon", 5); },
         Hklm(CONTROLS_KEY), "Icon", "0", "default", "stored 5 ignored: accepted 0 to 2 (above reads as 0)"},
        {"a text too long for its group",
         [&] { RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "Menu_Util", longText); },
         Hklm(REMOTE_TEXTS_KEY), "Menu_Util", "\"Open(&O)\"", "default",
         "stored text of 129 characters ignored: longer than 128"},
        {"a text of another type",
         [] {
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "Util_Exe", "u.exe", REG_EXPAND_SZ);
         },
         Hklm(REMOTE_TEXTS_KEY), "Util_Exe", "\"kovautil.exe\"", "default",
         "stored REG_EXPAND_SZ ignored: a text must be REG_SZ"},
        {"a long text kept in part",
         [&] { RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, "MENU_EXIT", cutText); },
         Hklm(KEYBOARD_TEXTS_KEY), "MENU_EXIT", nullptr, "registry", "cut to 127 characters"},
        {"the user's value over the machine's",
         [] {
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, ONSCREEN_DEFAULT_KEY, "Color", 255);
             RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Color", 16711680);
         },
         Hklm(ONSCREEN_DEFAULT_KEY), "Color", "16711680 (0xFF0000)",
         "registry: HKCU\\Software\\Orlan\\OrlanTesk\\OnScreen\\Color", ""},
        {"the user's value out of range",
         [] { RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 101); },
         Hklm(ONSCREEN_DEFAULT_KEY), "Time", "3", "default",
         "HKCU\\Software\\Orlan\\OrlanTesk\\OnScreen\\Time: stored 101 ignored: accepted 0 to 100 (else 3)"},
        {"OSD_Enable over the on/off switch",
         [] { RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "OSD_Enable", 0); },
         Hklm(ONSCREEN_DEFAULT_KEY), "OnScreen", "0",
         "registry: HKLM\\Software\\Orlan\\Kova\\Controls\\OSD_Enable", ""},
        {"a key that is missing", [] {}, Hklm(PLAYER_WINDOWS_KEY), "CD_CONTROL", "2", "default", "key missing"},
        {"a list that ends at a gap",
         [] {
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, AUDIO_CONTROL_STRINGS_KEY, "Str00", "a");
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, AUDIO_CONTROL_STRINGS_KEY, "Str02", "c");
         },
         Hklm(AUDIO_CONTROL_STRINGS_KEY), "Str02", nullptr, "default", "not read: the list ends before it"},
        {"the receivers' list end",
         [] {
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "VendorID1", 0x0bda);
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "ProductID1", 0x0150);
             RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KOVA_KEY, "ProductID2", "0x0151");
         },
         Hklm(KOVA_KEY), "ProductID2", "-", "",
         "the list ends here: stored REG_SZ of 7 bytes ignored: a number must be REG_DWORD"},
        {"a receiver", [] {
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "VendorID1", 0x0bda);
             RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KOVA_KEY, "ProductID1", 0x0150);
         },
         Hklm(KOVA_KEY), "receiver 1", "vendor 0x0BDA, product 0x0150, any path", "registry", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // Each row on a registry and a store of its own.
        RegistrySandbox sandbox;
        ResetConfigStoreForTests();
        row.store();
        std::vector<SettingLine> lines = InspectConfiguration();
        const SettingLine* line = FindLine(lines, row.place, row.name);
        ASSERT_NE(line, nullptr) << row.place << " " << row.name;
        if (row.value) {
            EXPECT_EQ(line->Value, row.value);
        }
        EXPECT_EQ(line->Source, row.source);
        EXPECT_EQ(line->Note, row.note);
    }
}

// The report shows what kova.exe loads: the same loaders fill the store.
TEST_F(ConfigReportTest, EveryControlsValueIsReportedAsTheStoreHoldsIt)
{
    RegistrySandbox sandbox;
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "TimerStartBV", 1234);
    std::vector<SettingLine> lines = InspectConfiguration();
    const ControlSettings& controls = CConfig::GetControlSettings();
    for (const NamedNumber& value : NamedControlSettings(controls)) {
        const SettingLine* line = FindLine(lines, Hklm(CONTROLS_KEY), value.Name);
        ASSERT_NE(line, nullptr) << value.Name;
        EXPECT_EQ(std::stoul(line->Value), value.Value) << value.Name;
    }
    EXPECT_NE(FindLine(lines, Hklm(CONTROLS_KEY), "LaunchDelay"), nullptr);
    EXPECT_EQ(FindLine(lines, Hklm(CONTROLS_KEY), "TimerStartBV")->Value, "1234 (0x4D2)");
}

}  // namespace

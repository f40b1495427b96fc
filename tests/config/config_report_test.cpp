// The configuration inspector's report: the value in effect, its source,
// and why a stored value was ignored, for each rule by which the loaders
// refuse a value.

#include "config/config_report.h"

#include "config/config.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
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

// The machine as the installer leaves it: every line of
// installer/settings.txt written into the sandbox.
void WriteInstallerSettings()
{
    std::ifstream file(KOVA_INSTALLER_SETTINGS_WIN);
    ASSERT_TRUE(file) << KOVA_INSTALLER_SETTINGS_WIN;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream parts(line);
        for (std::string field; std::getline(parts, field, '|');) {
            const size_t first = field.find_first_not_of(' ');
            const size_t last = field.find_last_not_of(' ');
            fields.push_back(first == std::string::npos ? "" : field.substr(first, last - first + 1));
        }
        if (fields.size() == 4) {
            fields.push_back("");  // an empty last field: a key's line
        }
        ASSERT_EQ(fields.size(), 5u) << line;
        const HKEY root = fields[0] == "HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        if (fields[2] == "*") {
            RegistrySandbox::CreateKey(root, fields[1].c_str());
        } else if (fields[3] == "dword") {
            RegistrySandbox::SetDword(root, fields[1].c_str(), fields[2].c_str(),
                                      static_cast<uint32_t>(std::strtoul(fields[4].c_str(), nullptr, 0)));
        } else {
            RegistrySandbox::SetString(root, fields[1].c_str(), fields[2].c_str(), fields[4]);
        }
    }
}

// What a report says, without the notes (which name why a value was
// ignored, and so differ between a malformed and a missing value).
std::vector<std::string> Effect(const std::vector<SettingLine>& lines)
{
    std::vector<std::string> effect;
    for (const SettingLine& line : lines) {
        effect.push_back(line.Place + "|" + line.Name + "|" + line.Value + "|" + line.Source);
    }
    return effect;
}

using Texts = std::vector<std::string>;

// The lines of got that are not in expected, and those of expected that
// are not in got, marked + and -.
Texts Difference(const Texts& got, const Texts& expected)
{
    Texts out;
    for (const std::string& line : got) {
        if (std::find(expected.begin(), expected.end(), line) == expected.end()) {
            out.push_back("+ " + line);
        }
    }
    for (const std::string& line : expected) {
        if (std::find(got.begin(), got.end(), line) == got.end()) {
            out.push_back("- " + line);
        }
    }
    return out;
}

std::vector<SettingLine> Inspect()
{
    ResetConfigStoreForTests();
    return InspectConfiguration();
}

struct Malformed {
    const char* What;
    DWORD Type;
    std::vector<uint8_t> Data;
};

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Every setting the inspector reports, on a machine configured as the
// installer leaves it, stored in each malformed form in turn: of a wrong
// type, of an odd length, a text far too long. Each must read exactly as if
// the value were missing: the whole report (every setting's value and
// source) is the same. The short form tries one form a setting, chosen at
// random; KOVA_CORPUS=long tries every form on every setting.
TEST_F(ConfigReportTest, EveryMalformedValueReadsAsAMissingOne)
{
    const std::vector<Malformed> numberForms = {
        {"a text", REG_SZ, Bytes(std::string("5", 2))},
        {"an expandable text", REG_EXPAND_SZ, Bytes(std::string("5", 2))},
        {"a text list", REG_MULTI_SZ, Bytes(std::string("5\0\0", 3))},
        {"no bytes", REG_BINARY, {}},
        {"one byte", REG_BINARY, {1}},
        {"three bytes", REG_BINARY, {1, 2, 3}},
        {"five bytes", REG_BINARY, {1, 2, 3, 4, 5}},
        {"a 64-bit number", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"nothing of no type", REG_NONE, {}},
    };
    const std::vector<Malformed> textForms = {
        {"a number", REG_DWORD, {5, 0, 0, 0}},
        {"three bytes of binary", REG_BINARY, Bytes("abc")},
        {"an expandable text", REG_EXPAND_SZ, Bytes(std::string("x", 2))},
        {"a text list", REG_MULTI_SZ, Bytes(std::string("x\0\0", 3))},
        {"4096 characters", REG_SZ, Bytes(std::string(4096, 'x') + '\0')},
        {"nothing of no type", REG_NONE, {}},
    };
    const std::vector<Malformed> eitherForms = {
        {"an expandable text", REG_EXPAND_SZ, Bytes(std::string("x", 2))},
        {"a text list", REG_MULTI_SZ, Bytes(std::string("x\0\0", 3))},
        {"three bytes", REG_BINARY, {1, 2, 3}},
        {"a 64-bit number", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"nothing of no type", REG_NONE, {}},
    };
    char corpus[8] = {};
    const bool longForm =
        GetEnvironmentVariableA("KOVA_CORPUS", corpus, sizeof(corpus)) > 0 && std::strcmp(corpus, "long") == 0;
    std::mt19937 rng(20);

    RegistrySandbox sandbox;
    WriteInstallerSettings();
    const std::vector<SettingLine> configured = Inspect();
    ASSERT_GT(configured.size(), 50u);
    int tried = 0;
    for (const SettingLine& setting : configured) {
        const size_t slash = setting.Place.find('\\');
        if (slash != 4 || setting.Name.empty() || setting.Name.find_first_of(" (") != std::string::npos) {
            continue;  // a list's or a key's summary, not a registry value of its own
        }
        const HKEY root = setting.Place.compare(0, 4, "HKCU") == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const std::string key = setting.Place.substr(slash + 1);
        // What is stored now, to put back after each form.
        DWORD storedType = 0;
        std::vector<uint8_t> stored(8192);
        DWORD storedSize = static_cast<DWORD>(stored.size());
        const bool wasStored = RegGetValueA(root, key.c_str(), setting.Name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                                            &storedType, stored.data(), &storedSize) == ERROR_SUCCESS;
        // Missing means: the key there, the value not. A key that exists can
        // count by itself (the TV application's App Paths key).
        RegistrySandbox::CreateKey(root, key.c_str());
        RegistrySandbox::DeleteValue(root, key.c_str(), setting.Name.c_str());
        const std::vector<std::string> missing = Effect(Inspect());

        // A setting not stored (a list's next entry, a name whose presence
        // counts) shows no value to tell its kind: it gets the forms that
        // are wrong for a number and for a text alike.
        const bool text = setting.Value.compare(0, 1, "\"") == 0;
        const bool number = !setting.Value.empty() && setting.Value[0] >= '0' && setting.Value[0] <= '9';
        const std::vector<Malformed>& forms = text ? textForms : number ? numberForms : eitherForms;
        std::vector<const Malformed*> chosen;
        if (longForm) {
            for (const Malformed& form : forms) {
                chosen.push_back(&form);
            }
        } else {
            chosen.push_back(&forms[rng() % forms.size()]);
        }
        for (const Malformed* form : chosen) {
            SCOPED_TRACE(setting.Place + " " + setting.Name + " stored as " + form->What);
            RegistrySandbox::SetValue(root, key.c_str(), setting.Name.c_str(), form->Type, form->Data.data(),
                                      static_cast<DWORD>(form->Data.size()));
            EXPECT_EQ(Difference(Effect(Inspect()), missing), Texts{});
            ++tried;
        }
        if (wasStored) {
            RegistrySandbox::SetValue(root, key.c_str(), setting.Name.c_str(), storedType, stored.data(), storedSize);
        } else {
            RegistrySandbox::DeleteValue(root, key.c_str(), setting.Name.c_str());
        }
    }
    EXPECT_GT(tried, 50);
}

}  // namespace

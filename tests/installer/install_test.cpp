// The installer package as an administrator rolls it out: msiexec installs,
// installs again, upgrades and uninstalls it silently. These run in a Wine
// prefix of their own (scripts/install-test.sh), a machine where nothing
// else is installed, so the build's program folder is never touched.
//
// What the package must put in place comes from the two lists the package
// is made from: installer/settings.txt (the registry) and the file list the
// build writes beside the package.

#include <windows.h>

#include <msi.h>
#include <shlobj.h>

#include "base/messages.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/pump.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char PROGRAM_FOLDER[] = "C:\\Program Files\\ZUZIDAZOR\\";
constexpr char UPGRADE_CODE[] = "{6B1B6E0C-3C43-4B7B-9E41-2A1C6A4B2F10}";
constexpr char RUN_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char SHORTCUT[] = "Kova Remote Control\\Kova Remote Control.lnk";
// msiexec under Wine takes a few seconds; never minutes.
constexpr DWORD MSIEXEC_LIMIT_MS = 180000;
constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD SHOW_TIMEOUT_MS = 10000;

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::vector<std::string>> ReadTable(const std::string& path)
{
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '|')) {
            size_t b = field.find_first_not_of(" \t");
            size_t e = field.find_last_not_of(" \t");
            fields.push_back(b == std::string::npos ? "" : field.substr(b, e - b + 1));
        }
        if (line.back() == '|') {
            fields.push_back("");
        }
        rows.push_back(fields);
    }
    return rows;
}

// installer/settings.txt: root | key | name | type | data.
struct Setting {
    std::string Key;
    std::string Name;
    std::string Type;
    std::string Data;
};

std::vector<Setting> Settings()
{
    std::vector<Setting> settings;
    for (const auto& row : ReadTable(Env("KOVA_INSTALL_SETTINGS"))) {
        if (row.size() == 5 && row[0] == "HKLM") {
            settings.push_back({row[1], row[2], row[3], row[4]});
        }
    }
    return settings;
}

// The file list: feature | folder | file name.
struct InstalledFile {
    std::string Feature;
    std::string Path;
};

std::vector<InstalledFile> Files()
{
    std::vector<InstalledFile> files;
    for (const auto& row : ReadTable(Env("KOVA_INSTALL_FILES"))) {
        if (row.size() == 3) {
            files.push_back({row[0], PROGRAM_FOLDER + (row[1] == "." ? "" : row[1] + "\\") + row[2]});
        }
    }
    return files;
}

std::string ExpandInstallDir(std::string text)
{
    const std::string marker = "[INSTALLDIR]";
    size_t at = text.find(marker);
    if (at != std::string::npos) {
        text.replace(at, marker.size(), PROGRAM_FOLDER);
    }
    return text;
}

bool KeyExists(const std::string& key)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(raw);
    return true;
}

// What the registry holds for a value: "dword 123", "sz text", or "" when absent.
std::string StoredValue(const std::string& key, const std::string& name)
{
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    DWORD type = REG_NONE;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS) {
        return "";
    }
    if (type == REG_DWORD) {
        return "dword " + std::to_string(*reinterpret_cast<DWORD*>(data));
    }
    return type == REG_SZ ? std::string("sz ") + data : "type " + std::to_string(type);
}

std::string ExpectedValue(const Setting& s)
{
    if (s.Type == "dword") {
        return "dword " + std::to_string(std::stoul(s.Data, nullptr, 0));
    }
    return "sz " + ExpandInstallDir(s.Data);
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Windows puts the Start menu entry of a per-machine package into the
// common Programs folder, Wine's installer service into the user's: the
// entry counts in either, and must be gone from both.
std::string StartMenuShortcut()
{
    for (int folderId : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        char folder[MAX_PATH] = {};
        SHGetFolderPathA(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, folder);
        std::string path = std::string(folder) + "\\" + SHORTCUT;
        if (FileExists(path)) {
            return path;
        }
    }
    return "";
}

std::vector<std::string> InstalledProducts()
{
    std::vector<std::string> products;
    char code[39] = {};
    for (DWORD i = 0; MsiEnumRelatedProductsA(UPGRADE_CODE, 0, i, code) == ERROR_SUCCESS; ++i) {
        products.push_back(code);
    }
    return products;
}

std::string ProductVersion(const std::string& code)
{
    char version[64] = {};
    DWORD size = sizeof(version);
    MsiGetProductInfoA(code.c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &size);
    return version;
}

// msiexec with these arguments; its exit code, or -1 when it did not end.
int Msiexec(const std::string& arguments)
{
    ChildProcess msiexec;
    if (!msiexec.Start("C:\\windows\\system32\\msiexec.exe", arguments)) {
        return -1;
    }
    DWORD code = 0;
    return msiexec.WaitForExit(MSIEXEC_LIMIT_MS, &code) ? static_cast<int>(code) : -1;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FileExists(current)) << "KOVA_MSI names no package: " << current;
        ASSERT_TRUE(FileExists(older)) << "KOVA_MSI_OLDER names no package: " << older;
        ASSERT_FALSE(Settings().empty()) << "KOVA_INSTALL_SETTINGS";
        ASSERT_FALSE(Files().empty()) << "KOVA_INSTALL_FILES";
        // A run that failed half-way may have left a product behind.
        for (const std::string& code : InstalledProducts()) {
            Msiexec("/x " + code + " /qn");
        }
        ASSERT_TRUE(InstalledProducts().empty());
    }

    // Every feature of the package was installed (ADDLOCAL=ALL).
    void ExpectComplete(const char* version)
    {
        std::vector<std::string> products = InstalledProducts();
        ASSERT_EQ(products.size(), 1u) << "one product of the upgrade code";
        EXPECT_EQ(ProductVersion(products[0]), version);
        for (const InstalledFile& file : Files()) {
            EXPECT_TRUE(FileExists(file.Path)) << file.Path << " (" << file.Feature << ")";
        }
        for (const Setting& s : Settings()) {
            if (s.Name == "*") {
                EXPECT_TRUE(KeyExists(s.Key)) << s.Key;
            } else {
                EXPECT_EQ(StoredValue(s.Key, s.Name), ExpectedValue(s)) << s.Key << "\\" << s.Name;
            }
        }
        EXPECT_NE(StartMenuShortcut(), "") << "no Start menu entry";
    }

    void ExpectRemoved()
    {
        EXPECT_TRUE(InstalledProducts().empty());
        for (const InstalledFile& file : Files()) {
            EXPECT_FALSE(FileExists(file.Path)) << file.Path;
        }
        EXPECT_FALSE(FileExists(PROGRAM_FOLDER)) << "the program folder is left";
        for (const Setting& s : Settings()) {
            if (s.Key == RUN_KEY) {
                EXPECT_EQ(StoredValue(s.Key, s.Name), "") << "the logon command is left";
            } else {
                EXPECT_FALSE(KeyExists(s.Key)) << s.Key << " is left";
            }
        }
        EXPECT_FALSE(KeyExists("Software\\Orlan\\Kova"));
        EXPECT_FALSE(KeyExists("Software\\Orlan\\OrlanTesk"));
        EXPECT_EQ(StartMenuShortcut(), "") << "the Start menu entry is left";
    }

    const std::string current = Env("KOVA_MSI");
    const std::string older = Env("KOVA_MSI_OLDER");
};

TEST_F(InstallerTest, AnUpgradeAndASecondInstallKeepOneCompleteInstallation)
{
    ASSERT_EQ(Msiexec("/i " + Quoted(older) + " /qn ADDLOCAL=ALL"), 0);
    ExpectComplete("0.9.0");

    // The newer package replaces the older one in place.
    ASSERT_EQ(Msiexec("/i " + Quoted(current) + " /qn ADDLOCAL=ALL"), 0);
    ExpectComplete("1.0.0");

    // The same package once more changes nothing and succeeds.
    ASSERT_EQ(Msiexec("/i " + Quoted(current) + " /qn"), 0);
    ExpectComplete("1.0.0");

    ASSERT_EQ(Msiexec("/x " + Quoted(current) + " /qn"), 0);
    ExpectRemoved();
}

TEST_F(InstallerTest, TheLogonCommandStartsKovaInTestModeAndTheUninstallEndsIt)
{
    ASSERT_EQ(Msiexec("/i " + Quoted(current) + " /qn ADDLOCAL=ALL"), 0);

    // A classic receiver of the identity the package writes.
    ReceiverHost host;
    ScopedJournal journal;
    host.Run(PlugCommand(3, "0xffbc", "0x88", "in=8 feature=4"));

    // The command exactly as Windows runs it at logon.
    std::string command = StoredValue(RUN_KEY, "kova");
    ASSERT_EQ(command.rfind("sz \"", 0), 0u) << command;
    std::string program = command.substr(4, command.find('"', 4) - 4);
    std::string arguments = command.substr(command.find('"', 4) + 1);
    ChildProcess kova;
    ASSERT_TRUE(kova.Start(program, arguments));
    ASSERT_NE(kova.WaitForWindow(MAIN_WINDOW_CLASS, START_TIMEOUT_MS), nullptr);
    ASSERT_TRUE(host.WaitForEvents("opened 3 handle", 1, START_TIMEOUT_MS)) << "the installed identity finds it";

    // Test mode: the button's name on the screen.
    host.Run("send 3 02 01 00 00 00 00 00 00");
    host.Run("send 3 02 00 00 00 00 00 00 00");
    ASSERT_TRUE(journal.WaitForCalls("orlanosd.dll", "OnScreen_DisplayA", 1, SHOW_TIMEOUT_MS));
    EXPECT_NE(journal.Calls("orlanosd.dll", "OnScreen_DisplayA").back().find("NextTrack"), std::string::npos);

    ASSERT_EQ(Msiexec("/x " + Quoted(current) + " /qn"), 0);
    EXPECT_FALSE(kova.IsRunning()) << "kova had ended before its files were removed";
    ExpectRemoved();
}

}  // namespace

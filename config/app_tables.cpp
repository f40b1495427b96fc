#include "config/app_tables.h"

#include "base/text_util.h"
#include "config/regs.h"

#include <cstdio>

namespace {

constexpr int SHORT_TEXT_BUFFER = 129;
constexpr char BRIVUE_DEFAULT_FOLDER[] = "C:\\Program Files\\Orlan\\Brivue";

void ReadPlayerWindow(CRegs& regs, const char* prefix, PlayerWindow& out)
{
    char name[32];
    std::snprintf(name, sizeof(name), "%s_CLASS", prefix);
    ReadTrimmedText(regs, name, REGS_WORK_BUFFER, out.Class);
    // Matched against window titles exactly, so blanks are kept.
    std::snprintf(name, sizeof(name), "%s_TITLE", prefix);
    ReadUntrimmedText(regs, name, REGS_WORK_BUFFER, out.Title);
    std::snprintf(name, sizeof(name), "%s_CONTROL", prefix);
    uint32_t control = 0;
    if (regs.QueryDword(name, &control) == ERROR_SUCCESS) {
        out.Control = control;
    }
}

}  // namespace

PlayerWindows DefaultPlayerWindows()
{
    PlayerWindows players{};
    players.Cd.Control = PLAYER_CONTROL_DEFAULT;
    players.Dvd.Control = PLAYER_CONTROL_DEFAULT;
    return players;
}

BrivueInstallation DefaultBrivueInstallation()
{
    BrivueInstallation brivue{};
    CopyCut(brivue.BrivueInstallPath, BRIVUE_DEFAULT_FOLDER);
    return brivue;
}

void LoadBrowserClasses(BrowserClasses& out)
{
    out = BrowserClasses{};
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    // An empty class would match nothing useful: it ends the list like a gap.
    for (int n = 1; n <= BROWSER_CLASS_MAX; ++n) {
        char name[32];
        std::snprintf(name, sizeof(name), "IE%d_Class", n);
        char text[TEXT_FIELD_SIZE] = {};
        if (!ReadTrimmedText(regs, name, REGS_WORK_BUFFER, text) || text[0] == '\0') {
            break;
        }
        CopyCut(out.Class[out.Count], text);
        ++out.Count;
    }
    regs.Close();
}

void LoadSpecialApps(SpecialApps& out)
{
    out = SpecialApps{};
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    // A pair counts only when both halves were read; an empty option is a
    // valid one (it launches the program without parameters).
    for (int n = 1; n <= SPECIAL_APP_MAX; ++n) {
        char appName[32];
        char optName[32];
        std::snprintf(appName, sizeof(appName), "ApName%d", n);
        std::snprintf(optName, sizeof(optName), "ApOpt%d", n);
        SpecialApp app{};
        if (!ReadTrimmedText(regs, appName, REGS_WORK_BUFFER, app.Name) ||
            !ReadTrimmedText(regs, optName, REGS_WORK_BUFFER, app.Option)) {
            break;
        }
        out.Apps[out.Count] = app;
        ++out.Count;
    }
    regs.Close();
}

void LoadPlayerWindows(PlayerWindows& out)
{
    out = DefaultPlayerWindows();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, PLAYER_WINDOWS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    ReadPlayerWindow(regs, "CD", out.Cd);
    ReadPlayerWindow(regs, "DVD", out.Dvd);
    regs.Close();
}

void LoadBrivueInstallation(BrivueInstallation& out)
{
    out = DefaultBrivueInstallation();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, BRIVUE_APP_PATH_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    out.BrivueInstalled = 1;
    ReadTrimmedText(regs, "Path", SHORT_TEXT_BUFFER, out.BrivueInstallPath);
    regs.Close();
}

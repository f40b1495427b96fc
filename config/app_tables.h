#pragma once
// The small tables that name applications outside the program: which window
// classes are web browsers, which programs get extra launch options, where the
// CD and DVD players are, and where the Brivue television application lives.
// All are filled once at start-up and only read afterwards.

#include "config/texts.h"

#include <cstdint>

constexpr char BROWSER_CLASSES_KEY[] = "Software\\Orlan\\Kova\\IE";                                // HKLM
constexpr char SPECIAL_APPS_KEY[] = "Software\\Orlan\\Kova\\SpecialAp";                            // HKLM
constexpr char PLAYER_WINDOWS_KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\Player";          // HKLM
constexpr char TUNERDECK_KEY[] = "SOFTWARE\\Pellar\\TunerDeck";  // HKLM, "AppName" when installed
constexpr char BRIVUE_APP_PATH_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ROVAZUVAD.exe";  // HKLM

// IE1_Class to IE5_Class: the window sender treats a foreground window of one
// of these classes as a browser.
constexpr int BROWSER_CLASS_MAX = 5;
struct BrowserClasses {
    char Class[BROWSER_CLASS_MAX][TEXT_FIELD_SIZE];
    int Count;
};

// ApName1/ApOpt1 to ApName10/ApOpt10: a launched file named ApName n (any
// case) without parameters of its own is given ApOpt n.
constexpr int SPECIAL_APP_MAX = 10;
struct SpecialApp {
    char Name[TEXT_FIELD_SIZE];
    char Option[TEXT_FIELD_SIZE];
};
struct SpecialApps {
    SpecialApp Apps[SPECIAL_APP_MAX];
    int Count;
};

// CD_CLASS/CD_TITLE/CD_CONTROL and the DVD_ counterparts. Titles are kept
// as stored, blanks and all; the control method defaults to 2.
constexpr uint32_t PLAYER_CONTROL_DEFAULT = 2;
struct PlayerWindow {
    char Class[TEXT_FIELD_SIZE];
    char Title[TEXT_FIELD_SIZE];
    uint32_t Control;
};
struct PlayerWindows {
    PlayerWindow Cd;
    PlayerWindow Dvd;
};

// BrivueInstalled is 1 when the application's App Paths key exists; its Path
// then replaces the default folder.
struct BrivueInstallation {
    char BrivueInstallPath[TEXT_FIELD_SIZE];
    uint32_t BrivueInstalled;
};

PlayerWindows DefaultPlayerWindows();
BrivueInstallation DefaultBrivueInstallation();

// Loaders: each starts from its defaults (empty lists) and reads its key.
void LoadBrowserClasses(BrowserClasses& out);
void LoadSpecialApps(SpecialApps& out);
void LoadPlayerWindows(PlayerWindows& out);
void LoadBrivueInstallation(BrivueInstallation& out);

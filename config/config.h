#pragma once
// CConfig: the base of nearly every controller. All objects share one
// process-wide store, loaded from the registry by the first construction and
// only read afterwards.

#include <windows.h>

#include "config/app_tables.h"
#include "config/controls.h"
#include "config/device_identities.h"
#include "config/display_probe.h"
#include "config/onscreen_settings.h"
#include "config/target_window_table.h"
#include "config/texts.h"

#include <cstdint>

struct HidDeviceInfo;

// The one copy of the settings in a process.
struct ConfigStore {
    LONG RefCount = 0;
    bool LoadPending = true;

    DeviceIdentityTable Identities{};
    ControlSettings Controls{};
    uint32_t OsClass = 0;
    DisplayProbe Probe;

    // Rewritten by reloads on the main thread or a display thread while
    // others read it: only ever touched under OnScreenLock.
    OnScreenSettings OnScreen;
    SRWLOCK OnScreenLock = SRWLOCK_INIT;

    // Loaded once, read-only afterwards.
    RemoteTexts Remote;
    KeyboardTexts Keyboard;
    OnScreenTexts OnScreenText;
    AudioControlStrings AudioStrings;
    BrowserClasses Browsers;
    SpecialApps Specials;
    PlayerWindows Players;
    BrivueInstallation Brivue;

    // Written by registrations on the main thread and by the send-window
    // watcher on its own, read by the window sender: only ever touched under
    // TargetWindowLock, and never for longer than a copy.
    TargetWindowTable TargetWindows;
    SRWLOCK TargetWindowLock = SRWLOCK_INIT;
};

class CConfig {
public:
    CConfig();
    virtual ~CConfig();

    CConfig(const CConfig&) = delete;
    CConfig& operator=(const CConfig&) = delete;

    static const ControlSettings& GetControlSettings();
    static uint32_t GetOsClass();
    // 0 before Windows 8 or without the probe; 1 means the desktop is in front.
    static uint32_t QueryDisplayMode();
    static BOOL IsTunerDeckInstalled();

    // A consistent copy of the on-screen settings, never half rewritten.
    static OnScreenSettings GetOnScreenSettings();
    // Reason 1 re-reads the user's settings and OSD_Enable; a value gone
    // from the user's key keeps the value it had. Other reasons do nothing.
    static void ReloadOnScreenSettings(int reason);

    // Texts, each filled with its built-in default or the installer's text.
    static const RemoteTexts& GetRemoteTexts();
    static const KeyboardTexts& GetKeyboardTexts();
    static const OnScreenTexts& GetOnScreenTexts();
    static const AudioControlStrings& GetAudioControlStrings();

    // Tables of outside applications.
    static const BrowserClasses& GetBrowserClasses();
    static const SpecialApps& GetSpecialApps();
    static const PlayerWindows& GetPlayerWindows();
    static const BrivueInstallation& GetBrivueInstallation();

    // Target windows. Entries are addressed by their 0-based index (position
    // - 1); a scan runs over the indices 0 .. GetTargetWindowHighest() - 1.
    // Every read is a copy taken under the table's lock, so a scan never
    // sees an entry half rewritten by the send-window watcher.
    static int GetTargetWindowHighest();
    static int GetTargetWindowStaticCount();
    // False (and *out untouched) for an index outside the table.
    static bool GetTargetWindow(int index, TargetWindowEntry* out);
    // Copies the entries 0 .. min(highest, capacity) - 1 in one consistent
    // view; returns how many were copied.
    static int CopyTargetWindows(TargetWindowEntry* out, int capacity);
    // Remembers the window found for a class entry; false when the entry is
    // not (or no longer) a class entry in use.
    static bool CacheTargetWindowHandle(int index, HWND window);
    // A client's WM_COPYDATA registration: 0 done, -1 refused (ucId 0).
    static int RegisterTargetWindow(const TargetWindowRegistration& registration);
    // Applies the SENDWINDOW values of the open key. The registry is read
    // without the lock; only the short update of the table takes it.
    // Returns 0, or the registry error that made it give up (a closed key).
    static LONG LoadSendWindowRegistrations(HKEY key);

    // The receiver test of an open collection (usage page and usage from
    // Caps, ids from Attributes, the device path); on a match the identity's
    // flags go to *deviceFlags. Defined in hid/, which owns the record's
    // layout; the store itself matches on plain values (MatchDeviceIdentity).
    static BOOL MatchDevice(const HidDeviceInfo& info, uint32_t* deviceFlags);
    static BOOL AddDeviceIdentity(uint32_t productId, uint32_t vendorId, uint32_t flags, const char* pathWord);
    static const DeviceIdentityTable& GetDeviceIdentities();
    // Frees the identities' path words; the main controller calls it as it goes.
    static void ReleaseDeviceIdentities();

    // Number of live CConfig objects in the process.
    static LONG InstanceCount();

protected:
    static ConfigStore& Store();
};

// Tests only: releases the probe and forgets the loaded store, so that the
// next construction loads it again from the (sandboxed) registry.
void ResetConfigStoreForTests();
// Tests only: makes GetOsClass() answer osClass (now and after later loads)
// until the next ResetConfigStoreForTests(); 0 reads the system's again.
void OverrideOsClassForTests(uint32_t osClass);

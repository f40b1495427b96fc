#pragma once
// CConfig: the base of nearly every controller. All objects share one
// process-wide store, loaded from the registry by the first construction and
// only read afterwards.

#include <windows.h>

#include "config/controls.h"
#include "config/device_identities.h"
#include "config/display_probe.h"
#include "config/onscreen_settings.h"

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

    // The receiver test of an open collection (usage page and usage from
    // Caps, ids from Attributes, the device path); on a match the identity's
    // flags go to *deviceFlags.
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

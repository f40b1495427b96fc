#pragma once
// CConfig: the base of nearly every controller. All objects share one
// process-wide store, loaded from the registry by the first construction and
// only read afterwards.

#include <windows.h>

#include "config/controls.h"
#include "config/display_probe.h"

#include <cstdint>

// The one copy of the settings in a process.
struct ConfigStore {
    LONG RefCount = 0;
    bool LoadPending = true;

    ControlSettings Controls{};
    uint32_t OsClass = 0;
    DisplayProbe Probe;
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

    // Number of live CConfig objects in the process.
    static LONG InstanceCount();

protected:
    static ConfigStore& Store();
};

// Tests only: releases the probe and forgets the loaded store, so that the
// next construction loads it again from the (sandboxed) registry.
void ResetConfigStoreForTests();

#pragma once
// What kova would make of the utility's candidate settings, found by kova's
// own loaders: the candidate keys are copied into a volatile scratch key, a
// registry overlay sends the loaders' opens of the real keys there, and a
// read log records every value they took and every one they refused. So the
// utility judges a value by the very code kova.exe runs at start.

#include <windows.h>

#include "base/scoped.h"
#include "config/controls.h"
#include "config/device_identities.h"
#include "config/onscreen_settings.h"
#include "config/read_log.h"
#include "config/regs.h"
#include "config/target_window_table.h"
#include "util/key_image.h"

#include <memory>
#include <string>
#include <vector>

// Where the scratch keys live while a trial runs (HKCU, volatile, removed
// again at its end).
constexpr char TRIAL_SCRATCH_KEY[] = "Software\\Orlan\\KovaUtil Trial";

// The candidate keys in place of the real ones, and the log of the reads,
// for the life of the object. On the thread that creates it.
class TrialLoad {
public:
    TrialLoad();
    ~TrialLoad();

    TrialLoad(const TrialLoad&) = delete;
    TrialLoad& operator=(const TrialLoad&) = delete;

    // Loaders that open image.Root\image.Path read image's values instead;
    // an image of a missing key without values makes the key missing.
    void Place(const KeyImage& image);

    const ConfigReadLog& Log() const { return m_log; }

private:
    std::string m_scratchPath;
    ScopedRegKey m_scratch;
    std::vector<ScopedRegKey> m_keys;
    RegistryOverlay m_overlay;
    ConfigReadLog m_log;
};

// What the loaders made of the candidates.
struct TrialResult {
    TrialResult();
    ~TrialResult();
    TrialResult(const TrialResult&) = delete;
    TrialResult& operator=(const TrialResult&) = delete;

    DeviceIdentityTable Identities{};
    ControlSettings Controls{};
    uint32_t LaunchDelay = 0;
    OnScreenSettings OnScreen;
    std::unique_ptr<TargetWindowTable> Windows;
    // Every read the loaders made, for the reasons.
    std::vector<ValueRead> Reads;
};

// Runs the loaders of receivers, Controls, target windows and on-screen
// settings over the candidates (keys not among them are read as stored).
std::unique_ptr<TrialResult> RunTrial(const std::vector<const KeyImage*>& candidates);

// A value kova would not take as the utility means it.
struct Refusal {
    std::string Place;  // "HKLM\Software\Orlan\Kova\Window"
    std::string Name;   // "Wnd2_Class"
    std::string Reason;
};

// For each value of candidate that differs from original and is set, why
// the loaders' reads refused it: no read at all (a list ended before it), or
// the inspector's description of the refused read. Nothing for a key the
// loaders did not open at all.
void FindRefusals(const std::vector<ValueRead>& reads, const KeyImage& original, const KeyImage& candidate,
                  std::vector<Refusal>& out);

#pragma once
// What a test of the volume display needs around the controller: its own
// registry and Program Files (with our display libraries in it), the
// libraries' journal to see what was shown, a window in the main window's
// place for the repeat timer, and the Windows version to play.

#include "audio/vol_ctrl.h"

#include "tests/audio/fake_endpoint_volume.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/program_files_sandbox.h"
#include "tests/support/pump.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr char TEXT_LIBRARY[] = "orlanosd.dll";
constexpr char PICTURE_LIBRARY[] = "OSDPIC.dll";

// Generous: the machine may be busy with other tests.
constexpr DWORD DISPLAY_TIMEOUT_MS = 10000;

// The display time of a final display with the tests' Time setting of 1,
// and of a refresh while a button is held.
constexpr char FINAL_TIME[] = "500";
constexpr char REPEAT_TIME[] = "300";

// Writes a mixer control as Windows would when a button changes it.
MMRESULT WriteMixerControl(const CMixerCtrl& mixer, int index, uint32_t value);

// One call into a display library, as its journal line tells it.
struct Display {
    std::string Library;
    JournalFields Fields;

    bool IsPicture() const { return Library == PICTURE_LIBRARY; }
    bool IsText() const { return Fields.count("type") && Fields.at("type") == "0"; }
    std::string operator[](const char* key) const { return Fields.count(key) ? Fields.at(key) : std::string(); }
};

class VolumeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Puts the text library (and the picture library when pictures is true)
    // where the display controller looks for them.
    void InstallLibraries(bool pictures);
    // Installs the libraries, plays the OS class given (0: the system's) and
    // creates the controller, as the key controller does.
    void Start(bool pictures, uint32_t osClass = 0);
    void Stop();
    // Puts a test endpoint in place of the one the mixer holds.
    void UseEndpoint(FakeEndpointVolume& endpoint) const;

    CMixerCtrl& Mixer() const { return *CVolCtrl::VolumeMixer; }

    std::vector<Display> Displays() const;
    // Waits (serving this thread's timers) until at least count displays
    // were made; returns them.
    std::vector<Display> WaitForDisplays(size_t count, DWORD timeoutMs = DISPLAY_TIMEOUT_MS) const;
    // True when a repeat timer was still running on the window (it is gone
    // afterwards).
    bool KillStrayRepeatTimer() const;
    // True when any timer of this thread fires within waitMs: without
    // serving messages meanwhile, a running timer leaves a WM_TIMER waiting.
    static bool TimerFiresWithin(DWORD waitMs);

    // The mixer's controls, written as Windows would write them.
    void SetMixerControl(int index, uint32_t value) const;

    RegistrySandbox registry;
    ProgramFilesSandbox programFiles;
    ScopedJournal journal;
    HWND window = nullptr;
    // Before the controller: they must outlive the mixer that holds them.
    FakeEndpointVolume endpoint;
    FakeEndpointVolume otherEndpoint;
    std::unique_ptr<CVolCtrl> volume;
};

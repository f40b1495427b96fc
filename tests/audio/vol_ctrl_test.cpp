// CVolCtrl with our real display libraries and Wine's real sound stack (ALSA's
// null device as the output): what a held volume button, a mute press and a
// volume press while muted put on screen, read back from the libraries'
// journal; when the state is read; which Windows versions clear the mute
// state; how another output device is taken up; and that no timer outlives
// a release or the controller. Where Wine's endpoint lacks volume steps, a
// test endpoint stands in for it.

#include "tests/audio/volume_test.h"

#include "config/os_class.h"
#include "config/texts.h"
#include "keys/key_ctrl.h"
#include "tests/support/kova_process.h"

#include <cstring>

namespace {

constexpr uint32_t OS_CLASS_XP = 9;
constexpr DWORD REPEAT_MS = 150;

void SetOnScreenText(const char* name, const char* text)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, name, text);
}

void SetMuteOffByVolume(uint32_t value)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, "MuteOffByVolume", value);
}

using VolCtrlTest = VolumeTest;

// ---- A held volume button -----------------------------------------------------

TEST_F(VolCtrlTest, HeldVolumeButtonRefreshesTheBarEvery150msAndOnceMoreOnRelease)
{
    ASSERT_NO_FATAL_FAILURE(Start(true));
    endpoint.Step = 7;
    endpoint.StepCount = 16;
    UseEndpoint(endpoint);

    const DWORD pressed = GetTickCount();
    volume->OnVolumeKey(1);
    EXPECT_TRUE(Displays().empty()) << "the first bar waits for Windows to change the volume";
    EXPECT_NE(volume->RepeatTimerActive, 0u);

    auto shown = WaitForDisplays(5);
    const DWORD held = GetTickCount() - pressed;
    ASSERT_GE(shown.size(), 5u) << "the bar is refreshed while the button is held";
    EXPECT_LE(shown.size(), held / REPEAT_MS + 2) << shown.size() << " refreshes in " << held << " ms";
    for (const Display& d : shown) {
        EXPECT_TRUE(d.IsPicture());
        EXPECT_EQ(d["picture"], "2");
        EXPECT_EQ(d["time"], REPEAT_TIME) << "short displays while held";
        EXPECT_EQ(d["max"], "15");
        EXPECT_EQ(d["value"], "7");
        EXPECT_EQ(d["segments"], "15");
    }

    // Windows keeps stepping while the button is held; each refresh reads anew.
    endpoint.Step = 9;
    const size_t before = Displays().size();
    auto later = WaitForDisplays(before + 1);
    EXPECT_EQ(later.back()["value"], "9");

    // A second press report while held restarts the one repeat timer.
    volume->OnVolumeKey(1);
    const size_t beforeRelease = Displays().size();
    volume->OnVolumeKey(0);
    auto released = Displays();
    ASSERT_EQ(released.size(), beforeRelease + 1) << "the release shows the volume once, at once";
    EXPECT_EQ(released.back()["time"], FINAL_TIME) << "the final display stays the configured time";
    EXPECT_EQ(released.back()["value"], "9");

    EXPECT_EQ(volume->RepeatTimerActive, 0u);
    EXPECT_FALSE(KillStrayRepeatTimer()) << "no repeat timer is left after the release";
    EXPECT_FALSE(TimerFiresWithin(2 * REPEAT_MS));
    PumpFor(4 * REPEAT_MS);
    EXPECT_EQ(Displays().size(), released.size()) << "nothing refreshes after the release";

    volume->OnVolumeKey(0);
    EXPECT_EQ(Displays().size(), released.size()) << "a release without a held button shows nothing";
}

TEST_F(VolCtrlTest, WithoutThePictureLibraryTheHeldButtonShowsPlainBars)
{
    ASSERT_NO_FATAL_FAILURE(Start(false));
    endpoint.Step = 3;
    endpoint.StepCount = 11;
    UseEndpoint(endpoint);

    volume->OnVolumeKey(1);
    auto shown = WaitForDisplays(2);
    volume->OnVolumeKey(0);
    shown = Displays();
    ASSERT_GE(shown.size(), 3u);
    for (const Display& d : shown) {
        EXPECT_EQ(d.Library, TEXT_LIBRARY);
        EXPECT_EQ(d["type"], "1");
        EXPECT_EQ(d["picture"], "0") << "a plain bar";
        EXPECT_EQ(d["max"], "10");
        EXPECT_EQ(d["value"], "3");
    }
    EXPECT_EQ(shown.back()["time"], FINAL_TIME);
    EXPECT_FALSE(KillStrayRepeatTimer());
}

TEST_F(VolCtrlTest, HeldVolumeButtonOnOlderWindowsShowsTheMixerVolume)
{
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_XP));
    SetMixerControl(MIXER_VOLUME_CONTROL, 40000);

    volume->OnVolumeKeyLegacy(1);
    EXPECT_TRUE(Displays().empty());
    auto shown = WaitForDisplays(2);
    ASSERT_GE(shown.size(), 2u);
    SetMixerControl(MIXER_VOLUME_CONTROL, 41000);
    volume->OnVolumeKeyLegacy(0);
    shown = Displays();
    for (const Display& d : shown) {
        EXPECT_EQ(d.Library, TEXT_LIBRARY);
        EXPECT_EQ(d["picture"], "0");
        EXPECT_EQ(d["max"], "65535");
        EXPECT_EQ(d["segments"], "25");
    }
    EXPECT_EQ(shown.front()["value"], "40000");
    EXPECT_EQ(shown.front()["time"], REPEAT_TIME);
    EXPECT_EQ(shown.back()["value"], "41000");
    EXPECT_EQ(shown.back()["time"], FINAL_TIME);
    EXPECT_EQ(volume->RepeatTimerActive, 0u);
    EXPECT_FALSE(KillStrayRepeatTimer());
}

TEST_F(VolCtrlTest, HeldVolumeButtonOnOlderWindowsShowsTheVolumePicture)
{
    ASSERT_NO_FATAL_FAILURE(Start(true, OS_CLASS_XP));
    SetMixerControl(MIXER_VOLUME_CONTROL, 65535);
    volume->OnVolumeKeyLegacy(1);
    WaitForDisplays(1);
    volume->OnVolumeKeyLegacy(0);
    auto shown = Displays();
    ASSERT_GE(shown.size(), 2u);
    for (const Display& d : shown) {
        EXPECT_TRUE(d.IsPicture());
        EXPECT_EQ(d["picture"], "2");
        EXPECT_EQ(d["value"], "65535");
    }
    EXPECT_EQ(shown.back()["time"], FINAL_TIME);
    EXPECT_FALSE(KillStrayRepeatTimer());
}

// ---- The mute button ----------------------------------------------------------

TEST_F(VolCtrlTest, MutePressShowsTheStateWindowsSetAfterTheDelay)
{
    ASSERT_NO_FATAL_FAILURE(Start(true));
    endpoint.Step = 4;
    endpoint.StepCount = 8;
    UseEndpoint(endpoint);

    const DWORD pressed = GetTickCount();
    volume->OnMuteKey(1);
    EXPECT_TRUE(Displays().empty()) << "nothing is read or shown before Windows applied the button";
    EXPECT_EQ(endpoint.MuteReads, 0);
    endpoint.Muted = TRUE;  // Windows mutes meanwhile

    auto shown = WaitForDisplays(1);
    const DWORD waited = GetTickCount() - pressed;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_GE(waited, REPEAT_MS - 50) << "the state is read after the delay";
    EXPECT_TRUE(shown[0].IsPicture());
    EXPECT_EQ(shown[0]["picture"], "3") << "muted: the mute picture";
    EXPECT_EQ(shown[0]["value"], "4");
    EXPECT_EQ(shown[0]["max"], "7");
    EXPECT_EQ(shown[0]["time"], FINAL_TIME);

    volume->OnMuteKey(1);
    endpoint.Muted = FALSE;  // and unmutes on the second press
    shown = WaitForDisplays(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1]["picture"], "2") << "unmuted: the volume picture";
    EXPECT_EQ(shown[1]["value"], "4");

    PumpFor(3 * REPEAT_MS);
    EXPECT_EQ(Displays().size(), 2u) << "one display per press: the delay fires once";
    EXPECT_FALSE(TimerFiresWithin(2 * REPEAT_MS)) << "the delay's timer is gone once it fired";

    volume->OnMuteKey(0);
    PumpFor(2 * REPEAT_MS);
    EXPECT_EQ(Displays().size(), 2u) << "the release of the mute button shows nothing";
}

TEST_F(VolCtrlTest, WithoutThePictureLibraryMuteShowsTheConfiguredTexts)
{
    SetOnScreenText("MuteOnString", "Sound off");
    SetOnScreenText("MuteOffString", "Sound on");
    ASSERT_NO_FATAL_FAILURE(Start(false));

    // The system's endpoint; the test mutes it as Windows would.
    volume->OnMuteKey(1);
    ASSERT_TRUE(Mixer().SetEndpointMute(TRUE));
    auto shown = WaitForDisplays(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].IsText());
    EXPECT_EQ(shown[0]["text"], "Sound off");

    volume->OnMuteKey(1);
    ASSERT_TRUE(Mixer().SetEndpointMute(FALSE));
    shown = WaitForDisplays(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].IsText());
    EXPECT_EQ(shown[1]["text"], "Sound on");
}

TEST_F(VolCtrlTest, MutePressOnOlderWindowsShowsTheMixerState)
{
    ASSERT_NO_FATAL_FAILURE(Start(true, OS_CLASS_XP));
    SetMixerControl(MIXER_VOLUME_CONTROL, 20000);

    volume->OnMuteKeyLegacy(1);
    SetMixerControl(MIXER_MUTE_CONTROL, 1);
    auto shown = WaitForDisplays(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]["picture"], "3");
    EXPECT_EQ(shown[0]["value"], "20000");
    EXPECT_EQ(shown[0]["time"], FINAL_TIME);

    volume->OnMuteKeyLegacy(1);
    SetMixerControl(MIXER_MUTE_CONTROL, 0);
    shown = WaitForDisplays(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1]["picture"], "2");
    EXPECT_EQ(shown[1]["value"], "20000");
}

TEST_F(VolCtrlTest, MutePressOnOlderWindowsWithoutPicturesShowsTexts)
{
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_XP));
    volume->OnMuteKeyLegacy(1);
    SetMixerControl(MIXER_MUTE_CONTROL, 1);
    auto shown = WaitForDisplays(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]["text"], "Mute ON");

    volume->OnMuteKeyLegacy(1);
    SetMixerControl(MIXER_MUTE_CONTROL, 0);
    shown = WaitForDisplays(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1]["text"], "Mute OFF");
}

// ---- A volume press while muted -----------------------------------------------

TEST_F(VolCtrlTest, OnVistaAVolumePressClearsTheMuteState)
{
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_VISTA));
    ASSERT_TRUE(Mixer().SetEndpointMute(TRUE));

    volume->OnVolumeKey(1);
    volume->OnVolumeKey(0);
    BOOL muted = TRUE;
    ASSERT_TRUE(Mixer().GetEndpointMute(&muted));
    EXPECT_FALSE(muted);
    auto shown = Displays();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[0].IsText());
    EXPECT_EQ(shown[0]["text"], "Mute OFF") << "without pictures the unmute is told first";
    EXPECT_EQ(shown[1]["type"], "1") << "then the bar";
}

TEST_F(VolCtrlTest, OnVistaWithPicturesTheUnmuteShowsOnlyTheBar)
{
    ASSERT_NO_FATAL_FAILURE(Start(true, OS_CLASS_VISTA));
    endpoint.Muted = TRUE;
    endpoint.StepCount = 5;
    UseEndpoint(endpoint);

    volume->OnVolumeKey(1);
    WaitForDisplays(1);
    volume->OnVolumeKey(0);
    EXPECT_FALSE(endpoint.Muted);
    EXPECT_EQ(endpoint.MuteWrites, 1) << "unmuted once, not at every refresh";
    for (const Display& d : Displays()) {
        EXPECT_TRUE(d.IsPicture());
        EXPECT_EQ(d["picture"], "2");
    }
}

TEST_F(VolCtrlTest, OnWindows7AVolumePressLeavesTheMuteState)
{
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_WIN7));
    UseEndpoint(endpoint);
    endpoint.Muted = TRUE;
    volume->OnVolumeKey(1);
    volume->OnVolumeKey(0);
    EXPECT_TRUE(endpoint.Muted);
    EXPECT_EQ(endpoint.MuteWrites, 0);
    auto shown = Displays();
    ASSERT_EQ(shown.size(), 1u) << "only the bar, no unmute text";
    EXPECT_EQ(shown[0]["type"], "1");
}

TEST_F(VolCtrlTest, OnWindows10AVolumePressLeavesTheMuteState)
{
    ASSERT_NO_FATAL_FAILURE(Start(false));
    ASSERT_GE(CConfig::GetOsClass(), OS_CLASS_WIN8);
    ASSERT_TRUE(Mixer().SetEndpointMute(TRUE));
    volume->OnVolumeKey(1);
    volume->OnVolumeKey(0);
    BOOL muted = FALSE;
    ASSERT_TRUE(Mixer().GetEndpointMute(&muted));
    EXPECT_TRUE(muted);
    auto shown = Displays();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]["type"], "1");
}

TEST_F(VolCtrlTest, OnOlderWindowsMuteOffByVolumeClearsTheMuteState)
{
    SetMuteOffByVolume(1);
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_XP));
    SetMixerControl(MIXER_MUTE_CONTROL, 1);

    volume->UnmuteForVolume();
    EXPECT_EQ(Mixer().GetMute(), 0u);
    auto shown = Displays();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]["text"], "Mute OFF");

    volume->UnmuteForVolume();
    EXPECT_EQ(Mixer().GetMute(), 0u) << "an unmuted mixer is not toggled";
    EXPECT_EQ(Displays().size(), 1u);
}

TEST_F(VolCtrlTest, OnOlderWindowsWithPicturesTheUnmuteShowsNoText)
{
    SetMuteOffByVolume(1);
    ASSERT_NO_FATAL_FAILURE(Start(true, OS_CLASS_XP));
    SetMixerControl(MIXER_MUTE_CONTROL, 1);
    volume->UnmuteForVolume();
    EXPECT_EQ(Mixer().GetMute(), 0u);
    EXPECT_TRUE(Displays().empty());
}

TEST_F(VolCtrlTest, OnOlderWindowsWithoutMuteOffByVolumeTheMuteStays)
{
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_XP));
    SetMixerControl(MIXER_MUTE_CONTROL, 1);
    volume->UnmuteForVolume();
    EXPECT_NE(Mixer().GetMute(), 0u);
    EXPECT_TRUE(Displays().empty());
}

// ---- Another output device ----------------------------------------------------

TEST_F(VolCtrlTest, AnotherOutputDeviceIsOpenedBeforeTheNextReadAndOnlyOnce)
{
    ASSERT_NO_FATAL_FAILURE(Start(true));
    UseEndpoint(endpoint);
    std::strcpy(Mixer().OutputDeviceName, "Old speakers");

    volume->OnMuteKey(1);
    EXPECT_EQ(endpoint.References(), 1u) << "the old device's endpoint is let go at the press";
    ASSERT_TRUE(Mixer().EndpointVolume);
    WaitForDisplays(1);
    EXPECT_EQ(endpoint.MuteReads, 0) << "the state is read from the new device";

    // The device stays: the next press keeps the endpoint it has.
    UseEndpoint(otherEndpoint);
    volume->OnMuteKey(1);
    EXPECT_EQ(otherEndpoint.References(), 2u);
    WaitForDisplays(2);
    EXPECT_GT(otherEndpoint.MuteReads, 0);

    volume->OnVolumeKey(1);
    volume->OnVolumeKey(0);
    EXPECT_EQ(otherEndpoint.References(), 2u);
}

TEST_F(VolCtrlTest, AnotherOutputDeviceReopensTheMixerOnOlderWindows)
{
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_XP));
    SetMixerControl(MIXER_VOLUME_CONTROL, 40000);
    // What the mixer knew of the old device: its name and its controls.
    std::strcpy(Mixer().OutputDeviceName, "Old speakers");
    Mixer().Controls[MIXER_VOLUME_CONTROL].dwControlID = 0xBAD;

    volume->OnVolumeKeyLegacy(1);
    volume->OnVolumeKeyLegacy(0);
    auto shown = Displays();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]["value"], "40000") << "read through the reopened mixer";

    // Same device: no reopen, so a stale control stays stale.
    Mixer().Controls[MIXER_VOLUME_CONTROL].dwControlID = 0xBAD;
    volume->OnVolumeKeyLegacy(1);
    volume->OnVolumeKeyLegacy(0);
    shown = Displays();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1]["value"], "0");
}

// ---- Lifetime -----------------------------------------------------------------

TEST_F(VolCtrlTest, NoTimerOutlivesTheController)
{
    ASSERT_NO_FATAL_FAILURE(Start(true));
    volume->OnVolumeKey(1);
    volume->OnMuteKey(1);
    volume->OnMuteKeyLegacy(1);
    Stop();
    EXPECT_EQ(CVolCtrl::VolumeMixer, nullptr);
    EXPECT_EQ(CVolCtrl::VolumeOsd, nullptr);
    EXPECT_FALSE(KillStrayRepeatTimer());
    EXPECT_FALSE(TimerFiresWithin(2 * REPEAT_MS));
    PumpFor(4 * REPEAT_MS);
    EXPECT_TRUE(Displays().empty());
}

// The key controller owns the volume controller: a held radio volume key is
// released through it when another key arrives.
class VolumeKeys : public CKeyCtrl {
public:
    VolumeKeys() : CKeyCtrl(nullptr) {}
    void HoldVolumeUp()
    {
        VolumeControl->OnVolumeKey(1);
        Held.LastRfCode[1] = 233;
    }
    uint16_t HeldRfCode(int id) const { return Held.LastRfCode[id - 1]; }
    CVolCtrl* Volume() const { return VolumeControl; }

    void LaunchWakeButton(uint8_t, uint8_t) override {}
    void OnWakeEvent(uint8_t, uint16_t, uint8_t) override {}
    void FinishNumericEntry(uint32_t) override {}
    void OnRemoteButton(uint16_t, uint32_t, uint32_t) override {}
    void OnConsumerKey(uint16_t, uint32_t) override {}
    void OnFunctionKey(uint16_t, uint32_t) override {}
    void OnApplicationKey(uint16_t, uint32_t) override {}
    void OnDigitKey(uint16_t, uint32_t) override {}
    void OnModeKey(uint16_t, uint32_t) override {}
    void OnMediaCenterKey(uint16_t, uint32_t) override {}
    void OnExtraKey(uint16_t, uint32_t) override {}
    void OnExtraKey2(uint16_t, uint32_t) override {}
    void OnReport(const uint8_t*, uint32_t) override {}
    void OnPanelKey(uint16_t, uint32_t) override {}
    void OnPanelKey2(uint16_t, uint32_t) override {}
    void OnEffectKey(uint32_t, uint32_t) override {}
    void OnDataKey(uint16_t, uint32_t) override {}
    void OnValueKey(uint16_t, uint16_t, uint32_t) override {}
};

TEST_F(VolCtrlTest, TheKeyControllerEndsAHeldVolumeKeyThroughItsVolumeController)
{
    ASSERT_NO_FATAL_FAILURE(InstallLibraries(true));
    {
        VolumeKeys keys;
        ASSERT_NE(keys.Volume(), nullptr);
        ASSERT_NE(CVolCtrl::VolumeMixer, nullptr);
        keys.HoldVolumeUp();
        const size_t held = WaitForDisplays(2).size();
        ASSERT_GE(held, 2u);

        keys.StopVolumeRepeat();
        auto shown = Displays();
        ASSERT_EQ(shown.size(), held + 1);
        EXPECT_EQ(shown.back()["time"], FINAL_TIME);
        EXPECT_EQ(keys.HeldRfCode(2), 0u);
        EXPECT_EQ(keys.Volume()->RepeatTimerActive, 0u);
        EXPECT_FALSE(KillStrayRepeatTimer());
    }
    EXPECT_EQ(CVolCtrl::VolumeMixer, nullptr) << "deleted with the key controller";
}

}  // namespace

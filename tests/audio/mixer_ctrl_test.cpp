// CMixerCtrl on Wine's real sound stack, with ALSA's null device as the one
// output (the scripts set this up for every run): which back end each
// Windows version gets, what it reads and writes, what it gives back, and
// how it notices another output device.

#include "audio/mixer_ctrl.h"

#include "config/config.h"
#include "config/os_class.h"
#include "tests/audio/fake_endpoint_volume.h"
#include "tests/audio/volume_test.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr uint32_t OS_CLASS_XP = 9;

std::string WaveDeviceName()
{
    WAVEOUTCAPSA caps{};
    return waveOutGetDevCapsA(0, &caps, sizeof(caps)) == MMSYSERR_NOERROR ? caps.szPname : "";
}

class MixerCtrlTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override
    {
        mixer.reset();
        ResetConfigStoreForTests();
    }

    void Create(uint32_t osClass = 0)
    {
        OverrideOsClassForTests(osClass);
        mixer = std::make_unique<CMixerCtrl>();
    }

    void SetControl(int index, uint32_t value) const
    {
        ASSERT_EQ(WriteMixerControl(*mixer, index, value), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    }

    RegistrySandbox registry;
    FakeEndpointVolume endpoint;  // outlives the mixer that may hold it
    std::unique_ptr<CMixerCtrl> mixer;
};

TEST_F(MixerCtrlTest, LaterWindowsReadTheEndpointAndOpenTheMixerAsWell)
{
    Create();
    ASSERT_GE(CConfig::GetOsClass(), OS_CLASS_VISTA);
    EXPECT_EQ(mixer->Ready, 1u);
    EXPECT_TRUE(mixer->Enumerator && mixer->Device && mixer->EndpointVolume);

    BOOL muted = TRUE;
    ASSERT_TRUE(mixer->GetEndpointMute(&muted));
    EXPECT_FALSE(muted);
    ASSERT_TRUE(mixer->SetEndpointMute(TRUE));
    ASSERT_TRUE(mixer->GetEndpointMute(&muted));
    EXPECT_TRUE(muted);

    // The test-mode key controller uses the mixer on every version.
    ASSERT_TRUE(mixer->Mixer);
    EXPECT_STREQ(mixer->OutputDeviceName, WaveDeviceName().c_str());
    EXPECT_STRNE(mixer->OutputDeviceName, "");
    EXPECT_NE(mixer->DestinationLine.cControls, 0u);
    SetControl(MIXER_VOLUME_CONTROL, 23456);
    EXPECT_EQ(mixer->GetVolume(), 23456u);
}

TEST_F(MixerCtrlTest, OlderWindowsReadTheMixerOnly)
{
    Create(OS_CLASS_XP);
    EXPECT_EQ(mixer->Ready, 1u);
    EXPECT_FALSE(mixer->Enumerator || mixer->Device || mixer->EndpointVolume) << "no COM before Vista";
    BOOL muted = FALSE;
    EXPECT_FALSE(mixer->GetEndpointMute(&muted));
    EXPECT_FALSE(mixer->SetEndpointMute(TRUE));

    EXPECT_EQ(mixer->Controls[MIXER_VOLUME_CONTROL].dwControlType, static_cast<DWORD>(MIXERCONTROL_CONTROLTYPE_VOLUME));
    EXPECT_EQ(mixer->Controls[MIXER_MUTE_CONTROL].dwControlType, static_cast<DWORD>(MIXERCONTROL_CONTROLTYPE_MUTE));
    SetControl(MIXER_VOLUME_CONTROL, 40000);
    EXPECT_EQ(mixer->GetVolume(), 40000u);
    SetControl(MIXER_VOLUME_CONTROL, 0);
    EXPECT_EQ(mixer->GetVolume(), 0u);

    EXPECT_EQ(mixer->GetMute(), 0u);
    EXPECT_EQ(mixer->ToggleMute(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_NE(mixer->GetMute(), 0u);
    mixer->UnmuteIfMuted();
    EXPECT_EQ(mixer->GetMute(), 0u);
    mixer->UnmuteIfMuted();
    EXPECT_EQ(mixer->GetMute(), 0u) << "an unmuted mixer stays unmuted";
}

TEST_F(MixerCtrlTest, ALineWithoutMuteControlIsNeverMutedAndItsVolumeIsLeftAlone)
{
    Create(OS_CLASS_XP);
    SetControl(MIXER_VOLUME_CONTROL, 30000);
    // Control identifiers start at 0: a missing mute control must not be
    // taken for the volume control.
    mixer->Controls[MIXER_MUTE_CONTROL] = MIXERCONTROLA{};
    EXPECT_EQ(mixer->GetMute(), 0u);
    EXPECT_NE(mixer->ToggleMute(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    mixer->UnmuteIfMuted();
    EXPECT_EQ(mixer->GetVolume(), 30000u);
}

TEST_F(MixerCtrlTest, AnotherOutputDeviceIsReportedOnce)
{
    Create();
    EXPECT_FALSE(mixer->HasOutputDeviceChanged()) << "the device seen when the mixer was opened";

    std::strcpy(mixer->OutputDeviceName, "Old speakers");
    EXPECT_TRUE(mixer->HasOutputDeviceChanged());
    EXPECT_STREQ(mixer->OutputDeviceName, WaveDeviceName().c_str());
    EXPECT_FALSE(mixer->HasOutputDeviceChanged());

    // Nothing remembered yet counts as a change as well.
    mixer->OutputDeviceName[0] = '\0';
    EXPECT_TRUE(mixer->HasOutputDeviceChanged());
    EXPECT_FALSE(mixer->HasOutputDeviceChanged());
}

TEST_F(MixerCtrlTest, GivesBackEverythingItHeld)
{
    Create();
    // Reopened as after a change of the output device.
    mixer->ReleaseEndpoint();
    ASSERT_TRUE(mixer->InitEndpoint());
    ASSERT_TRUE(mixer->InitEndpoint());
    // An endpoint of the test's own in place of the system's, to see it let go.
    endpoint.AddRef();
    mixer->EndpointVolume.reset(&endpoint);
    ASSERT_EQ(endpoint.References(), 2u);

    mixer.reset();
    EXPECT_EQ(endpoint.References(), 1u);
    // COM was left as often as it was entered: this thread is outside any
    // apartment again.
    HRESULT hr = CoInitialize(nullptr);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr)) {
        CoUninitialize();
    }
}

TEST_F(MixerCtrlTest, LeavesAnApartmentOfAnotherModelToItsOwner)
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    Create();
    EXPECT_EQ(mixer->Ready, 1u) << "the endpoint works in the apartment it finds";
    mixer->ReleaseEndpoint();
    mixer->InitEndpoint();
    mixer.reset();
    // Still in the multithreaded apartment the test entered.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

TEST_F(MixerCtrlTest, EndpointReadsFailSafelyWithoutAnEndpoint)
{
    Create();
    mixer->ReleaseEndpoint();
    BOOL muted = TRUE;
    UINT step = 1;
    UINT count = 1;
    EXPECT_FALSE(mixer->GetEndpointMute(&muted));
    EXPECT_FALSE(mixer->SetEndpointMute(FALSE));
    EXPECT_FALSE(mixer->GetEndpointStepInfo(&step, &count));
    EXPECT_TRUE(mixer->InitEndpoint()) << "and it opens again";
    EXPECT_TRUE(mixer->GetEndpointMute(&muted));
}

}  // namespace

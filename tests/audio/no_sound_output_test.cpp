// A computer without sound output (run with KOVA_SOUND_OUTPUT=none: Wine
// then has no render endpoint and no wave device): neither back end opens,
// and the volume and mute buttons show nothing and start no timer.

#include "tests/audio/volume_test.h"

#include "config/config.h"

namespace {

constexpr uint32_t OS_CLASS_XP = 9;
constexpr DWORD LONGER_THAN_ANY_DELAY_MS = 4 * VOLUME_REPEAT_MS;

class NoSoundOutputTest : public VolumeTest {
protected:
    void PressEverything()
    {
        volume->OnMuteKey(1);
        volume->OnMuteKeyLegacy(1);
        volume->OnVolumeKey(1);
        EXPECT_EQ(volume->RepeatTimerActive, 0u);
        volume->OnVolumeKey(0);
        volume->OnVolumeKeyLegacy(1);
        EXPECT_EQ(volume->RepeatTimerActive, 0u);
        volume->OnVolumeKeyLegacy(0);
        volume->UnmuteForVolume();
        volume->ShowEndpointVolume(FALSE);
        EXPECT_FALSE(KillStrayRepeatTimer());
        PumpFor(LONGER_THAN_ANY_DELAY_MS);
        EXPECT_TRUE(Displays().empty());
    }
};

TEST_F(NoSoundOutputTest, LaterWindowsFindNoEndpointAndShowNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start(true));
    EXPECT_EQ(Mixer().Ready, 0u);
    EXPECT_FALSE(Mixer().EndpointVolume);
    EXPECT_FALSE(Mixer().Mixer);
    EXPECT_FALSE(Mixer().HasOutputDeviceChanged());
    PressEverything();
}

TEST_F(NoSoundOutputTest, OlderWindowsFindNoMixerAndShowNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start(false, OS_CLASS_XP));
    EXPECT_EQ(Mixer().Ready, 0u);
    EXPECT_FALSE(Mixer().Mixer);
    EXPECT_EQ(Mixer().GetVolume(), 0u);
    EXPECT_EQ(Mixer().GetMute(), 0u);
    PressEverything();
}

}  // namespace

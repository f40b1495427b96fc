// Which player gets the command when both run depends on the real window in
// front, which the whole session shares: runs alone with the serialized
// tests.

#include "launch/player_ctrl.h"

#include "tests/support/recording_window.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr char PLAYER_KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\Player";

TEST(PlayerSessionTest, WithBothPlayersRunningTheDvdPlayerWinsOnlyInFront)
{
    enum Front { DVD_IN_FRONT, CD_IN_FRONT, OTHER_IN_FRONT };
    struct FrontCase {
        const char* Name;
        Front InFront;
        uint32_t Expected;
    };
    const FrontCase cases[] = {
        {"the DVD player in front", DVD_IN_FRONT, PLAYER_DVD},
        {"the CD player in front", CD_IN_FRONT, PLAYER_CD},
        {"another window in front", OTHER_IN_FRONT, PLAYER_CD},
    };
    RegistrySandbox sandbox;
    ResetConfigStoreForTests();
    std::string cdTitle = UniqueWindowName("kova cd player");
    std::string dvdClass = UniqueWindowName("KovaDvdPlayer");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_TITLE", cdTitle);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "DVD_CLASS", dvdClass);
    RecordingWindow cd(UniqueWindowName("KovaCdPlayer"), cdTitle, true);
    RecordingWindow dvd(dvdClass, "kova dvd player", true);
    RecordingWindow other(UniqueWindowName("KovaOther"), "kova other", true);
    auto player = std::make_unique<CPlayerCtrl>();  // both control kinds are 2, the default

    for (const FrontCase& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordingWindow& front = c.InFront == DVD_IN_FRONT ? dvd : c.InFront == CD_IN_FRONT ? cd : other;
        SetForegroundWindow(front.Window());
        ASSERT_EQ(GetForegroundWindow(), front.Window());

        HWND found = nullptr;
        EXPECT_EQ(player->DetectPlayer(&found), c.Expected);
        RecordingWindow& target = c.Expected == PLAYER_DVD ? dvd : cd;
        RecordingWindow& bystander = c.Expected == PLAYER_DVD ? cd : dvd;
        EXPECT_EQ(found, target.Window());

        player->SendPlayerCommand(4);
        EXPECT_EQ(target.Take(), (std::vector<RecordedMessage>{{WM_USER + 100, 100, 2}}));
        EXPECT_TRUE(bystander.Take().empty());
        EXPECT_TRUE(other.Take().empty());
    }
    player.reset();
    ResetConfigStoreForTests();
}

}  // namespace

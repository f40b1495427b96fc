// The player controller with players of the test's own: windows found by the
// unique title or class that the test configures, so test processes running
// alongside never see each other's players. The DDE control kind needs the
// session-wide DDE service name and is tested with the serialized tests.

#include "launch/player_ctrl.h"

#include "base/folders.h"

#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/program_files_sandbox.h"
#include "tests/support/recording_window.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char PLAYER_KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\Player";
constexpr char CONTROLS[] = "Software\\Orlan\\Kova\\Controls";

constexpr uint32_t PRESS = PLAYER_KEY_PRESSED;
constexpr uint32_t RELEASE = PLAYER_KEY_RELEASED;

using Messages = std::vector<RecordedMessage>;

RecordedMessage PlayerMessage(LPARAM index)
{
    return {WM_USER + 100, 100, index};
}

RecordedMessage AppCommand(LPARAM command)
{
    return {WM_APPCOMMAND, 0, command << 16};
}

// Each case starts from a store loaded afresh from its own registry.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override { ResetConfigStoreForTests(); }
};

struct KeyCase {
    const char* Name;
    uint32_t Player;  // which player runs, with the other one not configured
    uint32_t Kind;
    uint16_t Code;
    Messages OnPress;
    Messages OnRelease;
};

TEST_F(PlayerTest, KeysReachTheRunningPlayerAsItsControlKindSays)
{
    const KeyCase cases[] = {
        {"next on kind 3: no command for the press", PLAYER_CD, 3, 1, {}, {AppCommand(APPCOMMAND_MEDIA_NEXTTRACK)}},
        {"previous on the DVD player, kind 2", PLAYER_DVD, 2, 2, {PlayerMessage(6)}, {PlayerMessage(1)}},
        {"fast forward on the CD player, kind 2", PLAYER_CD, 2, 129, {PlayerMessage(4)}, {PlayerMessage(6)}},
        {"fast forward on the DVD player: nothing on the release", PLAYER_DVD, 2, 129, {PlayerMessage(4)}, {}},
        {"rewind on kind 3: the release has no command", PLAYER_CD, 3, 130,
         {AppCommand(APPCOMMAND_MEDIA_PREVIOUSTRACK)}, {}},
        {"rewind on kind 2", PLAYER_CD, 2, 130, {PlayerMessage(5)}, {PlayerMessage(6)}},
        {"stop on kind 3", PLAYER_DVD, 3, 4, {AppCommand(APPCOMMAND_MEDIA_STOP)}, {}},
        {"play on kind 2", PLAYER_CD, 2, 8, {PlayerMessage(3)}, {}},
        {"the second play button counts as play", PLAYER_CD, 3, 61, {AppCommand(APPCOMMAND_MEDIA_PLAY_PAUSE)}, {}},
        {"176 has a message index", PLAYER_CD, 2, 176, {PlayerMessage(7)}, {}},
        {"177 has a message index", PLAYER_DVD, 2, 177, {PlayerMessage(8)}, {}},
        {"176 has no application command", PLAYER_CD, 3, 176, {}, {}},
        {"mute as an application command", PLAYER_DVD, 3, 226, {AppCommand(APPCOMMAND_VOLUME_MUTE)}, {}},
        {"mute has no message index", PLAYER_CD, 2, 226, {}, {}},
        {"11 is no player key", PLAYER_CD, 3, 11, {}, {}},
        {"an unknown control kind", PLAYER_CD, 7, 8, {}, {}},
        {"kind 1 without the keyboard features has no DDE server", PLAYER_CD, 1, 8, {}, {}},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.Name);
        RegistrySandbox sandbox;
        ResetConfigStoreForTests();
        std::string cls = UniqueWindowName("KovaPlayerClass");
        std::string title = UniqueWindowName("kova player");
        if (c.Player == PLAYER_CD) {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_TITLE", title);
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_CONTROL", c.Kind);
        } else {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "DVD_CLASS", cls);
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_KEY, "DVD_CONTROL", c.Kind);
        }
        RecordingWindow window(cls, title);
        CPlayerCtrl player;
        HWND found = nullptr;
        ASSERT_EQ(player.DetectPlayer(&found), c.Player);
        ASSERT_EQ(found, window.Window());
        EXPECT_EQ(player.PlayerDde(), nullptr);

        player.OnPlayerKey(c.Code, PRESS);
        EXPECT_EQ(window.Take(), c.OnPress) << "press";
        player.OnPlayerKey(c.Code, RELEASE);
        EXPECT_EQ(window.Take(), c.OnRelease) << "release";
        player.OnPlayerKey(c.Code, 2);
        EXPECT_EQ(window.Take(), Messages{}) << "a state that is neither press nor release";
    }
}

// A machine without players configured must not take any untitled window
// (ours here, another program's elsewhere) for the CD player, nor any class
// for the DVD player; play then still starts the player through the launcher.
TEST_F(PlayerTest, AnUnsetPlayerNameMatchesNoWindow)
{
    struct UnsetCase {
        const char* Name;
        bool EmptyValues;  // present but empty rather than missing
    };
    const UnsetCase cases[] = {{"names missing", false}, {"names empty", true}};
    const uint16_t codes[] = {0, 1, 2, 4, 8, 11, 40, 61, 62, 129, 130, 176, 177, 226};
    const size_t launchingCodes = 6;  // 8, 40, 61, 62, 176, 177

    for (const UnsetCase& c : cases) {
        SCOPED_TRACE(c.Name);
        RegistrySandbox sandbox;
        ProgramFilesSandbox programFiles;
        ScopedJournal journal;
        ResetConfigStoreForTests();
        ASSERT_TRUE(programFiles.Put(KEYBOARD_PROGRAM_FOLDER, PLAYER_LAUNCHER_LIBRARY));
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS, "Player_Lnc", 1);
        if (c.EmptyValues) {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_TITLE", "");
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "DVD_CLASS", "");
        }
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_CONTROL", 2);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_KEY, "DVD_CONTROL", 3);

        RecordingWindow untitled(UniqueWindowName("KovaUntitled"), "");
        ASSERT_NE(untitled.Window(), nullptr);
        CPlayerCtrl player;
        HWND found = reinterpret_cast<HWND>(1);
        EXPECT_EQ(player.DetectPlayer(&found), PLAYER_NONE);
        EXPECT_EQ(found, nullptr);

        for (uint16_t code : codes) {
            player.OnPlayerKey(code, PRESS);
            player.OnPlayerKey(code, RELEASE);
        }
        EXPECT_EQ(untitled.Take(), Messages{});
        EXPECT_EQ(journal.Calls("DARIRARED.DLL", "Entrance").size(), launchingCodes);
    }
}

struct LaunchCase {
    const char* Name;
    std::vector<const char*> Folders;  // where DARIRARED.DLL is put
    const char* StagedFile;            // what is put there under that name
    uint32_t PlayerLnc;
    const char* ExpectedFolder;  // null: no call
};

TEST_F(PlayerTest, PlayWithoutPlayerCallsTheLauncherOnceWhenTheOptionIsOn)
{
    const LaunchCase cases[] = {
        {"in the keyboard folder", {KEYBOARD_PROGRAM_FOLDER}, PLAYER_LAUNCHER_LIBRARY, 1, KEYBOARD_PROGRAM_FOLDER},
        {"in the remote folder", {REMOTE_PROGRAM_FOLDER}, PLAYER_LAUNCHER_LIBRARY, 1, REMOTE_PROGRAM_FOLDER},
        {"in both: the keyboard's first", {REMOTE_PROGRAM_FOLDER, KEYBOARD_PROGRAM_FOLDER}, PLAYER_LAUNCHER_LIBRARY, 1,
         KEYBOARD_PROGRAM_FOLDER},
        {"the option off", {KEYBOARD_PROGRAM_FOLDER}, PLAYER_LAUNCHER_LIBRARY, 0, nullptr},
        {"no library", {}, PLAYER_LAUNCHER_LIBRARY, 1, nullptr},
        {"a library without the export", {KEYBOARD_PROGRAM_FOLDER}, "cellwarn.dll", 1, nullptr},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.Name);
        RegistrySandbox sandbox;
        ProgramFilesSandbox programFiles;
        ScopedJournal journal;
        ResetConfigStoreForTests();
        for (const char* folder : c.Folders) {
            ASSERT_TRUE(programFiles.Put(folder, c.StagedFile, PLAYER_LAUNCHER_LIBRARY));
        }
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS, "Player_Lnc", c.PlayerLnc);
        {
            CPlayerCtrl player;
            EXPECT_EQ(player.HasPlayerLauncher(),
                      !c.Folders.empty() && std::strcmp(c.StagedFile, PLAYER_LAUNCHER_LIBRARY) == 0);
            player.OnPlayerKey(8, PRESS);
            player.OnPlayerKey(8, RELEASE);
        }
        auto calls = journal.Calls("DARIRARED.DLL", "Entrance");
        if (!c.ExpectedFolder) {
            EXPECT_TRUE(calls.empty());
            continue;
        }
        ASSERT_EQ(calls.size(), 1u);
        JournalFields fields = ParseJournalFields(calls[0]);
        EXPECT_EQ(fields["a"], "0");
        EXPECT_EQ(fields["b"], "0");
        EXPECT_EQ(fields["from"], programFiles.PathOf(c.ExpectedFolder, PLAYER_LAUNCHER_LIBRARY));
    }
}

}  // namespace

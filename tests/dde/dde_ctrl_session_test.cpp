// The DDE service with real DDEML conversations: the server is the player
// controller's, in this process, and every client is ddewatch.exe in a
// process of its own. The service name is shared by the whole session, so
// these run with the serialized tests.

#include "dde/dde_ctrl.h"
#include "launch/player_ctrl.h"

#include "tests/dde/dde_watch.h"
#include "tests/support/recording_window.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char PLAYER_KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\Player";
constexpr char CONTROLS[] = "Software\\Orlan\\Kova\\Controls";
constexpr char ADVISE[] = "ORLANTESK infoctl control";

using Texts = std::vector<std::string>;

// A CD player of the test's own with control kind 1, and the keyboard
// features on, so the player controller runs the DDE server.
class DdeServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS, "Tesk_Enable", 1);
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_TITLE", m_title);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_CONTROL", PLAYER_CONTROL_DDE);
        StartPlayer();
    }
    void TearDown() override
    {
        m_player.reset();
        // The DDE kind posts nothing to the player's window.
        EXPECT_TRUE(m_window.Take().empty());
        ResetConfigStoreForTests();
    }

    void StartPlayer()
    {
        m_player = std::make_unique<CPlayerCtrl>();
        ASSERT_NE(m_player->PlayerDde(), nullptr);
        ASSERT_TRUE(m_player->PlayerDde()->IsServing()) << "DDEML error " << CDdeCtrl::LastError();
    }

    // Starts a client and waits until its conversation (and advise loop,
    // when it asks for one) stands.
    std::unique_ptr<DdeWatch> Client(const std::string& arguments, const char* ready)
    {
        auto client = std::make_unique<DdeWatch>(arguments);
        EXPECT_TRUE(client->Started());
        EXPECT_TRUE(client->WaitForStatus(ready)) << arguments;
        return client;
    }

    RegistrySandbox m_sandbox;
    std::string m_title = UniqueWindowName("kova dde player");
    RecordingWindow m_window{UniqueWindowName("KovaDdePlayer"), m_title};
    std::unique_ptr<CPlayerCtrl> m_player;
};

TEST_F(DdeServiceTest, OnlyAdviseLoopsOnControlInInfoctlAreServed)
{
    struct ConversationCase {
        const char* Name;
        const char* Arguments;
        DWORD ExitCode;
    };
    const ConversationCase cases[] = {
        {"another topic is refused", "ORLANTESK system control", DDEWATCH_NO_SERVER},
        {"another item is refused", "ORLANTESK infoctl status", DDEWATCH_ADVISE_REFUSED},
        {"a request returns no data", "ORLANTESK infoctl --request control", DDEWATCH_NO_DATA},
        {"an execute is failed", "ORLANTESK infoctl --execute CD_PLAY", DDEWATCH_EXECUTE_REFUSED},
        {"an advise loop on control stands until the client ends it", "ORLANTESK infoctl control --count 1",
         DDEWATCH_DONE},
    };
    for (const ConversationCase& c : cases) {
        SCOPED_TRACE(c.Name);
        DdeWatch client(c.Arguments);
        ASSERT_TRUE(client.Started());
        if (c.ExitCode == DDEWATCH_DONE) {
            ASSERT_TRUE(client.WaitForStatus("advising control"));
            m_player->SendPlayerCommand(8);
        }
        EXPECT_EQ(client.WaitForExit(), c.ExitCode);
        EXPECT_EQ(client.Texts(), c.ExitCode == DDEWATCH_DONE ? Texts{"CD_PLAY"} : Texts{});
    }
}

TEST_F(DdeServiceTest, AnAdvisingClientReceivesEachCommandByName)
{
    auto client = Client(ADVISE, "advising control");

    // Next through the button: cancel on the press, next on the release.
    m_player->OnPlayerKey(1, PLAYER_KEY_PRESSED);
    m_player->OnPlayerKey(1, PLAYER_KEY_RELEASED);
    // Then the commands one by one; codes without a command send nothing,
    // which the commands behind them make sure of.
    const uint16_t codes[] = {3, 2, 4, 8, 40, 129, 130, 0, 11, 1};
    for (uint16_t code : codes) {
        m_player->SendPlayerCommand(code);
    }
    const Texts expected = {"CD_CANCEL", "CD_NEXT", "CD_PREV", "CD_STOP", "CD_PLAY",
                            "CD_FF",     "CD_REW",  "CD_CANCEL", "CD_NEXT"};
    ASSERT_TRUE(client->WaitForTexts(expected.size()));
    EXPECT_EQ(client->Texts(), expected);
    EXPECT_TRUE(client->WaitForStatus("269 bytes"));
}

TEST_F(DdeServiceTest, TwoAdvisingClientsBothReceive)
{
    auto first = Client(ADVISE, "advising control");
    auto second = Client(ADVISE, "advising control");
    m_player->SendPlayerCommand(8);
    m_player->SendPlayerCommand(4);
    for (DdeWatch* client : {first.get(), second.get()}) {
        EXPECT_TRUE(client->WaitForTexts(2)) << client->Transcript();
        EXPECT_EQ(client->Texts(), (Texts{"CD_PLAY", "CD_STOP"}));
    }
}

TEST_F(DdeServiceTest, AfterTheLastClientLeftANewOneMustAdviseAgain)
{
    auto first = Client(std::string(ADVISE) + " --count 1", "advising control");
    m_player->SendPlayerCommand(1);
    ASSERT_EQ(first->WaitForExit(), DDEWATCH_DONE);
    EXPECT_EQ(first->Texts(), Texts{"CD_NEXT"});

    // Connected, but without an advise loop: the command is dropped, not kept.
    auto quiet = Client("ORLANTESK infoctl", "connected");
    m_player->SendPlayerCommand(2);

    auto advising = Client(ADVISE, "advising control");
    m_player->SendPlayerCommand(0);
    ASSERT_TRUE(advising->WaitForTexts(1));
    EXPECT_EQ(advising->Texts(), Texts{"CD_CANCEL"});
    EXPECT_TRUE(quiet->Texts().empty());
}

// An adviser leaving while another client stays connected leaves the
// service without any advise loop, yet with connections: a command then
// finds nobody to hand its text to. Later advisers must still be served.
TEST_F(DdeServiceTest, ACommandThatFoundNoAdviseLoopDoesNotBlockLaterOnes)
{
    auto quiet = Client("ORLANTESK infoctl", "connected");
    auto leaving = Client(std::string(ADVISE) + " --count 1", "advising control");
    m_player->SendPlayerCommand(8);
    ASSERT_EQ(leaving->WaitForExit(), DDEWATCH_DONE);

    m_player->SendPlayerCommand(1);  // no advise loop left

    auto advising = Client(ADVISE, "advising control");
    m_player->SendPlayerCommand(4);
    ASSERT_TRUE(advising->WaitForTexts(1));
    EXPECT_EQ(advising->Texts(), Texts{"CD_STOP"});
    EXPECT_TRUE(quiet->Texts().empty());
}

TEST_F(DdeServiceTest, ClientsSeeTheServerGoAndANewServerServesAgain)
{
    auto client = Client(ADVISE, "advising control");
    m_player.reset();
    EXPECT_EQ(client->WaitForExit(), DDEWATCH_DONE) << client->Transcript();
    EXPECT_TRUE(client->WaitForStatus("disconnected"));

    StartPlayer();
    auto next = Client(ADVISE, "advising control");
    m_player->SendPlayerCommand(129);
    ASSERT_TRUE(next->WaitForTexts(1));
    EXPECT_EQ(next->Texts(), Texts{"CD_FF"});
}

}  // namespace

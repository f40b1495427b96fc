// The DDE service with real DDEML conversations: the server is the player
// controller's, in this process, and every client is ddewatch.exe in a
// process of its own. The service name is shared by the whole session, so
// these run with the serialized tests.

#include "dde/dde_ctrl.h"
#include "launch/player_ctrl.h"

#include "tests/dde/dde_watch.h"
#include "tests/support/recording_window.h"
#include "tests/support/pump.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
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

// A DDEML client on a thread of its own (a DDEML instance belongs to the
// thread that made it) that runs random conversations against the service:
// random service and topic names, then requests, pokes, executes and advise
// loops on random items, in random formats, with random data of 0 to 4096
// bytes. Each answer is compared with the service's rules; what differs is
// kept as a line. At the end it starts a proper advise loop and waits for
// one text.
class DdeCorpusClient {
public:
    DdeCorpusClient(int conversations, int transactions)
        : m_thread([this, conversations, transactions] { Run(conversations, transactions); })
    {
    }
    ~DdeCorpusClient() { m_thread.join(); }

    bool Advising() const { return m_advising; }
    bool Done() const { return m_done; }
    std::vector<std::string> Mismatches() const { return m_mismatches; }
    std::vector<std::string> Texts() const { return m_texts; }

private:
    static constexpr DWORD TRANSACTION_MS = 5000;
    // Wine's DDEML drops, unanswered, the end of an advise loop that does
    // not exist (Windows answers it with a negative acknowledgement), so the
    // client would wait out its whole time: the corpus looks at no answer to
    // an end of loop and waits for it briefly.
    static constexpr DWORD ADVSTOP_MS = 250;

    static HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR)
    {
        if (type == XTYP_ADVDATA && s_self && data) {
            char text[300] = {};
            DdeGetData(data, reinterpret_cast<BYTE*>(text), sizeof(text) - 1, 0);
            s_self->m_texts.push_back(text);
            return reinterpret_cast<HDDEDATA>(DDE_FACK);
        }
        return nullptr;
    }

    std::string RandomName()
    {
        std::string name(1 + m_rng() % 20, 'x');
        for (char& c : name) {
            c = static_cast<char>(1 + m_rng() % 255);
        }
        return name;
    }

    HSZ Name(const std::string& text) { return DdeCreateStringHandleA(m_instance, text.c_str(), CP_WINANSI); }

    void Mismatch(const std::string& what) { m_mismatches.push_back(what); }

    void Converse(int transactions)
    {
        const std::string services[] = {"ORLANTESK", "orlantesk", RandomName()};
        const std::string topics[] = {"infoctl", "INFOCTL", "system", RandomName()};
        const std::string service = services[m_rng() % 3];
        const std::string topic = topics[m_rng() % 4];
        const bool ours = _stricmp(service.c_str(), "ORLANTESK") == 0 && _stricmp(topic.c_str(), "infoctl") == 0;
        HSZ hService = Name(service);
        HSZ hTopic = Name(topic);
        HCONV conv = DdeConnect(m_instance, hService, hTopic, nullptr);
        DdeFreeStringHandle(m_instance, hService);
        DdeFreeStringHandle(m_instance, hTopic);
        if ((conv != nullptr) != ours) {
            Mismatch("connect to " + service + "|" + topic + (conv ? " taken" : " refused"));
        }
        if (!conv) {
            return;
        }
        const UINT types[] = {XTYP_REQUEST, XTYP_POKE, XTYP_EXECUTE, XTYP_ADVSTART, XTYP_ADVSTART | XTYPF_NODATA,
                              XTYP_ADVSTOP};
        for (int t = 0; t < transactions; ++t) {
            const UINT type = types[m_rng() % 6];
            const std::string items[] = {"control", "CONTROL", "status", RandomName()};
            const std::string item = items[m_rng() % 4];
            const UINT formats[] = {CF_TEXT, CF_TEXT, CF_BITMAP, CF_UNICODETEXT, 1 + m_rng() % 0xFFFF};
            const UINT format = formats[m_rng() % 5];
            std::vector<BYTE> data(m_rng() % 4097);
            for (BYTE& b : data) {
                b = static_cast<BYTE>(m_rng());
            }
            const bool withData = type == XTYP_POKE || type == XTYP_EXECUTE;
            HSZ hItem = type == XTYP_EXECUTE ? nullptr : Name(item);
            DWORD result = 0;
            HDDEDATA answer = DdeClientTransaction(withData ? data.data() : nullptr,
                                                   withData ? static_cast<DWORD>(data.size()) : 0, conv, hItem,
                                                   type == XTYP_EXECUTE ? 0 : format, type,
                                                   type == XTYP_ADVSTOP ? ADVSTOP_MS : TRANSACTION_MS, &result);
            if (hItem) {
                DdeFreeStringHandle(m_instance, hItem);
            }
            const bool advise = (type & ~XTYPF_NODATA) == XTYP_ADVSTART;
            const bool mayAdvise = _stricmp(item.c_str(), "control") == 0 && format == CF_TEXT;
            const std::string what = std::to_string(type) + " on " + item + " format " + std::to_string(format) +
                                     " with " + std::to_string(data.size()) + " bytes";
            if (advise && (answer != nullptr) != mayAdvise) {
                Mismatch("advise loop " + what + (answer ? " taken" : " refused"));
            } else if ((type == XTYP_REQUEST || type == XTYP_POKE || type == XTYP_EXECUTE) && answer &&
                       (type == XTYP_REQUEST || (result & DDE_FACK))) {
                // Wine answers every poke with TRUE; its acknowledgement
                // tells whether the server took it.
                Mismatch("served " + what);
            }
            if (type == XTYP_REQUEST && answer) {
                DdeFreeDataHandle(answer);
            }
        }
        DdeDisconnect(conv);
    }

    void Run(int conversations, int transactions)
    {
        s_self = this;
        if (DdeInitializeA(&m_instance, Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
            Mismatch("DDEML not available");
            m_done = true;
            return;
        }
        for (int i = 0; i < conversations; ++i) {
            Converse(transactions);
        }
        // The fence: a proper advise loop still stands and gets its text.
        HSZ hService = Name("ORLANTESK");
        HSZ hTopic = Name("infoctl");
        HSZ hItem = Name("control");
        HCONV conv = DdeConnect(m_instance, hService, hTopic, nullptr);
        DWORD result = 0;
        if (conv && DdeClientTransaction(nullptr, 0, conv, hItem, CF_TEXT, XTYP_ADVSTART, TRANSACTION_MS, &result)) {
            m_advising = true;
            const DWORD start = GetTickCount();
            MSG msg;
            while (m_texts.empty() && GetTickCount() - start < 10000) {
                if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    DispatchMessageA(&msg);
                } else {
                    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
                }
            }
        } else {
            Mismatch("the proper advise loop after the corpus was refused");
        }
        if (conv) {
            DdeDisconnect(conv);
        }
        for (HSZ h : {hService, hTopic, hItem}) {
            DdeFreeStringHandle(m_instance, h);
        }
        DdeUninitialize(m_instance);
        s_self = nullptr;
        m_done = true;
    }

    static thread_local DdeCorpusClient* s_self;
    DWORD m_instance = 0;
    std::mt19937 m_rng{20};
    std::atomic<bool> m_advising{false};
    std::atomic<bool> m_done{false};
    std::vector<std::string> m_mismatches;
    std::vector<std::string> m_texts;
    std::thread m_thread;
};
thread_local DdeCorpusClient* DdeCorpusClient::s_self = nullptr;

// A short corpus in every run (16 conversations of 4 transactions);
// KOVA_CORPUS=long runs 2000 conversations, more than the service counts
// (255): a connection that ended and was not counted down would close the
// service to later ones.
TEST_F(DdeServiceTest, MalformedConversationsGetTheServicesAnswersAndLeaveItServing)
{
    char corpus[8] = {};
    const bool longForm = GetEnvironmentVariableA("KOVA_CORPUS", corpus, sizeof(corpus)) > 0 &&
                          std::strcmp(corpus, "long") == 0;
    DdeCorpusClient client(longForm ? 2000 : 16, 4);
    ASSERT_TRUE(WaitUntil([&] { return client.Advising() || client.Done(); }, longForm ? 3000000 : 600000));
    if (client.Advising()) {
        m_player->SendPlayerCommand(8);
    }
    ASSERT_TRUE(WaitUntil([&] { return client.Done(); }, 20000));
    EXPECT_EQ(client.Mismatches(), Texts{});
    EXPECT_EQ(client.Texts(), Texts{"CD_PLAY"});
}

}  // namespace

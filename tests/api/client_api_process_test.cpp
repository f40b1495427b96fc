// The client library against kova's main window: registrations and
// on-screen requests go to whatever window of kova's class the session
// has, and the display's mutex is shared by every process, so these tests
// run one at a time. "kova" here is the program's own window procedure
// under its own class, in the test process.

#include "base/messages.h"
#include "base/scoped.h"
#include "config/config.h"
#include "config/onscreen_settings.h"
#include "core/watchers.h"
#include "tests/api/kovaapi_module.h"
#include "tests/core/hub_fixture.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/recording_window.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class ClientApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(api.Loaded());
        ASSERT_EQ(FindWindowA(MAIN_WINDOW_CLASS, nullptr), nullptr) << "no other kova runs in the session";
        ResetConfigStoreForTests();
    }
    void TearDown() override
    {
        kova.reset();
        ResetConfigStoreForTests();
    }
    void StartKova() { kova = std::make_unique<MainWindowHost>(MAIN_WINDOW_CLASS); }

    static TargetWindowEntry Registered(int number)
    {
        TargetWindowEntry entry{};
        CConfig::GetTargetWindow(CConfig::GetTargetWindowStaticCount() + number - 1, &entry);
        return entry;
    }

    RegistrySandbox sandbox;
    ScopedJournal journal;
    KovaApiModule api;
    std::unique_ptr<MainWindowHost> kova;
};

TEST_F(ClientApiTest, ARegistrationGoesToKovaUnderTheLowByteOfItsNumber)
{
    // A registry registration of number 5, left from earlier.
    SetSendWindowValue("hWnd", 5, 0x1234);
    StartKova();
    RecordingWindow client(UniqueWindowName("KovaapiClient"), "");
    HWND c = client.Window();
    struct Row {
        HWND window;
        UINT id;
        UINT message;
        UINT expected;
    };
    const Row rows[] = {
        {nullptr, 1, 0x10, 0}, {c, 0, 0x10, 0},   {c, 0x100, 0x10, 0},  // number 0 in its low byte
        {c, 1, 0x4000, 0},     {c, 1, 0x3FFF, 1}, {c, 0x105, 0x10, 5},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(api.InitKovaMsg(r.window, r.id, r.message, 0x00010000), r.expected)
            << "number 0x" << std::hex << r.id << ", message 0x" << r.message;
    }
    EXPECT_EQ(Registered(1).Window, c);
    EXPECT_EQ(Registered(1).Message, 0xBFFFu) << "WM_APP + 0x3FFF, the last application message";
    EXPECT_EQ(Registered(5).Window, c);
    EXPECT_EQ(Registered(5).Message, static_cast<UINT>(WM_APP + 0x10));
    uint32_t older = 1;
    ASSERT_TRUE(GetSendWindowValue("hWnd", 5, &older));
    EXPECT_EQ(older, 0u) << "the older registry registration no longer overrides the direct one";

    // What kova posts to a registered window is the window's own message,
    // the command in lParam.
    for (int number : {1, 5}) {
        TargetWindowEntry entry = Registered(number);
        PostMessageA(entry.Window, entry.Message, 0, 100 + number);
    }
    const std::vector<RecordedMessage> expected = {{WM_APP + 0x3FFF, 0, 101}, {WM_APP + 0x10, 0, 105}};
    EXPECT_EQ(client.Take(), expected);
}

TEST_F(ClientApiTest, WithoutKovaTheRegistrationWaitsInTheRegistryUntilKovaStarts)
{
    RecordingWindow client(UniqueWindowName("KovaapiClient"), "");
    const DWORD start = GetTickCount();
    EXPECT_EQ(api.InitKovaMsg(client.Window(), 7, 0x20, 0x00030000), 7u);
    EXPECT_GE(GetTickCount() - start, 350u) << "five attempts, 100 ms apart";
    uint32_t value = 0;
    ASSERT_TRUE(GetSendWindowValue("hWnd", 7, &value));
    EXPECT_EQ(value, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(client.Window())));
    ASSERT_TRUE(GetSendWindowValue("Msg", 7, &value));
    EXPECT_EQ(value, 0x20u);
    ASSERT_TRUE(GetSendWindowValue("Ctrl", 7, &value));
    EXPECT_EQ(value, 0x00030000u);
    ASSERT_TRUE(GetSendWindowValue("Fail", 7, &value));
    EXPECT_EQ(value, 1u);

    // kova, starting later, takes it up.
    StartKova();
    ASSERT_TRUE(StartSendWindowWatcher());
    EXPECT_TRUE(WaitUntil([&] { return Registered(7).Window == client.Window(); }));
    EXPECT_EQ(Registered(7).Message, static_cast<UINT>(WM_APP + 0x20));
}

TEST_F(ClientApiTest, TextsAreCutToSixtyFourCharactersAndSymbolsGoByTheirCodes)
{
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 1);
    StartKova();
    std::string wide;
    for (int i = 0; i < 64; ++i) {
        wide += "\x82\xa0";  // a double-byte character of code page 932
    }
    api.KovaOsdText(std::string(100, 'a').c_str(), 0);
    api.KovaOsdText(wide.c_str(), 0);
    api.KovaOsdText(std::string(300, 'b').c_str(), 0);  // longer than the record's field
    api.KovaOsdIcon(3, 0);
    api.KovaOsdIcon(11, 0);
    api.KovaOsdIcon(0, 0);
    api.KovaOsdIcon(1, 0x10);
    ASSERT_TRUE(journal.WaitForCalls("orlanosd.dll", "OnScreen_DisplayA", 5, 10000));
    std::vector<JournalFields> shown;
    for (const std::string& line : journal.Calls("orlanosd.dll", "OnScreen_DisplayA")) {
        shown.push_back(ParseJournalFields(line));
    }
    ASSERT_EQ(shown.size(), 5u) << "positions 11 and 0 show nothing";
    EXPECT_EQ(shown[0]["text"], std::string(64, 'a'));
    EXPECT_EQ(shown[1]["text"], wide) << "64 double-byte characters stay whole";
    EXPECT_EQ(shown[2]["text"], std::string(64, 'b'));
    EXPECT_EQ(shown[3]["text"], "g") << "position 3 is the symbol 0x67";
    EXPECT_EQ(shown[3]["face"], "Webdings");
    EXPECT_EQ(shown[4]["text"], "4") << "position 1 is the symbol 0x34";
    EXPECT_EQ(shown[4]["kind"], "1") << "the flags are passed on: centre column";
}

// Four processes change one field each of the remote's display, a thousand
// times, each time reading the display back: none may see its own change
// undone by another, and no call may fail or wait out the mutex.
TEST(LcdContentionTest, FourProcessesSettingDifferentFieldsLoseNoChange)
{
    CleanOrlanRegistry clean;
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, "Software\\Orlan\\Kova", "VendorID1", TEST_VENDOR);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, "Software\\Orlan\\Kova", "ProductID1", TEST_PRODUCT);
    RegistrySandbox::CreateKey(HKEY_CURRENT_USER, "Software\\Orlan\\Kova");
    ReceiverHost host;
    host.Run(PlugCommand(4, "0xFF01", "0x01", "in=8 out=8 feature=8"));

    const std::string go = "KovaLcdHammerGo-" + std::to_string(GetCurrentProcessId());
    ScopedHandle start(CreateEventA(nullptr, TRUE, FALSE, go.c_str()));
    ASSERT_TRUE(start);
    constexpr int CALLS = 1000;
    ChildProcess children[4];
    for (int field = 0; field < 4; ++field) {
        ASSERT_TRUE(children[field].Start(std::string(KOVA_API_TEST_DIR_WIN) + "\\lcd_hammer.exe",
                                          "\"" + StagedPath("kovaapi.dll") + "\" " + std::to_string(field) + " " +
                                              std::to_string(CALLS) + " " + go));
    }
    SetEvent(start.get());
    for (int field = 0; field < 4; ++field) {
        DWORD code = 0xFFFF;
        ASSERT_TRUE(children[field].WaitForExit(200000, &code)) << "field " << field << " is stuck";
        EXPECT_EQ(code, 0u) << "field " << field << ": a call failed, was slow, or a change was lost";
    }
    EXPECT_EQ(host.EventsWith("output 4 ").size(), 4u * CALLS);

    // The last change of each process is what the display shows.
    KovaApiModule api;
    ASSERT_TRUE(api.Loaded());
    RFRemoconLcd lcd = LcdRecordOf(0);
    ASSERT_EQ(api.GetRFRemoconLCD(&lcd), KOVAAPI_LCD_SUCCESS);
    EXPECT_EQ(lcd.dwSeg0, 0x6u);
    EXPECT_EQ(lcd.dwSeg1, 0xB0u);
    EXPECT_EQ(lcd.dwSeg2, 0x00u);
    EXPECT_EQ(lcd.dwSeg3, 0x600u);
}

}  // namespace

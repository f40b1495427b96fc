// The radio remote's display through the client library, loaded as a client
// loads it, with a virtual receiver hosted in the test: the merge of each
// record into the display word, the output report that carries it, the
// word remembered in the user's registry, the records refused, and the
// answers while no receiver is there.

#include "base/scoped.h"
#include "tests/api/kovaapi_module.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char KOVA_KEY[] = "Software\\Orlan\\Kova";
constexpr char KOVAAPI_KEY[] = "Software\\Orlan\\Kova\\KOVAAPI";
constexpr char LCD_WORD_VALUE[] = "RFLcdData";

// The radio receiver's vendor collection, which carries the display; and a
// vendor collection of the classic receiver, which does not.
const std::string RADIO = PlugCommand(4, "0xFF01", "0x01", "in=8 out=8 feature=8");
const std::string CLASSIC = PlugCommand(3, "0xFFBC", "0x88", "in=8 feature=4");

// Plugs the radio collection from a thread of its own (the test framework's
// checks stay on the test's thread).
struct PlugJob {
    VirtualReceiver* Receiver;
    bool Plugged;
};
DWORD WINAPI PlugRadio(void* context)
{
    auto* job = static_cast<PlugJob*>(context);
    std::string error;
    job->Plugged = job->Receiver->Execute(RADIO, &error);
    return 0;
}

constexpr DWORD ALL = KOVAAPI_LCD_MASK_ALL;
constexpr DWORD NUMBER = KOVAAPI_LCD_MASK_NUMBER;

class RemoteLcdTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(api.Loaded());
        ListReceiver(KOVA_KEY, 1, TEST_VENDOR, TEST_PRODUCT);
        RegistrySandbox::CreateKey(HKEY_CURRENT_USER, KOVA_KEY);
    }
    static void ListReceiver(const char* key, int i, uint32_t vendor, uint32_t product)
    {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, key, ("VendorID" + std::to_string(i)).c_str(), vendor);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, key, ("ProductID" + std::to_string(i)).c_str(), product);
    }

    DWORD Set(const RFRemoconLcd& lcd) { return api.SetRFRemoconLCD(&lcd); }
    RFRemoconLcd Get()
    {
        RFRemoconLcd lcd = LcdRecordOf(0);
        EXPECT_EQ(api.GetRFRemoconLCD(&lcd), KOVAAPI_LCD_SUCCESS);
        return lcd;
    }
    std::vector<std::string> Outputs() const { return host.EventsWith("output 4 "); }
    // The display word of the last output report, which must be report 4
    // of the collection's full output length.
    uint32_t LastWord() const
    {
        std::vector<std::string> outputs = Outputs();
        if (outputs.empty()) {
            ADD_FAILURE() << "no output report";
            return 0;
        }
        unsigned handle = 0;
        unsigned b[8] = {};
        int n = std::sscanf(outputs.back().c_str(), "output 4 handle %u %x %x %x %x %x %x %x %x", &handle, &b[0],
                            &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]);
        EXPECT_EQ(n, 9) << outputs.back();
        EXPECT_EQ(b[0], 4u) << outputs.back();
        EXPECT_EQ(b[5] | b[6] | b[7], 0u) << outputs.back();
        return b[1] | b[2] << 8 | b[3] << 16 | b[4] << 24;
    }
    static bool Remembered(uint32_t* word)
    {
        return RegistrySandbox::GetDword(HKEY_CURRENT_USER, KOVA_KEY, LCD_WORD_VALUE, word);
    }

    RegistrySandbox sandbox;
    ReceiverHost host;
    KovaApiModule api;
};

TEST_F(RemoteLcdTest, TheBlankingRecordClearsTheSegmentsAndKeepsTheOtherBits)
{
    host.Run(RADIO);
    // Every segment on, 123 shown, and the bits no merge may touch set.
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, KOVA_KEY, LCD_WORD_VALUE, 0xF123FFFF);
    EXPECT_EQ(Set(LcdRecordOf(ALL)), KOVAAPI_LCD_SUCCESS);
    // Bits 0-12 clear, 13-15 and 28-31 kept, digits blank, blank, 0.
    EXPECT_EQ(LastWord(), 0xFFF0E000u);
    uint32_t word = 0;
    ASSERT_TRUE(Remembered(&word));
    EXPECT_EQ(word, 0xFFF0E000u);
    RFRemoconLcd lcd = Get();
    EXPECT_EQ(lcd.dwSeg0 | lcd.dwSeg1 | lcd.dwSeg2 | lcd.dwSeg3 | lcd.dwSeg4, 0u);
    EXPECT_EQ(lcd.wNumber, 0);
    EXPECT_EQ(lcd.wNumberMode, 0);
}

TEST_F(RemoteLcdTest, EachNumberModeShowsItsDigitsAndReadsBackByWhatIsShown)
{
    host.Run(RADIO);
    struct Row {
        WORD mode;
        WORD number;
        uint32_t digits;  // hundreds, tens, ones nibbles; F is blank
        WORD readNumber;
        WORD readMode;
    };
    const Row rows[] = {
        {0, 5, 0xFF5, 5, 0},   {0, 42, 0xF42, 42, 2}, {0, 307, 0x307, 307, 3}, {1, 5, 0xFF5, 5, 0},
        {1, 42, 0xFF2, 2, 0},  {1, 307, 0xFF7, 7, 0}, {2, 5, 0xF05, 5, 2},     {2, 42, 0xF42, 42, 2},
        {2, 307, 0xF07, 7, 2}, {3, 5, 0x005, 5, 3},   {3, 42, 0x042, 42, 3},   {3, 307, 0x307, 307, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("mode " + std::to_string(r.mode) + ", number " + std::to_string(r.number));
        ASSERT_EQ(Set(LcdRecordOf(NUMBER, 0, 0, 0, 0, 0, r.number, r.mode)), KOVAAPI_LCD_SUCCESS);
        EXPECT_EQ((LastWord() >> 16) & 0xFFF, r.digits);
        RFRemoconLcd lcd = Get();
        EXPECT_EQ(lcd.wNumber, r.readNumber);
        EXPECT_EQ(lcd.wNumberMode, r.readMode);
    }
}

TEST_F(RemoteLcdTest, OnlyTheSelectedFieldsChangeAndAreReadBack)
{
    host.Run(RADIO);
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG0, 0x5)), KOVAAPI_LCD_SUCCESS);
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG1, 0, 0xB8)), KOVAAPI_LCD_SUCCESS);
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG2, 0, 0, 0x40)), KOVAAPI_LCD_SUCCESS);
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG3, 0, 0, 0, 0x300)), KOVAAPI_LCD_SUCCESS);
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG4 | NUMBER, 0, 0, 0, 0, 0x1800, 42, 3)), KOVAAPI_LCD_SUCCESS);
    // Fields that are not selected are not checked either: none of these
    // values would pass, and none is taken.
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG1, 0xFF, 0x08, 0xFF, 0xFFFF, 0xFFFF, 1000, 4)), KOVAAPI_LCD_SUCCESS);
    RFRemoconLcd lcd = Get();
    EXPECT_EQ(lcd.dwSeg0, 0x5u);
    EXPECT_EQ(lcd.dwSeg1, 0x08u);
    EXPECT_EQ(lcd.dwSeg2, 0x40u);
    EXPECT_EQ(lcd.dwSeg3, 0x300u);
    EXPECT_EQ(lcd.dwSeg4, 0x1800u);
    EXPECT_EQ(lcd.wNumber, 42);
    EXPECT_EQ(lcd.dwSize, sizeof(lcd)) << "the size and the mask are not touched";
    EXPECT_EQ(lcd.dwMask, 0u);
    EXPECT_EQ(LastWord(), 0x00421B4Du) << "segments 0x1B4D, digits 0 4 2";
}

TEST_F(RemoteLcdTest, RecordsOutsideTheRulesAreRefusedAndSendNothing)
{
    host.Run(RADIO);
    struct Row {
        const char* what;
        RFRemoconLcd lcd;
        DWORD result;
    };
    RFRemoconLcd shortRecord = LcdRecordOf(ALL);
    shortRecord.dwSize = 31;
    const Row rows[] = {
        {"dwSize 31", shortRecord, KOVAAPI_LCD_INVALID_PARAM},
        {"bit 6 belongs to dwSeg2", LcdRecordOf(KOVAAPI_LCD_MASK_SEG1, 0, 0x40), KOVAAPI_LCD_INVALID_PARAM},
        {"dwSeg0 beyond 0x7", LcdRecordOf(KOVAAPI_LCD_MASK_SEG0, 0x8), KOVAAPI_LCD_INVALID_PARAM},
        {"bit 31 checks every field", LcdRecordOf(ALL, 0, 0, 0, 0, 0x2000), KOVAAPI_LCD_INVALID_PARAM},
        {"number 1000", LcdRecordOf(NUMBER, 0, 0, 0, 0, 0, 1000, 0), KOVAAPI_LCD_INVALID_PARAM},
        {"mode 4", LcdRecordOf(NUMBER, 0, 0, 0, 0, 0, 5, 4), KOVAAPI_LCD_INVALID_PARAM},
        {"number 1000 with bit 31", LcdRecordOf(ALL, 0, 0, 0, 0, 0, 1000, 0), KOVAAPI_LCD_INVALID_PARAM},
        {"number and mode not selected", LcdRecordOf(KOVAAPI_LCD_MASK_SEG0, 0x1, 0, 0, 0, 0, 1000, 4),
         KOVAAPI_LCD_SUCCESS},
        {"nothing selected", LcdRecordOf(0, 0xFF), KOVAAPI_LCD_SUCCESS},
    };
    size_t accepted = 0;
    for (const Row& r : rows) {
        EXPECT_EQ(Set(r.lcd), r.result) << r.what;
        accepted += r.result == KOVAAPI_LCD_SUCCESS;
    }
    EXPECT_EQ(api.SetRFRemoconLCD(nullptr), KOVAAPI_LCD_INVALID_PARAM);
    EXPECT_EQ(api.GetRFRemoconLCD(nullptr), KOVAAPI_LCD_INVALID_PARAM);
    // The last accepted record was sent after every refused one.
    EXPECT_EQ(Outputs().size(), accepted) << "only accepted records reach the receiver";
    EXPECT_EQ(LastWord() & 0x1FFF, 0x1u);
}

TEST_F(RemoteLcdTest, WithoutAReceiverBothAnswerNoDeviceUntilTheArrivalIsHandled)
{
    // A collection of a listed receiver that is not the display.
    host.Run(CLASSIC);
    RFRemoconLcd lcd = LcdRecordOf(ALL);
    EXPECT_EQ(Set(lcd), KOVAAPI_LCD_NO_DEVICE);
    EXPECT_EQ(api.GetRFRemoconLCD(&lcd), KOVAAPI_LCD_NO_DEVICE);

    // Plugged from another thread: the arrival is sent to the library's
    // window on this thread, which handles it only when this thread takes
    // its messages.
    PlugJob job{&host.Receiver(), false};
    ScopedHandle plugging(CreateThread(nullptr, 0, PlugRadio, &job, 0, nullptr));
    ASSERT_TRUE(plugging);
    for (int i = 0; i < 10000 && host.EventsWith("plugged 4").empty(); ++i) {
        Sleep(1);  // not taking messages meanwhile
    }
    EXPECT_FALSE(host.EventsWith("plugged 4").empty());
    EXPECT_EQ(Set(lcd), KOVAAPI_LCD_NO_DEVICE) << "the arrival was not handled yet";
    EXPECT_EQ(api.GetRFRemoconLCD(&lcd), KOVAAPI_LCD_NO_DEVICE);
    HANDLE thread = plugging.get();
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    EXPECT_TRUE(job.Plugged);
    EXPECT_EQ(Set(lcd), KOVAAPI_LCD_SUCCESS);
    EXPECT_EQ(Outputs().size(), 1u);

    // Gone again: the removal is handled while the receiver waits for it.
    host.Run("unplug 4");
    EXPECT_EQ(Set(lcd), KOVAAPI_LCD_NO_DEVICE);
    EXPECT_EQ(api.GetRFRemoconLCD(&lcd), KOVAAPI_LCD_NO_DEVICE);
}

TEST_F(RemoteLcdTest, WithoutTheUsersKovaKeyTheDisplayChangesButIsNotRemembered)
{
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, KOVA_KEY), ERROR_SUCCESS);
    host.Run(RADIO);
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG0, 0x7)), KOVAAPI_LCD_SUCCESS);
    EXPECT_EQ(LastWord() & 0x7, 0x7u);
    ASSERT_EQ(Set(LcdRecordOf(KOVAAPI_LCD_MASK_SEG1, 0, 0x08)), KOVAAPI_LCD_SUCCESS);
    EXPECT_EQ(LastWord() & 0x1FFF, 0x08u) << "the second change starts from nothing";
    uint32_t word = 0;
    EXPECT_FALSE(Remembered(&word));
    EXPECT_EQ(Get().dwSeg1, 0u);
}

TEST_F(RemoteLcdTest, WithoutReceiverIdentitiesTheDisplayIsNotReady)
{
    RegistrySandbox::DeleteValue(HKEY_LOCAL_MACHINE, KOVA_KEY, "VendorID1");
    host.Run(RADIO);
    RFRemoconLcd lcd = LcdRecordOf(ALL);
    EXPECT_EQ(Set(lcd), KOVAAPI_LCD_NOT_READY);
    EXPECT_EQ(api.GetRFRemoconLCD(&lcd), KOVAAPI_LCD_NOT_READY);
    EXPECT_TRUE(host.EventsWith("opened").empty());
}

TEST_F(RemoteLcdTest, TheLibrarysOwnListComesFirstAndHoldsSixteenReceivers)
{
    // Sixteen other receivers under KOVAAPI, the test receiver as a
    // seventeenth: neither that nor the general list is looked at.
    for (int i = 1; i <= 16; ++i) {
        ListReceiver(KOVAAPI_KEY, i, TEST_VENDOR, 0x0200 + i);
    }
    ListReceiver(KOVAAPI_KEY, 17, TEST_VENDOR, TEST_PRODUCT);
    host.Run(RADIO);
    RFRemoconLcd lcd = LcdRecordOf(ALL);
    EXPECT_EQ(Set(lcd), KOVAAPI_LCD_NO_DEVICE);
}

TEST_F(RemoteLcdTest, AnOutputReportTooShortForTheWordIsNeverWritten)
{
    host.Run(PlugCommand(4, "0xFF01", "0x01", "in=8 out=3 feature=8"));
    EXPECT_EQ(Set(LcdRecordOf(ALL)), KOVAAPI_LCD_IO_ERROR);
    // A receiver with room for the word, plugged later, is written to.
    host.Run("unplug 4");
    host.Run(RADIO);
    EXPECT_EQ(Set(LcdRecordOf(ALL)), KOVAAPI_LCD_SUCCESS);
    EXPECT_EQ(Outputs().size(), 1u);
    uint32_t word = 0;
    ASSERT_TRUE(Remembered(&word));
    EXPECT_EQ(word, LastWord());
}

}  // namespace

namespace {

// The library's hidden windows that belong to a thread.
int LibraryWindowsOf(DWORD thread)
{
    int count = 0;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM counter) -> BOOL {
            char name[32] = {};
            GetClassNameA(window, name, sizeof(name));
            *reinterpret_cast<int*>(counter) += std::string(name) == "KovaapiClass";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// A thread with a message loop that starts the library's display side, so
// that the hidden window is its own.
struct WindowThread {
    KovaApiModule* Api;
    HANDLE Started;
    DWORD Result = 0;
    int WindowsAtStart = 0;
    int WindowsAtEnd = 0;
};
DWORD WINAPI RunWindowThread(void* context)
{
    auto* t = static_cast<WindowThread*>(context);
    RFRemoconLcd lcd = LcdRecordOf(0);
    t->Result = t->Api->GetRFRemoconLCD(&lcd);
    t->WindowsAtStart = LibraryWindowsOf(GetCurrentThreadId());
    SetEvent(t->Started);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    t->WindowsAtEnd = LibraryWindowsOf(GetCurrentThreadId());
    return 0;
}

}  // namespace

// Freed, the library takes its hidden window and class with it, wherever
// the window lives: a message that reaches it afterwards must not run the
// library's unloaded code. (Without a virtual receiver: its client's notice
// thread keeps the library loaded to the end of the process.)
TEST(KovaapiLibraryTest, FreeingTheLibraryTakesItsWindowAway)
{
    RegistrySandbox sandbox;
    {
        KovaApiModule api;
        ASSERT_TRUE(api.Loaded());
        RFRemoconLcd lcd = LcdRecordOf(0);
        EXPECT_EQ(api.GetRFRemoconLCD(&lcd), KOVAAPI_LCD_NOT_READY) << "no receiver identities";
        EXPECT_EQ(LibraryWindowsOf(GetCurrentThreadId()), 1);
    }
    EXPECT_EQ(GetModuleHandleA("kovaapi.dll"), nullptr);
    EXPECT_EQ(LibraryWindowsOf(GetCurrentThreadId()), 0);

    // Loaded again, started on another thread, freed from this one.
    auto api = std::make_unique<KovaApiModule>();
    ScopedHandle started(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    WindowThread t{api.get(), started.get()};
    DWORD id = 0;
    ScopedHandle thread(CreateThread(nullptr, 0, RunWindowThread, &t, 0, &id));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(started.get(), 10000), WAIT_OBJECT_0);
    api.reset();
    EXPECT_EQ(GetModuleHandleA("kovaapi.dll"), nullptr);
    // The window's close is queued before the quit.
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    ASSERT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(t.Result, static_cast<DWORD>(KOVAAPI_LCD_NOT_READY));
    EXPECT_EQ(t.WindowsAtStart, 1);
    EXPECT_EQ(t.WindowsAtEnd, 0);
}

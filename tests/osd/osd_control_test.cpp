// COsdControl with our real display libraries, copied into a Program Files
// folder of the test's own: which library it loads and when, which export it
// calls, what record it hands over (read back from the libraries' journal),
// when it shows nothing, and which mutex it holds.

#include "osd/osd_control.h"

#include "config/controls.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/program_files_sandbox.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr DWORD CALL_TIMEOUT_MS = 10000;
constexpr DWORD UNLOAD_TIMEOUT_MS = 15000;
// How long a request must stay stuck behind a held mutex to count as waiting.
constexpr DWORD BLOCKED_MS = 1000;

constexpr char REMOTE[] = "ZUZIDAZOR";
constexpr char KEYBOARD[] = "ORLANTESK";
constexpr char TEXT_LIB[] = "orlanosd.dll";
constexpr char IMAGE_LIB[] = "OSDPIC.dll";

std::string VariantLibrary(const char* name)
{
    return std::string(KOVA_OSD_TEST_LIB_DIR_WIN) + "\\" + name;
}

std::string LoadedFrom(const char* module)
{
    HMODULE handle = GetModuleHandleA(module);
    char path[MAX_PATH] = {};
    if (handle) {
        GetModuleFileNameA(handle, path, sizeof(path));
    }
    return path;
}

bool SamePath(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Journal lines of the display libraries (the configuration store's display
// probe journals too).
size_t DisplayCalls(const ScopedJournal& journal)
{
    size_t n = 0;
    for (const std::string& line : journal.Lines()) {
        n += line.rfind(TEXT_LIB, 0) == 0 || line.rfind(IMAGE_LIB, 0) == 0;
    }
    return n;
}

class OsdControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        // Short displays, so the libraries' threads end soon after a test.
        User("Time", 1);
    }

    void TearDown() override
    {
        // The display threads keep the libraries until they end; the copies
        // can only be removed after that.
        WaitUntil([] { return !GetModuleHandleA(TEXT_LIB) && !GetModuleHandleA(IMAGE_LIB); }, UNLOAD_TIMEOUT_MS);
        ResetConfigStoreForTests();
    }

    void Install(const char* folder = REMOTE)
    {
        ASSERT_TRUE(programFiles.Put(folder, TEXT_LIB));
        ASSERT_TRUE(programFiles.Put(folder, IMAGE_LIB));
    }

    static void User(const char* name, uint32_t value)
    {
        RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, name, value);
    }

    // The fields of the only call made to the library so far.
    JournalFields OnlyCall(const char* library, const char* exportName)
    {
        EXPECT_TRUE(journal.WaitForCalls(library, exportName, 1, CALL_TIMEOUT_MS));
        auto calls = journal.Calls(library, exportName);
        EXPECT_EQ(calls.size(), 1u) << "one request, one call";
        return calls.empty() ? JournalFields{} : ParseJournalFields(calls.back());
    }

    JournalFields LastCall(const char* library, const char* exportName, size_t count)
    {
        EXPECT_TRUE(journal.WaitForCalls(library, exportName, count, CALL_TIMEOUT_MS));
        auto calls = journal.Calls(library, exportName);
        return calls.size() < count ? JournalFields{} : ParseJournalFields(calls[count - 1]);
    }

    size_t CallCount() const { return DisplayCalls(journal); }

    RegistrySandbox registry;
    ProgramFilesSandbox programFiles;
    ScopedJournal journal;
};

void ExpectZeroFont(const JournalFields& f, const char* charset)
{
    EXPECT_EQ(f.at("font"), std::string("0,0,0,0,0,0,0,0,") + charset + ",0,0,0,0")
        << "every LOGFONT field but the charset is 0";
}

// ---- Finding, loading and releasing the libraries -------------------------

TEST_F(OsdControlTest, LooksInTheRemoteFolderBeforeTheKeyboardFolder)
{
    Install(REMOTE);
    Install(KEYBOARD);
    COsdControl osd;
    EXPECT_TRUE(SamePath(LoadedFrom(TEXT_LIB), programFiles.PathOf(REMOTE, TEXT_LIB))) << LoadedFrom(TEXT_LIB);
    EXPECT_TRUE(SamePath(LoadedFrom(IMAGE_LIB), programFiles.PathOf(REMOTE, IMAGE_LIB))) << LoadedFrom(IMAGE_LIB);
}

TEST_F(OsdControlTest, FallsBackToTheKeyboardFolder)
{
    Install(KEYBOARD);
    COsdControl osd;
    EXPECT_EQ(COsdControl::TextAvailable(), 1u);
    EXPECT_EQ(COsdControl::ImageAvailable(), 1u);
    EXPECT_TRUE(SamePath(LoadedFrom(TEXT_LIB), programFiles.PathOf(KEYBOARD, TEXT_LIB))) << LoadedFrom(TEXT_LIB);
    EXPECT_TRUE(SamePath(LoadedFrom(IMAGE_LIB), programFiles.PathOf(KEYBOARD, IMAGE_LIB)));
}

TEST_F(OsdControlTest, WithoutLibrariesNothingIsShownAndALaterInstanceLooksAgain)
{
    COsdControl first;
    EXPECT_EQ(COsdControl::TextAvailable(), 0u);
    EXPECT_EQ(COsdControl::ImageAvailable(), 0u);
    first.ShowText("Mute ON", FALSE);
    first.ShowVolumeImage(100, FALSE);
    first.ShowVolumeLevel(100, FALSE);

    Install();
    {
        COsdControl second;
        EXPECT_EQ(COsdControl::TextAvailable(), 1u) << "the text library was missing: look again";
        EXPECT_EQ(COsdControl::ImageAvailable(), 1u);
        second.ShowText("Mute ON", FALSE);
        OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    }
    EXPECT_EQ(COsdControl::TextAvailable(), 1u) << "the first instance still lives";
    EXPECT_NE(GetModuleHandleA(TEXT_LIB), nullptr);
}

TEST_F(OsdControlTest, LibrariesAreSharedAndReleasedWithTheLastInstance)
{
    Install();
    auto first = std::make_unique<COsdControl>();
    HMODULE text = GetModuleHandleA(TEXT_LIB);
    HMODULE image = GetModuleHandleA(IMAGE_LIB);
    ASSERT_NE(text, nullptr);
    ASSERT_NE(image, nullptr);
    auto second = std::make_unique<COsdControl>();
    EXPECT_EQ(GetModuleHandleA(TEXT_LIB), text);

    first.reset();
    EXPECT_EQ(GetModuleHandleA(TEXT_LIB), text) << "freed while an instance remains";
    EXPECT_EQ(GetModuleHandleA(IMAGE_LIB), image);
    EXPECT_EQ(COsdControl::TextAvailable(), 1u);

    second.reset();
    EXPECT_EQ(GetModuleHandleA(TEXT_LIB), nullptr) << "loaded more than once, or not freed";
    EXPECT_EQ(GetModuleHandleA(IMAGE_LIB), nullptr);
    EXPECT_EQ(COsdControl::TextAvailable(), 0u);
    EXPECT_EQ(COsdControl::ImageAvailable(), 0u);
}

TEST_F(OsdControlTest, PrefersTheAnsiExports)
{
    Install();
    COsdControl osd;
    osd.ShowText("Mute ON", FALSE);
    osd.ShowVolumeImage(100, FALSE);
    OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    OnlyCall(IMAGE_LIB, "OnScreen_ImageA");
    EXPECT_TRUE(journal.Calls(TEXT_LIB, "OnScreen_Display").empty());
    EXPECT_TRUE(journal.Calls(IMAGE_LIB, "OnScreen_Image").empty());
}

TEST_F(OsdControlTest, UsesThePlainExportsWhenThereAreNoAnsiOnes)
{
    ASSERT_TRUE(programFiles.PutFile(REMOTE, VariantLibrary("osd_plain_only.dll"), TEXT_LIB));
    ASSERT_TRUE(programFiles.PutFile(REMOTE, VariantLibrary("osd_plain_only.dll"), IMAGE_LIB));
    COsdControl osd;
    osd.ShowText("Mute ON", FALSE);
    osd.ShowMuteImage(100);
    OnlyCall(TEXT_LIB, "OnScreen_Display");
    OnlyCall(IMAGE_LIB, "OnScreen_Image");
}

TEST_F(OsdControlTest, ALibraryWithoutItsPlainExportIsNotUsed)
{
    ASSERT_TRUE(programFiles.PutFile(REMOTE, VariantLibrary("osd_ansi_only.dll"), TEXT_LIB));
    ASSERT_TRUE(programFiles.PutFile(REMOTE, VariantLibrary("osd_ansi_only.dll"), IMAGE_LIB));
    COsdControl osd;
    EXPECT_EQ(COsdControl::TextAvailable(), 0u);
    EXPECT_EQ(COsdControl::ImageAvailable(), 0u);
    EXPECT_EQ(GetModuleHandleA(TEXT_LIB), nullptr) << "not kept loaded when useless";
    osd.ShowText("Mute ON", FALSE);
    osd.ShowVolumeImage(100, FALSE);
    EXPECT_EQ(CallCount(), 0u);
}

// ---- Text records -----------------------------------------------------------

TEST_F(OsdControlTest, TextRecordCarriesTheUsersSettings)
{
    Install();
    User("Color", 0x123456);
    User("Time", 3);
    User("Size", 3);
    RegistrySandbox::SetString(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "FontFace", "Test Face");
    COsdControl osd;
    osd.ShowText("Mute ON", FALSE);

    JournalFields f = OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    EXPECT_EQ(f["result"], "shown");
    EXPECT_EQ(f["size"], "120");
    EXPECT_EQ(f["type"], "0");
    EXPECT_EQ(f["picture"], "0");
    EXPECT_EQ(f["color"], "0x123456");
    EXPECT_EQ(f["kind"], "2");
    EXPECT_EQ(f["time"], "1500") << "Time 3 is 1.5 s";
    EXPECT_EQ(f["height"], "10") << "30 / Size 3";
    EXPECT_EQ(f["margin"], "10");
    ExpectZeroFont(f, "1");
    EXPECT_EQ(f["face"], "Test Face");
    EXPECT_EQ(f["reserved"], "0");
    EXPECT_EQ(f["text"], "Mute ON");
    EXPECT_EQ(f["max"], "0");
    EXPECT_EQ(f["value"], "0");
    EXPECT_EQ(f["segments"], "0");
    EXPECT_EQ(f["length"], "0");
}

TEST_F(OsdControlTest, SettingsAreReadAgainBeforeEveryDisplay)
{
    Install();
    COsdControl osd;
    osd.ShowText("one", FALSE);
    JournalFields before = LastCall(TEXT_LIB, "OnScreen_DisplayA", 1);
    EXPECT_EQ(before["color"], "0x00FF00");
    EXPECT_EQ(before["height"], "10");

    User("Color", 0x0000FF);
    User("Time", 5);
    User("Size", 1);
    osd.ShowText("two", FALSE);
    JournalFields after = LastCall(TEXT_LIB, "OnScreen_DisplayA", 2);
    EXPECT_EQ(after["color"], "0x0000FF");
    EXPECT_EQ(after["time"], "2500");
    EXPECT_EQ(after["height"], "30") << "30 / Size 1";
    EXPECT_EQ(after["margin"], "30");
}

TEST_F(OsdControlTest, TheCharsetFollowsTheCharactersOfTheText)
{
    Install();
    COsdControl osd;
    struct Case {
        const char* text;
        const char* charset;
        const char* why;
    } cases[] = {
        {"Mute ON", "1", "half-width letters and a blank"},
        {"\x82\x60\x82\x61", "128", "full-width letters"},
        {"\xB1\xB2\xB3", "128", "half-width katakana"},
        {"Vol \x81\x7B", "128", "one full-width sign among half-width letters"},
        {"\x83\x5C\x83\x74\x83\x67", "128", "full-width katakana"},
    };
    size_t n = 0;
    for (const Case& c : cases) {
        osd.ShowText(c.text, FALSE);
        JournalFields f = LastCall(TEXT_LIB, "OnScreen_DisplayA", ++n);
        EXPECT_EQ(f["font"], std::string("0,0,0,0,0,0,0,0,") + c.charset + ",0,0,0,0") << c.why;
        EXPECT_EQ(f["text"], c.text) << c.why;
        EXPECT_EQ(f["face"], "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e") << "the configured face";
    }
}

TEST_F(OsdControlTest, TheSymbolFontIsWebdings)
{
    Install();
    COsdControl osd;
    osd.ShowText("\x34", TRUE);
    JournalFields f = OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    EXPECT_EQ(f["face"], "Webdings");
    ExpectZeroFont(f, "2");
    EXPECT_EQ(f["text"], "\x34");
    EXPECT_EQ(f["kind"], "2");
}

TEST_F(OsdControlTest, NothingIsShownForAnEmptyText)
{
    Install();
    COsdControl osd;
    osd.ShowText("", FALSE);
    osd.ShowText(nullptr, FALSE);
    ClientOsdRequest empty{};
    osd.ShowClientRequest(&empty);
    osd.ShowClientRequest(nullptr);
    osd.ShowText("after", FALSE);
    JournalFields f = OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    EXPECT_EQ(f["text"], "after");
}

// ---- Client requests ----------------------------------------------------------

TEST_F(OsdControlTest, ClientFlagsChooseTheKind)
{
    Install();
    COsdControl osd;
    struct Case {
        uint32_t flags;
        const char* kind;
    } cases[] = {{0, "0"}, {0x21, "5"}, {0x12, "7"}, {0x33, "8"}, {0xFFFFFFCC, "0"}};
    size_t n = 0;
    for (const Case& c : cases) {
        ClientOsdRequest request{};
        std::strcpy(request.Text, "client");
        request.Flags = c.flags;
        osd.ShowClientRequest(&request);
        JournalFields f = LastCall(TEXT_LIB, "OnScreen_DisplayA", ++n);
        EXPECT_EQ(f["kind"], c.kind) << "flags 0x" << std::hex << c.flags;
        EXPECT_EQ(f["text"], "client");
        ExpectZeroFont(f, "1");
    }
}

TEST_F(OsdControlTest, ClientSymbolsUseTheSymbolFont)
{
    Install();
    COsdControl osd;
    ClientOsdRequest request{};
    request.Text[0] = 0x67;
    request.Kind = CLIENT_OSD_KIND_SYMBOL;
    request.Flags = 0x10;
    osd.ShowClientRequest(&request);
    JournalFields f = OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    EXPECT_EQ(f["face"], "Webdings");
    ExpectZeroFont(f, "2");
    EXPECT_EQ(f["text"], "g");
    EXPECT_EQ(f["kind"], "1");
}

TEST_F(OsdControlTest, AClientTextIsNeverReadPastItsField)
{
    Install();
    COsdControl osd;
    ClientOsdRequest request{};
    std::memset(request.Text, 'A', sizeof(request.Text));  // no terminator
    std::memset(request.Reserved1, 'B', sizeof(request.Reserved1));
    request.Flags = 0x42424242;
    osd.ShowClientRequest(&request);
    JournalFields f = OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    EXPECT_EQ(f["text"], std::string(128, 'A'));
}

TEST(ClientOsdRequestTest, ShortCopyDataIsRefused)
{
    uint8_t data[sizeof(ClientOsdRequest)] = {};
    data[1] = 'h';
    data[2] = 'i';
    data[136] = 0x21;
    ClientOsdRequest out;
    ASSERT_TRUE(CopyClientOsdRequest(data, sizeof(data), &out));
    EXPECT_STREQ(out.Text, "hi");
    EXPECT_EQ(out.Flags, 0x21u);
    EXPECT_FALSE(CopyClientOsdRequest(data, sizeof(data) - 1, &out)) << "its flags would lie past the data";
    EXPECT_EQ(out.Flags, 0u);
    EXPECT_FALSE(CopyClientOsdRequest(nullptr, sizeof(data), &out));
}

// ---- Bars and pictures --------------------------------------------------------

// Every field of a bar record: the fixed ones, and those given.
struct Bar {
    const char* picture;
    const char* time;
    const char* max;
    const char* value;
    const char* segments;
};

void ExpectBar(const JournalFields& f, const Bar& bar)
{
    EXPECT_EQ(f.at("size"), "120");
    EXPECT_EQ(f.at("type"), "1");
    EXPECT_EQ(f.at("picture"), bar.picture);
    EXPECT_EQ(f.at("kind"), "6");
    EXPECT_EQ(f.at("time"), bar.time);
    EXPECT_EQ(f.at("height"), "10");
    EXPECT_EQ(f.at("margin"), "0");
    ExpectZeroFont(f, "0");
    EXPECT_EQ(f.at("face"), "");
    EXPECT_EQ(f.at("reserved"), "0");
    EXPECT_EQ(f.at("text"), "null");
    EXPECT_EQ(f.at("max"), bar.max);
    EXPECT_EQ(f.at("value"), bar.value);
    EXPECT_EQ(f.at("segments"), bar.segments);
    EXPECT_EQ(f.at("length"), "30");
}

TEST_F(OsdControlTest, MixerVolumeAsAPlainBarThroughTheTextLibrary)
{
    Install();
    User("Color", 0x00FFFF);
    User("Time", 4);
    COsdControl osd;
    osd.ShowVolumeLevel(32768, FALSE);
    JournalFields f = LastCall(TEXT_LIB, "OnScreen_DisplayA", 1);
    ExpectBar(f, Bar{"0", "2000", "65535", "32768", "25"});
    EXPECT_EQ(f["color"], "0x00FFFF");

    osd.ShowVolumeLevel(100, TRUE);
    EXPECT_EQ(LastCall(TEXT_LIB, "OnScreen_DisplayA", 2)["time"], "300") << "a held button refreshes quickly";
    EXPECT_TRUE(journal.Calls(IMAGE_LIB, "OnScreen_ImageA").empty());
}

TEST_F(OsdControlTest, VolumeAndMutePicturesThroughThePictureLibrary)
{
    Install();
    User("Time", 2);
    COsdControl osd;
    osd.ShowVolumeImage(40000, FALSE);
    ExpectBar(LastCall(IMAGE_LIB, "OnScreen_ImageA", 1), Bar{"2", "1000", "65535", "40000", "25"});

    osd.ShowVolumeImage(40000, TRUE);
    EXPECT_EQ(LastCall(IMAGE_LIB, "OnScreen_ImageA", 2)["time"], "300");

    osd.ShowMuteImage(1234);
    // The mute picture always stays the configured time.
    ExpectBar(LastCall(IMAGE_LIB, "OnScreen_ImageA", 3), Bar{"3", "1000", "65535", "1234", "25"});
    EXPECT_TRUE(journal.Calls(TEXT_LIB, "OnScreen_DisplayA").empty());
}

TEST_F(OsdControlTest, EndpointStepsGoWhereTheirKindSays)
{
    Install();
    COsdControl osd;
    osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_BAR, 7, 51, 0}, FALSE);
    // Maximum and segments are the step count - 1.
    ExpectBar(LastCall(IMAGE_LIB, "OnScreen_ImageA", 1), Bar{"2", "500", "50", "7", "50"});
    osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_MUTE, 3, 11, 1}, TRUE);
    ExpectBar(LastCall(IMAGE_LIB, "OnScreen_ImageA", 2), Bar{"3", "300", "10", "3", "10"});
    osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_PLAIN, 4, 21, 0}, FALSE);
    ExpectBar(LastCall(TEXT_LIB, "OnScreen_DisplayA", 1), Bar{"0", "500", "20", "4", "20"});
}

TEST_F(OsdControlTest, AnEndpointWithoutStepsShowsAnEmptyBar)
{
    Install();
    COsdControl osd;
    osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_BAR, 0, 0, 0}, FALSE);
    JournalFields f = OnlyCall(IMAGE_LIB, "OnScreen_ImageA");
    EXPECT_EQ(f["max"], "0") << "not 4294967295";
    EXPECT_EQ(f["segments"], "0");
}

TEST_F(OsdControlTest, WithOnlyTheTextLibraryPicturesShowNothing)
{
    ASSERT_TRUE(programFiles.Put(REMOTE, TEXT_LIB));
    COsdControl osd;
    EXPECT_EQ(COsdControl::TextAvailable(), 1u);
    EXPECT_EQ(COsdControl::ImageAvailable(), 0u);
    osd.ShowVolumeImage(100, FALSE);
    osd.ShowMuteImage(100);
    osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_BAR, 1, 10, 0}, FALSE);
    osd.ShowVolumeLevel(100, FALSE);
    JournalFields f = OnlyCall(TEXT_LIB, "OnScreen_DisplayA");
    EXPECT_EQ(f["type"], "1");
    EXPECT_EQ(CallCount(), 1u);
}

// ---- The on/off switches ------------------------------------------------------

void ShowEverything(COsdControl& osd)
{
    ClientOsdRequest request{};
    std::strcpy(request.Text, "client");
    osd.ShowText("text", FALSE);
    osd.ShowClientRequest(&request);
    osd.ShowVolumeLevel(1, FALSE);
    osd.ShowVolumeImage(1, FALSE);
    osd.ShowMuteImage(1);
    osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_BAR, 1, 10, 0}, FALSE);
    osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_PLAIN, 1, 10, 0}, FALSE);
}

TEST_F(OsdControlTest, OnScreenOffSuppressesEveryDisplay)
{
    Install();
    COsdControl osd;
    User("OnScreen", 0);  // after construction: the reload before each display sees it
    ShowEverything(osd);
    EXPECT_EQ(CallCount(), 0u);

    User("OnScreen", 1);
    osd.ShowText("back", FALSE);
    EXPECT_EQ(OnlyCall(TEXT_LIB, "OnScreen_DisplayA")["text"], "back");
}

TEST_F(OsdControlTest, OsdEnableZeroWinsOverTheUser)
{
    Install();
    User("OnScreen", 1);
    COsdControl osd;
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "OSD_Enable", 0);
    ShowEverything(osd);
    EXPECT_EQ(CallCount(), 0u);
}

// ---- Mutexes ------------------------------------------------------------------

// Holds a named mutex on a thread of its own until released.
class MutexHolder {
public:
    explicit MutexHolder(const char* name)
        : m_held(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_release(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        m_thread = std::thread([this, name] {
            HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
            WaitForSingleObject(mutex, INFINITE);
            SetEvent(m_held);
            WaitForSingleObject(m_release, INFINITE);
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        });
        WaitForSingleObject(m_held, INFINITE);
    }
    ~MutexHolder()
    {
        Release();
        CloseHandle(m_held);
        CloseHandle(m_release);
    }
    void Release()
    {
        SetEvent(m_release);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    HANDLE m_held;
    HANDLE m_release;
    std::thread m_thread;
};

// Runs show on another thread while the mutex is held elsewhere: true when
// it waited for the mutex (made no call before the release, one after).
bool WaitsFor(const char* mutexName, ScopedJournal& journal, const std::function<void()>& show)
{
    MutexHolder holder(mutexName);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread caller([&] {
        show();
        SetEvent(done);
    });
    bool blocked = WaitForSingleObject(done, BLOCKED_MS) == WAIT_TIMEOUT && DisplayCalls(journal) == 0;
    holder.Release();
    bool finished = WaitForSingleObject(done, CALL_TIMEOUT_MS) == WAIT_OBJECT_0;
    caller.join();
    CloseHandle(done);
    return blocked && finished && DisplayCalls(journal) == 1;
}

TEST_F(OsdControlTest, TextRequestsHoldTheTextMutex)
{
    Install();
    COsdControl osd;
    EXPECT_TRUE(WaitsFor(OSD_TEXT_MUTEX, journal, [&] { osd.ShowText("held", FALSE); }));
}

TEST_F(OsdControlTest, PictureRequestsHoldThePictureMutex)
{
    Install();
    COsdControl osd;
    EXPECT_TRUE(WaitsFor(OSD_IMAGE_MUTEX, journal, [&] { osd.ShowMuteImage(5); }));
}

TEST_F(OsdControlTest, EndpointPlainBarsHoldThePictureMutexToo)
{
    Install();
    COsdControl osd;
    EXPECT_TRUE(WaitsFor(OSD_IMAGE_MUTEX, journal,
                         [&] { osd.ShowVolumeSteps(VolumeRecord{VOLUME_KIND_PLAIN, 1, 10, 0}, FALSE); }));
}

}  // namespace

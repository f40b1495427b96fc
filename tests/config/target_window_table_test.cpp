#include "config/target_window_table.h"

#include "config/config.h"
#include "core/main_ctrl.h"
#include "core/watchers.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

HWND Handle(uintptr_t value) { return reinterpret_cast<HWND>(value); }
uintptr_t Value(HWND window) { return reinterpret_cast<uintptr_t>(window); }

TargetWindowEntry EntryAt(int index)
{
    TargetWindowEntry entry{};
    EXPECT_TRUE(CConfig::GetTargetWindow(index, &entry)) << index;
    return entry;
}

TargetWindowRegistration Registration(uintptr_t window, uint8_t id, uint32_t message, uint32_t categories)
{
    TargetWindowRegistration r{};
    r.hOwnerWnd = Handle(window);
    r.ucId = id;
    r.uMsg = message;
    r.dwCtrl = categories;
    return r;
}

class TargetWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override { ResetConfigStoreForTests(); }

    static void Configure(int n, const char* suffix, const std::string& text)
    {
        std::string name = "Wnd" + std::to_string(n) + suffix;
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, name.c_str(), text);
    }
    static void Configure(int n, const char* suffix, uint32_t value)
    {
        std::string name = "Wnd" + std::to_string(n) + suffix;
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, name.c_str(), value);
    }
    static void ConfigureClasses(int count)
    {
        for (int n = 1; n <= count; ++n) {
            Configure(n, "_Class", "Class" + std::to_string(n));
        }
    }
    static void Send(const char* name, uint32_t value)
    {
        RegistrySandbox::SetDword(HKEY_CURRENT_USER, SEND_WINDOW_KEY, name, value);
    }
    // The SENDWINDOW key, opened as the watcher holds it.
    HKEY SendWindowKey()
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SEND_WINDOW_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        m_keys.push_back(key);
        return key;
    }
    ~TargetWindowTest() override
    {
        for (HKEY key : m_keys) {
            RegCloseKey(key);
        }
    }

    RegistrySandbox sandbox;
    std::vector<HKEY> m_keys;
};

TEST_F(TargetWindowTest, ConfiguredWindowsLoadUntilTheFirstBlankClass)
{
    Configure(1, "_Class", " MediaClass ");
    Configure(1, "_Title", " Media ");
    Configure(1, "_Control", 0x10000);
    Configure(1, "_Msg", 5);
    Configure(2, "_Class", "Second");
    Configure(2, "_Title", " \t");
    Configure(3, "_Class", "Third");
    Configure(3, "_Control", 0x30002);
    Configure(4, "_Class", "  ");
    Configure(5, "_Class", "Fifth");
    CConfig config;

    EXPECT_EQ(CConfig::GetTargetWindowStaticCount(), 3);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), 3);

    TargetWindowEntry first = EntryAt(0);
    EXPECT_EQ(first.Flags, 0x100Bu);
    EXPECT_STREQ(first.Class, "MediaClass");
    EXPECT_STREQ(first.Title, "Media");
    EXPECT_EQ(first.Categories, 0x10000u);
    EXPECT_EQ(first.Message, 0x8005u);
    EXPECT_EQ(first.Window, nullptr);

    TargetWindowEntry second = EntryAt(1);
    EXPECT_EQ(second.Flags, 0x1001u) << "a blank title is no title";
    EXPECT_EQ(second.Message, 0x8064u) << "WM_APP + 100 without Wnd2_Msg";
    EXPECT_EQ(second.Categories, 0u);

    TargetWindowEntry third = EntryAt(2);
    EXPECT_EQ(third.Categories, 0x2u) << "bit 1 clears the category bits";
    EXPECT_EQ(third.Flags, 0x1009u) << "what is left is still not 0";

    EXPECT_EQ(EntryAt(3).Flags, 0u);
    EXPECT_EQ(EntryAt(4).Flags, 0u) << "behind the blank class: never read";
}

TEST_F(TargetWindowTest, GapsAndWrongTypesEndTheConfiguredList)
{
    Configure(1, "_Class", "One");
    Configure(1, "_Msg", "7");  // a text is no number
    Configure(1, "_Control", "65536");
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd2_Class", 2);
    Configure(3, "_Class", "Three");
    CConfig config;
    EXPECT_EQ(CConfig::GetTargetWindowStaticCount(), 1);
    EXPECT_EQ(EntryAt(0).Message, 0x8064u);
    EXPECT_EQ(EntryAt(0).Flags, 0x1001u);
}

TEST_F(TargetWindowTest, AtMost255ConfiguredWindows)
{
    ConfigureClasses(256);
    CConfig config;
    EXPECT_EQ(CConfig::GetTargetWindowStaticCount(), TARGET_WINDOW_STATIC_MAX);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), TARGET_WINDOW_STATIC_MAX);
    EXPECT_STREQ(EntryAt(254).Class, "Class255");
    EXPECT_EQ(EntryAt(255).Flags, 0u);
}

TEST_F(TargetWindowTest, ClientRegistrationsGoBehindTheConfiguredWindows)
{
    ConfigureClasses(3);
    CConfig config;

    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x1230, 1, 5, 0x20000)), 0);
    TargetWindowEntry entry = EntryAt(3);
    EXPECT_EQ(entry.Flags, 0x100Cu);
    EXPECT_EQ(entry.Window, Handle(0x1230));
    EXPECT_EQ(entry.Message, 0x8005u);
    EXPECT_EQ(entry.Categories, 0x20000u);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), 4);
    EXPECT_STREQ(EntryAt(0).Class, "Class1") << "the configured window stays";

    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x4560, 5, 0, 0x7F0002)), 0);
    entry = EntryAt(7);
    EXPECT_EQ(entry.Categories, 0x2u);
    EXPECT_EQ(entry.Flags, 0x100Cu);
    EXPECT_EQ(entry.Message, 0x8000u);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), 8);

    // A later registration of a lower number does not lower the highest
    // position; one of the same number overwrites the entry.
    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x7890, 1, 9, 0)), 0);
    entry = EntryAt(3);
    EXPECT_EQ(entry.Flags, 0x1004u) << "no categories";
    EXPECT_EQ(entry.Window, Handle(0x7890));
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), 8);
}

TEST_F(TargetWindowTest, SlotZeroIsRefusedAndSlot255FillsTheLastEntry)
{
    ConfigureClasses(255);
    CConfig config;
    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x1111, 0, 1, 0x10000)), -1);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), 255) << "refused without any change";
    EXPECT_STREQ(EntryAt(254).Class, "Class255");

    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x2222, 255, 1, 0)), 0);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), TARGET_WINDOW_MAX);
    EXPECT_EQ(EntryAt(509).Window, Handle(0x2222));
    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x3333, 1, 1, 0)), 0);
    EXPECT_EQ(EntryAt(255).Window, Handle(0x3333)) << "n = 1 is position 256";

    // Stored numbers go to the same positions; 256 would lie beyond the table.
    Send("SendWnd254_hWnd", 0x4440);
    Send("SendWnd256_hWnd", 0x6660);
    ASSERT_EQ(CConfig::LoadSendWindowRegistrations(SendWindowKey()), ERROR_SUCCESS);
    EXPECT_EQ(EntryAt(508).Window, Handle(0x4440));
    EXPECT_EQ(EntryAt(509).Window, Handle(0x2222)) << "untouched by number 256";
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), TARGET_WINDOW_MAX);
}

TEST_F(TargetWindowTest, CopyDataRecordIsReadOnlyWhenWhole)
{
    uint8_t bytes[24] = {};
    bytes[0] = 0x34;
    bytes[1] = 0x12;  // handle 0x1234
    bytes[8] = 7;     // ucId
    bytes[12] = 0x10;
    bytes[13] = 0x3F;  // uMsg 0x3F10
    bytes[18] = 0x01;  // dwCtrl 0x10000
    TargetWindowRegistration r{};
    ASSERT_TRUE(ReadTargetWindowRegistration(bytes, sizeof(bytes), &r));
    EXPECT_EQ(r.hOwnerWnd, Handle(0x1234));
    EXPECT_EQ(r.ucId, 7);
    EXPECT_EQ(r.uMsg, 0x3F10u);
    EXPECT_EQ(r.dwCtrl, 0x10000u);
    EXPECT_FALSE(ReadTargetWindowRegistration(bytes, 23, &r));
    EXPECT_FALSE(ReadTargetWindowRegistration(nullptr, 24, &r));
}

TEST(SendWindowValueNameTest, NamesThatAreNoUsableNumberEndTheScan)
{
    struct Case {
        const char* name;
        SendWindowField field;
        int number;
    };
    const Case cases[] = {
        {"SendWnd1_hWnd", SendWindowField::Window, 1},
        {"SendWnd256_Ctrl", SendWindowField::Categories, 256},
        {"SendWnd003_Msg", SendWindowField::Message, 3},
        {"XXXXXXX12_Ctrl", SendWindowField::Categories, 12},  // the prefix is not checked
        {"SendWnd257_Msg", SendWindowField::Message, 0},
        {"SendWnd0_hWnd", SendWindowField::Window, 0},
        {"SendWndX_hWnd", SendWindowField::Window, 0},
        {"SendWnd_hWnd", SendWindowField::Window, 0},
        {"SendWnd99999999999_Msg", SendWindowField::Message, 0},
        {"SendWnd4294967297_Msg", SendWindowField::Message, 0},  // wraps to 1 in 32 bits
        {"SendWnd 3_hWnd", SendWindowField::Window, 0},
        {"SendWnd+3_hWnd", SendWindowField::Window, 0},
        {"SendWnd3x_hWnd", SendWindowField::Window, 0},
        {"Wnd1_hWnd", SendWindowField::Window, 0},  // shorter than the prefix
        {"_Ctrl", SendWindowField::Categories, 0},
        {"SendWnd", SendWindowField::None, 0},
        {"SendWnd3_Fail", SendWindowField::None, 0},
        {"SendWnd3_hwnd", SendWindowField::None, 0},  // markers are exact
        {"", SendWindowField::None, 0},
    };
    for (const Case& c : cases) {
        SendWindowValueName parsed = ParseSendWindowValueName(c.name);
        EXPECT_EQ(parsed.Field, c.field) << c.name;
        EXPECT_EQ(parsed.Number, c.number) << c.name;
    }
    EXPECT_EQ(ParseSendWindowValueName(nullptr).Field, SendWindowField::None);
}

// A client number holds one position whichever way it arrives: behind the
// configured windows, which it never replaces, so a client registered both
// ways gets each command once.
TEST_F(TargetWindowTest, StoredAndDirectRegistrationsOfANumberShareOnePositionBehindTheConfiguredWindows)
{
    ConfigureClasses(3);
    Send("SendWnd1_hWnd", 0x1110);
    Send("SendWnd1_Msg", 5);
    Send("SendWnd1_Ctrl", 0x10000);
    Send("SendWnd2_hWnd", 0x2220);
    Send("SendWnd5_hWnd", 0);
    Send("SendWnd5_Msg", 9);
    Send("SendWnd6_Ctrl", 0x30002);
    Send("SendWnd6_hWnd", 0x6660);
    CConfig config;
    ASSERT_EQ(CConfig::LoadSendWindowRegistrations(SendWindowKey()), ERROR_SUCCESS);

    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(EntryAt(index).Flags, 0x1001u) << "configured window " << index + 1 << " stays";
        EXPECT_EQ(EntryAt(index).Class, "Class" + std::to_string(index + 1));
    }
    TargetWindowEntry first = EntryAt(3);
    EXPECT_EQ(first.Flags, 0x100Cu) << "number 1 is position 4";
    EXPECT_EQ(first.Window, Handle(0x1110));
    EXPECT_EQ(first.Message, 0x8005u);
    EXPECT_EQ(first.Categories, 0x10000u);
    TargetWindowEntry second = EntryAt(4);
    EXPECT_EQ(second.Message, 0x8000u) << "no message value: WM_APP + 0";
    EXPECT_EQ(second.Flags, 0x1004u);
    EXPECT_EQ(EntryAt(7).Flags, 0u) << "handle 0: not registered";
    EXPECT_EQ(EntryAt(8).Categories, 0x2u);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), 9);
    EXPECT_EQ(CConfig::GetTargetWindowStaticCount(), 3);

    // The client registers number 1 directly as well; its library then
    // writes the stored handle as 0 and the watcher reloads.
    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x7770, 1, 6, 0x20000)), 0);
    Send("SendWnd1_hWnd", 0);
    ASSERT_EQ(CConfig::LoadSendWindowRegistrations(SendWindowKey()), ERROR_SUCCESS);
    int holders = 0;
    for (int index = 0; index < CConfig::GetTargetWindowHighest(); ++index) {
        TargetWindowEntry entry = EntryAt(index);
        holders += (entry.Flags & TARGET_IN_USE) && (entry.Window == Handle(0x7770) || entry.Window == Handle(0x1110));
    }
    EXPECT_EQ(holders, 1) << "one entry for the client";
    EXPECT_EQ(EntryAt(3).Window, Handle(0x7770));
    EXPECT_EQ(EntryAt(3).Message, 0x8006u);

    // A direct registration without a window withdraws the number.
    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0, 2, 1, 0x10000)), 0);
    EXPECT_EQ(EntryAt(4).Flags, 0u);
    EXPECT_EQ(EntryAt(4).Window, nullptr);
}

TEST_F(TargetWindowTest, AnOutOfRangeNameEndsTheScanButKeepsWhatWasGathered)
{
    // Values are created in name order, so the enumeration sees them in this
    // order whether the registry keeps insertion or name order.
    const char* enders[] = {"SendWnd0_hWnd", "SendWnd257_hWnd", "SendWndX_hWnd", "SendWnd99999999999_Msg",
                            "SendWnd_Ctrl"};
    for (const char* ender : enders) {
        ResetConfigStoreForTests();
        Send("AendWnd1_hWnd", 0x1110);
        Send(ender, 0x5550);
        Send("TendWnd2_hWnd", 0x2220);
        CConfig config;
        ASSERT_EQ(CConfig::LoadSendWindowRegistrations(SendWindowKey()), ERROR_SUCCESS) << ender;
        EXPECT_EQ(EntryAt(0).Window, Handle(0x1110)) << ender;
        EXPECT_EQ(EntryAt(1).Flags, 0u) << ender << " should have ended the scan";
        EXPECT_EQ(CConfig::GetTargetWindowHighest(), 1) << ender;
        RegistrySandbox::DeleteValue(HKEY_CURRENT_USER, SEND_WINDOW_KEY, ender);
    }
}

TEST_F(TargetWindowTest, ValuesThatAreNoNumbersAreSkipped)
{
    const uint8_t four[] = {0x30, 0x30, 0, 0};
    const uint8_t two[] = {0x40, 0x40};
    std::vector<uint8_t> big(300, 0x11);
    std::string longName = "SendWnd7_hWnd" + std::string(300, 'x');
    Send("SendWnd", 0x9990);
    RegistrySandbox::SetString(HKEY_CURRENT_USER, SEND_WINDOW_KEY, "SendWnd3_hWnd", "12336");
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, SEND_WINDOW_KEY, "SendWnd4_hWnd", REG_BINARY, four, sizeof(four));
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, SEND_WINDOW_KEY, "SendWnd5_hWnd", REG_DWORD, two, sizeof(two));
    RegistrySandbox::SetValue(HKEY_CURRENT_USER, SEND_WINDOW_KEY, "SendWnd6_hWnd", REG_DWORD, big.data(),
                              static_cast<DWORD>(big.size()));
    Send(longName.c_str(), 0x7770);
    Send("SendWnd8_Fail", 1);
    Send("SendWnd9_hWnd", 0x9990);
    CConfig config;
    ASSERT_EQ(CConfig::LoadSendWindowRegistrations(SendWindowKey()), ERROR_SUCCESS);
    for (int index = 0; index < 8; ++index) {
        EXPECT_EQ(EntryAt(index).Flags, 0u) << "position " << index + 1;
    }
    EXPECT_EQ(EntryAt(8).Window, Handle(0x9990)) << "the scan went on past every odd value";
}

TEST_F(TargetWindowTest, AFailedScanAppliesNothing)
{
    Send("SendWnd1_hWnd", 0x1110);
    CConfig config;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SEND_WINDOW_KEY, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_NE(CConfig::LoadSendWindowRegistrations(key), ERROR_SUCCESS) << "the key is closed";
    EXPECT_EQ(EntryAt(0).Flags, 0u);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), 0);
}

TEST_F(TargetWindowTest, FoundWindowsAreCachedOnlyInClassEntries)
{
    ConfigureClasses(2);
    CConfig config;
    EXPECT_TRUE(CConfig::CacheTargetWindowHandle(1, Handle(0xABC0)));
    EXPECT_EQ(EntryAt(1).Window, Handle(0xABC0));
    EXPECT_EQ(EntryAt(1).Flags, 0x1001u) << "caching does not make it a registered window";

    EXPECT_EQ(CConfig::RegisterTargetWindow(Registration(0x1230, 1, 0, 0)), 0);
    EXPECT_FALSE(CConfig::CacheTargetWindowHandle(2, Handle(0xDEF0))) << "a registered window is fixed";
    EXPECT_EQ(EntryAt(2).Window, Handle(0x1230));
    EXPECT_FALSE(CConfig::CacheTargetWindowHandle(3, Handle(0xDEF0))) << "beyond the highest position";
    EXPECT_FALSE(CConfig::CacheTargetWindowHandle(-1, Handle(0xDEF0)));
    TargetWindowEntry outside{};
    EXPECT_FALSE(CConfig::GetTargetWindow(TARGET_WINDOW_MAX, &outside));

    // The watcher's copy of number 1 lands on the registered entry, never on
    // the class entry the sender caches into.
    Send("SendWnd1_hWnd", 0x5550);
    ASSERT_EQ(CConfig::LoadSendWindowRegistrations(SendWindowKey()), ERROR_SUCCESS);
    EXPECT_EQ(EntryAt(2).Window, Handle(0x5550));
    EXPECT_TRUE(CConfig::CacheTargetWindowHandle(0, Handle(0xABC0)));
    EXPECT_EQ(EntryAt(0).Window, Handle(0xABC0));
}

// Every registration in this test encodes its writer's generation in all of
// its fields, so an entry put together from two writes shows at once.
constexpr int HAMMER_SLOTS = 64;

uint32_t HammerWindow(uint32_t generation, int n) { return (generation << 12) | static_cast<uint32_t>(n); }
uint32_t HammerMessage(uint32_t generation, int n) { return generation * 0x1000 + static_cast<uint32_t>(n); }
uint32_t HammerCategories(uint32_t generation) { return generation << 24; }

// Empty when the entry is whole, else what is wrong with it.
std::string CheckHammerEntry(int index, const TargetWindowEntry& e)
{
    if (!(e.Flags & TARGET_IN_USE)) {
        return e.Flags == 0 ? "" : "flags without the in-use bit";
    }
    uintptr_t window = Value(e.Window);
    uint32_t generation = static_cast<uint32_t>(window >> 12);
    int n = static_cast<int>(window & 0xFFF);
    if (n != index + 1 || generation < 1 || generation > 3) {
        return "window " + std::to_string(window) + " at index " + std::to_string(index);
    }
    if (e.Message != TARGET_MESSAGE_BASE + HammerMessage(generation, n) ||
        e.Categories != HammerCategories(generation) || e.Flags != 0x100Cu || e.Class[0] != '\0') {
        return "entry " + std::to_string(index) + " mixes two writes";
    }
    return "";
}

TEST_F(TargetWindowTest, ScansNeverSeeAHalfWrittenEntryWhileRegistrationsReload)
{
    // Two stored generations of the same 64 registrations, in two keys.
    HKEY keys[2] = {};
    for (uint32_t generation = 1; generation <= 2; ++generation) {
        std::string path = std::string(SEND_WINDOW_KEY) + std::to_string(generation);
        for (int n = 1; n <= HAMMER_SLOTS; ++n) {
            std::string prefix = "SendWnd" + std::to_string(n);
            RegistrySandbox::SetDword(HKEY_CURRENT_USER, path.c_str(), (prefix + "_hWnd").c_str(),
                                      HammerWindow(generation, n));
            RegistrySandbox::SetDword(HKEY_CURRENT_USER, path.c_str(), (prefix + "_Msg").c_str(),
                                      HammerMessage(generation, n));
            RegistrySandbox::SetDword(HKEY_CURRENT_USER, path.c_str(), (prefix + "_Ctrl").c_str(),
                                      HammerCategories(generation));
        }
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &keys[generation - 1]),
                  ERROR_SUCCESS);
        m_keys.push_back(keys[generation - 1]);
    }
    CConfig config;

    constexpr int RELOADS = 120;
    std::atomic<bool> reloading{true};
    std::atomic<bool> registering{true};
    int reloaded = 0;
    // The watcher's part: reload from the registry, again and again.
    std::thread watcher([&] {
        for (int i = 0; i < RELOADS; ++i) {
            if (CConfig::LoadSendWindowRegistrations(keys[i % 2]) == ERROR_SUCCESS) {
                ++reloaded;
            }
        }
        reloading = false;
    });
    // Direct registrations of a third generation at the same positions (no
    // configured windows, so ucId n is position n as well).
    std::thread registrar([&] {
        while (registering) {
            for (int n = 1; n <= HAMMER_SLOTS; ++n) {
                CConfig::RegisterTargetWindow(Registration(HammerWindow(3, n), static_cast<uint8_t>(n),
                                                           HammerMessage(3, n), HammerCategories(3)));
            }
        }
    });

    auto snapshot = std::make_unique<TargetWindowEntry[]>(TARGET_WINDOW_MAX);
    std::string fault;
    int scans = 0;
    while (reloading && fault.empty()) {
        ++scans;
        // The sender's way: the highest position, then entry by entry.
        int highest = CConfig::GetTargetWindowHighest();
        for (int index = 0; index < highest && fault.empty(); ++index) {
            TargetWindowEntry entry{};
            CConfig::GetTargetWindow(index, &entry);
            fault = CheckHammerEntry(index, entry);
        }
        // And the whole table in one view.
        int count = CConfig::CopyTargetWindows(snapshot.get(), TARGET_WINDOW_MAX);
        for (int index = 0; index < count && fault.empty(); ++index) {
            fault = CheckHammerEntry(index, snapshot[index]);
        }
    }
    registering = false;
    watcher.join();
    registrar.join();
    EXPECT_EQ(fault, "") << "after " << scans << " scans";
    EXPECT_EQ(reloaded, RELOADS);
    EXPECT_EQ(CConfig::GetTargetWindowHighest(), HAMMER_SLOTS);
}

// The send-window watcher thread feeds the table: registrations made while
// the program was not running at start, later changes while the main window
// exists.
TEST_F(TargetWindowTest, WatcherAppliesRegistrationsAtStartAndOnChange)
{
    Send("SendWnd3_hWnd", 0x1230);
    Send("SendWnd3_Msg", 7);
    Send("SendWnd3_Fail", 1);
    Send("SendWnd4_hWnd", 0x5670);  // left over from an earlier run
    CConfig config;
    CMainCtrl::MainWindow = nullptr;
    ASSERT_TRUE(StartSendWindowWatcher());

    auto inUse = [](int index) {
        TargetWindowEntry entry{};
        CConfig::GetTargetWindow(index, &entry);
        return (entry.Flags & TARGET_IN_USE) != 0;
    };
    EXPECT_TRUE(WaitUntil([&] { return inUse(2); }, 5000));
    EXPECT_EQ(EntryAt(2).Window, Handle(0x1230));
    EXPECT_EQ(EntryAt(2).Message, 0x8007u);
    EXPECT_FALSE(inUse(3)) << "a stale registration is disabled, not loaded";
    uint32_t stale = 1;
    EXPECT_TRUE(RegistrySandbox::GetDword(HKEY_CURRENT_USER, SEND_WINDOW_KEY, "SendWnd4_hWnd", &stale));
    EXPECT_EQ(stale, 0u);

    // Rewritten on every poll: the first write may come before the watcher
    // has armed its change notice.
    CMainCtrl::MainWindow = GetDesktopWindow();
    EXPECT_TRUE(WaitUntil(
        [&] {
            Send("SendWnd9_hWnd", 0x9990);
            return inUse(8);
        },
        5000));
    EXPECT_EQ(EntryAt(8).Window, Handle(0x9990));

    StopWatchers();
    CMainCtrl::MainWindow = nullptr;
}

}  // namespace

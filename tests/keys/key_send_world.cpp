#include "tests/keys/key_send_world.h"

#include "base/app_context.h"
#include "config/app_tables.h"
#include "config/controls.h"
#include "config/onscreen_settings.h"
#include "config/texts.h"
#include "launch/kova_lnch_ctrl.h"
#include "launch/shell_ops.h"
#include "launch/tesk_lnch_ctrl.h"

#include "tests/support/journal_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

const char MAXIMIZED[] = "media center maximized";
const char MINIMIZED[] = "media center minimized";
const char TV_PROFILE[] = "TV";
const char DVD_PROFILE[] = "DVD";
const char TV_OTHER_PROFILE[] = "TV other";
const char HALCYON_PROFILE[] = "Halcyon";
const char MEDIA_CENTER_A[] = "Media Center A";
const char MEDIA_CENTER_B[] = "Media Center B";
const char MEDIA_CENTER_C[] = "Media Center C";
const char ONE_TOUCH_1[] = "Touch 1";

namespace {

constexpr char PLAYER_KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\Player";
constexpr char TEXT_LIBRARY[] = "orlanosd.dll";
// Present so that the volume and mute keys show pictures; not gathered.
constexpr char PICTURE_LIBRARY[] = "OSDPIC.dll";
constexpr uint32_t PLAYER_MESSAGE = WM_USER + 100;
constexpr WPARAM PLAYER_TAG = 100;

// Registration i (1 to 7) of the target window: category i - 1, message
// TARGET_MESSAGE_BASE + FIRST_TARGET_MESSAGE + i - 1.
constexpr int CATEGORY_COUNT = 7;
constexpr uint32_t FIRST_TARGET_MESSAGE = 0x200;

std::vector<std::string> g_boxes;

INT_PTR RecordBox(HWND, LPCSTR text, LPCSTR, UINT, UINT slot)
{
    g_boxes.push_back(Box(slot, text ? text : ""));
    return IDOK;
}

std::string CommandText(uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof(text), value < 0x10000 ? "%llu" : "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string SecondWord(const std::string& line)
{
    size_t first = line.find(' ');
    if (first == std::string::npos) {
        return "";
    }
    size_t second = line.find(' ', first + 1);
    return line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

}  // namespace

std::string Post(uint16_t mask, WPARAM wParam, uint32_t command)
{
    return "post(" + std::to_string(mask) + ", " + CommandText(wParam) + ", " + CommandText(command) + ")";
}

std::string PlayerIndex(LPARAM index) { return "player " + std::to_string(index); }

std::string Started(const char* program) { return std::string("started ") + program; }

std::string Shown(const std::string& text) { return "shown \"" + text + "\""; }

std::string Box(UINT slot, const std::string& text) { return "box " + std::to_string(slot) + " \"" + text + "\""; }

std::string Effect(int answer) { return "effect mode=100 flag=1 answer=" + std::to_string(answer); }

void AwaitWindowlessTimers(UINT periodMs)
{
    static bool fired;
    fired = false;
    UINT_PTR fence = SetTimer(nullptr, 0, periodMs, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        fired = true;
    });
    ASSERT_NE(fence, 0u);
    ASSERT_TRUE(WaitUntil([] { return fired; }));
}

KeySendWorld::KeySendWorld()
    : m_mediaCenterClass(UniqueWindowName("kova mc")),
      m_brivueClass(UniqueWindowName("kova bv")),
      m_halcyonClass(UniqueWindowName("kova hal")),
      m_tunerDeckClass(UniqueWindowName("kova td"))
{
    // The applications under names no other test process uses.
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "MC_Class", m_mediaCenterClass);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "BV_Class", m_brivueClass);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "BV_Title", "Brivue");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "Hal_Class", m_halcyonClass);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "Hal_Title", "Halcyon");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "TunerDeck_Class", m_tunerDeckClass);
    // Brivue is installed, so the TV profiles may start ordinary programs.
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, BRIVUE_APP_PATH_KEY);

    // The CD player, driven by its private message.
    const std::string playerTitle = UniqueWindowName("kova player");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_TITLE", playerTitle);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_CONTROL", 2);
    m_player = std::make_unique<RecordingWindow>(UniqueWindowName("kova player class"), playerTitle);
    m_targets = std::make_unique<RecordingWindow>(UniqueWindowName("kova targets"), "targets");

    Profile(PROFILE_TV, TV_PROFILE, "tv.exe");
    Profile(PROFILE_DVD, DVD_PROFILE, "dvd.exe");
    Profile(PROFILE_MEDIA_CENTER_A, MEDIA_CENTER_A, "mca.exe");
    Profile(PROFILE_MEDIA_CENTER_B, MEDIA_CENTER_B, "mcb.exe");
    Profile(PROFILE_TV_OTHER, TV_OTHER_PROFILE, "tvother.exe");
    Profile(PROFILE_HALCYON, HALCYON_PROFILE, "halcyon.exe");
    Profile(PROFILE_MEDIA_CENTER_C, MEDIA_CENTER_C, nullptr);
    // One-touch button 1 of the machine's default set.
    const std::string touchKey = std::string(ONE_TOUCH_DEFAULT_SET_KEY) + "\\" + ONE_TOUCH_BUTTON_KEY_PREFIX + "1";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, touchKey.c_str(), "DispTitle", ONE_TOUCH_1);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, touchKey.c_str(), "NumAP", 1);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, touchKey.c_str(), "Execute", "M");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, touchKey.c_str(), "Btn1_AP1", m_launch.Program("touch1.exe"));

    // The texts reach the display library's journal; short displays.
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 1);
    m_launch.PutStaged("ZUZIDAZOR", TEXT_LIBRARY);
    m_launch.PutStaged("ZUZIDAZOR", PICTURE_LIBRARY);
    // The build puts AltRunner beside kova.exe, which would take the place
    // of every profile's first program: this machine has none.
    OverrideFixedProgramDirForTests(m_launch.Folder().c_str());

    m_mainWindow = CreateWindowExA(0, "STATIC", "key send test", WS_POPUP, 0, 0, 1, 1, HWND_MESSAGE, nullptr,
                                   nullptr, nullptr);
    SetAppMainWindow(m_mainWindow);
    g_boxes.clear();
    SetAppMessageBox(RecordBox);
}

KeySendWorld::~KeySendWorld()
{
    TearDownController();
    SetAppMessageBox(nullptr);
    SetAppMainWindow(nullptr);
    DestroyWindow(m_mainWindow);
    OverrideFixedProgramDirForTests(nullptr);
}

void KeySendWorld::SetControl(const char* name, uint32_t value)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, name, value);
}

void KeySendWorld::Profile(int index, const char* name, const char* program)
{
    char value[32];
    auto set = [&](const char* format, const std::string& text) {
        std::snprintf(value, sizeof(value), format, index + 1);
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, value, text);
    };
    set("Btn%d_Name", name);
    if (program) {
        set("Btn%d_NumAp", "1");
        set("Btn%d_Exec", "M");
        set("Btn%d_AP1", m_launch.Program(program));
    }
}

void KeySendWorld::Build()
{
    TearDownController();
    ResetConfigStoreForTests();
    m_keys = std::make_unique<CKeySendCtrl>(nullptr);
    for (int i = 0; i < CATEGORY_COUNT; ++i) {
        TargetWindowRegistration registration{};
        registration.hOwnerWnd = m_targets->Window();
        registration.ucId = static_cast<uint8_t>(i + 1);
        registration.uMsg = FIRST_TARGET_MESSAGE + i;
        registration.dwCtrl = 0x10000u << i;
        ASSERT_EQ(CConfig::RegisterTargetWindow(registration), 0);
    }
}

void KeySendWorld::TearDownController()
{
    m_keys.reset();
    WaitForLaunchThreads();
}

Events KeySendWorld::Collect()
{
    Events events;
    EXPECT_TRUE(WaitForLaunchThreads());
    for (const RecordedMessage& m : m_targets->Take()) {
        const uint32_t category = m.Message - TARGET_MESSAGE_BASE - FIRST_TARGET_MESSAGE;
        events.push_back(Post(static_cast<uint16_t>(1u << category), m.WParam, static_cast<uint32_t>(m.LParam)));
    }
    for (const RecordedMessage& m : m_player->Take()) {
        if (m.Message == PLAYER_MESSAGE && m.WParam == PLAYER_TAG) {
            events.push_back(PlayerIndex(m.LParam));
        }
    }
    const std::vector<std::string> lines = m_launch.Journal().Lines();
    for (size_t i = m_journalSeen; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        JournalFields fields = ParseJournalFields(line);
        if (SecondWord(line) == "start" && fields.count("show")) {
            events.push_back(Started(line.substr(0, line.find(' ')).c_str()));
        } else if (line.rfind(std::string(TEXT_LIBRARY) + " OnScreen_DisplayA", 0) == 0) {
            events.push_back(Shown(fields["text"]));
        } else if (line.rfind("sonraapi.dll SONRA_ChangeEffectMode", 0) == 0) {
            events.push_back("effect mode=" + fields["mode"] + " flag=" + fields["flag"] + " answer=" +
                             fields["answer"]);
        }
    }
    m_journalSeen = lines.size();
    events.insert(events.end(), g_boxes.begin(), g_boxes.end());
    g_boxes.clear();
    if (m_mediaCenter) {
        HWND mc = m_mediaCenter->Window();
        if (IsZoomed(mc)) {
            events.push_back(MAXIMIZED);
        }
        if (IsIconic(mc)) {
            events.push_back(MINIMIZED);
        }
        ShowWindow(mc, SW_RESTORE);
        ShowWindow(mc, SW_HIDE);
    }
    std::sort(events.begin(), events.end());
    return events;
}

void KeySendWorld::ExpectRows(void (CKeySendCtrl::*handler)(uint16_t, uint32_t),
                              const std::vector<KeyRowCase>& rows, const char* table)
{
    ExpectRows([&](uint16_t code, uint32_t state) { (m_keys.get()->*handler)(code, state); }, rows, table);
}

void KeySendWorld::ExpectRows(const std::function<void(uint16_t code, uint32_t state)>& press,
                              const std::vector<KeyRowCase>& rows, const char* table)
{
    Collect();
    for (const KeyRowCase& row : rows) {
        Events pressed = row.onPress;
        Events released = row.onRelease;
        std::sort(pressed.begin(), pressed.end());
        std::sort(released.begin(), released.end());
        press(row.code, 1);
        EXPECT_EQ(Collect(), pressed) << table << " " << row.code << " pressed";
        press(row.code, 0);
        EXPECT_EQ(Collect(), released) << table << " " << row.code << " released";
    }
}

void KeySendWorld::OpenMediaCenter()
{
    m_mediaCenter = std::make_unique<RecordingWindow>(m_mediaCenterClass, "Media Center");
}

std::unique_ptr<RecordingWindow> KeySendWorld::OpenBrivue()
{
    return std::make_unique<RecordingWindow>(m_brivueClass, "Brivue");
}

std::unique_ptr<RecordingWindow> KeySendWorld::OpenHalcyon()
{
    return std::make_unique<RecordingWindow>(m_halcyonClass, "Halcyon");
}

std::unique_ptr<RecordingWindow> KeySendWorld::OpenTunerDeck()
{
    return std::make_unique<RecordingWindow>(m_tunerDeckClass, "any title");
}

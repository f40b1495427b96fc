#include "config/config_report.h"

#include "config/config.h"
#include "config/read_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr size_t TEXT_KEPT = TEXT_FIELD_SIZE - 1;

struct ValuePlace {
    HKEY Root;
    const char* Key;
    const char* Name;
};

std::string PlaceName(HKEY root, const char* key)
{
    return std::string(root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + key;
}

// Line breaks written as \r and \n, so that each setting stays on its line.
std::string Quoted(const char* text)
{
    std::string quoted = "\"";
    for (const char* p = text; *p; ++p) {
        quoted += *p == '\r' ? "\\r" : *p == '\n' ? "\\n" : std::string(1, *p);
    }
    return quoted + "\"";
}

const char* TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return "a value of another type";
    }
}

class Report {
public:
    explicit Report(const ConfigReadLog& log) : m_log(log) {}

    // A setting that more places may give, each overriding the ones before:
    // the last one taken wins; ignored values of any of them are noted.
    void Layered(const char* name, const std::string& value, bool text, std::initializer_list<ValuePlace> places)
    {
        SettingLine line{PlaceName(places.begin()->Root, places.begin()->Key), name, value, "default", ""};
        const ValuePlace* winner = nullptr;
        std::string notes;
        for (const ValuePlace& place : places) {
            const ValueRead* read = m_log.Find(place.Root, place.Key, place.Name);
            if (!read) {
                continue;
            }
            if (read->Outcome == ReadOutcome::Taken) {
                winner = &place;
            }
            std::string why = DescribeIgnoredRead(*read);
            if (!why.empty()) {
                AddNote(notes, places.size() > 1 ? PlaceName(place.Root, place.Key) + "\\" + place.Name + ": " + why
                                                 : why);
            }
        }
        if (winner) {
            // A later place that overrides the first one is named.
            line.Source = winner == places.begin() ? "registry"
                                                   : "registry: " + PlaceName(winner->Root, winner->Key) + "\\" +
                                                         winner->Name;
            const ValueRead* read = m_log.Find(winner->Root, winner->Key, winner->Name);
            if (text && read->Size > TEXT_KEPT) {
                AddNote(notes, "cut to 127 characters");
            }
        } else if (notes.empty()) {
            const ValuePlace& first = *places.begin();
            if (m_log.KeyMissing(first.Root, first.Key)) {
                notes = "key missing";
            } else if (!m_log.Find(first.Root, first.Key, first.Name)) {
                notes = NOT_READ_NOTE;
            } else {
                notes = "not stored";
            }
        }
        line.Note = notes;
        m_lines.push_back(line);
    }

    void Value(HKEY root, const char* key, const char* name, const std::string& value, bool text)
    {
        Layered(name, value, text, {{root, key, name}});
    }

    void Line(HKEY root, const char* key, const std::string& name, const std::string& value, const char* source,
              const std::string& note = "")
    {
        m_lines.push_back({PlaceName(root, key), name, value, source, note});
    }

    // After a list's entries: why it ended, when it ended before its maximum.
    // The first read not taken of a value that ends the list (one whose name
    // holds one of the markers; the others are optional) ends it.
    void ListEnd(HKEY root, const char* key, const char* what, std::initializer_list<const char*> markers)
    {
        if (m_log.KeyMissing(root, key)) {
            Line(root, key, what, "none", "default", "key missing");
            return;
        }
        for (const ValueRead& read : m_log.Reads()) {
            if (read.Root != root || read.Outcome == ReadOutcome::KeyMissing || read.Outcome == ReadOutcome::Taken ||
                lstrcmpiA(read.Key.c_str(), key) != 0) {
                continue;
            }
            bool endsList = false;
            for (const char* marker : markers) {
                endsList = endsList || read.Name.find(marker) != std::string::npos;
            }
            if (!endsList) {
                continue;
            }
            std::string why = DescribeIgnoredRead(read);
            Line(root, key, read.Name, "-", "", "the list ends here: " + (why.empty() ? "not stored" : why));
            return;
        }
    }

    std::vector<SettingLine> Take() { return std::move(m_lines); }

private:
    static void AddNote(std::string& notes, const std::string& note)
    {
        notes += notes.empty() ? note : "; " + note;
    }

    const ConfigReadLog& m_log;
    std::vector<SettingLine> m_lines;
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

void DescribeControls(Report& report, const ControlSettings& controls)
{
    for (const NamedNumber& value : NamedControlSettings(controls)) {
        report.Value(HKEY_LOCAL_MACHINE, CONTROLS_KEY, value.Name, NumberWithHex(value.Value), false);
    }
    // Read at each use.
    report.Value(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "LaunchDelay", NumberWithHex(ReadLaunchDelay()), false);
}

void DescribeReceivers(Report& report, const DeviceIdentityTable& identities)
{
    for (int i = 0; i < identities.Count; ++i) {
        const DeviceIdentity& e = identities.Entries[i];
        std::string word = e.PathWord && e.PathWord[0] ? "path word " + Quoted(e.PathWord) : "any path";
        report.Line(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, Format("receiver %d", i + 1),
                    Format("vendor 0x%04lX, product 0x%04lX, ", static_cast<unsigned long>(e.VendorID),
                           static_cast<unsigned long>(e.ProductID)) +
                        word,
                    "registry");
    }
    if (identities.Count < DEVICE_IDENTITY_MAX) {
        report.ListEnd(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "receivers", {"ProductID", "VendorID"});
    }
}

void DescribeTexts(Report& report, const char* key, const std::vector<NamedText>& texts)
{
    for (const NamedText& text : texts) {
        report.Value(HKEY_LOCAL_MACHINE, key, text.Name, Quoted(text.Text), true);
    }
}

void DescribeRemoteTexts(Report& report, const RemoteTexts& texts)
{
    for (const NamedText& text : NamedRemoteTexts(texts)) {
        if (std::strcmp(text.Name, "AppNameSonra") == 0) {
            report.Layered(text.Name, Quoted(text.Text), true,
                           {{HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "AppNameSonra"},
                            {HKEY_LOCAL_MACHINE, SONRA2_KEY, "CaptionName"}});
        } else {
            report.Value(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, text.Name, Quoted(text.Text), true);
        }
    }
}

void DescribeTargetWindows(Report& report)
{
    int count = CConfig::GetTargetWindowStaticCount();
    for (int i = 0; i < count; ++i) {
        TargetWindowEntry entry{};
        CConfig::GetTargetWindow(i, &entry);
        std::string value = "class " + Quoted(entry.Class);
        if (entry.Flags & TARGET_HAS_TITLE) {
            value += ", title " + Quoted(entry.Title);
        }
        value += Format(", message 0x%lX, categories 0x%lX", static_cast<unsigned long>(entry.Message),
                        static_cast<unsigned long>(entry.Categories));
        report.Line(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, Format("Wnd%d", i + 1), value, "registry");
    }
    if (count < TARGET_WINDOW_STATIC_MAX) {
        report.ListEnd(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "target windows", {"_Class"});
    }
}

void DescribeAppTables(Report& report)
{
    const BrowserClasses& browsers = CConfig::GetBrowserClasses();
    for (int i = 0; i < browsers.Count; ++i) {
        report.Line(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, Format("IE%d_Class", i + 1), Quoted(browsers.Class[i]),
                    "registry");
    }
    if (browsers.Count < BROWSER_CLASS_MAX) {
        report.ListEnd(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, "web browsers", {"_Class"});
    }
    const SpecialApps& specials = CConfig::GetSpecialApps();
    for (int i = 0; i < specials.Count; ++i) {
        report.Line(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, Format("ApName%d", i + 1),
                    Quoted(specials.Apps[i].Name) + " gets " + Quoted(specials.Apps[i].Option), "registry");
    }
    if (specials.Count < SPECIAL_APP_MAX) {
        report.ListEnd(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, "extra launch options", {"ApName", "ApOpt"});
    }
}

void DescribePlayers(Report& report, const PlayerWindows& players)
{
    struct Player {
        const char* prefix;
        const PlayerWindow& window;
    };
    for (const Player& player : {Player{"CD", players.Cd}, Player{"DVD", players.Dvd}}) {
        std::string prefix = player.prefix;
        report.Value(HKEY_LOCAL_MACHINE, PLAYER_WINDOWS_KEY, (prefix + "_CLASS").c_str(), Quoted(player.window.Class),
                     true);
        report.Value(HKEY_LOCAL_MACHINE, PLAYER_WINDOWS_KEY, (prefix + "_TITLE").c_str(), Quoted(player.window.Title),
                     true);
        report.Value(HKEY_LOCAL_MACHINE, PLAYER_WINDOWS_KEY, (prefix + "_CONTROL").c_str(),
                     NumberWithHex(player.window.Control), false);
    }
}

void DescribeOnScreen(Report& report, const OnScreenSettings& settings)
{
    // The machine's defaults, then the user's own.
    struct Setting {
        const char* name;
        std::string value;
        bool text;
    };
    const Setting rows[] = {{"Color", NumberWithHex(settings.Color), false},
                            {"Time", NumberWithHex(settings.Time), false},
                            {"Size", NumberWithHex(settings.Size), false},
                            {"FontFace", Quoted(settings.FontFace), true}};
    for (const Setting& row : rows) {
        report.Layered(row.name, row.value, row.text,
                       {{HKEY_LOCAL_MACHINE, ONSCREEN_DEFAULT_KEY, row.name},
                        {HKEY_CURRENT_USER, ONSCREEN_USER_KEY, row.name}});
    }
    report.Layered("OnScreen", NumberWithHex(settings.OnScreen), false,
                   {{HKEY_LOCAL_MACHINE, ONSCREEN_DEFAULT_KEY, "OnScreen"},
                    {HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "OnScreen"},
                    {HKEY_LOCAL_MACHINE, CONTROLS_KEY, "OSD_Enable"}});
}

}  // namespace

std::string NumberWithHex(uint32_t value)
{
    char text[32];
    if (value < 10) {
        std::snprintf(text, sizeof(text), "%lu", static_cast<unsigned long>(value));
    } else {
        std::snprintf(text, sizeof(text), "%lu (0x%lX)", static_cast<unsigned long>(value),
                      static_cast<unsigned long>(value));
    }
    return text;
}

std::string DescribeIgnoredRead(const ValueRead& read)
{
    const bool text = read.Text;
    char why[200] = {};
    // A text where a number belongs, or a number of the wrong size.
    const bool textType = read.Type == REG_SZ || read.Type == REG_EXPAND_SZ || read.Type == REG_MULTI_SZ;
    switch (read.Outcome) {
    case ReadOutcome::WrongType:
    case ReadOutcome::TooLong:
        if (!text) {
            std::snprintf(why, sizeof(why), "stored %s of %lu bytes ignored: %s", TypeName(read.Type),
                          static_cast<unsigned long>(read.Size),
                          textType ? "a number must be REG_DWORD" : "a number has 4 bytes");
        } else if (read.Outcome == ReadOutcome::WrongType) {
            std::snprintf(why, sizeof(why), "stored %s ignored: a text must be REG_SZ", TypeName(read.Type));
        } else {
            std::snprintf(why, sizeof(why), "stored text of %lu characters ignored: longer than %lu",
                          static_cast<unsigned long>(read.Size), static_cast<unsigned long>(read.Limit));
        }
        break;
    case ReadOutcome::OutOfRange:
        std::snprintf(why, sizeof(why), "stored %lu ignored: accepted %s", static_cast<unsigned long>(read.Number),
                      read.Rule.c_str());
        break;
    default:
        break;
    }
    return why;
}

std::vector<SettingLine> InspectConfiguration()
{
    ConfigReadLog log;
    CConfig config;  // the program's own load sequence, logged
    Report report(log);

    DescribeReceivers(report, CConfig::GetDeviceIdentities());
    DescribeControls(report, CConfig::GetControlSettings());
    DescribeRemoteTexts(report, CConfig::GetRemoteTexts());
    const OnScreenTexts& onScreenTexts = CConfig::GetOnScreenTexts();
    DescribeTexts(report, ONSCREEN_TEXTS_KEY, NamedOnScreenTexts(onScreenTexts));
    report.Value(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, "MuteOffByVolume", NumberWithHex(onScreenTexts.MuteOffByVolume),
                 false);
    DescribeAppTables(report);
    DescribeTargetWindows(report);

    const BrivueInstallation& brivue = CConfig::GetBrivueInstallation();
    report.Line(HKEY_LOCAL_MACHINE, BRIVUE_APP_PATH_KEY, "(key)", brivue.BrivueInstalled ? "installed" : "not installed",
                brivue.BrivueInstalled ? "registry" : "default", brivue.BrivueInstalled ? "" : "key missing");
    report.Value(HKEY_LOCAL_MACHINE, BRIVUE_APP_PATH_KEY, "Path", Quoted(brivue.BrivueInstallPath), true);

    const AudioControlStrings& strings = CConfig::GetAudioControlStrings();
    for (int i = 0; i < AUDIO_CONTROL_STRING_COUNT; ++i) {
        report.Value(HKEY_LOCAL_MACHINE, AUDIO_CONTROL_STRINGS_KEY, Format("Str%02d", i).c_str(),
                     Quoted(strings.Str[i]), true);
    }
    DescribePlayers(report, CConfig::GetPlayerWindows());
    DescribeOnScreen(report, CConfig::GetOnScreenSettings());
    DescribeTexts(report, KEYBOARD_TEXTS_KEY, NamedKeyboardTexts(CConfig::GetKeyboardTexts()));

    // Read at each use.
    BOOL tunerDeck = CConfig::IsTunerDeckInstalled();
    report.Value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Pellar\\TunerDeck", "AppName",
                 tunerDeck ? "(readable: installed)" : "(not installed)", true);
    return report.Take();
}

// Our display libraries on their own: what they make of records they cannot
// trust, where and how large they draw, and that kova may free them while
// they still show something.

#include "companions/osdview/osd_layout.h"
#include "companions/osdview/osd_request.h"
#include "osd/osd_record.h"

#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/screen_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD SHOW_TIMEOUT_MS = 10000;
constexpr DWORD UNLOAD_TIMEOUT_MS = 15000;

OsdRecord TextRecord(const char* text)
{
    OsdRecord r{};
    r.Size = OSD_RECORD_SIZE;
    r.Type = OSD_TYPE_TEXT;
    r.Color = RGB(255, 0, 0);
    r.Kind = 4;
    r.TimeMs = 1000;
    r.Height = 10;
    r.Margin = 10;
    r.Font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(r.Font.lfFaceName, "Tahoma");
    r.Text = text;
    return r;
}

OsdRecord BarRecord(uint32_t max, uint32_t value, uint32_t segments)
{
    OsdRecord r{};
    r.Size = OSD_RECORD_SIZE;
    r.Type = OSD_TYPE_BAR;
    r.Picture = OSD_PICTURE_VOLUME;
    r.Kind = OSD_KIND_BAR;
    r.TimeMs = 1000;
    r.Height = 10;
    r.BarMax = max;
    r.BarValue = value;
    r.BarSegments = segments;
    r.BarLength = 30;
    return r;
}

// Two pages: the first readable, the second not, so that a text or record
// can be put right against memory that must not be read.
class GuardedPage {
public:
    GuardedPage()
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        m_page = info.dwPageSize;
        m_base = static_cast<char*>(VirtualAlloc(nullptr, 2 * m_page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(m_base + m_page, m_page, PAGE_NOACCESS, &old);
    }
    ~GuardedPage() { VirtualFree(m_base, 0, MEM_RELEASE); }
    // Where n bytes end exactly at the unreadable page.
    char* Tail(size_t n) { return m_base + m_page - n; }

private:
    char* m_base = nullptr;
    size_t m_page = 0;
};

// ---- Checking records --------------------------------------------------------

TEST(OsdRecordCheckTest, RefusesRecordsItCannotTrust)
{
    OsdRequest out;
    EXPECT_EQ(CheckOsdRecord(nullptr, &out), OsdVerdict::NullRecord);

    OsdRecord r = TextRecord("x");
    r.Size = 64;
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::WrongSize);
    r.Size = 121;
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::WrongSize);

    r = TextRecord("x");
    r.Type = 2;
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::UnknownType);
    r = TextRecord("x");
    r.Kind = 9;
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::UnknownKind);
    r = TextRecord(nullptr);
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::NoText);
    r = TextRecord("");
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::NoText);

    r = TextRecord("ok");
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Show);
    EXPECT_STREQ(out.Text, "ok");
}

TEST(OsdRecordCheckTest, AShortRecordAtTheEndOfMemoryIsNotReadPastItsSize)
{
    GuardedPage page;
    // A record whose size field claims 120 but only 60 bytes are readable.
    OsdRecord full = TextRecord("x");
    char* at = page.Tail(60);
    std::memcpy(at, &full, 60);
    OsdRequest out;
    EXPECT_EQ(CheckOsdRecord(reinterpret_cast<const OsdRecord*>(at), &out), OsdVerdict::WrongSize);
}

TEST(OsdRecordCheckTest, TimeColourAndBarValuesAreClamped)
{
    OsdRequest out;
    OsdRecord r = TextRecord("x");
    r.TimeMs = 0;
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Clear) << "a display time of 0 only clears the screen";
    r.TimeMs = 0xFFFFFFFF;
    r.Color = 0x01123456;  // a palette-relative COLORREF
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Show);
    EXPECT_EQ(out.TimeMs, OSD_VIEW_TIME_MAX_MS);
    EXPECT_EQ(out.Color, 0x123456u);

    OsdRecord bar = BarRecord(10, 50, 1000);
    bar.Picture = 7;
    EXPECT_EQ(CheckOsdRecord(&bar, &out), OsdVerdict::Show);
    EXPECT_EQ(out.BarValue, 10u) << "a value above the maximum is a full bar";
    EXPECT_EQ(out.BarSegments, OSD_VIEW_SEGMENTS_MAX);
    EXPECT_EQ(out.Picture, OSD_PICTURE_NONE) << "an unknown picture is a plain bar";
}

TEST(OsdRecordCheckTest, AFaceNameWithoutTerminatorIsCutWhole)
{
    OsdRequest out;
    OsdRecord r = TextRecord("x");
    std::memset(r.Font.lfFaceName, 'F', LF_FACESIZE);
    ASSERT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Show);
    EXPECT_EQ(std::string(out.Font.lfFaceName), std::string(31, 'F'));

    // 30 letters and a double-byte character that would straddle the end.
    r.Font.lfCharSet = SHIFTJIS_CHARSET;
    std::memset(r.Font.lfFaceName, 'F', 30);
    r.Font.lfFaceName[30] = '\x83';
    r.Font.lfFaceName[31] = '\x53';
    ASSERT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Show);
    EXPECT_EQ(std::string(out.Font.lfFaceName), std::string(30, 'F')) << "no half character";
}

TEST(OsdRecordCheckTest, TextsAreReadOnlyAsFarAsTheyMayBe)
{
    GuardedPage page;
    OsdRequest out;

    char* unterminated = page.Tail(3);
    std::memcpy(unterminated, "ABC", 3);
    OsdRecord r = TextRecord(unterminated);
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::UnreadableText) << "runs into memory that cannot be read";

    char* terminated = page.Tail(4);
    std::memcpy(terminated, "ABC", 4);
    r = TextRecord(terminated);
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Show);
    EXPECT_STREQ(out.Text, "ABC");

    // Readable but without an end: cut at the limit.
    std::string endless(OSD_VIEW_TEXT_MAX + 100, 'x');
    std::vector<char> raw(endless.begin(), endless.end());
    r = TextRecord(raw.data());
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Show);
    EXPECT_EQ(std::strlen(out.Text), OSD_VIEW_TEXT_MAX);
    EXPECT_TRUE(out.TextCut);

    // The cut never splits a double-byte character.
    std::string japanese(OSD_VIEW_TEXT_MAX - 1, 'x');
    japanese += "\x83\x5C\x83\x5C";
    r = TextRecord(japanese.c_str());
    r.Font.lfCharSet = SHIFTJIS_CHARSET;
    EXPECT_EQ(CheckOsdRecord(&r, &out), OsdVerdict::Show);
    EXPECT_EQ(std::strlen(out.Text), OSD_VIEW_TEXT_MAX - 1);
}

// ---- Placing and sizing ---------------------------------------------------------

TEST(OsdLayoutTest, KindsAreAThreeByThreeGridInReadingOrder)
{
    OsdRect screen{0, 0, 1200, 900};
    auto at = [&](uint32_t kind) {
        OsdRect box = PlaceInGrid(screen, kind, 10, 100, 50);
        return std::make_pair(box.Left, box.Top);
    };
    EXPECT_EQ(at(0), std::make_pair(10, 10));
    EXPECT_EQ(at(1), std::make_pair(550, 10));
    EXPECT_EQ(at(2), std::make_pair(1090, 10));
    EXPECT_EQ(at(3), std::make_pair(10, 425));
    EXPECT_EQ(at(4), std::make_pair(550, 425));
    EXPECT_EQ(at(5), std::make_pair(1090, 425));
    EXPECT_EQ(at(6), std::make_pair(10, 840));
    EXPECT_EQ(at(7), std::make_pair(550, 840));
    EXPECT_EQ(at(8), std::make_pair(1090, 840));

    OsdRect huge = PlaceInGrid(screen, 8, 10, 5000, 5000);
    EXPECT_EQ(huge.Left, 0) << "kept on the screen";
    EXPECT_EQ(huge.Width(), 1200);
    OsdRect offset = PlaceInGrid(OsdRect{-1280, 100, 0, 900}, 0, 10, 100, 50);
    EXPECT_EQ(offset.Left, -1270);
    EXPECT_EQ(offset.Top, 110);
}

TEST(OsdLayoutTest, SizesFollowTheSteps)
{
    OsdRect screen{0, 0, 1200, 900};
    EXPECT_EQ(OsdLineHeight(screen, 10), 45);
    EXPECT_EQ(OsdLineHeight(screen, 30), 15);
    EXPECT_EQ(OsdLineHeight(screen, 0), 225) << "30 / Size 100 is 0: the largest";
    EXPECT_EQ(OsdLineHeight(screen, 0xFFFFFFFF), OSD_MIN_LINE_HEIGHT);
    EXPECT_EQ(OsdMargin(screen, 10), 22);
    EXPECT_EQ(OsdMargin(screen, 0), 22);
    EXPECT_EQ(OsdMargin(screen, 0xFFFFFFFF), 0);
    EXPECT_EQ(OsdBarLength(screen, 30), 360);
    EXPECT_EQ(OsdBarLength(screen, 0), 360);
    EXPECT_EQ(OsdBarLength(screen, 1000), 1200);
}

TEST(OsdLayoutTest, SegmentsAndTheirLitShare)
{
    EXPECT_EQ(LitSegments(65535, 32768, 25), 13u);
    EXPECT_EQ(LitSegments(65535, 65535, 25), 25u);
    EXPECT_EQ(LitSegments(65535, 0, 25), 0u);
    EXPECT_EQ(LitSegments(50, 7, 50), 7u);
    EXPECT_EQ(LitSegments(0, 5, 10), 0u) << "no maximum, nothing lit";
    EXPECT_EQ(LitSegments(0xFFFFFFFF, 0xFFFFFFFF, 100), 100u) << "no overflow";
    EXPECT_EQ(UsableSegments(0, 300), 1u);
    EXPECT_EQ(UsableSegments(25, 300), 25u);
    EXPECT_EQ(UsableSegments(1000, 30), 10u) << "at least 3 pixels a segment";
}

// ---- The libraries themselves ----------------------------------------------------

class OsdLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module = LoadLibraryA(StagedPath("orlanosd.dll").c_str());
        ASSERT_NE(m_module, nullptr);
        m_display = reinterpret_cast<OsdDisplayFunction>(GetProcAddress(m_module, "OnScreen_DisplayA"));
        ASSERT_NE(m_display, nullptr);
    }
    void TearDown() override
    {
        if (m_module) {
            FreeLibrary(m_module);
        }
    }

    HMODULE m_module = nullptr;
    OsdDisplayFunction m_display = nullptr;
    ScopedJournal journal;
};

TEST_F(OsdLibraryTest, RefusedRecordsAreAnsweredAndJournaled)
{
    GuardedPage page;
    EXPECT_FALSE(m_display(nullptr));
    OsdRecord wrong = TextRecord("x");
    wrong.Size = 100;
    EXPECT_FALSE(m_display(&wrong));
    char* unterminated = page.Tail(2);
    std::memcpy(unterminated, "AB", 2);
    OsdRecord unreadable = TextRecord(unterminated);
    EXPECT_FALSE(m_display(&unreadable));
    OsdRecord kind = TextRecord("x");
    kind.Kind = 42;
    EXPECT_FALSE(m_display(&kind));

    auto calls = journal.Calls("orlanosd.dll", "OnScreen_DisplayA");
    ASSERT_EQ(calls.size(), 4u) << "one line per call";
    EXPECT_EQ(ParseJournalFields(calls[0])["result"], "refused:null-record");
    EXPECT_EQ(ParseJournalFields(calls[1])["result"], "refused:size");
    EXPECT_EQ(ParseJournalFields(calls[1]).count("type"), 0u) << "nothing past the size is read";
    EXPECT_EQ(ParseJournalFields(calls[2])["result"], "refused:unreadable-text");
    EXPECT_EQ(ParseJournalFields(calls[2])["text"], "set");
    EXPECT_EQ(ParseJournalFields(calls[3])["result"], "refused:kind");
    EXPECT_EQ(ParseJournalFields(calls[3])["kind"], "42");
}

TEST_F(OsdLibraryTest, TheJournalKeepsEveryTextOnOneLine)
{
    const char* text = "say \"hi\"\r\nback\\slash \x83\x5C\x83\x74\x83\x67";
    OsdRecord r = TextRecord(text);
    r.Font.lfCharSet = SHIFTJIS_CHARSET;
    r.TimeMs = 300;
    EXPECT_TRUE(m_display(&r));
    auto lines = journal.Lines();
    ASSERT_EQ(lines.size(), 1u);
    JournalFields f = ParseJournalFields(lines[0]);
    EXPECT_EQ(f["result"], "shown");
    EXPECT_EQ(f["text"], text);
    EXPECT_NE(lines[0].find("\x83\x5C\x83\x74"), std::string::npos) << "a double-byte character is kept whole";
}

bool OwnDisplayVisible()
{
    return VisibleDisplayWindow() != nullptr;
}

TEST_F(OsdLibraryTest, CanBeFreedWhileItShowsSomething)
{
    OsdRecord r = TextRecord("going");
    r.TimeMs = 3000;
    ASSERT_TRUE(m_display(&r));
    ASSERT_TRUE(WaitUntil(OwnDisplayVisible, SHOW_TIMEOUT_MS));

    FreeLibrary(m_module);
    m_module = nullptr;
    // The display runs its course; then the library leaves the process.
    EXPECT_TRUE(WaitUntil([] { return !OwnDisplayVisible() && !GetModuleHandleA("orlanosd.dll"); },
                          UNLOAD_TIMEOUT_MS));

    // And it can come back.
    SetUp();
    OsdRecord again = TextRecord("again");
    again.TimeMs = 500;
    EXPECT_TRUE(m_display(&again));
    EXPECT_TRUE(WaitUntil(OwnDisplayVisible, SHOW_TIMEOUT_MS));
}

TEST_F(OsdLibraryTest, AZeroTimeClearsTheScreen)
{
    OsdRecord r = TextRecord("long");
    r.TimeMs = 30000;
    ASSERT_TRUE(m_display(&r));
    ASSERT_TRUE(WaitUntil(OwnDisplayVisible, SHOW_TIMEOUT_MS));
    OsdRecord clear = TextRecord("none");
    clear.TimeMs = 0;
    EXPECT_TRUE(m_display(&clear));
    EXPECT_TRUE(WaitUntil([] { return !OwnDisplayVisible(); }, SHOW_TIMEOUT_MS));
}

}  // namespace

#include "config/regs.h"

#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/text_util.h"

namespace {

constexpr char KEY[] = "Software\\Orlan\\Kova\\Test";
constexpr char SONG_KEY[] = "SOFTWARE\\Tallis\\SongBox Selector\\Settings";

class RegsTest : public ::testing::Test {
protected:
    void OpenKey()
    {
        RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, KEY);
        ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, KEY, KEY_READ), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        if (regs.IsOpen()) {
            regs.Close();
        }
    }

    RegistrySandbox sandbox;
    CRegs regs;
};

TEST_F(RegsTest, OpenRefusesSecondKeyAndReportsMissingKey)
{
    EXPECT_EQ(regs.Open(HKEY_LOCAL_MACHINE, "Software\\Orlan\\Nothing", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(regs.IsOpen());
    OpenKey();
    EXPECT_EQ(regs.Open(HKEY_LOCAL_MACHINE, KEY, KEY_READ), REGS_ALREADY_OPEN);
    EXPECT_TRUE(regs.IsOpen());
    EXPECT_EQ(regs.Close(), ERROR_SUCCESS);
    EXPECT_FALSE(regs.IsOpen());
}

TEST_F(RegsTest, QueryDwordTakesFourBytesOfAnyTypeAndRefusesLonger)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KEY, "Dword", 0x12345678);
    RegistrySandbox::SetBinary(HKEY_LOCAL_MACHINE, KEY, "Bin4", {0x78, 0x56, 0x34, 0x12});
    RegistrySandbox::SetBinary(HKEY_LOCAL_MACHINE, KEY, "Bin8", {1, 2, 3, 4, 5, 6, 7, 8});
    OpenKey();

    uint32_t value = 7;
    EXPECT_EQ(regs.QueryDword("Dword", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 0x12345678u);

    value = 7;
    EXPECT_EQ(regs.QueryDword("Bin4", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 0x12345678u) << "4 bytes are a little-endian number";

    value = 7;
    EXPECT_NE(regs.QueryDword("Bin8", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 7u) << "a failed read leaves the default";

    EXPECT_EQ(regs.QueryDword("Absent", &value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, 7u);
}

TEST_F(RegsTest, QueryDwordRefusesTextsAndShortValues)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Text3", "123");  // 4 bytes with its terminator
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Text1", "1");
    RegistrySandbox::SetBinary(HKEY_LOCAL_MACHINE, KEY, "Bin2", {0x01, 0x02});
    OpenKey();
    for (const char* name : {"Text3", "Text1", "Bin2"}) {
        uint32_t value = 7;
        EXPECT_NE(regs.QueryDword(name, &value), ERROR_SUCCESS) << name;
        EXPECT_EQ(value, 7u) << name;
    }
}

TEST_F(RegsTest, QueryStringRefusesBadArguments)
{
    OpenKey();
    char buf[16];
    uint32_t len = 99;
    EXPECT_EQ(regs.QueryString(nullptr, 16, "x", &len), REGS_BAD_ARGUMENT);
    EXPECT_EQ(regs.QueryString(buf, 16, "x", nullptr), REGS_BAD_ARGUMENT);
    EXPECT_EQ(regs.QueryString(buf, 0, "x", &len), REGS_BAD_ARGUMENT);
    EXPECT_EQ(regs.QueryString(buf, -5, "x", &len), REGS_BAD_ARGUMENT);
}

TEST_F(RegsTest, QueryStringCodesAndLengths)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Text", "hello");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Expand", "%WINDIR%", REG_EXPAND_SZ);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KEY, "Number", 5);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Max", std::string(520, 'm'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "TooLong", std::string(521, 'x'));
    OpenKey();

    char buf[REGS_WORK_BUFFER] = {};
    uint32_t len = 99;
    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "Text", &len), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(len, 6u) << "length counts the terminator";

    // The text must be shorter than the caller's buffer.
    len = 99;
    EXPECT_EQ(regs.QueryString(buf, 5, "Text", &len), REGS_TEXT_TOO_LONG);
    EXPECT_EQ(regs.QueryString(buf, 6, "Text", &len), ERROR_SUCCESS);

    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "Max", &len), ERROR_SUCCESS);
    EXPECT_EQ(len, 521u);

    for (const char* name : {"Expand", "Number", "TooLong", "Absent"}) {
        len = 99;
        EXPECT_EQ(regs.QueryString(buf, sizeof(buf), name, &len), REGS_NO_TEXT) << name;
        EXPECT_EQ(len, 0u) << name;
    }
}

TEST_F(RegsTest, UnterminatedStringIsNeverReadPastItsEnd)
{
    // Eight characters stored without a terminator.
    RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, KEY, "Raw", REG_SZ, "abcdefgh", 8);
    OpenKey();
    char buf[32];
    std::memset(buf, 'Z', sizeof(buf));
    uint32_t len = 0;
    ASSERT_EQ(regs.QueryString(buf, sizeof(buf), "Raw", &len), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "abcdefgh");
    EXPECT_EQ(len, 9u);
}

TEST_F(RegsTest, SongSelectorKeyRedirectsTheNextTextReadOnly)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONG_KEY, "SetupPath", "C:\\Tallis\\SongBox");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONG_KEY, "Other", "plain");
    ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, SONG_KEY, KEY_READ), ERROR_SUCCESS);
    EXPECT_TRUE(regs.SongSelectorRedirectPending());

    char buf[REGS_WORK_BUFFER] = {};
    uint32_t len = 0;
    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "Other", &len), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "C:\\Tallis\\SongBox\\SBSelector.exe");
    EXPECT_EQ(len, sizeof("C:\\Tallis\\SongBox\\SBSelector.exe"));
    EXPECT_FALSE(regs.SongSelectorRedirectPending());

    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "Other", &len), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "plain");
}

// A launch thread resolving the song selector's key and the main thread
// re-reading its on-screen settings each hold their own reader: neither may
// use up or receive the other's redirect, whichever reads first.
TEST_F(RegsTest, SongSelectorRedirectBelongsToTheReaderThatOpenedTheKey)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONG_KEY, "SetupPath", "C:\\Tallis\\SongBox");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Name", "own");
    ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, SONG_KEY, KEY_READ), ERROR_SUCCESS);

    CRegs other;
    ASSERT_EQ(other.Open(HKEY_LOCAL_MACHINE, KEY, KEY_READ), ERROR_SUCCESS);
    EXPECT_FALSE(other.SongSelectorRedirectPending());
    char buf[REGS_WORK_BUFFER] = {};
    uint32_t len = 0;
    EXPECT_EQ(other.QueryString(buf, sizeof(buf), "Name", &len), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "own") << "another reader's text read in between";
    other.Close();

    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "", &len), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "C:\\Tallis\\SongBox\\SBSelector.exe") << "the redirect is still there for its reader";

    // Opened again for another key, the same object reads plainly.
    regs.Close();
    ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, SONG_KEY, KEY_READ), ERROR_SUCCESS);
    regs.Close();
    ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, KEY, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "Name", &len), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "own");
}

TEST_F(RegsTest, SongSelectorKeyIsMatchedExactly)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONG_KEY, "SetupPath", "C:\\x");
    ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, "Software\\Tallis\\SongBox Selector\\Settings", KEY_READ), ERROR_SUCCESS);
    EXPECT_FALSE(regs.SongSelectorRedirectPending()) << "the comparison is case-sensitive";
}

TEST_F(RegsTest, SongSelectorFolderTooLongToJoinIsAFailedRead)
{
    // 506 characters and "\SBSelector.exe" (15) make 521: one too many.
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONG_KEY, "SetupPath", std::string(506, 'p'));
    ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, SONG_KEY, KEY_READ), ERROR_SUCCESS);
    char buf[REGS_WORK_BUFFER] = {};
    uint32_t len = 99;
    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "x", &len), REGS_NO_TEXT);
    EXPECT_EQ(len, 0u);
    EXPECT_FALSE(regs.SongSelectorRedirectPending()) << "cleared even when the read failed";
    regs.Close();

    // One shorter fits exactly 520 characters.
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONG_KEY, "SetupPath", std::string(505, 'p'));
    ASSERT_EQ(regs.Open(HKEY_LOCAL_MACHINE, SONG_KEY, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(regs.QueryString(buf, sizeof(buf), "x", &len), ERROR_SUCCESS);
    EXPECT_EQ(len, 521u);
}

TEST_F(RegsTest, TrimmedTextsFollowTheirGroupLimits)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "T128", std::string(128, 'a'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "T129", std::string(129, 'b'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "T520", std::string(520, 'c'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "T521", std::string(521, 'd'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Padded", " \t hello world\t ");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Blanks", " \t\t  ");
    OpenKey();

    char field[128] = "default";
    EXPECT_TRUE(ReadTrimmedText(regs, "T128", 129, field));
    EXPECT_EQ(std::string(field), std::string(127, 'a')) << "accepted and cut to 127";

    CopyCut(field, "default");
    EXPECT_FALSE(ReadTrimmedText(regs, "T129", 129, field));
    EXPECT_STREQ(field, "default") << "too long for its group: ignored";

    EXPECT_TRUE(ReadTrimmedText(regs, "T520", 521, field));
    EXPECT_EQ(std::string(field), std::string(127, 'c'));

    CopyCut(field, "default");
    EXPECT_FALSE(ReadTrimmedText(regs, "T521", 521, field));
    EXPECT_STREQ(field, "default");

    EXPECT_TRUE(ReadTrimmedText(regs, "Padded", 129, field));
    EXPECT_STREQ(field, "hello world");

    EXPECT_TRUE(ReadTrimmedText(regs, "Blanks", 129, field));
    EXPECT_STREQ(field, "");
}

}  // namespace

#include "base/text_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Trimmed(std::string text)
{
    text.resize(TEXT_MAX + 1, '\0');
    TrimBlanks(text.data());
    return text.c_str();
}

std::string Stripped(std::string text)
{
    text.push_back('\0');
    StripQuotes(text.data());
    return text.c_str();
}

TEST(TextUtilTest, TrimBlanksRemovesSpacesAndTabsAtBothEnds)
{
    EXPECT_EQ(Trimmed("  \tnotepad.exe \t "), "notepad.exe");
    EXPECT_EQ(Trimmed("a \t b"), "a \t b") << "blanks inside stay";
    EXPECT_EQ(Trimmed(" \t \t"), "");
    EXPECT_EQ(Trimmed(""), "");
    EXPECT_EQ(Trimmed("\nline\n"), "\nline\n") << "only spaces and tabs are blanks";
    TrimBlanks(nullptr);
}

TEST(TextUtilTest, TrimBlanksLooksAtNoMoreThanItsLimit)
{
    std::string text(TEXT_MAX + 1, 'x');
    text.push_back('\0');
    text[0] = ' ';
    TrimBlanks(text.data());
    EXPECT_EQ(std::string(text.c_str()).size(), TEXT_MAX - 1);
}

TEST(TextUtilTest, StripQuotesTakesTheFirstQuotedPart)
{
    EXPECT_EQ(Stripped("\"C:\\Program Files\\a.exe\""), "C:\\Program Files\\a.exe");
    EXPECT_EQ(Stripped("\"a b\" c\""), "a b");
    EXPECT_EQ(Stripped("\"\""), "");
    EXPECT_EQ(Stripped("\""), "\"") << "one quote is both first and last: left alone";
    EXPECT_EQ(Stripped("\"open"), "\"open");
    EXPECT_EQ(Stripped("open\""), "open\"");
    EXPECT_EQ(Stripped("plain"), "plain");
}

TEST(TextUtilTest, CopyCutAlwaysTerminates)
{
    char small[4] = {'x', 'x', 'x', 'x'};
    CopyCut(small, "abcdef");
    EXPECT_STREQ(small, "abc");
    CopyCut(small, nullptr);
    EXPECT_STREQ(small, "");
}

}  // namespace

#include "core/opt_ctrl.h"
#include "core/text_util.h"

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

TEST(OptionWordsTest, WordsAreFoundWithoutRegardToCaseOrSlashes)
{
    EXPECT_EQ(ParseOptionWords("/initlcd"), OPT_INITLCD);
    EXPECT_EQ(ParseOptionWords("INITLCD EXIT"), OPT_INITLCD | OPT_EXIT);
    EXPECT_EQ(ParseOptionWords("Util\t/Exit/InitLcd"), OPT_UTIL | OPT_EXIT | OPT_INITLCD);
    EXPECT_EQ(ParseOptionWords("INITLCD1"), 0u) << "a trailing digit makes another word";
    EXPECT_EQ(ParseOptionWords("-EXIT"), 0u) << "a hyphen stays part of its word";
    EXPECT_EQ(ParseOptionWords("\"EXIT\""), 0u);
    EXPECT_EQ(ParseOptionWords(""), 0u);
    EXPECT_EQ(ParseOptionWords(nullptr), 0u);
    EXPECT_EQ(ParseOptionWords("   ///  \t"), 0u);
}

TEST(OptionWordsTest, OnlyTheFirst259CharactersAreParsed)
{
    std::string line(250, ' ');
    line += "EXIT";         // ends at 254
    line += "     ";        // 259
    line += "INITLCD";      // beyond the buffer
    EXPECT_EQ(ParseOptionWords(line.c_str()), OPT_EXIT);

    std::string cut(255, ' ');
    cut += "INITLCD";  // cut to "INIT"
    EXPECT_EQ(ParseOptionWords(cut.c_str()), 0u);

    std::string huge(100000, '/');
    huge += "EXIT";
    EXPECT_EQ(ParseOptionWords(huge.c_str()), 0u);
}

}  // namespace

// The words of the command line, as the options controller reads them.

#include "core/opt_ctrl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

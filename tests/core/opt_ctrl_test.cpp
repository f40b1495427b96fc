// What start-up reads before the window exists: the words of the command
// line, as the options controller reads them, and the main window's class.

#include "core/opt_ctrl.h"

#include "base/messages.h"
#include "config/config.h"
#include "config/controls.h"
#include "core/startup.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

// The class is chosen before the store is loaded, from the value the store
// reads, by the store's rules: clients look for the program by its class.
TEST(MainWindowClassTest, TeskEnableChoosesTheClassAsTheStoreReadsIt)
{
    struct Row {
        const char* name;
        DWORD type;  // REG_NONE: no value at all
        std::vector<uint8_t> bytes;
        bool keyboard;
    };
    const Row rows[] = {
        {"missing", REG_NONE, {}, false},
        {"0", REG_DWORD, {0, 0, 0, 0}, false},
        {"1", REG_DWORD, {1, 0, 0, 0}, true},
        {"7", REG_DWORD, {7, 0, 0, 0}, true},
        {"four bytes of binary", REG_BINARY, {1, 0, 0, 0}, true},
        {"the text 1", REG_SZ, {'1', 0}, false},
        {"one byte", REG_BINARY, {1}, false},
        {"eight bytes", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegistrySandbox sandbox;
        RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, CONTROLS_KEY);
        if (row.type != REG_NONE) {
            RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Tesk_Enable", row.type, row.bytes.data(),
                                      static_cast<DWORD>(row.bytes.size()));
        }
        ResetConfigStoreForTests();
        char className[128] = {};
        GetMainWindowClassName(className);
        EXPECT_STREQ(className, row.keyboard ? KEYBOARD_WINDOW_CLASS : MAIN_WINDOW_CLASS);
        CConfig store;
        EXPECT_EQ(CConfig::GetControlSettings().Tesk_Enable != 0, row.keyboard) << "the store agrees";
        ResetConfigStoreForTests();
    }
}

}  // namespace

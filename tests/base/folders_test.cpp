// The one path joiner of the program folders.

#include "base/folders.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FoldersTest, JoinPathJoinsWithOneBackslashOrLeavesNothing)
{
    const struct {
        size_t size;
        const char* first;
        const char* second;
        bool joined;
        const char* out;
    } rows[] = {
        {32, "C:\\Program Files", "ZUZIDAZOR", true, "C:\\Program Files\\ZUZIDAZOR"},
        {6, "ab", "cd", true, "ab\\cd"},
        {5, "ab", "cd", false, ""},  // one short of the terminator
        {1, "", "", false, ""},
        {8, nullptr, "cd", false, "unset"},
    };
    for (const auto& row : rows) {
        char out[64] = "unset";
        EXPECT_EQ(JoinPath(out, row.size, row.first, row.second), row.joined) << row.size;
        EXPECT_STREQ(out, row.out) << row.size;
    }
    char folder[260] = {};
    char file[300] = {};
    ASSERT_TRUE(GetKeyboardProgramDir(folder, sizeof(folder)));
    ASSERT_TRUE(BuildKeyboardProgramPath(file, sizeof(file), "x.dll"));
    EXPECT_EQ(std::string(file), std::string(folder) + "\\x.dll");
    EXPECT_EQ(std::string(folder).substr(std::string(folder).size() - 10), "\\ORLANTESK");
}

}  // namespace

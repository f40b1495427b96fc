// The numeric code entry on its own: every way an entry ends, and the
// numbers it collects.

#include "keys/numeric_entry.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

constexpr EntryTimeouts TIMEOUTS = REMOTE_ENTRY_TIMEOUTS;

constexpr uint16_t D(int digit) { return static_cast<uint16_t>(ENTRY_DIGIT_0 + digit); }

class NumericEntryTest : public ::testing::Test {
protected:
    // Feeds keys until one ends the entry; its result, or 0 when none did.
    uint32_t Keys(std::initializer_list<uint16_t> codes)
    {
        for (uint16_t code : codes) {
            EntryStep step = NumericEntryKey(state, code, TIMEOUTS);
            if (step.kind == EntryStep::Kind::StartTimer) {
                timers += std::to_string(step.value) + " ";
            } else if (step.kind == EntryStep::Kind::Finish) {
                return step.value;
            }
        }
        return 0;
    }

    NumericEntryState state{};
    std::string timers;
};

TEST_F(NumericEntryTest, ASingleValueOfAnnouncedLength)
{
    // Start, length 3, confirm, 4 0 7, finish.
    EXPECT_EQ(Keys({ENTRY_START_SINGLE, D(3), ENTRY_CONFIRM, D(4), D(0), D(7), ENTRY_FINISH_SINGLE}), ENTRY_COMPLETE);
    EXPECT_EQ(timers, "5000 ");
    EXPECT_EQ(state.ValueOne, 407u);
    EntryPosts posts = TakeEntryResults(state, ENTRY_COMPLETE);
    ASSERT_EQ(posts.count, 1);
    EXPECT_EQ(posts.items[0].which, 1u);
    EXPECT_EQ(posts.items[0].value, 407u);
    EXPECT_FALSE(IsEntryRunning(state));
}

TEST_F(NumericEntryTest, ThePairGoesOnToItsSecondValueAndSendsBoth)
{
    EXPECT_EQ(Keys({ENTRY_START_PAIR, D(2), ENTRY_CONFIRM, D(1), D(2), ENTRY_CONFIRM, D(1), ENTRY_CONFIRM, D(9),
                    ENTRY_FINISH_PAIR}),
              ENTRY_COMPLETE);
    EXPECT_EQ(timers, "10000 ") << "the second value runs under the first one's timer";
    EntryPosts posts = TakeEntryResults(state, ENTRY_COMPLETE);
    ASSERT_EQ(posts.count, 2);
    EXPECT_EQ(posts.items[0].which, 2u) << "the first value goes first";
    EXPECT_EQ(posts.items[0].value, 12u);
    EXPECT_EQ(posts.items[1].which, 1u);
    EXPECT_EQ(posts.items[1].value, 9u);
}

TEST_F(NumericEntryTest, TheRepeatKeyTypesTheDigitBeforeAgain)
{
    EXPECT_EQ(Keys({ENTRY_START_SINGLE, D(4), ENTRY_CONFIRM, D(5), ENTRY_REPEAT_DIGIT, D(3), ENTRY_REPEAT_DIGIT,
                    ENTRY_FINISH_SINGLE}),
              ENTRY_COMPLETE);
    EXPECT_EQ(state.ValueOne, 5533u);
    // Nine digits, the most there can be, all nines.
    state = {};
    EXPECT_EQ(Keys({ENTRY_START_SINGLE, D(9), ENTRY_CONFIRM, D(9), ENTRY_REPEAT_DIGIT, D(9), ENTRY_REPEAT_DIGIT, D(9),
                    ENTRY_REPEAT_DIGIT, D(9), ENTRY_REPEAT_DIGIT, D(9), ENTRY_FINISH_SINGLE}),
              ENTRY_COMPLETE);
    EXPECT_EQ(state.ValueOne, 999999999u);
}

TEST_F(NumericEntryTest, EveryWrongKeyEndsTheEntryWithItsStatus)
{
    struct Case {
        const char* what;
        std::initializer_list<uint16_t> keys;
        uint32_t status;
    };
    const Case cases[] = {
        {"a start while running", {ENTRY_START_SINGLE, ENTRY_START_PAIR}, ENTRY_BUSY},
        {"a pair started twice", {ENTRY_START_PAIR, D(1), ENTRY_START_PAIR}, ENTRY_BUSY},
        {"finish before the digits", {ENTRY_START_SINGLE, D(2), ENTRY_CONFIRM, D(1), ENTRY_FINISH_SINGLE},
         ENTRY_INCOMPLETE},
        {"finish before arming", {ENTRY_START_SINGLE, D(1), ENTRY_FINISH_SINGLE}, ENTRY_INCOMPLETE},
        {"single finish in a pair", {ENTRY_START_PAIR, ENTRY_FINISH_SINGLE}, ENTRY_INCOMPLETE},
        {"pair finish in a single", {ENTRY_START_SINGLE, ENTRY_FINISH_PAIR}, ENTRY_INCOMPLETE},
        {"pair finished after its first value",
         {ENTRY_START_PAIR, D(1), ENTRY_CONFIRM, D(5), ENTRY_FINISH_PAIR},
         ENTRY_INCOMPLETE},
        {"one digit too many", {ENTRY_START_SINGLE, D(1), ENTRY_CONFIRM, D(5), D(6)}, ENTRY_TOO_MANY_DIGITS},
        {"the same digit twice", {ENTRY_START_SINGLE, D(3), ENTRY_CONFIRM, D(5), D(5)}, ENTRY_REPEATED_DIGIT},
        {"repeat key twice", {ENTRY_START_SINGLE, D(3), ENTRY_CONFIRM, D(5), ENTRY_REPEAT_DIGIT, ENTRY_REPEAT_DIGIT},
         ENTRY_REPEATED_DIGIT},
        {"repeat key first", {ENTRY_START_SINGLE, D(3), ENTRY_CONFIRM, ENTRY_REPEAT_DIGIT}, ENTRY_REPEAT_FIRST},
        {"length zero", {ENTRY_START_SINGLE, D(0)}, ENTRY_BAD_LENGTH},
        {"repeat key as length", {ENTRY_START_PAIR, ENTRY_REPEAT_DIGIT}, ENTRY_BAD_LENGTH},
        {"a second length digit", {ENTRY_START_SINGLE, D(3), D(4)}, ENTRY_BAD_LENGTH},
        {"confirm without length", {ENTRY_START_SINGLE, ENTRY_CONFIRM}, ENTRY_BAD_CONFIRM},
        {"confirm twice", {ENTRY_START_SINGLE, D(2), ENTRY_CONFIRM, ENTRY_CONFIRM}, ENTRY_BAD_CONFIRM},
        {"pair confirm without length", {ENTRY_START_PAIR, ENTRY_CONFIRM}, ENTRY_BAD_CONFIRM},
        {"pair confirm before its digits", {ENTRY_START_PAIR, D(2), ENTRY_CONFIRM, D(1), ENTRY_CONFIRM},
         ENTRY_BAD_CONFIRM},
    };
    for (const Case& c : cases) {
        state = {};
        EXPECT_EQ(Keys(c.keys), c.status) << c.what;
    }
}

TEST_F(NumericEntryTest, KeysWithoutARunningEntryDoNothing)
{
    EXPECT_EQ(Keys({D(3), ENTRY_CONFIRM, ENTRY_REPEAT_DIGIT, ENTRY_FINISH_SINGLE, ENTRY_FINISH_PAIR, 42}), 0u);
    EXPECT_FALSE(IsEntryRunning(state));
    EXPECT_EQ(state.DigitCount, 0u);
    EXPECT_TRUE(timers.empty());
}

TEST_F(NumericEntryTest, AStatusReplacesTheValueOfThePartRunning)
{
    Keys({ENTRY_START_SINGLE, D(2), ENTRY_CONFIRM, D(4)});
    EntryPosts posts = TakeEntryResults(state, ENTRY_TIMEOUT);
    ASSERT_EQ(posts.count, 1);
    EXPECT_EQ(posts.items[0].which, 1u);
    EXPECT_EQ(posts.items[0].value, ENTRY_TIMEOUT);

    // In a pair, even in its second value, only the pair's slot gets the
    // status.
    state = {};
    Keys({ENTRY_START_PAIR, D(1), ENTRY_CONFIRM, D(7), ENTRY_CONFIRM, D(1)});
    ASSERT_TRUE(state.EntryOne && state.EntryTwo);
    posts = TakeEntryResults(state, ENTRY_CANCELLED);
    ASSERT_EQ(posts.count, 1);
    EXPECT_EQ(posts.items[0].which, 2u);
    EXPECT_EQ(posts.items[0].value, ENTRY_CANCELLED);
    EXPECT_FALSE(IsEntryRunning(state));

    // A new entry starts from nothing.
    EXPECT_EQ(Keys({ENTRY_START_SINGLE, D(1), ENTRY_CONFIRM, D(8), ENTRY_FINISH_SINGLE}), ENTRY_COMPLETE);
    EXPECT_EQ(state.ValueOne, 8u);
}

}  // namespace

#include "keys/report_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* HandlerName(KeyHandler h)
{
    switch (h) {
    case KeyHandler::RemoteButton: return "Remote";
    case KeyHandler::ConsumerKey: return "Consumer";
    case KeyHandler::FunctionKey: return "Function";
    case KeyHandler::ApplicationKey: return "Application";
    case KeyHandler::DigitKey: return "Digit";
    case KeyHandler::ModeKey: return "Mode";
    case KeyHandler::MediaCenterKey: return "MediaCenter";
    case KeyHandler::ExtraKey: return "Extra";
    case KeyHandler::ExtraKey2: return "Extra2";
    case KeyHandler::Report: return "Report";
    case KeyHandler::PanelKey: return "Panel";
    case KeyHandler::PanelKey2: return "Panel2";
    case KeyHandler::EffectKey: return "Effect";
    case KeyHandler::DataKey: return "Data";
    case KeyHandler::ValueKey: return "Value";
    }
    return "?";
}

// Actions as short words: "flash 2", "battery 0", "volume-up", "wake-reply",
// "Remote 1/1" (handler code/state), "Value 69:5/1".
std::vector<std::string> Words(const KeyActions& actions)
{
    std::vector<std::string> words;
    for (int i = 0; i < actions.count; ++i) {
        const KeyAction& a = actions.items[i];
        switch (a.kind) {
        case KeyActionKind::Flash: words.push_back("flash " + std::to_string(a.code)); break;
        case KeyActionKind::BatteryLow: words.push_back("battery " + std::to_string(a.code)); break;
        case KeyActionKind::VolumeKeyUp: words.push_back("volume-up " + std::to_string(a.code)); break;
        case KeyActionKind::WakeReply: words.push_back("wake-reply"); break;
        case KeyActionKind::Call:
            if (a.handler == KeyHandler::Report) {
                words.push_back("Report " + std::to_string(a.code));
            } else if (a.handler == KeyHandler::ValueKey) {
                words.push_back("Value " + std::to_string(a.code) + ":" + std::to_string(a.value) + "/" +
                                std::to_string(a.state));
            } else {
                words.push_back(std::string(HandlerName(a.handler)) + " " + std::to_string(a.code) + "/" +
                                std::to_string(a.state));
            }
            break;
        }
    }
    return words;
}

using W = std::vector<std::string>;

class ClassicDecoderTest : public ::testing::Test {
protected:
    W Feed(std::vector<uint8_t> report, uint32_t deviceFlags = 0, bool battery = true)
    {
        KeyActions actions;
        DecodeClassicReport(state, report.data(), report.size(), deviceFlags, battery, actions);
        return Words(actions);
    }
    KeyDecoderState state{};
};

TEST_F(ClassicDecoderTest, RemoteWordPressReleaseAndBattery)
{
    EXPECT_EQ(Feed({2, 0x01, 0x00}), (W{"flash 2", "Remote 1/1", "Report 2"}));
    EXPECT_EQ(Feed({2, 0x00, 0x00}), (W{"Remote 1/0", "Report 2"}));
    EXPECT_EQ(Feed({2, 0x00, 0x00}), (W{"Remote 0/0", "Report 2"})) << "a release is sent even with nothing held";
    EXPECT_EQ(Feed({2, 0x01, 0x80}), (W{"battery 0", "flash 2", "Remote 1/1", "Report 2"}));
    EXPECT_EQ(Feed({2, 0x04, 0xC0}), (W{"battery 0", "battery 1", "Remote 1/0", "flash 2", "Remote 4/1", "Report 2"}))
        << "a new code releases the held one first";
    EXPECT_EQ(Feed({2, 0x04, 0x20}), (W{"Remote 4/0", "flash 2", "Remote 4/1", "Report 2"}))
        << "bit 13 is dropped; the same code is released and pressed again";
}

TEST_F(ClassicDecoderTest, RemoteWordWithoutNotifierOrFromTheKeyboard)
{
    EXPECT_EQ(Feed({2, 0x01, 0x80}, 0, false), (W{"flash 2", "Remote 1/1", "Report 2"}));
    EXPECT_EQ(Feed({2, 0x02, 0x00}, 1, false), (W{"Remote 1/0", "Remote 2/1", "Report 2"}))
        << "the keyboard's collection does not blink the remote's icon";
}

TEST_F(ClassicDecoderTest, KeyboardReportCallsOnlyTheFirstField)
{
    // Consumer 0x00B0 and Digits 0x004: only the consumer key counts.
    EXPECT_EQ(Feed({3, 0xB0, 0x00, 0, 0, 0x04, 0x00}), (W{"flash 3", "Consumer 176/1", "Report 3"}));
    EXPECT_EQ(Feed({3, 0, 0, 0, 0, 0, 0}), (W{"Consumer 176/0", "Report 3"}));
    EXPECT_EQ(Feed({3, 0, 0, 0, 0, 0, 0}), (W{"Report 3"}));
    EXPECT_EQ(Feed({3, 0, 0, 0x10, 0x08, 0, 0}), (W{"flash 3", "Function 16/1", "Report 3"}));
    // A new key while another is held is pressed without releasing the old.
    EXPECT_EQ(Feed({3, 0, 0, 0, 0x08, 0, 0}), (W{"flash 3", "Application 8/1", "Report 3"}));
    EXPECT_EQ(Feed({3, 0, 0, 0, 0, 0, 0}), (W{"Application 8/0", "Report 3"}));
    // Digits are the low twelve bits of bytes 5-6, the mode the high four.
    EXPECT_EQ(Feed({3, 0, 0, 0, 0, 0x00, 0x71}), (W{"flash 3", "Digit 256/1", "Report 3"}));
    EXPECT_EQ(Feed({3, 0, 0, 0, 0, 0x00, 0x70}), (W{"flash 3", "Mode 7/1", "Report 3"}));
    EXPECT_EQ(Feed({3, 0, 0, 0, 0, 0, 0}), (W{"Mode 7/0", "Report 3"}));
}

TEST_F(ClassicDecoderTest, MediaCenterExtraAndPanelKeys)
{
    EXPECT_EQ(Feed({4, 0x0D, 0x00}), (W{"flash 4", "MediaCenter 13/1", "Report 4"}));
    EXPECT_EQ(Feed({4, 0x3C, 0x00}), (W{"flash 4", "MediaCenter 60/1", "Report 4"})) << "replaced, not released";
    EXPECT_EQ(Feed({4, 0, 0}), (W{"MediaCenter 60/0", "Report 4"}));

    EXPECT_EQ(Feed({5, 0, 1}), (W{"flash 5", "Extra2 1/1", "Report 5"}));
    EXPECT_EQ(Feed({5, 0, 0}), (W{"Report 5"})) << "a held second key gets no release";
    EXPECT_EQ(Feed({5, 32, 1}), (W{"flash 5", "Extra 32/1", "Report 5"}));
    EXPECT_EQ(Feed({5, 0, 0}), (W{"Extra 32/0", "Report 5"}));

    EXPECT_EQ(Feed({6, 0, 7}), (W{"flash 6", "Panel2 7/1", "Report 6"}));
    EXPECT_EQ(Feed({6, 0, 0}), (W{"Panel2 7/0", "Report 6"})) << "the panel releases its second key";
    EXPECT_EQ(Feed({6, 9, 7}), (W{"flash 6", "Panel 9/1", "Report 6"}));
    EXPECT_EQ(Feed({6, 0, 0}), (W{"Panel 9/0", "Report 6"}));
}

TEST_F(ClassicDecoderTest, EveryReportEndsWithItsReportCallAndShortReportsReadZeros)
{
    EXPECT_EQ(Feed({0}), (W{"Report 0"}));
    EXPECT_EQ(Feed({7, 1, 2, 3}), (W{"Report 7"}));
    EXPECT_EQ(Feed({2}), (W{"Remote 0/0", "Report 2"})) << "missing bytes are zeros, never read";
    EXPECT_EQ(Feed({3, 0xB0}), (W{"flash 3", "Consumer 176/1", "Report 3"}));
    KeyActions none;
    DecodeClassicReport(state, nullptr, 5, 0, true, none);
    EXPECT_EQ(none.count, 0);
    uint8_t one = 2;
    DecodeClassicReport(state, &one, 0, 0, true, none);
    EXPECT_EQ(none.count, 0) << "an empty report decodes to nothing";
}

class RfDecoderTest : public ::testing::Test {
protected:
    W Feed(std::vector<uint8_t> report, uint32_t inputLength = 0)
    {
        context.InputReportByteLength = inputLength ? inputLength : static_cast<uint32_t>(report.size());
        KeyActions actions;
        DecodeRfReport(state, report.data(), report.size(), context, actions);
        return Words(actions);
    }
    KeyDecoderState state{};
    RfContext context{};
};

TEST_F(RfDecoderTest, VolumeAndMuteOfReportOne)
{
    EXPECT_EQ(Feed({1, 0xE9, 0x00}), (W{"Remote 16/1"})) << "volume keys never blink";
    EXPECT_EQ(Feed({1, 0x00, 0x00}), (W{"Remote 16/0"}));
    EXPECT_EQ(Feed({1, 0xE2, 0x00}), (W{"Consumer 226/1"}));
    EXPECT_EQ(Feed({1, 0xE2, 0x00, 0x00}), (W{"Consumer 226/0"})) << "not 3 bytes long: code 0 releases";
    EXPECT_EQ(Feed({1, 0x05, 0x00}), (W{})) << "other codes are ignored";
}

TEST_F(RfDecoderTest, ANewPressEndsAHeldVolumeKeyFirst)
{
    EXPECT_EQ(Feed({2, 0xEA, 0x00, 0, 0}), (W{"flash 2", "Remote 32/1"}));
    EXPECT_EQ(Feed({2, 0x40, 0x00, 0, 0}), (W{"volume-up 234", "flash 3", "Consumer 64/1"}));
    EXPECT_EQ(state.LastRfCode[1], 64);
    KeyActions stop;
    StopRfVolumeRepeat(state, stop);
    EXPECT_EQ(stop.count, 0) << "nothing held any more";
}

TEST_F(RfDecoderTest, ReportTwoCodesAndRepeats)
{
    // 141 and 521 act once while held; 156 acts on every report.
    EXPECT_EQ(Feed({2, 0x8D, 0x00, 0, 0}), (W{"flash 3", "Consumer 141/1"}));
    EXPECT_EQ(Feed({2, 0x8D, 0x00, 0, 0}), (W{}));
    EXPECT_EQ(Feed({2, 0x00, 0x00, 0, 0}), (W{"Consumer 141/0"}));
    EXPECT_EQ(Feed({2, 0x9C, 0x00, 0, 0}), (W{"flash 3", "Consumer 156/1"}));
    EXPECT_EQ(Feed({2, 0x9C, 0x00, 0, 0}), (W{"flash 3", "Consumer 156/1"}));
    EXPECT_EQ(Feed({2, 0x60, 0x00, 0, 0}), (W{"flash 5", "Data 96/1"}));
    EXPECT_EQ(Feed({2, 0x64, 0x00, 0, 0}), (W{"flash 4", "MediaCenter 44/1"}));
    // Longer than 4 bytes: a zero first word falls back to bytes 4-5.
    EXPECT_EQ(Feed({2, 0x00, 0x00, 0, 0x04, 0x02}), (W{"flash 3", "Consumer 516/1"}));
    EXPECT_EQ(Feed({2, 0x01, 0x00, 0, 0}), (W{})) << "unknown code";
}

TEST_F(RfDecoderTest, ReportsThreeFourAndFive)
{
    EXPECT_EQ(Feed({3, 0x41, 0x00}), (W{"flash 4", "MediaCenter 65/1"}));
    EXPECT_EQ(Feed({3, 0x41, 0x00}), (W{})) << "65 acts once while held";
    EXPECT_EQ(Feed({3, 0x00, 0x0D}), (W{"flash 4", "MediaCenter 13/1"})) << "byte 2 when byte 1 is 0";
    EXPECT_EQ(Feed({3, 0x00, 0x00}), (W{"MediaCenter 13/0"}));

    EXPECT_EQ(Feed({4, 86}), (W{"flash 5", "Extra 32/1"}));
    EXPECT_EQ(Feed({4, 0}), (W{"Extra 32/0"}));
    EXPECT_EQ(Feed({4, 97}), (W{"flash 3", "Application 2/1"}));
    EXPECT_EQ(Feed({4, 115}), (W{"flash 3", "Mode 1/1"}));
    EXPECT_EQ(Feed({4, 102}), (W{"flash 3", "Function 16/1"}));
    EXPECT_EQ(Feed({4, 102}), (W{}));
    EXPECT_EQ(Feed({4, 116}), (W{"flash 5", "Effect 1/1"}));
    EXPECT_EQ(Feed({4, 0}), (W{"Effect 0/0"}));
    EXPECT_EQ(Feed({4, 200}), (W{}));

    EXPECT_EQ(Feed({5, 7}), (W{"Value 69:7/1"}));
    EXPECT_EQ(Feed({5, 0}), (W{"Value 69:7/0"}));
}

// Press, the same code again, and release, for codes of the table that no
// other test presses; the release names the held code.
TEST_F(RfDecoderTest, PressRepeatAndReleaseOfEachRemainingCode)
{
    struct Row {
        std::vector<uint8_t> press;
        W pressed;
        W repeated;
        W released;
    };
    const Row rows[] = {
        // A volume key pressed again ends its own repeat first.
        {{1, 234, 0}, {"Remote 32/1"}, {"volume-up 234", "Remote 32/1"}, {"Remote 32/0"}},
        {{2, 157, 0, 0, 0}, {"flash 3", "Consumer 157/1"}, {"flash 3", "Consumer 157/1"}, {"Consumer 157/0"}},
        {{2, 178, 0, 0, 0}, {"flash 3", "Consumer 178/1"}, {"flash 3", "Consumer 178/1"}, {"Consumer 178/0"}},
        {{2, 226, 0, 0, 0}, {"flash 3", "Consumer 226/1"}, {"flash 3", "Consumer 226/1"}, {"Consumer 226/0"}},
        {{2, 233, 0, 0, 0}, {"flash 2", "Remote 16/1"}, {"volume-up 233", "flash 2", "Remote 16/1"}, {"Remote 16/0"}},
        {{2, 0x09, 0x02, 0, 0}, {"flash 3", "Consumer 521/1"}, {}, {"Consumer 521/0"}},
        {{3, 72, 0}, {"flash 4", "MediaCenter 72/1"}, {}, {"MediaCenter 72/0"}},
        {{4, 87}, {"flash 5", "Extra 33/1"}, {"flash 5", "Extra 33/1"}, {"Extra 33/0"}},
        {{4, 89}, {"flash 5", "Extra 89/1"}, {"flash 5", "Extra 89/1"}, {"Extra 89/0"}},
        {{4, 90}, {"flash 5", "Extra 90/1"}, {"flash 5", "Extra 90/1"}, {"Extra 90/0"}},
        {{4, 91}, {"flash 5", "Extra 91/1"}, {"flash 5", "Extra 91/1"}, {"Extra 91/0"}},
        {{4, 96}, {"flash 3", "Application 16/1"}, {"flash 3", "Application 16/1"}, {"Application 16/0"}},
        {{4, 103}, {"flash 3", "Mode 6/1"}, {"flash 3", "Mode 6/1"}, {"Mode 6/0"}},
        {{4, 104}, {"flash 3", "Mode 5/1"}, {"flash 3", "Mode 5/1"}, {"Mode 5/0"}},
        {{4, 105}, {"flash 5", "Extra 95/1"}, {}, {"Extra 95/0"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.press[0]) + ": " + row.pressed.back());
        state = KeyDecoderState{};
        std::vector<uint8_t> release(row.press.size(), 0);
        release[0] = row.press[0];
        EXPECT_EQ(Feed(row.press), row.pressed);
        EXPECT_EQ(Feed(row.press), row.repeated);
        EXPECT_EQ(Feed(release), row.released);
    }
}

TEST_F(RfDecoderTest, WakeReplyComesFirstAndTheLockedGateLetsOnlyValuesThrough)
{
    context.WakeReplyDue = true;
    EXPECT_EQ(Feed({9, 1}), (W{"wake-reply"})) << "even for an unknown report ID";
    EXPECT_EQ(Feed({2, 0x00, 0x00, 0, 0}), (W{})) << "byte 1 zero: no reply";
    context.WakeReplyDue = false;

    context.DropUnlessValue = true;
    EXPECT_EQ(Feed({2, 0x40, 0x00, 0, 0}), (W{}));
    EXPECT_EQ(Feed({1, 0xE9, 0x00}), (W{}));
    EXPECT_EQ(Feed({5, 3}), (W{"Value 69:3/1"}));
}

TEST_F(RfDecoderTest, BytesTheCollectionPromisesButTheReportLacksReadAsZeros)
{
    // The collection says 6 bytes, the report holds 3: bytes 4-5 are zeros.
    EXPECT_EQ(Feed({2, 0x00, 0x00}, 6), (W{}));
    EXPECT_EQ(Feed({3, 0x00}, 3), (W{"MediaCenter 0/0"})) << "byte 2 is missing: code 0";
    EXPECT_EQ(Feed({1}, 3), (W{})) << "report 1 of the right collection, no code bytes";
    KeyActions none;
    DecodeRfReport(state, nullptr, 4, context, none);
    EXPECT_EQ(none.count, 0);
}

}  // namespace

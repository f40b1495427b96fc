#include "hid/feature_report_layout.h"

#include <cstring>

WakeEvent DecodeWakeEvent(const uint8_t* report, size_t length)
{
    auto at = [&](size_t i) -> uint8_t { return report && i < length ? report[i] : 0; };
    WakeEvent event{};
    event.Kind = at(1);
    event.Code = static_cast<uint16_t>(at(2) | at(3) << 8);
    event.Flag = at(4);
    return event;
}

void ClearWakeEvent(uint8_t* report, size_t length)
{
    if (report && length >= 3) {
        std::memset(report + 1, 0, length - 2);
    }
}

bool BuildWakeReply(const uint8_t* input, size_t inputLength, uint8_t* out, size_t outLength)
{
    if (!input || inputLength < 2 || !out || outLength < WAKE_REPLY_MIN_LENGTH) {
        return false;
    }
    std::memset(out, 0, outLength);
    out[0] = input[0];
    out[1] = input[0];
    out[2] = input[1];
    out[3] = 0x00;
    out[4] = 0x44;
    return true;
}

void BuildLaunchHandshake(uint8_t (&out)[LAUNCH_HANDSHAKE_LENGTH])
{
    static const uint8_t bytes[LAUNCH_HANDSHAKE_LENGTH] = {LAUNCH_REPORT_ID, 0xFD, 0x71, 0, 0, 0, 0, 0};
    std::memcpy(out, bytes, sizeof(bytes));
}

void BuildTvReady(uint8_t (&out)[TV_READY_LENGTH])
{
    static const uint8_t bytes[TV_READY_LENGTH] = {LAUNCH_REPORT_ID, 0x10, 0x80, 0, 0, 0, 0, 0, 0x02};
    std::memcpy(out, bytes, sizeof(bytes));
}

bool BuildRemoteDisplayReport(uint32_t word, uint8_t* out, size_t outLength)
{
    if (!out || outLength < REMOTE_DISPLAY_MIN_LENGTH) {
        return false;
    }
    std::memset(out, 0, outLength);
    out[0] = REMOTE_DISPLAY_REPORT_ID;
    for (int i = 0; i < 4; ++i) {
        out[1 + i] = static_cast<uint8_t>(word >> (8 * i));
    }
    return true;
}

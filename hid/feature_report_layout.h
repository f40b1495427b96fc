#pragma once
// Byte layouts of the receiver's feature and output reports. Plain logic on
// byte buffers, no Windows headers. Byte 0 of every report is its ID.

#include <cstddef>
#include <cstdint>

constexpr uint8_t LAUNCH_REPORT_ID = 2;        // launch handshake and TV ready
constexpr uint8_t WAKE_BUTTON_REPORT_ID = 3;   // classic receiver: which button woke the PC
constexpr uint8_t WAKE_EVENT_REPORT_ID = 4;    // radio receiver: what woke the PC
constexpr uint8_t REMOTE_DISPLAY_REPORT_ID = 4;  // output report: the remote's display word

constexpr size_t LAUNCH_HANDSHAKE_LENGTH = 8;
constexpr size_t TV_READY_LENGTH = 9;
// The wake reply sets bytes 0 to 4.
constexpr size_t WAKE_REPLY_MIN_LENGTH = 5;
// The display word follows the report ID.
constexpr size_t REMOTE_DISPLAY_MIN_LENGTH = 5;
// Byte of the handshake answer that tells the receiver's state.
constexpr size_t LAUNCH_STATE_BYTE = 2;

struct WakeEvent {
    uint8_t Kind;   // 0 = nothing woke the PC through the remote
    uint16_t Code;  // little-endian in bytes 2 and 3
    uint8_t Flag;   // byte 4
};

// Fields of a wake-event report; bytes the report is too short to have read as 0.
WakeEvent DecodeWakeEvent(const uint8_t* report, size_t length);

// The acknowledgement of a wake event, made from the report as read: bytes 1
// to length-2 become 0, the last byte stays as read. Reports shorter than 3
// bytes are left alone.
void ClearWakeEvent(uint8_t* report, size_t length);

// The reply to an input report while the display of a connected-standby PC
// is off. out is the feature report of the collection that sent the input
// (all of it is written). False, and nothing written, when the input has no
// byte 1 or out is shorter than WAKE_REPLY_MIN_LENGTH.
bool BuildWakeReply(const uint8_t* input, size_t inputLength, uint8_t* out, size_t outLength);

void BuildLaunchHandshake(uint8_t (&out)[LAUNCH_HANDSHAKE_LENGTH]);
void BuildTvReady(uint8_t (&out)[TV_READY_LENGTH]);

// The remote's display word as output report 4, least significant byte
// first, the rest 0. False when out is shorter than REMOTE_DISPLAY_MIN_LENGTH.
bool BuildRemoteDisplayReport(uint32_t word, uint8_t* out, size_t outLength);

#pragma once
// The on-screen request a client program sends through the client library
// (WM_COPYDATA, wParam 1): a text, or one character of the symbol font.

#include <cstddef>
#include <cstdint>

constexpr size_t CLIENT_OSD_TEXT_SIZE = 128;
constexpr uint32_t CLIENT_OSD_KIND_TEXT = 0;
constexpr uint32_t CLIENT_OSD_KIND_SYMBOL = 1;

struct ClientOsdRequest {
    uint8_t Reserved0;
    char Text[CLIENT_OSD_TEXT_SIZE];  // NUL-terminated when the sender is well-behaved
    uint8_t Reserved1[3];
    uint32_t Kind;   // non-zero: Text[0] is a character of the symbol font
    uint32_t Flags;  // 0x1/0x2 choose the row, 0x10/0x20 the column of the display
};

static_assert(sizeof(ClientOsdRequest) == 140);
static_assert(offsetof(ClientOsdRequest, Text) == 1);
static_assert(offsetof(ClientOsdRequest, Kind) == 132);
static_assert(offsetof(ClientOsdRequest, Flags) == 136);

// Copies a request out of WM_COPYDATA data of the given size. A record
// shorter than the full 140 bytes is refused (false): its fields would lie
// past what the sender gave us. The text is copied as it came: readers must
// not expect a terminator inside the field.
bool CopyClientOsdRequest(const void* data, size_t size, ClientOsdRequest* out);

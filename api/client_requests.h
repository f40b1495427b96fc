#pragma once
// What the client library sends to kova's main window: the registration of
// a client window (WM_COPYDATA, wParam 0) and the text or symbol of an
// on-screen request (wParam 1, the record of osd/client_osd_request.h).
// Plain data only, so that it also builds natively for fuzzing.

#include <cstddef>
#include <cstdint>

// The 24-byte registration record; the window handle travels as 64 bits.
struct ClientRegistration {
    uint64_t hOwnerWnd;
    uint8_t ucId;
    uint8_t Reserved1[3];
    uint32_t uMsg;
    uint32_t dwCtrl;
    uint32_t Reserved2;
};
static_assert(sizeof(ClientRegistration) == 24, "kova reads 24 bytes");
static_assert(offsetof(ClientRegistration, ucId) == 8 && offsetof(ClientRegistration, uMsg) == 12 &&
                  offsetof(ClientRegistration, dwCtrl) == 16,
              "layout of the registration record");

// kova posts WM_APP + uMsg, which must stay within the application range.
constexpr uint32_t CLIENT_MESSAGE_MAX = 0x3FFF;

// A text is shown with at most this many characters.
constexpr size_t CLIENT_TEXT_CHARS = 64;

// Fills a text field of fieldSize bytes from a NUL-terminated text: at most
// fieldSize bytes of the text are read, and the text is ended before its
// 65th character. A double-byte character (isLeadByte tells its first byte)
// counts as one and is never cut in half: one whose second byte would not
// fit, or that has none, is left out. The rest of the field is zero; a text
// that fills the whole field has no terminator inside it. Returns the bytes
// kept.
size_t CutClientText(const char* text, char* field, size_t fieldSize, bool (*isLeadByte)(uint8_t));

// The symbol-font character of KovaOsdIcon's positions 1 to 10; 0 for any
// other position.
uint8_t ClientSymbolCode(uint32_t position);

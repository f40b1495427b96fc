#include "api/client_requests.h"

#include <cstring>

namespace {

constexpr uint8_t SYMBOL_CODES[] = {0x34, 0x3B, 0x67, 0x39, 0x37, 0x38, 0x3A, 0x6E, 0x35, 0x36};

}  // namespace

size_t CutClientText(const char* text, char* field, size_t fieldSize, bool (*isLeadByte)(uint8_t))
{
    if (!field || fieldSize == 0) {
        return 0;
    }
    std::memset(field, 0, fieldSize);
    if (!text) {
        return 0;
    }
    // Never reads beyond what fits: a longer text is cut here first.
    size_t length = 0;
    while (length < fieldSize && text[length] != '\0') {
        ++length;
    }
    size_t kept = 0;
    size_t chars = 0;
    while (kept < length && chars < CLIENT_TEXT_CHARS) {
        size_t width = isLeadByte(static_cast<uint8_t>(text[kept])) ? 2 : 1;
        if (kept + width > length) {
            break;  // half a character: its second byte is missing or cut off
        }
        kept += width;
        ++chars;
    }
    std::memcpy(field, text, kept);
    return kept;
}

uint8_t ClientSymbolCode(uint32_t position)
{
    if (position < 1 || position > sizeof(SYMBOL_CODES)) {
        return 0;
    }
    return SYMBOL_CODES[position - 1];
}

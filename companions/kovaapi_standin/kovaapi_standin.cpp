// Stand-in of the client library's display export: records each display
// record in the journal. KOVAAPI_STANDIN_RESULT chooses what it answers
// (default 0, success).

#include <windows.h>

#include "companions/journal/journal.h"

#include <cstdint>

namespace {

constexpr char RESULT_ENV[] = "KOVAAPI_STANDIN_RESULT";
constexpr DWORD INVALID_PARAM = 2;

struct RFRemoconLcd {
    uint32_t dwSize;
    uint32_t dwMask;
    uint32_t dwSeg0;
    uint32_t dwSeg1;
    uint32_t dwSeg2;
    uint32_t dwSeg3;
    uint32_t dwSeg4;
    uint16_t wNumber;
    uint16_t wNumberMode;
};
static_assert(sizeof(RFRemoconLcd) == 32, "the display record is 32 bytes");

}  // namespace

extern "C" DWORD WINAPI SetRFRemoconLCD(const RFRemoconLcd* lcd)
{
    if (!lcd) {
        JournalLine("kovaapi.dll", "SetRFRemoconLCD", "record=null");
        return INVALID_PARAM;
    }
    JournalLine("kovaapi.dll", "SetRFRemoconLCD", "size=%u mask=0x%08x seg=%u,%u,%u,%u,%u number=%u mode=%u",
                lcd->dwSize, lcd->dwMask, lcd->dwSeg0, lcd->dwSeg1, lcd->dwSeg2, lcd->dwSeg3, lcd->dwSeg4,
                lcd->wNumber, lcd->wNumberMode);
    return static_cast<DWORD>(EnvNumber(RESULT_ENV, 0));
}

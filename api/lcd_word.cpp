#include "api/lcd_word.h"

#include <cstring>

namespace {

// Each segment field: its mask bit and the bits of the word it may set.
struct SegmentField {
    uint32_t LcdRecord::*Field;
    uint32_t MaskBit;
    uint32_t Bits;
};
constexpr SegmentField SEGMENTS[] = {
    {&LcdRecord::dwSeg0, LCD_MASK_SEG0, LCD_SEG0_BITS}, {&LcdRecord::dwSeg1, LCD_MASK_SEG1, LCD_SEG1_BITS},
    {&LcdRecord::dwSeg2, LCD_MASK_SEG2, LCD_SEG2_BITS}, {&LcdRecord::dwSeg3, LCD_MASK_SEG3, LCD_SEG3_BITS},
    {&LcdRecord::dwSeg4, LCD_MASK_SEG4, LCD_SEG4_BITS},
};

constexpr int ONES_SHIFT = 16;
constexpr int TENS_SHIFT = 20;
constexpr int HUNDREDS_SHIFT = 24;

// A field counts when its own bit is set or the mask has bit 31.
bool Selected(uint32_t mask, uint32_t bit) { return (mask & (bit | LCD_MASK_ALL)) != 0; }

uint32_t Nibble(uint32_t word, int shift) { return (word >> shift) & 0xF; }

}  // namespace

bool CheckRFRemoconLCDParam(const LcdRecord& lcd)
{
    if (lcd.dwSize != LCD_RECORD_SIZE) {
        return false;
    }
    for (const SegmentField& s : SEGMENTS) {
        if (Selected(lcd.dwMask, s.MaskBit) && (lcd.*s.Field & ~s.Bits) != 0) {
            return false;
        }
    }
    if (Selected(lcd.dwMask, LCD_MASK_NUMBER) &&
        (lcd.wNumber > LCD_NUMBER_MAX || lcd.wNumberMode > LCD_MODE_THREE_DIGITS)) {
        return false;
    }
    return true;
}

uint32_t ConvertToHiddataFromParam(const LcdRecord& lcd, uint32_t word)
{
    for (const SegmentField& s : SEGMENTS) {
        if (Selected(lcd.dwMask, s.MaskBit)) {
            // Masked again: the merge never reaches beyond the field's own
            // bits, even for a record that skipped the check.
            word = (word & ~s.Bits) | (lcd.*s.Field & s.Bits);
        }
    }
    if (!Selected(lcd.dwMask, LCD_MASK_NUMBER)) {
        return word;
    }
    // Taken modulo 1000 so that even an unchecked record gives digits 0 to 9.
    const uint32_t number = lcd.wNumber % (LCD_NUMBER_MAX + 1);
    const uint32_t h = number / 100;
    const uint32_t t = (number % 100) / 10;
    const uint32_t o = number % 10;
    uint32_t hundreds = LCD_DIGIT_BLANK;
    uint32_t tens = LCD_DIGIT_BLANK;
    switch (lcd.wNumberMode) {
    case LCD_MODE_NO_LEADING_ZEROS:
        hundreds = h == 0 ? LCD_DIGIT_BLANK : h;
        tens = h == 0 && t == 0 ? LCD_DIGIT_BLANK : t;
        break;
    case LCD_MODE_ONES:
        break;
    case LCD_MODE_TWO_DIGITS:
        tens = t;
        break;
    default:  // three digits (the check refuses any other mode)
        hundreds = h;
        tens = t;
        break;
    }
    word &= ~LCD_DIGIT_BITS;
    return word | (hundreds << HUNDREDS_SHIFT) | (tens << TENS_SHIFT) | (o << ONES_SHIFT);
}

void DecodeLcdWord(uint32_t word, LcdRecord* lcd)
{
    for (const SegmentField& s : SEGMENTS) {
        lcd->*s.Field = word & s.Bits;
    }
    const uint32_t h = Nibble(word, HUNDREDS_SHIFT);
    const uint32_t t = Nibble(word, TENS_SHIFT);
    const uint32_t o = Nibble(word, ONES_SHIFT);
    // The ones nibble counts as it stands: every merge writes a digit there,
    // so only a remembered word that no merge made can hold anything else.
    lcd->wNumber = static_cast<uint16_t>((h < 10 ? 100 * h : 0) + (t < 10 ? 10 * t : 0) + o);
    if (h < 10) {
        lcd->wNumberMode = LCD_MODE_THREE_DIGITS;
    } else if (t < 10) {
        lcd->wNumberMode = LCD_MODE_TWO_DIGITS;
    } else {
        lcd->wNumberMode = LCD_MODE_NO_LEADING_ZEROS;
    }
}

bool BuildLcdReport(uint32_t word, uint8_t* report, size_t length)
{
    if (!report || length < LCD_REPORT_MIN_LENGTH) {
        return false;
    }
    std::memset(report, 0, length);
    report[0] = LCD_REPORT_ID;
    for (int i = 0; i < 4; ++i) {
        report[1 + i] = static_cast<uint8_t>(word >> (8 * i));
    }
    return true;
}

#pragma once
// The radio remote's display word and the record clients describe it with:
// the record's rules, the merge of a record into the word, the word read
// back into a record, and the output report that carries the word. Plain
// data and arithmetic only, so that it also builds natively for fuzzing.

#include <cstddef>
#include <cstdint>

// The record SetRFRemoconLCD and GetRFRemoconLCD take; the same 32 bytes as
// RFRemoconLcd of the public header.
struct LcdRecord {
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
static_assert(sizeof(LcdRecord) == 32, "the display record is 32 bytes");

constexpr uint32_t LCD_RECORD_SIZE = 32;

// Mask bits: one per field; bit 31 selects every field.
constexpr uint32_t LCD_MASK_SEG0 = 0x01;
constexpr uint32_t LCD_MASK_SEG1 = 0x02;
constexpr uint32_t LCD_MASK_SEG2 = 0x04;
constexpr uint32_t LCD_MASK_SEG3 = 0x08;
constexpr uint32_t LCD_MASK_SEG4 = 0x10;
constexpr uint32_t LCD_MASK_NUMBER = 0x20;
constexpr uint32_t LCD_MASK_ALL = 0x80000000u;

// The bits of the word each segment field owns (bit 6 is dwSeg2's alone).
constexpr uint32_t LCD_SEG0_BITS = 0x7;
constexpr uint32_t LCD_SEG1_BITS = 0xB8;
constexpr uint32_t LCD_SEG2_BITS = 0x40;
constexpr uint32_t LCD_SEG3_BITS = 0x700;
constexpr uint32_t LCD_SEG4_BITS = 0x1800;

constexpr uint16_t LCD_NUMBER_MAX = 999;
// wNumberMode: leading zeros blank, ones only, two digits, three digits.
constexpr uint16_t LCD_MODE_NO_LEADING_ZEROS = 0;
constexpr uint16_t LCD_MODE_ONES = 1;
constexpr uint16_t LCD_MODE_TWO_DIGITS = 2;
constexpr uint16_t LCD_MODE_THREE_DIGITS = 3;

// The digits: ones in bits 16 to 19, tens 20 to 23, hundreds 24 to 27; a
// nibble of 0xF shows nothing.
constexpr uint32_t LCD_DIGIT_BITS = 0x0FFF0000u;
constexpr uint32_t LCD_DIGIT_BLANK = 0xF;

// Output report 4: the report ID, then the word least significant byte first.
constexpr uint8_t LCD_REPORT_ID = 4;
constexpr size_t LCD_REPORT_MIN_LENGTH = 5;

// True when dwSize is 32 and every field the mask selects keeps to its rule.
bool CheckRFRemoconLCDParam(const LcdRecord& lcd);

// The word with the selected fields of a checked record merged in; bits 13
// to 15 and 28 to 31 always stay as they were.
uint32_t ConvertToHiddataFromParam(const LcdRecord& lcd, uint32_t word);

// Fills every field after dwMask from the word; dwSize and dwMask stay.
void DecodeLcdWord(uint32_t word, LcdRecord* lcd);

// Builds output report 4 in a buffer of the collection's output report
// length, zeros after the word. False, with nothing written, when the
// report is too short to hold the word.
bool BuildLcdReport(uint32_t word, uint8_t* report, size_t length);

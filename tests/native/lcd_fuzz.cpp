// Feeds the client library's record check, the merge into the display word,
// its decoding, the output report and the on-screen text cut random input
// under the sanitizers, and checks what must hold whatever the input: a
// record is accepted exactly when every selected field keeps to its rule, a
// merge changes the selected fields only and never bits 13 to 15 or 28 to
// 31, what a merge wrote reads back as it was meant, and no buffer is read
// or written past its end.
//
//   lcd_fuzz [rounds] [seed]

#include "api/client_requests.h"
#include "api/lcd_word.h"

#include "tests/native/fuzz_support.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

FuzzFailures g_failures;

constexpr uint32_t KEPT_BITS = 0xF000E000u;  // bits 13 to 15 and 28 to 31
constexpr uint32_t SEGMENT_BITS = 0x1FFFu;

struct Rule {
    uint32_t LcdRecord::*Field;
    uint32_t Bit;
    uint32_t Allowed;
};
constexpr Rule RULES[] = {
    {&LcdRecord::dwSeg0, 0x01, 0x7},   {&LcdRecord::dwSeg1, 0x02, 0xB8},   {&LcdRecord::dwSeg2, 0x04, 0x40},
    {&LcdRecord::dwSeg3, 0x08, 0x700}, {&LcdRecord::dwSeg4, 0x10, 0x1800},
};

bool Picks(uint32_t mask, uint32_t bit) { return (mask & 0x80000000u) != 0 || (mask & bit) != 0; }

uint32_t RandomMask(Random& rng)
{
    switch (rng.Below(4)) {
    case 0:
        return 0x80000000u;
    case 1:
        return 1u << rng.Below(6);
    case 2:
        return static_cast<uint32_t>(rng.Next());
    default:
        return rng.Below(64) | (rng.Below(2) ? 0x80000000u : 0);
    }
}

LcdRecord RandomRecord(Random& rng)
{
    LcdRecord r{};
    r.dwSize = rng.Below(16) == 0 ? static_cast<uint32_t>(rng.Next()) : LCD_RECORD_SIZE;
    r.dwMask = RandomMask(rng);
    for (const Rule& rule : RULES) {
        // Mostly within the field's bits, now and then anything.
        r.*rule.Field = rng.Below(8) == 0 ? static_cast<uint32_t>(rng.Next()) >> rng.Below(32)
                                          : static_cast<uint32_t>(rng.Next()) & rule.Allowed;
    }
    r.wNumber = static_cast<uint16_t>(rng.Below(8) == 0 ? rng.Next() : rng.Below(1000));
    r.wNumberMode = static_cast<uint16_t>(rng.Below(8) == 0 ? rng.Next() : rng.Below(4));
    return r;
}

bool Acceptable(const LcdRecord& r)
{
    if (r.dwSize != 32) {
        return false;
    }
    for (const Rule& rule : RULES) {
        if (Picks(r.dwMask, rule.Bit) && (r.*rule.Field & ~rule.Allowed) != 0) {
            return false;
        }
    }
    return !Picks(r.dwMask, 0x20) || (r.wNumber <= 999 && r.wNumberMode <= 3);
}

bool IsDigitOrBlank(uint32_t nibble) { return nibble <= 9 || nibble == 0xF; }

void CheckMerge(const LcdRecord& r, uint32_t old, uint64_t round)
{
    const uint32_t word = ConvertToHiddataFromParam(r, old);
    if ((word & KEPT_BITS) != (old & KEPT_BITS)) {
        g_failures.Fail("a merge changed bits 13-15 or 28-31", round);
    }
    for (const Rule& rule : RULES) {
        const uint32_t expected = Picks(r.dwMask, rule.Bit) ? r.*rule.Field : old & rule.Allowed;
        if ((word & rule.Allowed) != expected) {
            g_failures.Fail("a segment field was not merged as selected", round);
        }
    }
    LcdRecord back{};
    DecodeLcdWord(word, &back);
    for (const Rule& rule : RULES) {
        if (back.*rule.Field != (word & rule.Allowed)) {
            g_failures.Fail("a segment field decoded wrongly", round);
        }
    }
    if (!Picks(r.dwMask, 0x20)) {
        if ((word & LCD_DIGIT_BITS) != (old & LCD_DIGIT_BITS)) {
            g_failures.Fail("unselected digits changed", round);
        }
        return;
    }
    for (int shift = 16; shift < 28; shift += 4) {
        if (!IsDigitOrBlank((word >> shift) & 0xF)) {
            g_failures.Fail("a digit nibble is neither a digit nor blank", round);
        }
    }
    const uint32_t n = r.wNumber;
    uint32_t shown = n;
    uint32_t mode = n >= 100 ? 3 : n >= 10 ? 2 : 0;
    if (r.wNumberMode == 1) {
        shown = n % 10;
        mode = 0;
    } else if (r.wNumberMode == 2) {
        shown = n % 100;
        mode = 2;
    } else if (r.wNumberMode == 3) {
        mode = 3;
    }
    if (back.wNumber != shown || back.wNumberMode != mode) {
        g_failures.Fail("the number does not read back as set", round);
    }
    // Setting what was read back changes nothing.
    LcdRecord again = back;
    again.dwSize = LCD_RECORD_SIZE;
    again.dwMask = 0x80000000u;
    if (!CheckRFRemoconLCDParam(again) || ConvertToHiddataFromParam(again, word) != word) {
        g_failures.Fail("what was read back does not set the same word", round);
    }
}

void CheckReport(Random& rng, uint64_t round)
{
    const size_t length = rng.Below(40);
    // Exactly as long as asked for, so the sanitizer sees any write past it.
    std::unique_ptr<uint8_t[]> report(new uint8_t[length ? length : 1]);
    const uint32_t word = static_cast<uint32_t>(rng.Next());
    const bool built = BuildLcdReport(word, length ? report.get() : nullptr, length);
    if (built != (length >= 5)) {
        g_failures.Fail("the report was built for the wrong lengths", round);
    }
    if (built) {
        uint32_t carried = 0;
        for (int i = 0; i < 4; ++i) {
            carried |= static_cast<uint32_t>(report[1 + i]) << (8 * i);
        }
        bool restZero = true;
        for (size_t i = 5; i < length; ++i) {
            restZero = restZero && report[i] == 0;
        }
        if (report[0] != 4 || carried != word || !restZero) {
            g_failures.Fail("the report does not carry the word", round);
        }
    }
}

bool Cp932Lead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool HighLead(uint8_t b) { return b >= 0x80; }

void CheckTextCut(Random& rng, uint64_t round)
{
    bool (*lead)(uint8_t) = rng.Below(2) ? Cp932Lead : HighLead;
    // The source is exactly its bytes long, often with no terminator inside
    // the first 128: the cut must not look beyond them.
    const size_t size = 1 + rng.Below(300);
    std::unique_ptr<char[]> text(new char[size]);
    const bool innerEnds = rng.Below(2) == 0;
    for (size_t i = 0; i < size; ++i) {
        const uint32_t pick = rng.Below(16);
        text[i] = static_cast<char>(pick < 6                ? 0x81 + rng.Below(0x1F)
                                    : pick < 7 && innerEnds ? 0
                                                            : 0x20 + rng.Below(0x60));
    }
    const bool terminated = size <= CLIENT_TEXT_CHARS * 2 || rng.Below(4) == 0;
    if (terminated) {
        text[size - 1] = '\0';
    } else if (size < 128) {
        return;  // a short buffer needs its terminator
    }
    std::unique_ptr<char[]> field(new char[128]);
    const size_t kept = CutClientText(text.get(), field.get(), 128, lead);
    size_t length = 0;
    while (length < 128 && length < size && text[length] != '\0') {
        ++length;
    }
    size_t chars = 0;
    size_t i = 0;
    while (i < kept) {
        i += lead(static_cast<uint8_t>(text[i])) ? 2 : 1;
        ++chars;
    }
    if (kept > length || i != kept || chars > CLIENT_TEXT_CHARS) {
        g_failures.Fail("the cut text is too long or splits a character", round);
    }
    if (std::memcmp(field.get(), text.get(), kept) != 0) {
        g_failures.Fail("the cut text is not the text's start", round);
    }
    for (size_t k = kept; k < 128; ++k) {
        if (field[k] != '\0') {
            g_failures.Fail("the field is not zero after the text", round);
            break;
        }
    }
    // Cut early only for the 65th character or one that does not fit.
    if (kept < length && chars < CLIENT_TEXT_CHARS && !(lead(static_cast<uint8_t>(text[kept])) && kept + 2 > length)) {
        g_failures.Fail("the text was cut before its end for no reason", round);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    Random rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1};
    uint64_t accepted = 0;
    for (uint64_t round = 0; round < rounds && !g_failures.Enough(); ++round) {
        const LcdRecord record = RandomRecord(rng);
        const bool ok = CheckRFRemoconLCDParam(record);
        if (ok != Acceptable(record)) {
            g_failures.Fail(ok ? "a record outside the rules was accepted" : "a good record was refused", round);
        }
        if (ok) {
            ++accepted;
            CheckMerge(record, static_cast<uint32_t>(rng.Next()), round);
        }
        // The merge keeps to the fields' bits for any record at all.
        const uint32_t old = static_cast<uint32_t>(rng.Next());
        if ((ConvertToHiddataFromParam(record, old) & ~(SEGMENT_BITS | LCD_DIGIT_BITS)) != (old & KEPT_BITS)) {
            g_failures.Fail("an unchecked record reached beyond the fields", round);
        }
        if (rng.Below(8) == 0) {
            CheckReport(rng, round);
        }
        if (rng.Below(8) == 0) {
            CheckTextCut(rng, round);
        }
    }
    std::printf("%llu rounds, %llu records accepted, %d failures\n", static_cast<unsigned long long>(rounds),
                static_cast<unsigned long long>(accepted), g_failures.Count());
    return g_failures.Count() == 0 && accepted > 0 ? 0 : 1;
}

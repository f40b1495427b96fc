#include "osd/osd_records.h"

#include <cstring>
#include <vector>

namespace {

// A zero Size cannot come from the settings loader, but a division by it
// must not be possible either.
uint32_t TextHeightStep(uint32_t size)
{
    return OSD_SIZE_STEPS / (size ? size : 3);
}

void CopyFace(LOGFONTA& font, const char* face)
{
    CopyTextWhole(font.lfFaceName, sizeof(font.lfFaceName), face);
}

}  // namespace

void CopyTextWhole(char* dst, size_t size, const char* text)
{
    if (!dst || size == 0) {
        return;
    }
    size_t used = 0;
    if (text) {
        while (text[used]) {
            size_t len = (IsDBCSLeadByte(static_cast<BYTE>(text[used])) && text[used + 1]) ? 2 : 1;
            if (used + len > size - 1) {
                break;
            }
            used += len;
        }
        std::memcpy(dst, text, used);
    }
    dst[used] = '\0';
}

BYTE ChooseOsdCharset(const char* text)
{
    if (!text || !*text) {
        return DEFAULT_CHARSET;
    }
    // The type array gets one entry per character, so counting characters
    // the way the system does tells how many entries to look at.
    int chars = 0;
    for (const char* p = text; *p; p = CharNextA(p)) {
        ++chars;
    }
    int bytes = static_cast<int>(std::strlen(text));
    std::vector<WORD> types(static_cast<size_t>(bytes) + 1, 0);
    if (!GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE3, text, bytes, types.data())) {
        return SHIFTJIS_CHARSET;  // unknown: the charset that shows both kinds
    }
    for (int i = 0; i < chars; ++i) {
        if (!(types[i] & C3_HALFWIDTH) || (types[i] & C3_KATAKANA)) {
            return SHIFTJIS_CHARSET;
        }
    }
    return DEFAULT_CHARSET;
}

uint32_t ClientRequestKind(uint32_t flags)
{
    uint32_t row = (flags & 0x2) ? 2 : (flags & 0x1) ? 1 : 0;
    uint32_t column = (flags & 0x20) ? 2 : (flags & 0x10) ? 1 : 0;
    return 3 * row + column;
}

void FillTextRecord(OsdRecord& record, const OnScreenSettings& settings, const char* text, BOOL symbolFont,
                    uint32_t kind)
{
    record = OsdRecord{};
    record.Size = OSD_RECORD_SIZE;
    record.Type = OSD_TYPE_TEXT;
    record.Color = settings.Color;
    record.Kind = kind;
    record.TimeMs = settings.Time * OSD_TIME_UNIT_MS;
    record.Height = TextHeightStep(settings.Size);
    record.Margin = TextHeightStep(settings.Size);
    if (symbolFont) {
        record.Font.lfCharSet = SYMBOL_CHARSET;
        CopyFace(record.Font, OSD_SYMBOL_FACE);
    } else {
        record.Font.lfCharSet = ChooseOsdCharset(text);
        CopyFace(record.Font, settings.FontFace);
    }
    record.Text = text;
}

BarValues MixerBarValues(uint32_t level)
{
    return {MIXER_VOLUME_MAX, level, MIXER_VOLUME_SEGMENTS};
}

BarValues EndpointBarValues(uint32_t step, uint32_t stepCount)
{
    // An endpoint reporting no steps would otherwise ask for 4294967295
    // segments: show an empty bar instead.
    uint32_t top = stepCount ? stepCount - 1 : 0;
    return {top, step, top};
}

void FillBarRecord(OsdRecord& record, const OnScreenSettings& settings, uint32_t picture, const BarValues& bar,
                   BOOL repeat)
{
    record = OsdRecord{};
    record.Size = OSD_RECORD_SIZE;
    record.Type = OSD_TYPE_BAR;
    record.Picture = picture;
    record.Color = settings.Color;
    record.Kind = OSD_KIND_BAR;
    record.TimeMs = repeat ? OSD_REPEAT_TIME_MS : settings.Time * OSD_TIME_UNIT_MS;
    record.Height = OSD_BAR_HEIGHT;
    record.Margin = 0;
    record.Text = nullptr;
    record.BarMax = bar.Max;
    record.BarValue = bar.Value;
    record.BarSegments = bar.Segments;
    record.BarLength = OSD_BAR_LENGTH;
}

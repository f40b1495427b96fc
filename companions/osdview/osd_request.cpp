#include "companions/osdview/osd_request.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr DWORD READABLE_PAGES = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                 PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// How many bytes from p on can be read, looking no further than limit.
size_t ReadableBytes(const char* p, size_t limit)
{
    size_t total = 0;
    while (total < limit) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(p + total, &info, sizeof(info)) == 0 || info.State != MEM_COMMIT ||
            !(info.Protect & READABLE_PAGES) || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS))) {
            break;
        }
        const char* end = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        total = static_cast<size_t>(end - p);
    }
    return total < limit ? total : limit;
}

// Cuts text at len bytes without leaving half a double-byte character.
size_t WholeCharacters(const char* text, size_t len, UINT codePage)
{
    if (codePage == 0) {
        return len;
    }
    size_t used = 0;
    while (used < len) {
        size_t step = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[used])) ? 2 : 1;
        if (used + step > len) {
            break;
        }
        used += step;
    }
    return used;
}

}  // namespace

const char* VerdictName(OsdVerdict verdict)
{
    switch (verdict) {
    case OsdVerdict::Show: return "shown";
    case OsdVerdict::Clear: return "cleared";
    case OsdVerdict::NullRecord: return "refused:null-record";
    case OsdVerdict::WrongSize: return "refused:size";
    case OsdVerdict::UnknownType: return "refused:type";
    case OsdVerdict::UnknownKind: return "refused:kind";
    case OsdVerdict::NoText: return "refused:no-text";
    case OsdVerdict::UnreadableText: return "refused:unreadable-text";
    }
    return "refused";
}

UINT CodePageOfCharset(BYTE charset)
{
    if (charset == SYMBOL_CHARSET) {
        return 0;
    }
    CHARSETINFO info{};
    if (charset != DEFAULT_CHARSET &&
        TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(charset)), &info, TCI_SRCCHARSET)) {
        return info.ciACP;
    }
    return GetACP();
}

size_t ReadableTextLength(const char* text, size_t limit)
{
    size_t readable = ReadableBytes(text, limit);
    size_t len = strnlen(text, readable);
    if (len < readable || readable == limit) {
        return len;
    }
    return SIZE_MAX;
}

OsdVerdict CheckOsdRecord(const OsdRecord* record, OsdRequest* out)
{
    *out = OsdRequest{};
    if (!record) {
        return OsdVerdict::NullRecord;
    }
    if (ReadableBytes(reinterpret_cast<const char*>(record), sizeof(uint32_t)) < sizeof(uint32_t) ||
        record->Size != OSD_RECORD_SIZE ||
        ReadableBytes(reinterpret_cast<const char*>(record), OSD_RECORD_SIZE) < OSD_RECORD_SIZE) {
        return OsdVerdict::WrongSize;
    }
    if (record->Type != OSD_TYPE_TEXT && record->Type != OSD_TYPE_BAR) {
        return OsdVerdict::UnknownType;
    }
    if (record->Kind >= OSD_KIND_COUNT) {
        return OsdVerdict::UnknownKind;
    }
    out->IsBar = record->Type == OSD_TYPE_BAR;
    out->Color = record->Color & 0x00FFFFFF;  // no palette forms
    out->Kind = record->Kind;
    out->TimeMs = record->TimeMs < OSD_VIEW_TIME_MAX_MS ? record->TimeMs : OSD_VIEW_TIME_MAX_MS;
    out->Height = record->Height;
    out->Margin = record->Margin;

    if (out->IsBar) {
        uint32_t picture = record->Picture;
        out->Picture = (picture == OSD_PICTURE_VOLUME || picture == OSD_PICTURE_MUTE) ? picture : OSD_PICTURE_NONE;
        out->BarMax = record->BarMax;
        out->BarValue = record->BarValue < record->BarMax ? record->BarValue : record->BarMax;
        out->BarSegments = record->BarSegments < OSD_VIEW_SEGMENTS_MAX ? record->BarSegments : OSD_VIEW_SEGMENTS_MAX;
        out->BarLength = record->BarLength;
    } else {
        out->Font = record->Font;
        UINT codePage = CodePageOfCharset(out->Font.lfCharSet);
        size_t faceLen = strnlen(out->Font.lfFaceName, LF_FACESIZE - 1);
        faceLen = WholeCharacters(out->Font.lfFaceName, faceLen, codePage);
        std::memset(out->Font.lfFaceName + faceLen, 0, LF_FACESIZE - faceLen);

        if (!record->Text) {
            return OsdVerdict::NoText;
        }
        size_t len = ReadableTextLength(record->Text, OSD_VIEW_TEXT_MAX + 1);
        if (len == SIZE_MAX) {
            return OsdVerdict::UnreadableText;
        }
        if (len > OSD_VIEW_TEXT_MAX) {
            len = WholeCharacters(record->Text, OSD_VIEW_TEXT_MAX, codePage);
            out->TextCut = true;
        }
        std::memcpy(out->Text, record->Text, len);
        out->Text[len] = '\0';
        if (len == 0) {
            return OsdVerdict::NoText;
        }
    }
    return out->TimeMs == 0 ? OsdVerdict::Clear : OsdVerdict::Show;
}

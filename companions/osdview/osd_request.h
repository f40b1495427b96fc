#pragma once
// What our display libraries make of a request record: every field checked,
// the text and face copied out of the caller's memory, so that the drawing
// thread never touches the caller's record.

#include <windows.h>

#include "osd/osd_record.h"

#include <cstddef>
#include <cstdint>

constexpr size_t OSD_VIEW_TEXT_MAX = 512;          // bytes of a text that are shown
constexpr uint32_t OSD_VIEW_TIME_MAX_MS = 60000;   // longer displays are cut to this
constexpr uint32_t OSD_VIEW_SEGMENTS_MAX = 100;

enum class OsdVerdict {
    Show,            // draw it
    Clear,           // a display time of 0: take away what is shown, draw nothing
    NullRecord,
    WrongSize,
    UnknownType,
    UnknownKind,
    NoText,          // null or empty
    UnreadableText,  // runs into memory that cannot be read before its end
};

const char* VerdictName(OsdVerdict verdict);
inline bool IsAccepted(OsdVerdict verdict) { return verdict == OsdVerdict::Show || verdict == OsdVerdict::Clear; }

struct OsdRequest {
    bool IsBar = false;
    uint32_t Picture = OSD_PICTURE_NONE;
    COLORREF Color = 0;
    uint32_t Kind = 0;
    uint32_t TimeMs = 0;
    uint32_t Height = 0;
    uint32_t Margin = 0;
    LOGFONTA Font{};  // face always terminated
    char Text[OSD_VIEW_TEXT_MAX + 1] = {};
    bool TextCut = false;
    uint32_t BarMax = 0;
    uint32_t BarValue = 0;
    uint32_t BarSegments = 0;
    uint32_t BarLength = 0;
};

// Checks a record and copies what it asks for into out. Reads the record only
// after its size field says 120, and the text only as far as the memory
// behind it can be read.
OsdVerdict CheckOsdRecord(const OsdRecord* record, OsdRequest* out);

// Length of a NUL-terminated text, looking at no more than limit bytes and
// never at memory that is not readable. Returns limit when no terminator is
// found within it, and SIZE_MAX when the text runs into unreadable memory.
size_t ReadableTextLength(const char* text, size_t limit);

// The code page a text in this charset is written in (0 for the symbol charset).
UINT CodePageOfCharset(BYTE charset);

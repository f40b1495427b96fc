#include "companions/osdview/osd_call.h"

#include "companions/journal/journal.h"
#include "companions/osdview/osd_request.h"
#include "companions/osdview/osd_screen.h"

#include <cstdio>

namespace {

void Journal(const char* library, const char* exportName, const OsdRecord* record, const OsdRequest& checked,
             OsdVerdict verdict)
{
    const char* result = VerdictName(verdict);
    if (verdict == OsdVerdict::NullRecord) {
        JournalLine(library, exportName, "result=%s", result);
        return;
    }
    if (verdict == OsdVerdict::WrongSize) {
        // Nothing past the size field is looked at.
        JournalLine(library, exportName, "result=%s", result);
        return;
    }
    const LOGFONTA& f = record->Font;
    UINT codePage = CodePageOfCharset(f.lfCharSet);
    char face[LF_FACESIZE * 4 + 3];
    JournalQuote(checked.Font.lfFaceName, codePage, face, sizeof(face));
    char text[OSD_VIEW_TEXT_MAX + 3];
    if (!record->Text) {
        std::snprintf(text, sizeof(text), "null");
    } else if (record->Type != OSD_TYPE_TEXT || verdict == OsdVerdict::UnreadableText) {
        std::snprintf(text, sizeof(text), "set");
    } else {
        JournalQuote(checked.Text, codePage, text, sizeof(text));
    }
    JournalLine(library, exportName,
                "result=%s size=%u type=%u picture=%u color=0x%06X kind=%u time=%u height=%u margin=%u "
                "font=%ld,%ld,%ld,%ld,%ld,%u,%u,%u,%u,%u,%u,%u,%u face=%s reserved=%u max=%u value=%u "
                "segments=%u length=%u text=%s",
                result, record->Size, record->Type, record->Picture, record->Color, record->Kind, record->TimeMs,
                record->Height, record->Margin, f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation,
                f.lfWeight, f.lfItalic, f.lfUnderline, f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision,
                f.lfClipPrecision, f.lfQuality, f.lfPitchAndFamily, face, record->Reserved, record->BarMax,
                record->BarValue, record->BarSegments, record->BarLength, text);
}

}  // namespace

BOOL HandleOsdCall(const char* library, const char* exportName, const OsdRecord* record)
{
    OsdRequest request;
    OsdVerdict verdict = CheckOsdRecord(record, &request);
    Journal(library, exportName, record, request, verdict);
    if (!IsAccepted(verdict)) {
        return FALSE;
    }
    return COsdScreen::Submit(request) ? TRUE : FALSE;
}

BOOL OsdLibraryMain(HINSTANCE instance, DWORD reason, const char* classSuffix)
{
    // Nothing else here: the display thread cleans up after itself before it
    // lets the library go.
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        COsdScreen::Attach(instance, classSuffix);
    }
    return TRUE;
}

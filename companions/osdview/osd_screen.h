#pragma once
// COsdScreen: the display window of one library and the thread that owns it.
//
// Callers (kova's main thread) hand over a checked request and return at
// once; the library's own thread draws it on a topmost, click-through window
// that never takes activation, and hides it when its time is up. The newest
// request replaces whatever this library shows; the text and the picture
// library may show one thing each at the same time.
//
// The thread keeps the library loaded while it runs (its own module
// reference) and ends itself with FreeLibraryAndExitThread once nothing has
// been shown for a while, so kova may free the library at any time.

#include <windows.h>

#include "companions/osdview/osd_request.h"

// Display windows of our libraries have classes that begin with this.
constexpr char OSD_VIEW_CLASS_PREFIX[] = "Afx:kova:";

class COsdScreen {
public:
    // From DllMain: remember the module and the name that the display
    // windows' classes carry after OSD_VIEW_CLASS_PREFIX.
    static void Attach(HMODULE module, const char* classSuffix);

    // Any thread. Replaces what is pending or shown; false when no thread
    // could be started to show it.
    static bool Submit(const OsdRequest& request);
};

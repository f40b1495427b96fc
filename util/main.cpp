// kovautil.exe: the settings utility. It edits the registry values kova
// reads, judging every value by kova's own loaders before it is written,
// and shows what the receiver's buttons send. The tray's Open command starts
// it and recognises its window by the title Util_Title.

#include <windows.h>

#include <commctrl.h>

#include "config/texts.h"
#include "util/util_document.h"
#include "util/util_frame.h"

#include <cstdlib>
#include <cstring>

namespace {

// "/page=N" opens on page N (1 the first, in the list's order); anything
// else opens on the first page.
int FirstPageOf(const char* commandLine)
{
    const char* option = commandLine ? std::strstr(commandLine, "/page=") : nullptr;
    if (!option) {
        return 0;
    }
    long page = std::strtol(option + 6, nullptr, 10);
    return page >= 1 && page <= 9 ? static_cast<int>(page - 1) : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_HOTKEY_CLASS | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    // The title kova looks for, as kova itself reads it.
    RemoteTexts texts{};
    LoadRemoteTexts(texts);

    // One utility at a time: a second start brings the first one forward.
    if (HWND open = FindWindowA(nullptr, texts.Util_Title)) {
        SetForegroundWindow(open);
        return 0;
    }

    UtilDocument document;
    document.Load();
    UtilFrame frame(document, texts.Util_Title, texts.Kova_Title);
    frame.SetFirstPage(FirstPageOf(commandLine));
    frame.Run();
    return 0;
}

#include "config/display_probe.h"

#include "base/export_binder.h"
#include "base/scoped.h"
#include "config/os_class.h"

#include <cstring>

void DisplayProbe::Bind(uint32_t osClass)
{
    *this = DisplayProbe{};
    if (osClass < OS_CLASS_WIN8) {
        return;
    }
    ScopedModule lib(LoadLibraryA(DISPLAY_PROBE_PATH));
    if (!lib) {
        return;
    }
    auto init = GetExport<InitializeFn>(lib.get(), "DSPPRB_Initialize");
    auto fini = GetExport<FinalizeFn>(lib.get(), "DSPPRB_Finalize");
    auto mode = GetExport<GetDisplayModeFn>(lib.get(), "DSPPRB_GetDisplayMode");
    if (!init || init() < 0) {
        return;
    }
    // Kept until Release, which finalises the library first.
    module = lib.release();
    Initialize = init;
    Finalize = fini;
    GetDisplayMode = mode;
}

void DisplayProbe::Release()
{
    if (module) {
        if (Finalize) {
            Finalize();
        }
        FreeLibrary(module);
    }
    *this = DisplayProbe{};
}

uint32_t RefineDisplayMode(const char* foregroundClass)
{
    char lower[260] = {};
    size_t i = 0;
    for (; foregroundClass[i] && i < sizeof(lower) - 1; ++i) {
        char c = foregroundClass[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (std::strcmp(lower, "windows.ui.core.corewindow") == 0) {
        return 2;
    }
    static const char* const shellSurfaces[] = {"nativehwndhost", "shell_charmwindow", "searchpane", "shell_dialog"};
    for (const char* name : shellSurfaces) {
        if (std::strcmp(lower, name) == 0) {
            return 3;
        }
    }
    return 1;
}

uint32_t DisplayProbe::QueryDisplayMode(uint32_t osClass) const
{
    if (osClass < OS_CLASS_WIN8 || !GetDisplayMode) {
        return 0;
    }
    uint32_t mode = 0;
    GetDisplayMode(&mode);
    if (mode != 1) {
        return mode;
    }
    HWND front = GetForegroundWindow();
    if (!front) {
        return 1;
    }
    char cls[260] = {};
    if (GetClassNameA(front, cls, sizeof(cls)) == 0) {
        return 1;
    }
    return RefineDisplayMode(cls);
}

#include "osd/osd_control.h"

#include "base/export_binder.h"
#include "base/folders.h"
#include "base/messages.h"
#include "base/scoped.h"

#include <cstring>

namespace {

// The libraries return at once; a mutex held longer than this belongs to a
// program that hangs, and the main thread must not hang with it.
constexpr DWORD OSD_MUTEX_TIMEOUT_MS = 5000;

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

struct OsdWindowSearch {
    DWORD ProcessId;
    HWND Found;
};

BOOL CALLBACK FindOsdWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<OsdWindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->ProcessId) {
        return TRUE;
    }
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    if (std::strncmp(className, OSD_WINDOW_CLASS_PREFIX, sizeof(OSD_WINDOW_CLASS_PREFIX) - 1) != 0) {
        return TRUE;
    }
    search->Found = window;
    return FALSE;
}

// Hides the first display window of a process and tells it that its time is
// up, so it does not come back on its own.
void HideOsdWindowOf(DWORD processId)
{
    OsdWindowSearch search{processId, nullptr};
    EnumWindows(FindOsdWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.Found) {
        return;
    }
    if (processId == GetCurrentProcessId()) {
        ShowWindow(search.Found, SW_HIDE);
        UpdateWindow(search.Found);
    } else {
        // Another program may hang; its window must not hang us.
        ShowWindowAsync(search.Found, SW_HIDE);
    }
    PostMessageA(search.Found, WM_TIMER, OSD_HIDE_TIMER_ID, 0);
}

}  // namespace

LONG COsdControl::s_instances = 0;
COsdControl::DisplayLibrary COsdControl::s_text;
COsdControl::DisplayLibrary COsdControl::s_image;

COsdControl::COsdControl()
{
    if (++s_instances == 1 || !s_text.Module) {
        LoadLibraries();
    }
}

COsdControl::~COsdControl()
{
    if (--s_instances == 0) {
        Release(s_image);
        Release(s_text);
    }
}

uint32_t COsdControl::TextAvailable() { return s_text.Available; }
uint32_t COsdControl::ImageAvailable() { return s_image.Available; }

void COsdControl::LoadLibraries()
{
    if (!s_text.Module) {
        Load(s_text, OSD_TEXT_LIBRARY, OSD_TEXT_EXPORT, OSD_TEXT_EXPORT_A, OSD_TEXT_MUTEX);
    }
    if (!s_image.Module) {
        Load(s_image, OSD_IMAGE_LIBRARY, OSD_IMAGE_EXPORT, OSD_IMAGE_EXPORT_A, OSD_IMAGE_MUTEX);
    }
}

void COsdControl::Load(DisplayLibrary& library, const char* fileName, const char* plainExport,
                       const char* ansiExport, const char* mutexName)
{
    char path[MAX_PATH * 2] = {};
    // The remote program's folder first, then the keyboard program's.
    if (!(BuildRemoteProgramPath(path, sizeof(path), fileName) && FileExists(path)) &&
        !(BuildKeyboardProgramPath(path, sizeof(path), fileName) && FileExists(path))) {
        return;
    }
    ScopedModule module(LoadLibraryA(path));
    if (!module) {
        return;
    }
    auto plain = GetExport<OsdDisplayFunction>(module.get(), plainExport);
    if (!plain) {
        // Useless without its export; unloaded again, so that a later
        // instance looks once more.
        return;
    }
    library.Plain = plain;
    library.Ansi = GetExport<OsdDisplayFunction>(module.get(), ansiExport);
    library.Mutex = CreateMutexA(nullptr, FALSE, mutexName);
    library.Available = 1;
    library.Module = module.release();
}

void COsdControl::Release(DisplayLibrary& library)
{
    if (library.Module) {
        FreeLibrary(library.Module);
    }
    if (library.Mutex) {
        CloseHandle(library.Mutex);
    }
    library = DisplayLibrary{};
}

bool COsdControl::PrepareDisplay(OnScreenSettings& settings)
{
    ReloadOnScreenSettings(1);
    settings = GetOnScreenSettings();
    return settings.OnScreen != 0;
}

void COsdControl::Call(DisplayLibrary& library, HANDLE mutex, OsdRecord& record)
{
    OsdDisplayFunction display = library.Ansi ? library.Ansi : library.Plain;
    if (!display) {
        return;
    }
    MutexLock lock(mutex, OSD_MUTEX_TIMEOUT_MS);
    if (mutex && !lock.Held()) {
        return;
    }
    display(&record);
}

void COsdControl::ShowText(const char* text, BOOL symbolFont)
{
    ShowTextRecord(text, symbolFont, OSD_KIND_TEXT);
}

void COsdControl::ShowClientRequest(const ClientOsdRequest* request)
{
    if (!request) {
        return;
    }
    // The sender's text need not be terminated: never read past its field.
    char text[CLIENT_OSD_TEXT_SIZE + 1] = {};
    std::memcpy(text, request->Text, CLIENT_OSD_TEXT_SIZE);
    ShowTextRecord(text, request->Kind != CLIENT_OSD_KIND_TEXT, ClientRequestKind(request->Flags));
}

void COsdControl::ShowTextRecord(const char* text, BOOL symbolFont, uint32_t kind)
{
    OnScreenSettings settings;
    if (s_text.Available && PrepareDisplay(settings)) {
        ShowTextWith(settings, text, symbolFont, kind);
    }
}

void COsdControl::ShowPreview(const OnScreenSettings& settings, const char* text)
{
    ShowTextWith(settings, text, FALSE, OSD_KIND_TEXT);
}

void COsdControl::ShowTextWith(const OnScreenSettings& settings, const char* text, BOOL symbolFont, uint32_t kind)
{
    if (!s_text.Available || !text || !*text) {
        return;
    }
    char copy[OSD_TEXT_MAX + 1];
    CopyTextWhole(copy, sizeof(copy), text);
    OsdRecord record;
    FillTextRecord(record, settings, copy, symbolFont, kind);

    // The keyboard program (or this one, when it plays that role) may still
    // show an earlier display: take it away first.
    if (HWND keyboard = FindWindowA(KEYBOARD_WINDOW_CLASS, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(keyboard, &pid);
        if (pid) {
            HideOsdWindowOf(pid);
        }
    }
    Call(s_text, s_text.Mutex, record);
}

void COsdControl::ShowBar(DisplayLibrary& library, HANDLE mutex, uint32_t picture, const BarValues& bar,
                          BOOL repeat)
{
    OnScreenSettings settings;
    if (!library.Available || !PrepareDisplay(settings)) {
        return;
    }
    OsdRecord record;
    FillBarRecord(record, settings, picture, bar, repeat);
    Call(library, mutex, record);
}

void COsdControl::ShowVolumeLevel(uint32_t level, BOOL repeat)
{
    ShowBar(s_text, s_text.Mutex, OSD_PICTURE_NONE, MixerBarValues(level), repeat);
}

void COsdControl::ShowVolumeImage(uint32_t level, BOOL repeat)
{
    ShowBar(s_image, s_image.Mutex, OSD_PICTURE_VOLUME, MixerBarValues(level), repeat);
}

void COsdControl::ShowMuteImage(uint32_t level)
{
    ShowBar(s_image, s_image.Mutex, OSD_PICTURE_MUTE, MixerBarValues(level), FALSE);
}

void COsdControl::ShowVolumeSteps(const VolumeRecord& volume, BOOL repeat)
{
    BarValues bar = EndpointBarValues(volume.Step, volume.StepCount);
    if (volume.Kind == VOLUME_KIND_BAR || volume.Kind == VOLUME_KIND_MUTE) {
        ShowBar(s_image, s_image.Mutex, volume.Kind, bar, repeat);
    } else {
        ShowBar(s_text, s_image.Mutex, OSD_PICTURE_NONE, bar, repeat);
    }
}

void COsdControl::HideOsdWindows()
{
    HideOsdWindowOf(GetCurrentProcessId());
}

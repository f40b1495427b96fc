#pragma once
// COsdControl: shows short texts, volume bars and mute pictures on top of the
// screen through the two display libraries (orlanosd.dll for texts and plain
// bars, OSDPIC.dll for pictures). Every instance shares one library state,
// loaded with the first instance and released with the last. Call from the
// main thread.

#include <windows.h>

#include "config/config.h"
#include "osd/client_osd_request.h"
#include "osd/osd_record.h"
#include "osd/osd_records.h"
#include "osd/volume_record.h"

#include <cstdint>

class COsdControl : public CConfig {
public:
    COsdControl();
    ~COsdControl() override;

    // A text at the top right; symbolFont shows it in the symbol font.
    void ShowText(const char* text, BOOL symbolFont);
    // A text or symbol sent by a client program; its flags choose the place.
    void ShowClientRequest(const ClientOsdRequest* request);
    // Mixer volume 0..65535: a plain bar through the text library.
    void ShowVolumeLevel(uint32_t level, BOOL repeat);
    // Mixer volume 0..65535: the volume picture.
    void ShowVolumeImage(uint32_t level, BOOL repeat);
    // Mixer volume 0..65535: the mute picture, for the configured time.
    void ShowMuteImage(uint32_t level);
    // Endpoint volume: Kind 2 or 3 as a picture, anything else as a plain bar.
    void ShowVolumeSteps(const VolumeRecord& volume, BOOL repeat);
    // A text at the top right drawn with the given settings rather than the
    // user's stored ones, whatever their on/off switch says: the settings
    // utility's preview of settings not yet saved.
    void ShowPreview(const OnScreenSettings& settings, const char* text);
    // Hides the display window of this process.
    void HideOsdWindows();

    // Whether the libraries were loaded with their required export.
    static uint32_t TextAvailable();
    static uint32_t ImageAvailable();

private:
    struct DisplayLibrary {
        HMODULE Module = nullptr;
        OsdDisplayFunction Plain = nullptr;  // required
        OsdDisplayFunction Ansi = nullptr;   // used instead when present
        uint32_t Available = 0;
        HANDLE Mutex = nullptr;
    };

    static void LoadLibraries();
    static void Load(DisplayLibrary& library, const char* fileName, const char* plainExport, const char* ansiExport,
                     const char* mutexName);
    static void Release(DisplayLibrary& library);
    // Re-reads the user's settings; false when the display is switched off.
    static bool PrepareDisplay(OnScreenSettings& settings);
    static void Call(DisplayLibrary& library, HANDLE mutex, OsdRecord& record);
    static void ShowTextRecord(const char* text, BOOL symbolFont, uint32_t kind);
    static void ShowTextWith(const OnScreenSettings& settings, const char* text, BOOL symbolFont, uint32_t kind);
    static void ShowBar(DisplayLibrary& library, HANDLE mutex, uint32_t picture, const BarValues& bar, BOOL repeat);

    static LONG s_instances;
    static DisplayLibrary s_text;
    static DisplayLibrary s_image;
};

// Named mutexes that serialise calls into the libraries, shared with any
// other program that uses them.
constexpr char OSD_TEXT_MUTEX[] = "MutexOnScreen";
constexpr char OSD_IMAGE_MUTEX[] = "MutexOnScreenImage";

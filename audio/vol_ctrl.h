#pragma once
// CVolCtrl: feedback for the volume and mute buttons. Windows changes the
// volume and mute state itself; this controller reads the result through
// CMixerCtrl once it has taken effect and shows it on screen: a volume bar
// (refreshed every 150 ms while a volume button is held), a mute picture or
// a text. The endpoint forms serve Vista and later, the Legacy forms the
// mixer of older Windows. Main thread only: all its timers are delivered by
// the main thread's message loop.

#include <windows.h>

#include "audio/mixer_ctrl.h"
#include "config/config.h"
#include "osd/osd_control.h"

#include <cstdint>

// How long Windows is given to apply a button before its result is read,
// and the refresh period of a held volume button.
constexpr UINT VOLUME_FEEDBACK_DELAY_MS = 150;
constexpr UINT VOLUME_REPEAT_MS = 150;
// How long "Mute OFF" stays before the volume bar replaces it, when a
// volume button unmutes on Vista.
constexpr DWORD UNMUTE_TEXT_MS = 400;

class CVolCtrl : public CConfig {
public:
    CVolCtrl();
    ~CVolCtrl() override;

    CVolCtrl(const CVolCtrl&) = delete;
    CVolCtrl& operator=(const CVolCtrl&) = delete;

    // state: 1 pressed, 0 released. Nothing happens unless the mixer's back
    // end is ready and the display exists.
    void OnMuteKey(int state);
    void OnMuteKeyLegacy(int state);
    void OnVolumeKey(int state);
    void OnVolumeKeyLegacy(int state);
    // Older Windows: clears the mute state on a volume press when the
    // installer asked for it (MuteOffByVolume).
    void UnmuteForVolume();
    void HideOsd();
    // The endpoint's volume as a bar; repeat gives it the short display time
    // of a held button.
    void ShowEndpointVolume(BOOL repeat);

    // The repeat timer's SetTimer result; 0 when none runs.
    UINT_PTR RepeatTimerActive = 0;

    // One mixer and one display for the process, made with the first
    // controller and deleted with the last.
    static CMixerCtrl* VolumeMixer;
    static COsdControl* VolumeOsd;

private:
    enum class Form { Endpoint, Legacy };

    static bool CanShow();
    void ReopenIfDeviceChanged(Form form);
    void OnMuteButton(int state, Form form);
    void StartMuteTimer(Form form);
    void ShowMuteState(Form form);
    // The endpoint's mute state and volume step, for a display of that kind.
    static VolumeRecord ReadEndpoint(uint32_t kind);
    void OnVolumeButton(int state, Form form);
    void StartRepeat(Form form);
    void StopRepeat();
    void ShowVolume(Form form, BOOL repeat);
    void ShowMixerVolume(BOOL repeat);

    static void CALLBACK MuteTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
    static void CALLBACK RepeatTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

    // Which form the running repeat timer refreshes, and the window it runs
    // on (null: a thread timer, when there is no main window).
    Form m_repeatForm = Form::Endpoint;
    HWND m_repeatWindow = nullptr;

    static LONG s_instances;
    // The controller whose repeat timer runs; the timer id is one per window.
    static CVolCtrl* s_repeatOwner;
};

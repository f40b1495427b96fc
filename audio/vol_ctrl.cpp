#include "audio/vol_ctrl.h"

#include "base/app_context.h"
#include "base/messages.h"
#include "config/os_class.h"

#include <new>

namespace {

// The mute timers are thread timers without a window, so their procedure
// gets only the timer id: this table ties each running one to its
// controller and to the form it shows. Main thread only.
struct MuteTimer {
    UINT_PTR id;
    CVolCtrl* owner;
    bool legacy;
};
// Far more than a finger can press within one delay.
constexpr int MAX_MUTE_TIMERS = 16;
MuteTimer g_muteTimers[MAX_MUTE_TIMERS];

}  // namespace

LONG CVolCtrl::s_instances = 0;
CVolCtrl* CVolCtrl::s_repeatOwner = nullptr;
CMixerCtrl* CVolCtrl::VolumeMixer = nullptr;
COsdControl* CVolCtrl::VolumeOsd = nullptr;

CVolCtrl::CVolCtrl()
{
    if (s_instances++ == 0) {
        VolumeMixer = new (std::nothrow) CMixerCtrl();
        VolumeOsd = new (std::nothrow) COsdControl();
    }
}

CVolCtrl::~CVolCtrl()
{
    // No timer of this controller may fire once it is gone.
    StopRepeat();
    for (MuteTimer& timer : g_muteTimers) {
        if (timer.id && timer.owner == this) {
            KillTimer(nullptr, timer.id);
            timer = MuteTimer{};
        }
    }
    if (--s_instances == 0) {
        delete VolumeOsd;
        VolumeOsd = nullptr;
        delete VolumeMixer;
        VolumeMixer = nullptr;
    }
}

bool CVolCtrl::CanShow() { return VolumeMixer && VolumeMixer->Ready && VolumeOsd; }

void CVolCtrl::ReopenIfDeviceChanged(Form form)
{
    if (!VolumeMixer->HasOutputDeviceChanged()) {
        return;
    }
    // The interfaces and handles still point at the device that went away.
    if (form == Form::Endpoint) {
        VolumeMixer->ReleaseEndpoint();
        VolumeMixer->InitEndpoint();
    } else {
        VolumeMixer->ReleaseMixer();
        VolumeMixer->OpenMixer();
    }
}

// ---- Mute ---------------------------------------------------------------------

void CVolCtrl::OnMuteKey(int state) { OnMuteButton(state, Form::Endpoint); }

void CVolCtrl::OnMuteKeyLegacy(int state) { OnMuteButton(state, Form::Legacy); }

void CVolCtrl::OnMuteButton(int state, Form form)
{
    if (!state || !CanShow()) {
        return;
    }
    ReopenIfDeviceChanged(form);
    StartMuteTimer(form);
}

void CVolCtrl::StartMuteTimer(Form form)
{
    // Windows applies the button while this timer runs; the state is read
    // when it fires.
    UINT_PTR id = SetTimer(nullptr, 0, VOLUME_FEEDBACK_DELAY_MS, MuteTimerProc);
    if (!id) {
        return;
    }
    for (MuteTimer& timer : g_muteTimers) {
        if (timer.id == 0) {
            timer = MuteTimer{id, this, form == Form::Legacy};
            return;
        }
    }
    KillTimer(nullptr, id);
}

void CALLBACK CVolCtrl::MuteTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    // One shot: killed before anything else, so it cannot fire again.
    KillTimer(nullptr, id);
    for (MuteTimer& timer : g_muteTimers) {
        if (timer.id == id) {
            MuteTimer fired = timer;
            timer = MuteTimer{};
            fired.owner->ShowMuteState(fired.legacy ? Form::Legacy : Form::Endpoint);
            return;
        }
    }
}

void CVolCtrl::ShowMuteState(Form form)
{
    if (!CanShow()) {
        return;
    }
    const bool pictures = COsdControl::ImageAvailable() != 0;
    const OnScreenTexts& texts = GetOnScreenTexts();

    if (form == Form::Legacy) {
        if (VolumeMixer->GetMute() == 0) {
            if (pictures) {
                VolumeOsd->ShowVolumeImage(VolumeMixer->GetVolume(), FALSE);
            } else {
                VolumeOsd->ShowText(texts.MuteOffString, FALSE);
            }
        } else if (pictures) {
            VolumeOsd->ShowMuteImage(VolumeMixer->GetVolume());
        } else {
            VolumeOsd->ShowText(texts.MuteOnString, FALSE);
        }
        return;
    }

    VolumeRecord record = ReadEndpoint(VOLUME_KIND_MUTE);
    if (!record.Muted) {
        if (pictures) {
            ShowEndpointVolume(FALSE);
        } else {
            VolumeOsd->ShowText(texts.MuteOffString, FALSE);
        }
    } else if (pictures) {
        VolumeOsd->ShowVolumeSteps(record, FALSE);
    } else {
        VolumeOsd->ShowText(texts.MuteOnString, FALSE);
    }
}

// ---- Volume -------------------------------------------------------------------

VolumeRecord CVolCtrl::ReadEndpoint(uint32_t kind)
{
    // Failed reads show as zeros.
    BOOL muted = FALSE;
    UINT step = 0;
    UINT stepCount = 0;
    VolumeMixer->GetEndpointMute(&muted);
    if (!VolumeMixer->GetEndpointStepInfo(&step, &stepCount)) {
        step = stepCount = 0;
    }
    return VolumeRecord{kind, step, stepCount, muted ? 1u : 0u};
}

void CVolCtrl::ShowEndpointVolume(BOOL repeat)
{
    if (!CanShow()) {
        return;
    }
    const bool pictures = COsdControl::ImageAvailable() != 0;
    VolumeRecord record = ReadEndpoint(pictures ? VOLUME_KIND_BAR : VOLUME_KIND_PLAIN);

    // Vista leaves the mute state alone when the volume changes; the user
    // expects to hear the volume being set.
    if (record.Muted && GetOsClass() < OS_CLASS_WIN7) {
        record.Muted = 0;
        VolumeMixer->SetEndpointMute(FALSE);
        if (!pictures) {
            // The bar below replaces the text in the same library: give the
            // text a moment on screen first.
            VolumeOsd->ShowText(GetOnScreenTexts().MuteOffString, FALSE);
            Sleep(UNMUTE_TEXT_MS);
        }
    }
    VolumeOsd->ShowVolumeSteps(record, repeat);
}

void CVolCtrl::ShowMixerVolume(BOOL repeat)
{
    if (!CanShow()) {
        return;
    }
    uint32_t level = VolumeMixer->GetVolume();
    if (COsdControl::ImageAvailable()) {
        VolumeOsd->ShowVolumeImage(level, repeat);
    } else {
        VolumeOsd->ShowVolumeLevel(level, repeat);
    }
}

void CVolCtrl::OnVolumeKey(int state) { OnVolumeButton(state, Form::Endpoint); }

void CVolCtrl::OnVolumeKeyLegacy(int state) { OnVolumeButton(state, Form::Legacy); }

void CVolCtrl::OnVolumeButton(int state, Form form)
{
    if (!state) {
        // A release ends the repeat even if the display went away meanwhile,
        // with a last display in the form of the refreshes before it: the
        // radio receiver's held volume key is ended through the endpoint
        // form also where the mixer's form pressed it.
        if (RepeatTimerActive) {
            const Form shown = m_repeatForm;
            StopRepeat();
            ShowVolume(shown, FALSE);
        }
        return;
    }
    if (!CanShow()) {
        return;
    }
    ReopenIfDeviceChanged(form);
    StartRepeat(form);
}

void CVolCtrl::ShowVolume(Form form, BOOL repeat)
{
    if (form == Form::Legacy) {
        ShowMixerVolume(repeat);
    } else {
        ShowEndpointVolume(repeat);
    }
}

void CVolCtrl::UnmuteForVolume()
{
    if (!CanShow()) {
        return;
    }
    if (VolumeMixer->GetMute() == 0 || GetOnScreenTexts().MuteOffByVolume == 0) {
        return;
    }
    if (!COsdControl::ImageAvailable()) {
        VolumeOsd->ShowText(GetOnScreenTexts().MuteOffString, FALSE);
    }
    VolumeMixer->UnmuteIfMuted();
}

void CVolCtrl::HideOsd()
{
    if (VolumeOsd) {
        VolumeOsd->HideOsdWindows();
    }
}

// ---- The repeat timer ---------------------------------------------------------

void CVolCtrl::StartRepeat(Form form)
{
    // The timer id is one per window: a repeat of another controller ends
    // here, and a second press restarts this one.
    if (s_repeatOwner && s_repeatOwner != this) {
        s_repeatOwner->StopRepeat();
    }
    StopRepeat();
    // Its own procedure, so the tick never reaches the window procedure.
    // Without a main window it is a thread timer with an id of its own.
    HWND window = GetAppMainWindow();
    UINT_PTR result = SetTimer(window, IDT_VOLUME_REPEAT, VOLUME_REPEAT_MS, RepeatTimerProc);
    if (!result) {
        return;
    }
    RepeatTimerActive = result;
    m_repeatWindow = window;
    m_repeatForm = form;
    s_repeatOwner = this;
}

void CVolCtrl::StopRepeat()
{
    if (!RepeatTimerActive) {
        return;
    }
    KillTimer(m_repeatWindow, m_repeatWindow ? IDT_VOLUME_REPEAT : RepeatTimerActive);
    RepeatTimerActive = 0;
    m_repeatWindow = nullptr;
    if (s_repeatOwner == this) {
        s_repeatOwner = nullptr;
    }
}

void CALLBACK CVolCtrl::RepeatTimerProc(HWND window, UINT, UINT_PTR id, DWORD)
{
    CVolCtrl* owner = s_repeatOwner;
    if (!owner || !owner->RepeatTimerActive || (!window && id != owner->RepeatTimerActive)) {
        // A tick that was already on its way when its repeat ended.
        KillTimer(window, id);
        return;
    }
    owner->ShowVolume(owner->m_repeatForm, TRUE);
}

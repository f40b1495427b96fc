#include "audio/mixer_ctrl.h"

#include "config/os_class.h"
#include "osd/osd_records.h"  // MIXER_VOLUME_MAX, the scale the display expects too

#include <cstring>

namespace {

// The order the control table has always had; the volume and mute entries
// are found by their position.
constexpr DWORD CONTROL_TYPE_ORDER[MIXER_CONTROL_TYPES] = {
    MIXERCONTROL_CONTROLTYPE_VOLUME, MIXERCONTROL_CONTROLTYPE_BASS,     MIXERCONTROL_CONTROLTYPE_TREBLE,
    MIXERCONTROL_CONTROLTYPE_PAN,    MIXERCONTROL_CONTROLTYPE_MUTE,     MIXERCONTROL_CONTROLTYPE_LOUDNESS,
    MIXERCONTROL_CONTROLTYPE_BASS_BOOST,
};

constexpr UINT WAVE_OUTPUT_DEVICE = 0;

bool IsEndpointSystem() { return CConfig::GetOsClass() >= OS_CLASS_VISTA; }

// Product name of wave output device 0; false when there is none.
bool ReadOutputDeviceName(char (&name)[OUTPUT_DEVICE_NAME_SIZE])
{
    if (waveOutGetNumDevs() == 0) {
        return false;
    }
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(WAVE_OUTPUT_DEVICE, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
        return false;
    }
    static_assert(sizeof(caps.szPname) == OUTPUT_DEVICE_NAME_SIZE);
    std::memcpy(name, caps.szPname, sizeof(name));
    name[sizeof(name) - 1] = '\0';
    return true;
}

}  // namespace

CMixerCtrl::CMixerCtrl()
{
    if (IsEndpointSystem()) {
        Ready = InitEndpoint();
    }
    ClearMixerState();
    if (!IsEndpointSystem()) {
        Ready = 0;
    }
    if (mixerGetNumDevs() == 0) {
        return;
    }
    // The endpoint systems open the mixer as well (the test-mode controller
    // uses it on every version), but their readiness is the endpoint's.
    if (OpenMixer() && !IsEndpointSystem()) {
        Ready = 1;
    }
}

CMixerCtrl::~CMixerCtrl()
{
    // Whatever was opened is given back, also the mixer of an endpoint
    // system and a back end that only half opened.
    ReleaseMixer();
    ReleaseEndpoint();
    Ready = 0;
}

void CMixerCtrl::ClearMixerState()
{
    Mixer.reset();
    MixerCaps = MIXERCAPSA{};
    MixerId = 0;
    DestinationLine = MIXERLINEA{};
    LineControls = MIXERLINECONTROLSA{};
    std::memcpy(ControlTypes, CONTROL_TYPE_ORDER, sizeof(ControlTypes));
    for (MIXERCONTROLA& control : Controls) {
        control = MIXERCONTROLA{};
    }
}

// ---- Endpoint back end ------------------------------------------------------

BOOL CMixerCtrl::InitEndpoint()
{
    if (!ComApartment.Enter()) {
        return FALSE;
    }
    IMMDeviceEnumerator* enumerator = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerator)))) {
        return FALSE;
    }
    Enumerator.reset(enumerator);

    IMMDevice* device = nullptr;
    if (FAILED(Enumerator.get()->GetDefaultAudioEndpoint(eRender, eMultimedia, &device))) {
        // A machine without sound output.
        return FALSE;
    }
    Device.reset(device);

    IAudioEndpointVolume* volume = nullptr;
    if (FAILED(Device.get()->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(&volume)))) {
        return FALSE;
    }
    EndpointVolume.reset(volume);
    return TRUE;
}

void CMixerCtrl::ReleaseEndpoint()
{
    EndpointVolume.reset();
    Device.reset();
    Enumerator.reset();
    ComApartment.Leave();
}

BOOL CMixerCtrl::GetEndpointMute(BOOL* muted)
{
    return EndpointVolume && muted && SUCCEEDED(EndpointVolume.get()->GetMute(muted)) ? TRUE : FALSE;
}

BOOL CMixerCtrl::SetEndpointMute(BOOL mute)
{
    return EndpointVolume && SUCCEEDED(EndpointVolume.get()->SetMute(mute, &GUID_NULL)) ? TRUE : FALSE;
}

BOOL CMixerCtrl::GetEndpointStepInfo(UINT* step, UINT* stepCount)
{
    return EndpointVolume && step && stepCount && SUCCEEDED(EndpointVolume.get()->GetVolumeStepInfo(step, stepCount))
               ? TRUE
               : FALSE;
}

// ---- Mixer back end ---------------------------------------------------------

BOOL CMixerCtrl::OpenMixer()
{
    if (waveOutGetNumDevs() == 0) {
        return FALSE;
    }
    ReadOutputDeviceName(OutputDeviceName);

    // A mixer still open from before is given back first, not leaked.
    CloseMixer();
    if (mixerGetID(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(WAVE_OUTPUT_DEVICE)), &MixerId,
                   MIXER_OBJECTF_WAVEOUT) != MMSYSERR_NOERROR) {
        return FALSE;
    }
    HMIXER mixer = nullptr;
    if (mixerOpen(&mixer, MixerId, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) {
        return FALSE;
    }
    Mixer.reset(mixer);
    auto object = reinterpret_cast<HMIXEROBJ>(mixer);

    mixerGetDevCapsA(MixerId, &MixerCaps, sizeof(MixerCaps));
    DestinationLine = MIXERLINEA{};
    DestinationLine.cbStruct = sizeof(DestinationLine);
    DestinationLine.dwDestination = 0;
    mixerGetLineInfoA(object, &DestinationLine, MIXER_GETLINEINFOF_DESTINATION);

    for (int i = 0; i < MIXER_CONTROL_TYPES; ++i) {
        Controls[i] = MIXERCONTROLA{};
        LineControls = MIXERLINECONTROLSA{};
        LineControls.cbStruct = sizeof(LineControls);
        LineControls.dwLineID = DestinationLine.dwLineID;
        LineControls.dwControlType = ControlTypes[i];
        LineControls.cControls = 1;
        LineControls.cbmxctrl = sizeof(MIXERCONTROLA);
        LineControls.pamxctrl = &Controls[i];
        if (mixerGetLineControlsA(object, &LineControls, MIXER_GETLINECONTROLSF_ONEBYTYPE) != MMSYSERR_NOERROR) {
            Controls[i] = MIXERCONTROLA{};
        }
    }
    return TRUE;
}

void CMixerCtrl::CloseMixer() { Mixer.reset(); }

void CMixerCtrl::ReleaseMixer() { CloseMixer(); }

bool CMixerCtrl::HasControl(int index) const
{
    // Control identifiers start at 0, so a missing control cannot be told by
    // its identifier; its type is 0 instead of the one asked for.
    return Mixer && Controls[index].dwControlType == ControlTypes[index] && ControlTypes[index] != 0;
}

MMRESULT CMixerCtrl::ReadControl(int index, uint32_t* value)
{
    if (!HasControl(index)) {
        return MIXERR_INVALCONTROL;
    }
    MIXERCONTROLDETAILS_UNSIGNED detail{};
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof(details);
    details.dwControlID = Controls[index].dwControlID;
    details.cChannels = 1;  // one uniform value for all channels
    details.cbDetails = sizeof(detail);
    details.paDetails = &detail;
    MMRESULT rc =
        mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(Mixer.get()), &details, MIXER_GETCONTROLDETAILSF_VALUE);
    if (rc == MMSYSERR_NOERROR) {
        *value = detail.dwValue;
    }
    return rc;
}

uint32_t CMixerCtrl::GetMute()
{
    uint32_t muted = 0;
    if (Ready) {
        ReadControl(MIXER_MUTE_CONTROL, &muted);
    }
    return muted;
}

uint32_t CMixerCtrl::GetVolume()
{
    uint32_t volume = 0;
    if (!Ready || ReadControl(MIXER_VOLUME_CONTROL, &volume) != MMSYSERR_NOERROR) {
        return 0;
    }
    return volume > MIXER_VOLUME_MAX ? MIXER_VOLUME_MAX : volume;
}

MMRESULT CMixerCtrl::ToggleMute()
{
    uint32_t muted = 0;
    MMRESULT rc = ReadControl(MIXER_MUTE_CONTROL, &muted);
    if (rc != MMSYSERR_NOERROR) {
        // Without the present state a toggle would be a guess.
        return rc;
    }
    MIXERCONTROLDETAILS_BOOLEAN detail{};
    detail.fValue = muted ? 0 : 1;
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof(details);
    details.dwControlID = Controls[MIXER_MUTE_CONTROL].dwControlID;
    details.cChannels = 1;
    details.cbDetails = sizeof(detail);
    details.paDetails = &detail;
    return mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(Mixer.get()), &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

void CMixerCtrl::UnmuteIfMuted()
{
    if (Ready && GetMute() != 0) {
        ToggleMute();
    }
}

// ---- Both ---------------------------------------------------------------------

BOOL CMixerCtrl::HasOutputDeviceChanged()
{
    char name[OUTPUT_DEVICE_NAME_SIZE] = {};
    if (!ReadOutputDeviceName(name)) {
        return FALSE;
    }
    if (OutputDeviceName[0] != '\0' && std::strcmp(OutputDeviceName, name) == 0) {
        return FALSE;
    }
    std::memcpy(OutputDeviceName, name, sizeof(OutputDeviceName));
    return TRUE;
}

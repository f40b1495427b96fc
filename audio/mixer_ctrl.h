#pragma once
// CMixerCtrl: reads the volume and mute state of the default sound output,
// so that the volume and mute buttons can show it. Windows itself changes
// volume and mute when the receiver reports those buttons; this class only
// reads the result (and clears the mute state on two paths).
//
// Two back ends, chosen by the Windows version: the audio endpoint of Core
// Audio (Vista and later: mute and a volume step out of a step count), and
// the winmm mixer of wave output device 0 (older Windows: mute and a volume
// of 0..65535). Main thread only: the endpoint lives in that thread's COM
// apartment.

#include <windows.h>

#include <mmsystem.h>

#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include "base/scoped.h"
#include "base/scoped_com.h"
#include "config/config.h"

#include <cstdint>

constexpr int MIXER_CONTROL_TYPES = 7;
// Where the two controls that matter sit in ControlTypes and Controls.
constexpr int MIXER_VOLUME_CONTROL = 0;
constexpr int MIXER_MUTE_CONTROL = 4;
// Product names of wave devices (WAVEOUTCAPSA::szPname).
constexpr size_t OUTPUT_DEVICE_NAME_SIZE = 32;

struct MixerHandleTraits {
    using Handle = HMIXER;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { mixerClose(h); }
};
using ScopedMixer = Scoped<MixerHandleTraits>;

class CMixerCtrl : public CConfig {
public:
    CMixerCtrl();
    ~CMixerCtrl() override;

    // Endpoint back end. InitEndpoint enters COM and takes the default render
    // endpoint's volume interface; on a failure what was obtained so far is
    // kept until ReleaseEndpoint, which gives up everything and leaves COM.
    BOOL InitEndpoint();
    void ReleaseEndpoint();
    BOOL GetEndpointMute(BOOL* muted);
    BOOL SetEndpointMute(BOOL mute);
    BOOL GetEndpointStepInfo(UINT* step, UINT* stepCount);

    // Mixer back end.
    BOOL OpenMixer();
    void CloseMixer();
    void ReleaseMixer();
    // The mute control's value; 0 when not Ready, without a mute control or
    // when the read fails.
    uint32_t GetMute();
    // The volume, 0..65535; 0 when not Ready or when the read fails.
    uint32_t GetVolume();
    // Writes the logical negation of the mute value read.
    MMRESULT ToggleMute();
    void UnmuteIfMuted();

    // Whether wave output device 0 is another device than last seen; the
    // new name is remembered, so a change is reported once.
    BOOL HasOutputDeviceChanged();

    // Mixer state.
    MIXERCAPSA MixerCaps{};
    ScopedMixer Mixer;
    UINT MixerId = 0;
    MIXERLINEA DestinationLine{};
    MIXERLINECONTROLSA LineControls{};
    uint32_t ControlTypes[MIXER_CONTROL_TYPES]{};
    // The control of each type on the destination line; a type the line
    // lacks stays zero.
    MIXERCONTROLA Controls[MIXER_CONTROL_TYPES]{};

    // The back end in use was opened.
    uint32_t Ready = 0;
    char OutputDeviceName[OUTPUT_DEVICE_NAME_SIZE]{};

    // Endpoint state. Declared after the apartment, so that they are let go
    // of before it is left.
    ScopedComApartment ComApartment;
    ScopedCom<IMMDeviceEnumerator> Enumerator;
    ScopedCom<IMMDevice> Device;
    ScopedCom<IAudioEndpointVolume> EndpointVolume;

private:
    bool HasControl(int index) const;
    MMRESULT ReadControl(int index, uint32_t* value);
    void ClearMixerState();
};

#pragma once
// What a controller above the device manager may ask of the receiver about a
// TV launch, without owning or seeing the device manager: the launch
// handshake and the TV-ready notice. The program hands one of these down to
// the launcher; CReceiverReports is the real one.

#include <windows.h>

#include <cstdint>

class IReceiverReports {
public:
    virtual ~IReceiverReports() = default;
    // Report 2 written, then read back; *state is the receiver's state byte.
    // FALSE when either step failed.
    virtual BOOL LaunchHandshake(uint8_t* state) = 0;
    // The TV-ready notice (report 2, 9 bytes).
    virtual BOOL TvReady() = 0;
};

// The feature reports of hid/feature_reports, each sent while holding the
// mutex that guards every call into the device manager (so that no other
// program of the session reopens the receiver halfway through); a null
// mutex guards nothing.
class CReceiverReports : public IReceiverReports {
public:
    explicit CReceiverReports(HANDLE deviceManagerMutex) : m_mutex(deviceManagerMutex) {}

    BOOL LaunchHandshake(uint8_t* state) override;
    BOOL TvReady() override;

private:
    HANDLE m_mutex;
};

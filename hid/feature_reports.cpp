#include "hid/feature_reports.h"

#include "hid/feature_report_layout.h"
#include "hid/hid_backend.h"

#include <new>

HANDLE LastFeatureHandle = nullptr;

BOOL ReadFeature(HANDLE handle, void* buffer, uint32_t length)
{
    LastFeatureHandle = handle;
    if (!buffer || length == 0 || !handle || handle == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    return GetHidBackend().GetFeature(handle, buffer, length);
}

BOOL WriteFeature(void* buffer, uint32_t length)
{
    if (!buffer || length == 0 || !LastFeatureHandle || LastFeatureHandle == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    return GetHidBackend().SetFeature(LastFeatureHandle, buffer, length);
}

BOOL SendWakeReply(const HidDeviceInfo& device)
{
    uint32_t length = device.Caps.FeatureReportByteLength;
    if (length < WAKE_REPLY_MIN_LENGTH) {
        return FALSE;  // too short to carry the reply
    }
    std::unique_ptr<uint8_t[]> reply = NewFeatureBuffer(length);
    if (!reply) {
        return FALSE;
    }
    if (!BuildWakeReply(device.Input.Buffer, device.Input.Length, reply.get(), length)) {
        return FALSE;
    }
    return WriteFeature(reply.get(), length);
}

BOOL SendLaunchHandshake(uint8_t* state)
{
    uint8_t report[LAUNCH_HANDSHAKE_LENGTH];
    BuildLaunchHandshake(report);
    if (!WriteFeature(report, sizeof(report))) {
        return FALSE;
    }
    uint8_t answer[LAUNCH_HANDSHAKE_LENGTH] = {LAUNCH_REPORT_ID};
    if (!ReadFeature(LastFeatureHandle, answer, sizeof(answer))) {
        return FALSE;
    }
    if (state) {
        *state = answer[LAUNCH_STATE_BYTE];
    }
    return TRUE;
}

BOOL SendTvReady()
{
    uint8_t report[TV_READY_LENGTH];
    BuildTvReady(report);
    return WriteFeature(report, sizeof(report));
}

std::unique_ptr<uint8_t[]> NewFeatureBuffer(uint32_t length)
{
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[length ? length : 1]());
}

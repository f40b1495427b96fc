#include "base/power.h"

#include <powrprof.h>

namespace {

volatile LONG g_override = -1;

// AoAc sits after 20 one-byte fields of the record; older SDK headers still
// call it a spare byte, so it is read by its place.
constexpr size_t AOAC_OFFSET = 20;
static_assert(sizeof(SYSTEM_POWER_CAPABILITIES) == 76, "the record the system fills is 76 bytes");

}  // namespace

BOOL IsConnectedStandbySystem()
{
    LONG forced = g_override;
    if (forced >= 0) {
        return forced ? TRUE : FALSE;
    }
    BYTE caps[sizeof(SYSTEM_POWER_CAPABILITIES)] = {};
    if (CallNtPowerInformation(SystemPowerCapabilities, nullptr, 0, caps, sizeof(caps)) != 0) {
        return FALSE;
    }
    return caps[AOAC_OFFSET] ? TRUE : FALSE;
}

void OverrideConnectedStandbyForTests(int value) { InterlockedExchange(&g_override, value); }

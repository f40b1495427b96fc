#pragma once
// Whether this PC has connected standby (it stays on the network with the
// display off).

#include <windows.h>

BOOL IsConnectedStandbySystem();

// Tests only: 0 or 1 replaces the system's answer, -1 asks the system again.
void OverrideConnectedStandbyForTests(int value);

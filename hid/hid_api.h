#pragma once
// The HID headers of the platform. Some SDKs declare the HidP_ functions
// without C linkage for C++; the wrapper makes every SDK agree.

#include <windows.h>

extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

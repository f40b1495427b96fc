#include "config/os_class.h"

uint32_t ClassifyOsVersion(uint32_t major, uint32_t minor, uint32_t build)
{
    const uint32_t b = build & 0xFFFFu;
    if (major == 4 && minor == 0) {
        switch (b) {
        case 950: return 1;
        case 1111: return 2;
        case 1212: return 3;
        case 1381: return 6;
        default: return 0;
        }
    }
    if (major == 4 && minor == 10) {
        if (b == 1998) return 4;
        if (b == 2222) return 5;
        return 0;
    }
    if (major == 4 && minor == 90) return b > 2222 ? 8 : 0;
    if (major == 5 && minor == 0) return b > 2195 ? 7 : 0;
    if (major == 5 && minor == 1) return b > 2505 ? 9 : 0;
    if (major == 6) {
        switch (minor) {
        case 0: return OS_CLASS_VISTA;
        case 1: return OS_CLASS_WIN7;
        case 2: return OS_CLASS_WIN8;
        default: return OS_CLASS_LATER;
        }
    }
    if (major > 6) return OS_CLASS_LATER;
    return 0;
}

#pragma once
// The HID collections present, as the device backend sees them (the Windows
// HID stack, or the virtual receiver KOVA_VIRTUAL_RECEIVER names), with what
// the receiver test looks at.

#include <cstdint>
#include <string>
#include <vector>

struct CollectionInfo {
    std::string Path;
    bool Opened = false;  // could be opened and asked; the rest is 0 otherwise
    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t UsagePage = 0;
    uint16_t Usage = 0;
};

std::vector<CollectionInfo> ListCollections();

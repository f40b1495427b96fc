#include "hid/hid_device_info.h"

#include "hid/hid_backend.h"

#include <cstdlib>

namespace {

void FreeReportSet(HidReportSet& set)
{
    if (set.Items) {
        for (uint32_t i = 0; i < set.ItemCount; ++i) {
            std::free(set.Items[i].UsageList);
        }
    }
    std::free(set.Items);
    std::free(set.ButtonCaps);
    std::free(set.ValueCaps);
    std::free(set.Buffer);
    set = HidReportSet{};
}

// Buffer, capabilities and data items of one report kind.
bool FillReportSet(HidBackend& backend, PHIDP_PREPARSED_DATA preparsed, HIDP_REPORT_TYPE type, USHORT length,
                   USHORT buttonCapCount, USHORT valueCapCount, HidReportSet& set)
{
    set.Length = length;
    // One byte at least, so an empty report kind still has a buffer to point at.
    set.Buffer = static_cast<uint8_t*>(std::calloc(length ? length : 1, 1));
    if (!set.Buffer) {
        return false;
    }
    if (buttonCapCount) {
        set.ButtonCaps = static_cast<HIDP_BUTTON_CAPS*>(std::calloc(buttonCapCount, sizeof(HIDP_BUTTON_CAPS)));
        if (!set.ButtonCaps) {
            return false;
        }
        USHORT n = buttonCapCount;
        NTSTATUS st = backend.GetButtonCaps(type, set.ButtonCaps, &n, preparsed);
        if (st != HIDP_STATUS_SUCCESS && st != HIDP_STATUS_USAGE_NOT_FOUND) {
            return false;
        }
        set.ButtonCapCount = st == HIDP_STATUS_SUCCESS && n <= buttonCapCount ? n : 0;
    }
    if (valueCapCount) {
        set.ValueCaps = static_cast<HIDP_VALUE_CAPS*>(std::calloc(valueCapCount, sizeof(HIDP_VALUE_CAPS)));
        if (!set.ValueCaps) {
            return false;
        }
        USHORT n = valueCapCount;
        NTSTATUS st = backend.GetValueCaps(type, set.ValueCaps, &n, preparsed);
        if (st != HIDP_STATUS_SUCCESS && st != HIDP_STATUS_USAGE_NOT_FOUND) {
            return false;
        }
        set.ValueCapCount = st == HIDP_STATUS_SUCCESS && n <= valueCapCount ? n : 0;
    }

    uint32_t items = set.ButtonCapCount;
    for (uint32_t i = 0; i < set.ValueCapCount; ++i) {
        const HIDP_VALUE_CAPS& v = set.ValueCaps[i];
        if (v.IsRange) {
            if (v.Range.UsageMax < v.Range.UsageMin) {
                return false;  // a range that ends before it starts is a broken descriptor
            }
            items += static_cast<uint32_t>(v.Range.UsageMax - v.Range.UsageMin) + 1;
        } else {
            items += 1;
        }
    }
    if (items == 0) {
        return true;
    }
    set.Items = static_cast<HidDataItem*>(std::calloc(items, sizeof(HidDataItem)));
    if (!set.Items) {
        return false;
    }
    uint32_t k = 0;
    for (uint32_t i = 0; i < set.ButtonCapCount; ++i, ++k) {
        const HIDP_BUTTON_CAPS& b = set.ButtonCaps[i];
        HidDataItem& item = set.Items[k];
        set.ItemCount = k + 1;  // counted before its list, so a failure frees what exists
        item.IsButton = 1;
        item.UsagePage = b.UsagePage;
        item.Status = static_cast<uint32_t>(HIDP_STATUS_SUCCESS);
        item.ReportID = b.ReportID;
        item.UsageMin = b.IsRange ? b.Range.UsageMin : b.NotRange.Usage;
        item.UsageMax = b.IsRange ? b.Range.UsageMax : b.NotRange.Usage;
        item.MaxUsageListLength = backend.MaxUsageListLength(type, b.UsagePage, preparsed);
        if (item.MaxUsageListLength == 0) {
            return false;
        }
        item.UsageList = static_cast<uint16_t*>(std::calloc(item.MaxUsageListLength, sizeof(uint16_t)));
        if (!item.UsageList) {
            return false;
        }
    }
    for (uint32_t i = 0; i < set.ValueCapCount; ++i) {
        const HIDP_VALUE_CAPS& v = set.ValueCaps[i];
        uint32_t first = v.IsRange ? v.Range.UsageMin : v.NotRange.Usage;
        uint32_t last = v.IsRange ? v.Range.UsageMax : v.NotRange.Usage;
        for (uint32_t usage = first; usage <= last; ++usage, ++k) {
            HidDataItem& item = set.Items[k];
            item.IsButton = 0;
            item.UsagePage = v.UsagePage;
            item.Status = static_cast<uint32_t>(HIDP_STATUS_SUCCESS);
            item.ReportID = v.ReportID;
            item.Usage = static_cast<uint16_t>(usage);
        }
    }
    set.ItemCount = k;
    return true;
}

}  // namespace

bool FillReportSets(HidBackend& backend, HidDeviceInfo& info)
{
    const HIDP_CAPS& c = info.Caps;
    return FillReportSet(backend, info.PreparsedData, HidP_Input, c.InputReportByteLength, c.NumberInputButtonCaps,
                         c.NumberInputValueCaps, info.Input) &&
           FillReportSet(backend, info.PreparsedData, HidP_Output, c.OutputReportByteLength,
                         c.NumberOutputButtonCaps, c.NumberOutputValueCaps, info.Output) &&
           FillReportSet(backend, info.PreparsedData, HidP_Feature, c.FeatureReportByteLength,
                         c.NumberFeatureButtonCaps, c.NumberFeatureValueCaps, info.Feature);
}

void FreeReportSets(HidDeviceInfo& info)
{
    FreeReportSet(info.Input);
    FreeReportSet(info.Output);
    FreeReportSet(info.Feature);
}

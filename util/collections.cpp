#include "util/collections.h"

#include "hid/hid_backend.h"

std::vector<CollectionInfo> ListCollections()
{
    std::vector<CollectionInfo> found;
    auto visit = [](const char* path, void* context) {
        auto* list = static_cast<std::vector<CollectionInfo>*>(context);
        HidBackend& backend = GetHidBackend();
        CollectionInfo info;
        info.Path = path;
        HANDLE handle = backend.OpenDevice(path);
        if (handle != INVALID_HANDLE_VALUE) {
            HIDD_ATTRIBUTES attributes{};
            attributes.Size = sizeof(attributes);
            PHIDP_PREPARSED_DATA data = nullptr;
            HIDP_CAPS caps{};
            if (backend.GetAttributes(handle, &attributes) && backend.GetPreparsedData(handle, &data)) {
                if (backend.GetCaps(data, &caps) == HIDP_STATUS_SUCCESS) {
                    info.Opened = true;
                    info.VendorID = attributes.VendorID;
                    info.ProductID = attributes.ProductID;
                    info.UsagePage = caps.UsagePage;
                    info.Usage = caps.Usage;
                }
                backend.FreePreparsedData(data);
            }
            backend.CloseDevice(handle);
        }
        list->push_back(info);
    };
    ForEachInterfacePath(GetHidBackend(), visit, &found);
    return found;
}

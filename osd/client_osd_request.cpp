#include "osd/client_osd_request.h"

#include <cstring>

bool CopyClientOsdRequest(const void* data, size_t size, ClientOsdRequest* out)
{
    if (!out) {
        return false;
    }
    *out = ClientOsdRequest{};
    if (!data || size < sizeof(ClientOsdRequest)) {
        return false;
    }
    std::memcpy(out, data, sizeof(ClientOsdRequest));
    return true;
}

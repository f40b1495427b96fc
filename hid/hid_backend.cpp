#include "hid/hid_backend.h"

#include "hid/virtual_hid_backend.h"
#include "hid/windows_hid_backend.h"

#include <utility>
#include <mutex>

namespace {

std::mutex g_backendLock;
// Deliberately never destroyed at exit: the virtual receiver's client runs a
// notice thread, and joining a thread from static destruction (inside a
// DLL's detach notice in the client library) would deadlock on the loader.
HidBackend* g_backend = nullptr;

HidBackend* ChooseBackend()
{
    char instance[128] = {};
    DWORD len = GetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, instance, sizeof(instance));
    if (len > 0 && len < sizeof(instance)) {
        return new VirtualHidBackend(instance);
    }
    return new WindowsHidBackend();
}

}  // namespace

HidBackend& GetHidBackend()
{
    std::lock_guard<std::mutex> guard(g_backendLock);
    if (!g_backend) {
        g_backend = ChooseBackend();
    }
    return *g_backend;
}

void ShutdownHidBackend()
{
    HidBackend* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_backendLock);
        std::swap(old, g_backend);
    }
    delete old;
}

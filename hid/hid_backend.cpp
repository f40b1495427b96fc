#include "hid/hid_backend.h"

#include "hid/virtual_hid_backend.h"
#include "hid/windows_hid_backend.h"

#include <memory>
#include <mutex>
#include <new>
#include <utility>

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

InterfaceWalk ForEachInterfacePath(HidBackend& backend, void (*visit)(const char* path, void* context),
                                   void* context)
{
    HidInterfaceSet set = backend.OpenInterfaceSet();
    if (!set) {
        return InterfaceWalk::NoSet;
    }
    InterfaceWalk walk = InterfaceWalk::Complete;
    for (DWORD index = 0;; ++index) {
        DWORD required = 0;
        if (!backend.GetInterfacePath(set, index, nullptr, 0, &required)) {
            DWORD err = GetLastError();
            if (err == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (err != ERROR_INSUFFICIENT_BUFFER || required == 0) {
                walk = InterfaceWalk::Failed;
                break;
            }
        }
        std::unique_ptr<char[]> path(new (std::nothrow) char[required]);
        if (!path || !backend.GetInterfacePath(set, index, path.get(), required, &required)) {
            walk = InterfaceWalk::Failed;
            break;
        }
        visit(path.get(), context);
    }
    backend.CloseInterfaceSet(set);
    return walk;
}

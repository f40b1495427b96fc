#pragma once
// The device backend that talks to a virtual receiver over its named pipe.
// Each open collection is a pipe connection of its own, so input reports are
// read with overlapped ReadFile as from a real device; feature and output
// reports go over a shared request connection; device notices come over a
// notice connection, read by a background thread that sends them as
// WM_DEVICECHANGE to the windows registered here (the ones the receiver puts
// aside come from further threads).

#include "base/scoped.h"
#include "hid/hid_backend.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class VirtualHidBackend : public HidBackend {
public:
    // Device notices as the receiver names them: kind and path.
    using Notices = std::vector<std::pair<std::string, std::string>>;

    explicit VirtualHidBackend(const std::string& instance);
    ~VirtualHidBackend() override;

    VirtualHidBackend(const VirtualHidBackend&) = delete;
    VirtualHidBackend& operator=(const VirtualHidBackend&) = delete;

    void GetHidGuid(GUID* guid) override;
    HidInterfaceSet OpenInterfaceSet() override;
    BOOL GetInterfacePath(HidInterfaceSet set, DWORD index, char* path, DWORD pathSize, DWORD* requiredSize) override;
    void CloseInterfaceSet(HidInterfaceSet set) override;
    HANDLE OpenDevice(const char* path) override;
    void CloseDevice(HANDLE handle) override;
    BOOL GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) override;
    void FreePreparsedData(PHIDP_PREPARSED_DATA data) override;
    BOOL GetAttributes(HANDLE handle, HIDD_ATTRIBUTES* attributes) override;
    NTSTATUS GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) override;
    NTSTATUS GetButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* count,
                           PHIDP_PREPARSED_DATA data) override;
    NTSTATUS GetValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* count,
                          PHIDP_PREPARSED_DATA data) override;
    ULONG MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE usagePage, PHIDP_PREPARSED_DATA data) override;
    BOOL GetFeature(HANDLE handle, void* buffer, ULONG length) override;
    BOOL SetFeature(HANDLE handle, void* buffer, ULONG length) override;
    BOOL SetOutputReport(HANDLE handle, void* buffer, ULONG length) override;
    HDEVNOTIFY RegisterInterfaceNotice(HWND window) override;
    HDEVNOTIFY RegisterHandleNotice(HWND window, HANDLE handle) override;
    BOOL UnregisterNotice(HDEVNOTIFY notice) override;
    DWORD DeviceError(HANDLE handle, DWORD readError, DWORD bytesRead) override;
    void DiscardRestOfReport(HANDLE handle) override;

private:
    // What the receiver told about a collection when it was opened.
    struct OpenCollection {
        uint32_t Id = 0;
        std::string Path;
        HIDD_ATTRIBUTES Attributes{};
        USAGE UsagePage = 0;
        USAGE Usage = 0;
        USHORT Lengths[3] = {};  // input, output, feature
        uint32_t Flaws = 0;      // VIRTUAL_FLAW_* of a malformed collection
    };
    struct Registration {
        HWND Window = nullptr;
        bool ForInterfaces = false;
        HANDLE Handle = nullptr;
        std::string Path;  // of the handle's collection
    };

    bool Request(const std::string& request, std::string* reply);
    bool FindOpen(HANDLE handle, OpenCollection* out);
    BOOL ReportRequest(const char* verb, HANDLE handle, const void* buffer, ULONG length);
    bool EnsureNoticeThread();
    static DWORD WINAPI NoticeMain(void* self);
    void NoticeLoop();
    // Sends notices the receiver put aside from a thread of their own, in
    // order; false when no thread can be started.
    bool SendAside(const Notices& notices);
    static DWORD WINAPI AsideMain(void* context);
    void Deliver(const std::string& kind, const std::string& path);

    std::string m_pipeName;

    std::mutex m_requestLock;  // one request at a time on the request connection
    ScopedHandle m_requestPipe;

    std::mutex m_lock;  // the tables below
    std::map<HANDLE, OpenCollection> m_open;
    std::map<uintptr_t, Registration> m_registrations;
    uintptr_t m_nextRegistration = 1;

    ScopedHandle m_noticePipe;
    ScopedHandle m_stopEvent;
    ScopedHandle m_noticeThread;

    // The threads that send notices put aside, so that they reach a window
    // while it handles others; guarded by m_lock.
    std::vector<HANDLE> m_asideThreads;
};

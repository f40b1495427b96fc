#include "hid/hid_device.h"

#include "base/messages.h"
#include "hid/hid_backend.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Reader threads post under this lock in shared mode; StopReader holds it
// exclusively while it takes the queued messages out and puts the other
// devices' back, so that no reader can slip a message in between and upset
// the report-before-next-read order.
SRWLOCK PostLock = SRWLOCK_INIT;

// While messages are being taken out, a message sent by another thread may be
// dispatched and stop a second device; these are shared with that nested stop
// so that the outermost one puts back the survivors once, in order. Only the
// owner window's thread touches them.
int RemovalDepth = 0;
DWORD RemovingThread = 0;  // holds PostLock exclusively while RemovalDepth > 0
std::vector<MSG> HeldMessages;
std::vector<const void*> StoppedDevices;

// What to do after a read, by the error it ended with: hand on the report,
// wait for it, stop reading this device, or ask for another read.
enum class ReadOutcome { Report, Pending, Stop, Retry };

ReadOutcome Classify(DWORD err)
{
    switch (err) {
    case ERROR_SUCCESS:
    case ERROR_MORE_DATA:  // longer than the buffer: the buffer holds its start
        return ReadOutcome::Report;
    case ERROR_IO_PENDING:
        return ReadOutcome::Pending;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_OPERATION_ABORTED:
        return ReadOutcome::Stop;
    default:
        return ReadOutcome::Retry;
    }
}

}  // namespace

CHidDevice::CHidDevice(HWND ownerWindow)
    : ReadOverlapped{},
      ReadIssuedEvent(nullptr),
      IoEvent(nullptr),
      Running(0),
      ReaderThreadId(0),
      ReaderThread(nullptr),
      DeviceFlags(0),
      Next(nullptr),
      OwnerWindow(ownerWindow),
      RemovalNotification(nullptr),
      Info{},
      m_backend(GetHidBackend())
{
    Info.Handle = INVALID_HANDLE_VALUE;
}

CHidDevice::~CHidDevice()
{
    if (RemovalNotification) {
        m_backend.UnregisterNotice(RemovalNotification);
        RemovalNotification = nullptr;
    }
    Close();
    std::free(Info.DevicePath);
    Info.DevicePath = nullptr;
    FreeReportSets(Info);
    if (Info.PreparsedData) {
        m_backend.FreePreparsedData(Info.PreparsedData);
        Info.PreparsedData = nullptr;
    }
}

BOOL CHidDevice::Open(const char* path)
{
    if (!path || Info.DevicePath) {
        return FALSE;
    }
    size_t len = std::strlen(path);
    Info.DevicePath = static_cast<char*>(std::malloc(len + 1));
    if (!Info.DevicePath) {
        return FALSE;
    }
    std::memcpy(Info.DevicePath, path, len + 1);

    Info.Handle = m_backend.OpenDevice(path);
    if (Info.Handle == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    Info.OpenedForRead = TRUE;
    Info.OpenedForWrite = FALSE;
    Info.OpenedOverlapped = TRUE;
    Info.OpenedExclusive = FALSE;

    if (!m_backend.GetPreparsedData(Info.Handle, &Info.PreparsedData) ||
        !m_backend.GetAttributes(Info.Handle, &Info.Attributes) ||
        m_backend.GetCaps(Info.PreparsedData, &Info.Caps) != HIDP_STATUS_SUCCESS) {
        return FALSE;
    }
    return FillReportSets(m_backend, Info) ? TRUE : FALSE;
}

BOOL CHidDevice::RegisterRemovalNotice(HWND window)
{
    RemovalNotification = m_backend.RegisterHandleNotice(window, Info.Handle);
    return RemovalNotification ? TRUE : FALSE;
}

BOOL CHidDevice::StartReader()
{
    if (ReaderThread || Info.Handle == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    Running = 0;
    ReadIssuedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    IoEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (ReadIssuedEvent && IoEvent) {
        // Suspended until the fields it reads are set.
        ReaderThread = CreateThread(nullptr, 0, ReaderMain, this, CREATE_SUSPENDED, &ReaderThreadId);
    }
    if (!ReaderThread) {
        if (ReadIssuedEvent) {
            CloseHandle(ReadIssuedEvent);
        }
        if (IoEvent) {
            CloseHandle(IoEvent);
        }
        ReadIssuedEvent = nullptr;
        IoEvent = nullptr;
        return FALSE;
    }
    ReadOverlapped = OVERLAPPED{};
    ReadOverlapped.hEvent = IoEvent;
    m_readPending = 0;
    m_tailPending = 0;
    Running = 1;
    ResumeThread(ReaderThread);
    return TRUE;
}

DWORD WINAPI CHidDevice::ReaderMain(void* self)
{
    static_cast<CHidDevice*>(self)->ReaderLoop();
    return 0;
}

void CHidDevice::Post(UINT message)
{
    // The thread that is taking messages out already holds the lock (a
    // message sent to it meanwhile may lead here); what it posts lands in the
    // queue it is sorting, in order.
    if (RemovalDepth > 0 && RemovingThread == GetCurrentThreadId()) {
        PostMessageA(OwnerWindow, message, 0, reinterpret_cast<LPARAM>(this));
        return;
    }
    AcquireSRWLockShared(&PostLock);
    PostMessageA(OwnerWindow, message, 0, reinterpret_cast<LPARAM>(this));
    ReleaseSRWLockShared(&PostLock);
}

void CHidDevice::ClearPastReport(DWORD bytes)
{
    // A device that sends a report shorter than its input length leaves the
    // rest of the buffer as the previous report wrote it: the decoder would
    // read that report's button again. Short reports read as zeros past
    // their end. (A read that ended in ERROR_MORE_DATA filled the buffer.)
    if (bytes < Info.Input.Length) {
        std::memset(Info.Input.Buffer + bytes, 0, Info.Input.Length - bytes);
    }
}

void CHidDevice::ReaderLoop()
{
    bool askForRead = true;
    while (Running) {
        if (askForRead) {
            Post(WM_HID_READ_NEXT);
        }
        WaitForSingleObject(ReadIssuedEvent, INFINITE);
        if (!Running) {
            break;
        }
        // A read may stay pending for ever (no button pressed): look at
        // Running after every slice, in case the stop's own signal was missed.
        for (;;) {
            DWORD rc = WaitForSingleObject(IoEvent, 5000);
            if (!Running) {
                return;
            }
            if (rc == WAIT_OBJECT_0 && HasOverlappedIoCompleted(&ReadOverlapped)) {
                break;
            }
        }
        // Only the OVERLAPPED is looked at here, never the buffer. A read
        // that ended in an error has left the buffer as it was: handing that
        // on would repeat the previous report.
        DWORD bytes = 0;
        DWORD err = ERROR_SUCCESS;
        if (!GetOverlappedResult(Info.Handle, &ReadOverlapped, &bytes, FALSE)) {
            err = m_backend.DeviceError(GetLastError());
        }
        ReadOutcome outcome = Classify(err);
        if (err == ERROR_MORE_DATA) {
            InterlockedExchange(&m_tailPending, 1);
        }
        if (err == ERROR_SUCCESS) {
            ClearPastReport(bytes);
        }
        InterlockedExchange(&m_readPending, 0);
        switch (outcome) {
        case ReadOutcome::Report:
            Post(WM_HID_REPORT);
            askForRead = true;
            break;
        case ReadOutcome::Retry:
            askForRead = true;
            break;
        default:
            // The device is gone or refuses: wait here for the stop that the
            // device-change notices bring.
            askForRead = false;
            break;
        }
    }
}

BOOL CHidDevice::IssueRead()
{
    if (!Running || InterlockedCompareExchange(&m_readPending, 0, 0) != 0) {
        return FALSE;
    }
    if (Info.Input.Length == 0) {
        return FALSE;  // a collection without input reports has nothing to read
    }
    if (InterlockedExchange(&m_tailPending, 0) != 0) {
        m_backend.DiscardRestOfReport(Info.Handle);
    }
    DWORD got = 0;
    DWORD err = ERROR_SUCCESS;
    if (!ReadFile(Info.Handle, Info.Input.Buffer, Info.Input.Length, &got, &ReadOverlapped)) {
        err = m_backend.DeviceError(GetLastError());
    }
    switch (Classify(err)) {
    case ReadOutcome::Report:
        if (err == ERROR_MORE_DATA) {
            InterlockedExchange(&m_tailPending, 1);
        }
        if (err == ERROR_SUCCESS) {
            ClearPastReport(got);
        }
        // The report is queued ahead of the request that reuses the buffer.
        Post(WM_HID_REPORT);
        Post(WM_HID_READ_NEXT);
        return TRUE;
    case ReadOutcome::Pending:
        InterlockedExchange(&m_readPending, 1);
        SetEvent(ReadIssuedEvent);
        return TRUE;
    case ReadOutcome::Stop:
        return FALSE;
    case ReadOutcome::Retry:
    default:
        if (!Running) {
            return FALSE;
        }
        Post(WM_HID_READ_NEXT);
        return FALSE;
    }
}

void CHidDevice::RemoveQueuedMessages()
{
    if (RemovalDepth == 0) {
        AcquireSRWLockExclusive(&PostLock);
        RemovingThread = GetCurrentThreadId();
        HeldMessages.clear();
        StoppedDevices.clear();
    }
    ++RemovalDepth;
    StoppedDevices.push_back(this);
    // One range takes both messages in the order they were queued.
    // PeekMessage also runs messages that other threads send to this
    // thread's windows (device notices among them), which may stop further
    // devices in the middle of this: hence the shared lists above.
    MSG msg;
    while (PeekMessageA(&msg, OwnerWindow, WM_HID_READ_NEXT, WM_HID_REPORT, PM_REMOVE)) {
        HeldMessages.push_back(msg);
    }
    if (--RemovalDepth > 0) {
        return;
    }
    for (const MSG& m : HeldMessages) {
        bool stopped = false;
        for (const void* d : StoppedDevices) {
            stopped = stopped || reinterpret_cast<const void*>(m.lParam) == d;
        }
        if (!stopped) {
            PostMessageA(m.hwnd, m.message, m.wParam, m.lParam);
        }
    }
    HeldMessages.clear();
    StoppedDevices.clear();
    RemovingThread = 0;
    ReleaseSRWLockExclusive(&PostLock);
}

void CHidDevice::WaitForCancelledRead()
{
    // The system may write into the buffer until the cancelled read has
    // really ended; the buffer must outlive that.
    if (InterlockedCompareExchange(&m_readPending, 0, 0) == 0) {
        return;
    }
    for (int i = 0; i < 2000 && !HasOverlappedIoCompleted(&ReadOverlapped); ++i) {
        Sleep(1);
    }
    InterlockedExchange(&m_readPending, 0);
}

void CHidDevice::StopReader()
{
    if (Running != 1) {
        return;
    }
    Running = 0;
    SetEvent(ReadIssuedEvent);
    SetEvent(IoEvent);
    CancelIo(Info.Handle);
    if (OwnerWindow) {
        RemoveQueuedMessages();
    }
    WaitForSingleObject(ReaderThread, INFINITE);
    CloseHandle(ReaderThread);
    ReaderThread = nullptr;
    ReaderThreadId = 0;
    WaitForCancelledRead();
    CloseHandle(ReadIssuedEvent);
    CloseHandle(IoEvent);
    ReadIssuedEvent = nullptr;
    IoEvent = nullptr;
    ReadOverlapped.hEvent = nullptr;
}

void CHidDevice::Close()
{
    StopReader();
    if (Info.Handle != INVALID_HANDLE_VALUE) {
        m_backend.CloseDevice(Info.Handle);
        Info.Handle = INVALID_HANDLE_VALUE;
    }
}

BOOL CConfig::MatchDevice(const HidDeviceInfo& info, uint32_t* deviceFlags)
{
    return MatchDeviceIdentity(GetDeviceIdentities(), info.Caps.UsagePage, info.Caps.Usage, info.Attributes.VendorID,
                               info.Attributes.ProductID, info.DevicePath, deviceFlags)
               ? TRUE
               : FALSE;
}

#include "hid/hid_device.h"

#include "base/messages.h"
#include "hid/hid_backend.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A read that keeps failing with an error worth another try (a receiver in
// the middle of a USB reset answers ERROR_GEN_FAILURE until the removal
// notice comes) is tried again after a pause that starts short and doubles,
// and given up after this many failures in a row (about two seconds).
constexpr LONG READ_RETRY_LIMIT = 10;
constexpr DWORD READ_RETRY_FIRST_PAUSE_MS = 10;
constexpr DWORD READ_RETRY_LONGEST_PAUSE_MS = 500;

// Devices get serial numbers, so that a message parked for a device is never
// taken for one that a later device at the same address posted.
volatile LONG64 NextSerial = 0;

// One message a reader thread posted while the queue was being sorted.
struct ParkedMessage {
    HWND Window;
    UINT Message;
    LPARAM Device;
    uint64_t Serial;
};

// A stopped device takes its queued messages out of the owner window's
// queue and puts the other devices' back behind them, in order. Meanwhile
// what reader threads post is parked here and posted after the put-back,
// so nothing overtakes the messages put back and the report of a device
// always comes before the request that reuses its buffer.
//
// Taking messages out runs the messages other threads send meanwhile
// (device notices among them), which may stop further devices inside the
// first stop: they join the same sorting round, and the outermost stop
// ends it. PostLock is held only for the short moments that change this
// state or post, never while messages are taken or handled, so a stop that
// waits for its reader thread never waits for a lock held further up its
// own thread's stack.
SRWLOCK PostLock = SRWLOCK_INIT;
struct SortingRound {
    int Depth = 0;
    DWORD Thread = 0;
    std::vector<ParkedMessage> Parked;  // guarded by PostLock
    // Only the sorting thread touches these.
    std::vector<MSG> Held;
    std::vector<const void*> StoppedDevices;
    std::vector<uint64_t> StoppedSerials;
};
SortingRound Round;

class PostLockHolder {
public:
    PostLockHolder() { AcquireSRWLockExclusive(&PostLock); }
    ~PostLockHolder() { ReleaseSRWLockExclusive(&PostLock); }
    PostLockHolder(const PostLockHolder&) = delete;
    PostLockHolder& operator=(const PostLockHolder&) = delete;
};

template <typename T>
bool Contains(const std::vector<T>& items, const T& item)
{
    for (const T& i : items) {
        if (i == item) {
            return true;
        }
    }
    return false;
}

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
      m_backend(GetHidBackend()),
      m_serial(static_cast<uint64_t>(InterlockedIncrement64(&NextSerial)))
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
    m_failedAtOnce = 0;
    m_failures = 0;
    m_readingStopped = 0;
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
    PostLockHolder lock;
    // Looked at under the lock: once a stop has cleared it, nothing more of
    // this device reaches the queue (the stop takes out what came before).
    if (!Running) {
        return;
    }
    // What the sorting thread posts itself lands in the queue it is sorting
    // and is sorted with it, in order.
    if (Round.Depth > 0 && Round.Thread != GetCurrentThreadId()) {
        try {
            Round.Parked.push_back({OwnerWindow, message, reinterpret_cast<LPARAM>(this), m_serial});
            return;
        } catch (...) {
            // No memory to park it: posting it at once may reorder it,
            // which is better than losing it.
        }
    }
    PostMessageA(OwnerWindow, message, 0, reinterpret_cast<LPARAM>(this));
}

DWORD CHidDevice::ReadError(BOOL ok, DWORD bytes)
{
    return m_backend.DeviceError(Info.Handle, ok ? static_cast<DWORD>(ERROR_SUCCESS) : GetLastError(), bytes);
}

bool CHidDevice::PauseBeforeRetry()
{
    LONG failures = InterlockedIncrement(&m_failures);
    if (failures >= READ_RETRY_LIMIT) {
        InterlockedExchange(&m_readingStopped, 1);
        return false;
    }
    DWORD pause = READ_RETRY_FIRST_PAUSE_MS;
    for (LONG i = 1; i < failures && pause < READ_RETRY_LONGEST_PAUSE_MS; ++i) {
        pause *= 2;
    }
    if (pause > READ_RETRY_LONGEST_PAUSE_MS) {
        pause = READ_RETRY_LONGEST_PAUSE_MS;
    }
    // The stop's signal ends the pause early; so does a read that a
    // WM_HID_READ_NEXT from elsewhere issued meanwhile, whose signal is
    // handed on to the reader loop, which then waits for that read.
    if (WaitForSingleObject(ReadIssuedEvent, pause) == WAIT_OBJECT_0) {
        if (Running) {
            SetEvent(ReadIssuedEvent);
        }
        return false;
    }
    return Running != 0;
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
        ReadOutcome outcome = ReadOutcome::Retry;
        if (InterlockedExchange(&m_failedAtOnce, 0) == 0) {
            // A read may stay pending for ever (no button pressed): look at
            // Running after every slice, in case the stop's own signal was
            // missed.
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
            // that ended in an error has left the buffer as it was: handing
            // that on would repeat the previous report.
            DWORD bytes = 0;
            BOOL ok = GetOverlappedResult(Info.Handle, &ReadOverlapped, &bytes, FALSE);
            DWORD err = ReadError(ok, bytes);
            outcome = Classify(err);
            if (err == ERROR_MORE_DATA) {
                InterlockedExchange(&m_tailPending, 1);
            }
            if (err == ERROR_SUCCESS) {
                ClearPastReport(bytes);
            }
            InterlockedExchange(&m_readPending, 0);
        }
        switch (outcome) {
        case ReadOutcome::Report:
            InterlockedExchange(&m_failures, 0);
            Post(WM_HID_REPORT);
            askForRead = true;
            break;
        case ReadOutcome::Retry:
            askForRead = PauseBeforeRetry();
            break;
        default:
            // The device is gone or refuses: wait here for the stop that the
            // device-change notices bring.
            InterlockedExchange(&m_readingStopped, 1);
            askForRead = false;
            break;
        }
    }
}

BOOL CHidDevice::IssueRead()
{
    // A device whose reading stopped stays stopped until it is restarted,
    // whoever asks.
    if (!Running || InterlockedCompareExchange(&m_readPending, 0, 0) != 0 ||
        InterlockedCompareExchange(&m_readingStopped, 0, 0) != 0) {
        return FALSE;
    }
    if (Info.Input.Length == 0) {
        return FALSE;  // a collection without input reports has nothing to read
    }
    if (InterlockedExchange(&m_tailPending, 0) != 0) {
        m_backend.DiscardRestOfReport(Info.Handle);
    }
    DWORD got = 0;
    BOOL ok = ReadFile(Info.Handle, Info.Input.Buffer, Info.Input.Length, nullptr, &ReadOverlapped);
    if (ok) {
        // Completed at once: the count comes from the OVERLAPPED.
        ok = GetOverlappedResult(Info.Handle, &ReadOverlapped, &got, FALSE);
    }
    DWORD err = ReadError(ok, got);
    switch (Classify(err)) {
    case ReadOutcome::Report:
        if (err == ERROR_MORE_DATA) {
            InterlockedExchange(&m_tailPending, 1);
        }
        if (err == ERROR_SUCCESS) {
            ClearPastReport(got);
        }
        InterlockedExchange(&m_failures, 0);
        // The report is queued ahead of the request that reuses the buffer.
        Post(WM_HID_REPORT);
        Post(WM_HID_READ_NEXT);
        return TRUE;
    case ReadOutcome::Pending:
        InterlockedExchange(&m_readPending, 1);
        SetEvent(ReadIssuedEvent);
        return TRUE;
    case ReadOutcome::Stop:
        InterlockedExchange(&m_readingStopped, 1);
        return FALSE;
    case ReadOutcome::Retry:
    default:
        if (!Running) {
            return FALSE;
        }
        // Not asked again from here, which would spin: the reader thread
        // pauses first.
        InterlockedExchange(&m_failedAtOnce, 1);
        SetEvent(ReadIssuedEvent);
        return FALSE;
    }
}

void CHidDevice::RemoveQueuedMessages()
{
    {
        PostLockHolder lock;
        if (Round.Depth++ == 0) {
            Round.Thread = GetCurrentThreadId();
        }
    }
    Round.StoppedDevices.push_back(this);
    Round.StoppedSerials.push_back(m_serial);
    // One range takes both messages in the order they were queued.
    // PeekMessage also runs messages that other threads send to this
    // thread's windows (device notices among them), which may stop further
    // devices in the middle of this: they join this round.
    MSG msg;
    while (PeekMessageA(&msg, OwnerWindow, WM_HID_READ_NEXT, WM_HID_REPORT, PM_REMOVE)) {
        Round.Held.push_back(msg);
    }
    PostLockHolder lock;
    if (--Round.Depth > 0) {
        return;
    }
    // Held messages were queued before any device of this round could be
    // destroyed, so their address tells whose they are; parked ones may come
    // from a device created meanwhile at a stopped one's address.
    for (const MSG& m : Round.Held) {
        if (!Contains(Round.StoppedDevices, reinterpret_cast<const void*>(m.lParam))) {
            PostMessageA(m.hwnd, m.message, m.wParam, m.lParam);
        }
    }
    for (const ParkedMessage& p : Round.Parked) {
        if (!Contains(Round.StoppedSerials, p.Serial)) {
            PostMessageA(p.Window, p.Message, 0, p.Device);
        }
    }
    Round.Held.clear();
    Round.Parked.clear();
    Round.StoppedDevices.clear();
    Round.StoppedSerials.clear();
    Round.Thread = 0;
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
    {
        PostLockHolder lock;
        Running = 0;
    }
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

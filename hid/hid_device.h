#pragma once
// CHidDevice: one open HID collection of the receiver and its reader thread.
// The reader thread only waits and posts: every read is issued, and every
// report consumed, on the thread that owns the owner window, driven by
// WM_HID_READ_NEXT and WM_HID_REPORT (lParam = this device).

#include <windows.h>

#include "config/config.h"
#include "hid/hid_device_info.h"

#include <cstdint>

class HidBackend;

class CHidDevice : public CConfig {
public:
    explicit CHidDevice(HWND ownerWindow);
    ~CHidDevice() override;

    // Copies the path, opens the collection and reads its capabilities.
    BOOL Open(const char* path);
    BOOL RegisterRemovalNotice(HWND window);
    BOOL StartReader();
    // For WM_HID_READ_NEXT; on the owner window's thread.
    BOOL IssueRead();
    // On the owner window's thread: ends the reader and takes back this
    // device's queued messages (only this device's). Safe while messages
    // that other threads send are handled inside it, whatever they stop.
    void StopReader();
    void Close();
    // Reading has stopped by itself after a read failed: the device refused
    // or went away, or its reads kept failing. It waits for the notices that
    // remove or reopen it.
    bool ReadingStopped() const { return m_readingStopped != 0; }

    OVERLAPPED ReadOverlapped;
    HANDLE ReadIssuedEvent;
    HANDLE IoEvent;
    volatile LONG Running;
    DWORD ReaderThreadId;
    HANDLE ReaderThread;
    uint32_t DeviceFlags;
    CHidDevice* Next;
    HWND OwnerWindow;
    HDEVNOTIFY RemovalNotification;
    HidDeviceInfo Info;

private:
    static DWORD WINAPI ReaderMain(void* self);
    void ReaderLoop();
    // Zeros the input buffer past the bytes a completed read delivered.
    void ClearPastReport(DWORD bytes);
    // The error a finished read ended with, as the device gives it.
    DWORD ReadError(BOOL ok, DWORD bytes);
    // After a read failed with an error worth another try: pauses, longer
    // after each failure in a row; true when the next read is to be asked
    // for, false when reading stops or a read issued meanwhile is pending.
    bool PauseBeforeRetry();
    void Post(UINT message);
    void RemoveQueuedMessages();
    void WaitForCancelledRead();

    HidBackend& m_backend;
    // Tells this device from an earlier one at the same address.
    const uint64_t m_serial;
    // Set while a read is pending, by IssueRead; cleared by the reader thread
    // once it has seen the read end.
    volatile LONG m_readPending = 0;
    // The last read ended with ERROR_MORE_DATA: the rest of that over-long
    // report must be thrown away before the next read.
    volatile LONG m_tailPending = 0;
    // IssueRead's read failed at once with an error worth another try; the
    // reader thread pauses before it asks for the next read.
    volatile LONG m_failedAtOnce = 0;
    // Failed reads in a row, and whether reading stopped after one.
    volatile LONG m_failures = 0;
    volatile LONG m_readingStopped = 0;
};

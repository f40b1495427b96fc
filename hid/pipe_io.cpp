#include "hid/pipe_io.h"

#include "base/scoped.h"

namespace {

// Waits for one overlapped operation; cancels it on time-out or stop and
// waits until the system is done with the OVERLAPPED either way.
bool FinishOverlapped(HANDLE pipe, OVERLAPPED* ov, DWORD* bytes, DWORD timeoutMs, HANDLE stopEvent)
{
    HANDLE waits[2] = {ov->hEvent, stopEvent};
    DWORD rc = WaitForMultipleObjects(stopEvent ? 2 : 1, waits, FALSE, timeoutMs);
    if (rc != WAIT_OBJECT_0) {
        CancelIoEx(pipe, ov);
        GetOverlappedResult(pipe, ov, bytes, TRUE);
        SetLastError(rc == WAIT_TIMEOUT ? ERROR_TIMEOUT : ERROR_OPERATION_ABORTED);
        return false;
    }
    return GetOverlappedResult(pipe, ov, bytes, FALSE) != FALSE;
}

}  // namespace

bool PipeWriteMessage(HANDLE pipe, const void* data, size_t length, DWORD timeoutMs, HANDLE event)
{
    ScopedHandle own;
    if (!event) {
        own.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        event = own.get();
        if (!event) {
            return false;
        }
    }
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD written = 0;
    if (!WriteFile(pipe, data, static_cast<DWORD>(length), &written, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        if (!FinishOverlapped(pipe, &ov, &written, timeoutMs, nullptr)) {
            return false;
        }
    }
    return written == length;
}

bool PipeReadMessage(HANDLE pipe, std::string* message, size_t maxLength, DWORD timeoutMs, HANDLE stopEvent)
{
    ScopedHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return false;
    }
    message->clear();
    char chunk[4096];
    for (;;) {
        OVERLAPPED ov{};
        ov.hEvent = event.get();
        DWORD got = 0;
        BOOL ok = ReadFile(pipe, chunk, sizeof(chunk), &got, &ov);
        DWORD err = ok ? ERROR_SUCCESS : GetLastError();
        if (err == ERROR_IO_PENDING) {
            ok = FinishOverlapped(pipe, &ov, &got, timeoutMs, stopEvent);
            err = ok ? ERROR_SUCCESS : GetLastError();
        }
        if (err != ERROR_SUCCESS && err != ERROR_MORE_DATA) {
            SetLastError(err);
            return false;
        }
        if (message->size() + got > maxLength) {
            SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        message->append(chunk, got);
        if (err == ERROR_SUCCESS) {
            return true;
        }
    }
}

HANDLE ConnectToPipe(const std::string& name, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HANDLE pipe = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
                DWORD err = GetLastError();
                CloseHandle(pipe);
                SetLastError(err);
                return INVALID_HANDLE_VALUE;
            }
            return pipe;
        }
        DWORD err = GetLastError();
        DWORD elapsed = GetTickCount() - start;
        if (err != ERROR_PIPE_BUSY || elapsed >= timeoutMs) {
            SetLastError(err);
            return INVALID_HANDLE_VALUE;
        }
        // Every instance is taken: the receiver makes a new one at once.
        WaitNamedPipeA(name.c_str(), timeoutMs - elapsed);
    }
}

DWORD WaitDispatchingSentMessages(HANDLE object, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
        DWORD rc = MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE);
        if (rc != WAIT_OBJECT_0 + 1) {
            return rc;
        }
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

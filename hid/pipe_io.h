#pragma once
// Whole-message I/O on overlapped message-mode pipes, with time limits; the
// virtual receiver and its client both talk this way.

#include <windows.h>

#include <string>

// Writes one message; false when it failed or did not finish in time.
// A caller that writes often may lend its own manual-reset event.
bool PipeWriteMessage(HANDLE pipe, const void* data, size_t length, DWORD timeoutMs, HANDLE event = nullptr);
inline bool PipeWriteMessage(HANDLE pipe, const std::string& text, DWORD timeoutMs)
{
    return PipeWriteMessage(pipe, text.data(), text.size(), timeoutMs);
}

// Reads one whole message (up to maxLength bytes; a longer one fails).
// Waits at most timeoutMs, or until stopEvent (when given) is signalled.
// False with the error in GetLastError() when it failed.
bool PipeReadMessage(HANDLE pipe, std::string* message, size_t maxLength, DWORD timeoutMs,
                     HANDLE stopEvent = nullptr);

// Connects to a pipe server for overlapped use in message read mode; waits
// up to timeoutMs while every instance is busy. INVALID_HANDLE_VALUE on
// failure.
HANDLE ConnectToPipe(const std::string& name, DWORD timeoutMs);

// Waits for an object while dispatching messages sent to this thread's
// windows by other threads, so that a thread that owns windows cannot
// deadlock against a thread that sends to them. Posted messages stay queued.
DWORD WaitDispatchingSentMessages(HANDLE object, DWORD timeoutMs);

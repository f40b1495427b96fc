#pragma once
// The one way a test waits: for a condition, while this thread's windows and
// timers keep working (the code under test runs on this thread's messages).

#include <windows.h>

// Long enough for anything that happens at all on a loaded machine.
constexpr DWORD WAIT_DEFAULT_MS = 10000;

// Dispatches this thread's messages and tests cond before each one, until
// cond holds or the queue stays empty past timeoutMs; true when it held.
// Checking between messages lets a test stop right after the message that
// made cond true, before the next one is handled.
template <typename Cond>
bool WaitUntil(Cond cond, DWORD timeoutMs = WAIT_DEFAULT_MS)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (cond()) {
            return true;
        }
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        // Wakes early when a message arrives.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Runs send, which makes another thread send a message to this thread's
// windows, and waits without taking any message until it has arrived: it is
// handled the next time this thread takes messages, wherever that is.
template <typename Send>
bool AwaitSentMessage(Send send, DWORD timeoutMs = WAIT_DEFAULT_MS)
{
    GetQueueStatus(QS_SENDMESSAGE);  // forget what arrived before
    send();
    const DWORD start = GetTickCount();
    while (!(LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

// Keeps this thread's messages going for ms; 0 handles what is queued now.
// Only for giving time, never for proving that something did not happen:
// a later event that must come after it proves that.
inline void PumpFor(DWORD ms)
{
    WaitUntil([] { return false; }, ms);
}

#pragma once
// A top-level window of the test's own that stands in for another program's
// window (a player, for instance): it records every message posted or sent
// to it from the private ranges (WM_USER to WM_APP's end) and WM_APPCOMMAND,
// in the order they arrive. Found by other code through its class and title, like
// the program it stands in for.

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

struct RecordedMessage {
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
    bool operator==(const RecordedMessage&) const = default;
};

// How GoogleTest shows one in a failure.
void PrintTo(const RecordedMessage& message, std::ostream* out);

class RecordingWindow {
public:
    // An empty title makes an untitled window; visible windows can be
    // brought to the front.
    RecordingWindow(const std::string& className, const std::string& title, bool visible = false);
    ~RecordingWindow();

    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    HWND Window() const { return m_window; }

    // Everything posted to the window before this call has arrived when it
    // returns: a message of its own is posted behind it and awaited.
    // Returns what was recorded since the last Take().
    std::vector<RecordedMessage> Take();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::string m_className;
    HWND m_window = nullptr;
    bool m_fenceSeen = false;
    std::vector<RecordedMessage> m_received;
};

// A name no other test process uses: prefix, this process's id, a counter.
std::string UniqueWindowName(const char* prefix);

#include "tests/support/recording_window.h"

#include <cstdio>

namespace {

// Posted by Take() behind everything else; never recorded.
constexpr UINT WM_RECORDING_FENCE = WM_APP + 0x3FF0;
constexpr DWORD FENCE_TIMEOUT_MS = 10000;

LONG g_names = 0;

}  // namespace

std::string UniqueWindowName(const char* prefix)
{
    char name[128];
    std::snprintf(name, sizeof(name), "%s %lu-%ld", prefix, GetCurrentProcessId(), InterlockedIncrement(&g_names));
    return name;
}

void PrintTo(const RecordedMessage& message, std::ostream* out)
{
    char text[96];
    std::snprintf(text, sizeof(text), "{0x%04X, wParam 0x%llX, lParam 0x%llX}", message.Message,
                  static_cast<unsigned long long>(message.WParam), static_cast<unsigned long long>(message.LParam));
    *out << text;
}

RecordingWindow::RecordingWindow(const std::string& className, const std::string& title, bool visible)
    : m_className(className)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = m_className.c_str();
    RegisterClassA(&wc);
    DWORD style = WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0);
    m_window = CreateWindowExA(0, m_className.c_str(), title.c_str(), style, 40, 40, 240, 120, nullptr, nullptr,
                               wc.hInstance, this);
}

RecordingWindow::~RecordingWindow()
{
    if (m_window) {
        DestroyWindow(m_window);
    }
    UnregisterClassA(m_className.c_str(), GetModuleHandleA(nullptr));
}

std::vector<RecordedMessage> RecordingWindow::Take()
{
    m_fenceSeen = false;
    PostMessageA(m_window, WM_RECORDING_FENCE, 0, 0);
    DWORD start = GetTickCount();
    MSG msg;
    while (!m_fenceSeen && GetTickCount() - start < FENCE_TIMEOUT_MS) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    std::vector<RecordedMessage> taken;
    taken.swap(m_received);
    return taken;
}

LRESULT CALLBACK RecordingWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == WM_RECORDING_FENCE) {
        self->m_fenceSeen = true;
        return 0;
    }
    // Registered messages (0xC000 up) are broadcast by the system and other
    // programs; they are no concern of the window's.
    if (self && ((message >= WM_USER && message < 0xC000) || message == WM_APPCOMMAND)) {
        self->m_received.push_back({message, wParam, lParam});
        return message == WM_APPCOMMAND ? TRUE : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

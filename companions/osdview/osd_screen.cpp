#include "companions/osdview/osd_screen.h"

#include "companions/osdview/osd_painter.h"

#include <cstdio>
#include <memory>

namespace {

// Posted to the window when a request is waiting in the slot.
constexpr UINT WM_OSD_SHOW = WM_APP + 1;
// After this long with nothing on screen the thread ends.
constexpr UINT_PTR IDT_IDLE = 101;
constexpr UINT IDLE_MS = 1000;

HMODULE g_module = nullptr;
char g_classSuffix[32] = {};

// Shared between the callers and the window thread.
SRWLOCK g_lock = SRWLOCK_INIT;
bool g_threadRunning = false;
HWND g_window = nullptr;
std::unique_ptr<OsdRequest> g_pending;

class SharedLock {
public:
    SharedLock() { AcquireSRWLockExclusive(&g_lock); }
    ~SharedLock() { ReleaseSRWLockExclusive(&g_lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;
};

OsdRect PrimaryWorkArea()
{
    RECT area{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0) || IsRectEmpty(&area)) {
        area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    return OsdRect{area.left, area.top, area.right, area.bottom};
}

// What a window shows; a thread that is ending and its successor may both
// have a window for a moment, so this belongs to the window, not the library.
OsdImage* ImageOf(HWND window)
{
    return reinterpret_cast<OsdImage*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void EndDisplay(HWND window)
{
    KillTimer(window, OSD_HIDE_TIMER_ID);
    ShowWindow(window, SW_HIDE);
    if (OsdImage* shown = ImageOf(window)) {
        *shown = OsdImage{};
    }
    SetTimer(window, IDT_IDLE, IDLE_MS, nullptr);
}

void ShowPending(HWND window)
{
    std::unique_ptr<OsdRequest> request;
    {
        SharedLock lock;
        request = std::move(g_pending);
    }
    if (!request) {
        return;
    }
    OsdRect screen = PrimaryWorkArea();
    OsdImage image;
    OsdImage* shown = ImageOf(window);
    if (!shown || request->TimeMs == 0 || !PaintOsd(*request, screen, image)) {
        EndDisplay(window);
        return;
    }
    KillTimer(window, IDT_IDLE);
    OsdRect box = PlaceInGrid(screen, request->Kind, OsdMargin(screen, request->Margin), image.Width, image.Height);
    SetLayeredWindowAttributes(window, image.Key, 255, LWA_COLORKEY);
    *shown = std::move(image);
    SetWindowPos(window, HWND_TOPMOST, box.Left, box.Top, box.Width(), box.Height(),
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    SetTimer(window, OSD_HIDE_TIMER_ID, request->TimeMs, nullptr);
}

void Paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    const OsdImage* image = ImageOf(window);
    if (image && image->Bitmap) {
        HDC source = CreateCompatibleDC(dc);
        if (source) {
            HGDIOBJ old = SelectObject(source, image->Bitmap.get());
            BitBlt(dc, 0, 0, image->Width, image->Height, source, 0, 0, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
        }
    }
    EndPaint(window, &ps);
}

// The thread ends only when nobody has handed it anything new; a caller that
// comes later starts a new thread.
bool EndIfIdle(HWND window)
{
    {
        SharedLock lock;
        if (g_pending) {
            return false;
        }
        g_threadRunning = false;
        g_window = nullptr;
    }
    DestroyWindow(window);
    return true;
}

LRESULT CALLBACK ScreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new OsdImage));
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_NCDESTROY:
        delete ImageOf(window);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_OSD_SHOW:
        ShowPending(window);
        return 0;
    case WM_TIMER:
        if (wParam == OSD_HIDE_TIMER_ID) {
            EndDisplay(window);
        } else if (wParam == IDT_IDLE) {
            KillTimer(window, IDT_IDLE);
            EndIfIdle(window);
        }
        return 0;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Each thread registers a class of its own and unregisters it before it
// leaves: nothing window-related is left for DllMain, where calling into
// the window manager can deadlock against a display thread that is ending.
bool RegisterScreenClass(char* className, size_t size)
{
    std::snprintf(className, size, "%s%s:%lu", OSD_VIEW_CLASS_PREFIX, g_classSuffix, GetCurrentThreadId());
    WNDCLASSA wc{};
    wc.lpfnWndProc = ScreenWindowProc;
    wc.hInstance = g_module;
    // No cursor: the window lets every click through, and loading one here
    // would make this thread the first to open the display's own device
    // context, which under Wine can deadlock against a caller's thread
    // that loads an icon at the same moment.
    wc.lpszClassName = className;
    return RegisterClassA(&wc) != 0;
}

DWORD WINAPI ScreenThread(void* param)
{
    HMODULE self = static_cast<HMODULE>(param);
    HWND window = nullptr;
    char className[64] = {};
    bool registered = RegisterScreenClass(className, sizeof(className));
    if (registered) {
        window = CreateWindowExA(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_NOACTIVATE |
                                     WS_EX_TOOLWINDOW,
                                 className, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_module, nullptr);
    }
    {
        SharedLock lock;
        if (!window) {
            g_threadRunning = false;
            g_pending.reset();
        } else {
            g_window = window;
            if (g_pending) {
                PostMessageA(window, WM_OSD_SHOW, 0, 0);
            }
        }
    }
    if (window) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (registered) {
        UnregisterClassA(className, g_module);
    }
    FreeLibraryAndExitThread(self, 0);
}

}  // namespace

void COsdScreen::Attach(HMODULE module, const char* classSuffix)
{
    g_module = module;
    std::snprintf(g_classSuffix, sizeof(g_classSuffix), "%s", classSuffix);
}

bool COsdScreen::Submit(const OsdRequest& request)
{
    auto copy = std::make_unique<OsdRequest>(request);
    SharedLock lock;
    g_pending = std::move(copy);
    if (g_threadRunning) {
        if (g_window) {
            PostMessageA(g_window, WM_OSD_SHOW, 0, 0);
        }
        return true;
    }
    // The thread holds a reference of its own, so that the library stays
    // mapped until the thread has left it.
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ScreenThread),
                            &self)) {
        g_pending.reset();
        return false;
    }
    HANDLE thread = CreateThread(nullptr, 0, ScreenThread, self, 0, nullptr);
    if (!thread) {
        FreeLibrary(self);
        g_pending.reset();
        return false;
    }
    CloseHandle(thread);
    g_threadRunning = true;
    return true;
}

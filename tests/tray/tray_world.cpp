#include "tests/tray/tray_world.h"

#include "base/app_context.h"
#include "base/messages.h"
#include "companions/kovashot/screen_grab.h"
#include "config/controls.h"
#include "config/texts.h"
#include "core/message_box.h"
#include "resources/resource.h"

#include <cstring>

namespace {

constexpr char TRAY_WINDOW_CLASS[] = "Shell_TrayWnd";
constexpr char MENU_CLASS[] = "#32768";
constexpr char DIALOG_CLASS[] = "#32770";
constexpr char BALLOON_CLASS[] = "tooltips_class32";
constexpr LONG BALLOON_STYLE = 0x40;  // TTS_BALLOON

constexpr char MAIN_CLASS[] = "KovaTrayTestMain";
constexpr char STANDIN_PROGRAM_CLASS[] = "KovaWinStub";
constexpr char STANDIN_PROGID[] = "KovaTest.StandInViewer";
constexpr DWORD RESCUE_WAIT_MS = 3000;
constexpr DWORD NOTIFY_WAIT_MS = 60000;

DWORD ProcessOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

bool IsOurs(HWND window) { return ProcessOf(window) == GetCurrentProcessId(); }

constexpr DWORD ANY_PROCESS = 0;

// Visible top-level windows of a class, of one process or of any.
std::vector<HWND> TopLevelWindows(const char* className, DWORD pid)
{
    std::vector<HWND> found;
    for (HWND w = FindWindowExA(nullptr, nullptr, className, nullptr); w; w = FindWindowExA(nullptr, w, className, nullptr)) {
        if (IsWindowVisible(w) && (pid == ANY_PROCESS || ProcessOf(w) == pid)) {
            found.push_back(w);
        }
    }
    return found;
}

// A menu or box left open by a check that failed would hold the test's main
// thread in its modal loop for ever: close them.
void CloseLeftovers()
{
    for (HWND menu : TopLevelWindows(MENU_CLASS, GetCurrentProcessId())) {
        DismissMenu(menu);
    }
    for (HWND box : TopLevelWindows(DIALOG_CLASS, GetCurrentProcessId())) {
        PostMessageA(box, WM_CLOSE, 0, 0);
    }
}

LONG SetClassesText(const char* subkey, const std::string& text)
{
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }
    return rc;
}

}  // namespace

// ---- The notification area ----

namespace {

bool Uniform(const std::vector<uint32_t>& pixels)
{
    for (uint32_t p : pixels) {
        if (p != pixels.front()) {
            return false;
        }
    }
    return true;
}

}  // namespace

namespace {

// The slots looked at, from the right end of the task bar.
constexpr int TRAY_SLOTS = 16;

}  // namespace

std::vector<TrayPicture> TrayPictures()
{
    std::vector<TrayPicture> pictures;
    RECT tray{};
    if (!GetWindowRect(FindWindowA(TRAY_WINDOW_CLASS, nullptr), &tray)) {
        return pictures;
    }
    // Each slot is a small icon with a border of two pixels around it.
    int slot = GetSystemMetrics(SM_CXSMICON) + 4;
    RECT area{tray.right - slot * TRAY_SLOTS, tray.top, tray.right, tray.bottom};
    ScreenPixels pixels;
    if (!GrabScreen(area, pixels)) {
        return pictures;
    }
    for (int i = 0; i < TRAY_SLOTS; ++i) {
        int left = pixels.Width - slot * (i + 1);
        TrayPicture picture;
        for (int y = 0; y < pixels.Height; ++y) {
            for (int x = left; x < left + slot; ++x) {
                picture.push_back(pixels.Bgrx[static_cast<size_t>(y) * pixels.Width + x]);
            }
        }
        if (!Uniform(picture)) {
            pictures.push_back(picture);
        }
    }
    return pictures;
}

size_t TrayCount(const TrayPicture& picture)
{
    size_t count = 0;
    for (const TrayPicture& shown : TrayPictures()) {
        count += shown == picture ? 1 : 0;
    }
    return count;
}

TrayPicture WaitForNewPicture(const std::vector<TrayPicture>& known, DWORD timeoutMs)
{
    auto isNew = [&](const TrayPicture& p) {
        for (const TrayPicture& k : known) {
            if (k == p) {
                return false;
            }
        }
        return true;
    };
    // A picture counts once two reads in a row show it: the shell may be
    // half way through drawing it.
    TrayPicture candidate;
    TrayPicture found;
    WaitWithoutPumping(
        [&] {
            for (const TrayPicture& p : TrayPictures()) {
                if (isNew(p)) {
                    if (p == candidate) {
                        found = p;
                        return true;
                    }
                    candidate = p;
                    return false;
                }
            }
            candidate.clear();
            return false;
        },
        timeoutMs);
    return found;
}

std::vector<TrayPicture> SettledTrayPictures()
{
    std::vector<TrayPicture> last;
    std::vector<TrayPicture> now = TrayPictures();
    WaitWithoutPumping(
        [&] {
            Sleep(50);
            last = now;
            now = TrayPictures();
            return now == last;
        },
        TRAY_SETTLE_MS);
    return now;
}

bool WaitForTrayCount(const TrayPicture& picture, size_t count, DWORD timeoutMs)
{
    return WaitWithoutPumping([&] { return TrayCount(picture) == count; }, timeoutMs);
}

bool ShellHasIcon(HWND owner, UINT id)
{
    NOTIFYICONDATAA probe{};
    probe.cbSize = sizeof(probe);
    probe.hWnd = owner;
    probe.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

HWND FindBalloon()
{
    for (HWND tip : TopLevelWindows(BALLOON_CLASS, ANY_PROCESS)) {
        if (GetWindowLongA(tip, GWL_STYLE) & BALLOON_STYLE) {
            return tip;
        }
    }
    return nullptr;
}

// ---- Menus and boxes ----

HWND WaitForMenu(DWORD timeoutMs, DWORD pid)
{
    HWND menu = nullptr;
    WaitUntil(
        [&] {
            std::vector<HWND> open = TopLevelWindows(MENU_CLASS, pid);
            menu = open.empty() ? nullptr : open.front();
            return menu != nullptr;
        },
        timeoutMs);
    return menu;
}

MenuView ReadMenu(HWND menuWindow)
{
    MenuView view;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        char text[128] = {};
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        view.Entries.push_back({GetMenuItemID(menu, i), text, (state & MF_GRAYED) != 0});
    }
    if (menu) {
        UINT def = GetMenuDefaultItem(menu, FALSE, GMDI_USEDISABLED);
        view.DefaultId = def == static_cast<UINT>(-1) ? 0 : def;
    }
    return view;
}

void ChooseMenuEntry(HWND menuWindow, int position)
{
    // The menu opens with nothing selected: the first Down selects the first entry.
    for (int i = 0; i <= position; ++i) {
        PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    }
    PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

void DismissMenu(HWND menuWindow) { PostMessageA(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0); }

HWND WaitForBox(const char* caption, DWORD timeoutMs)
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindWindowA(DIALOG_CLASS, caption)) != nullptr && IsWindowVisible(box); },
              timeoutMs);
    return box;
}

std::string BoxText(HWND box)
{
    char text[512] = {};
    GetDlgItemTextA(box, IDC_MSGBOX_TEXT, text, sizeof(text));
    return text;
}

void ClickBoxButton(HWND box, int id)
{
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

// ---- Stand-ins ----

StandInWindow::StandInWindow(const char* className, const char* title)
{
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this, ready, cls = std::string(className), text = std::string(title)] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = cls.c_str();
        RegisterClassA(&wc);  // already there from an earlier stand-in: fine
        m_window = CreateWindowExA(0, cls.c_str(), text.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200, 320,
                                   120, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetEvent(ready);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageA(&msg);
        }
    });
    WaitForSingleObject(ready, TRAY_WAIT_MS);
    CloseHandle(ready);
}

StandInWindow::~StandInWindow()
{
    if (IsWindow(m_window)) {
        PostMessageA(m_window, WM_CLOSE, 0, 0);
    }
    m_thread.join();
}

LRESULT CALLBACK StandInWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<StandInWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {

    case WM_CLOSE:
        if (self) {
            self->m_closeAsked = true;
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name)
{
    SetEnvironmentVariableA(name, value.c_str());
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableA(m_name.c_str(), nullptr); }

ScopedFileAssociation::ScopedFileAssociation(const char* extension) : m_extension(extension)
{
    char previous[256] = {};
    LONG size = sizeof(previous);
    if (RegQueryValueA(HKEY_CLASSES_ROOT, extension, previous, &size) == ERROR_SUCCESS) {
        m_previous = previous;
    }
    std::string command = "\"" + StagedPath("winstub.exe") + "\" \"%1\"";
    EXPECT_EQ(SetClassesText((std::string(STANDIN_PROGID) + "\\shell\\open\\command").c_str(), command), ERROR_SUCCESS);
    EXPECT_EQ(SetClassesText(extension, STANDIN_PROGID), ERROR_SUCCESS);
}

ScopedFileAssociation::~ScopedFileAssociation()
{
    if (m_previous.empty()) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, m_extension.c_str());
    } else {
        SetClassesText(m_extension.c_str(), m_previous);
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, STANDIN_PROGID);
}

// ---- The fixture ----

void TrayWorld::SetUp()
{
    // The key the trays tap before taking the foreground reaches this
    // thread's queue as real input, and under Wine it can swallow a key the
    // test posts to a menu that has just opened. Tests that look at the tap
    // set it themselves.
    SetControl("Vk_ApFore", 0);
    s_current = this;
    s_closeCount = 0;
    s_exitTimerCount = 0;
    s_exitTimerTick = 0;
    CTrayControl::ExitQuestionOpen = 0;

    WNDCLASSA wc{};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = MAIN_CLASS;
    RegisterClassA(&wc);
    // A hidden top-level window like the program's own: the shell removes
    // its icons when it goes, should a test fail half-way.
    m_main = CreateWindowExA(0, MAIN_CLASS, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(m_main, nullptr);
    // What the main controller would publish: the window, the instance and
    // the message box of the exit question.
    SetAppMainWindow(m_main);
    SetAppInstance(GetModuleHandleA(nullptr));
    SetAppMessageBox(ShowMessageBox);
}

void TrayWorld::TearDown()
{
    m_keyboard.reset();
    m_remote.reset();
    // Stand-in programs a failed check left open would outlive the test.
    for (const char* className : {STANDIN_PROGRAM_CLASS, "help.class"}) {
        for (HWND w = FindWindowA(className, nullptr); w; w = FindWindowExA(nullptr, w, className, nullptr)) {
            if (!IsOurs(w)) {
                PostMessageA(w, WM_CLOSE, 0, 0);
            }
        }
    }
    ResetConfigStoreForTests();
    DestroyWindow(m_main);
    SetAppMainWindow(nullptr);
    SetAppInstance(nullptr);
    SetAppMessageBox(nullptr);
    s_current = nullptr;
}

void TrayWorld::SetControl(const char* name, uint32_t value)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, name, value);
}

void TrayWorld::SetRemoteText(const char* name, const std::string& text)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, name, text);
}

void TrayWorld::EnableKeyboardTray()
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KEYBOARD_UTILITY_FLAG_KEY, KEYBOARD_UTILITY_FLAG, 1);
}

void TrayWorld::CreateTrays(bool withKeyboard)
{
    m_keyboard.reset();
    m_remote.reset();
    ResetConfigStoreForTests();
    m_remote = std::make_unique<CKovaTrayCtrl>();
    if (withKeyboard) {
        m_keyboard = std::make_unique<CTeskTrayCtrl>();
    }
}

TrayPicture TrayWorld::ShowAndSee(CTrayControl& tray)
{
    std::vector<TrayPicture> before = SettledTrayPictures();
    tray.ShowIcon();
    TrayPicture picture = WaitForNewPicture(before);
    EXPECT_FALSE(picture.empty()) << "the icon did not show";
    return picture;
}

namespace {
int g_notifyDepth = 0;
int g_notifyHandled = 0;
}  // namespace

void TrayWorld::Notify(UINT iconId, UINT mouseMessage, const std::function<void()>& user)
{
    int handledBefore = g_notifyHandled;
    m_handled = false;
    std::thread driver;
    if (user) {
        driver = std::thread([&] {
            user();
            if (WaitUntil([&] { return m_handled.load(); }, RESCUE_WAIT_MS)) {
                return;
            }
            ADD_FAILURE() << "a menu or box was left open";
            // Each one closed may uncover another, nested below it; a box
            // ended from within a nested loop waits for one more message.
            WaitUntil(
                [&] {
                    CloseLeftovers();
                    PostMessageA(m_main, WM_NULL, 0, 0);
                    return m_handled.load();
                },
                NOTIFY_WAIT_MS);
        });
    }
    PostMessageA(m_main, WM_TRAY_NOTIFY, iconId, mouseMessage);
    EXPECT_TRUE(WaitUntil([&] { return g_notifyHandled > handledBefore; }, NOTIFY_WAIT_MS));
    m_handled = true;
    if (driver.joinable()) {
        driver.join();
    }
    // What the handling posted (WM_CLOSE above all) arrives now.
    PumpFor(0);
}

bool TrayWorld::SomethingPoppedUpUntilHandled()
{
    bool popped = false;
    while (!m_handled) {
        if (!TopLevelWindows(MENU_CLASS, GetCurrentProcessId()).empty() || !TopLevelWindows(DIALOG_CLASS, GetCurrentProcessId()).empty()) {
            popped = true;
            CloseLeftovers();
        }
        Sleep(20);
    }
    return popped;
}

LRESULT CALLBACK TrayWorld::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TRAY_NOTIFY: {
        TrayWorld* world = s_current;
        CTrayControl* tray = nullptr;
        if (world && wParam == TRAY_ICON_REMOTE) {
            tray = world->m_remote.get();
        } else if (world && wParam == TRAY_ICON_KEYBOARD) {
            tray = world->m_keyboard.get();
        }
        ++g_notifyDepth;
        if (tray) {
            tray->OnTrayNotify(message, static_cast<UINT>(wParam), static_cast<UINT>(lParam));
        }
        // Only the outermost notification counts: others come in while a
        // menu or box of the first one runs its loop.
        if (--g_notifyDepth == 0) {
            ++g_notifyHandled;
        }
        return 0;
    }
    case WM_CLOSE:
        // The program's window would go now; the test's stays to be looked at.
        ++s_closeCount;
        return 0;
    case WM_TIMER:
        if (wParam == IDT_EXIT) {
            KillTimer(window, IDT_EXIT);
            ++s_exitTimerCount;
            s_exitTimerTick = GetTickCount();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

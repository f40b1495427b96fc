#pragma once
// What the tray tests drive and watch: a hidden main window of the test that
// hands the icons' messages to the tray controllers (as the program's main
// window does), the notification area of the desktop's shell, the popup
// menu and the exit question as a user sees them, and stand-in windows of
// the setting utility and the help.

#include <windows.h>

#include "tray/kova_tray_ctrl.h"
#include "tray/tesk_tray_ctrl.h"
#include "tests/support/pump.h"

#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

constexpr DWORD TRAY_WAIT_MS = 10000;
constexpr DWORD TRAY_SETTLE_MS = 5000;

// Waits without handling this thread's messages, so that a blink restore
// timer of this thread cannot fire meanwhile.
template <typename Cond>
bool WaitWithoutPumping(Cond cond, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start >= timeoutMs) {
            return cond();
        }
        Sleep(10);
    }
    return true;
}

// ---- The notification area ----
// Wine's task bar draws the notification icons itself, right to left from
// its right end, one square slot per icon. Other programs of the session
// (tests running alongside) may add and remove icons at any time and so
// move ours, so the tests look for an icon by its picture, not its place.

using TrayPicture = std::vector<uint32_t>;

// The pictures the notification area shows now, right to left (empty
// slots left out).
std::vector<TrayPicture> TrayPictures();
// How many slots show exactly this picture.
size_t TrayCount(const TrayPicture& picture);
// Waits, without handling this thread's messages, for a picture that is
// not among known and has been drawn completely; empty when none came.
TrayPicture WaitForNewPicture(const std::vector<TrayPicture>& known, DWORD timeoutMs = TRAY_SETTLE_MS);
// The pictures shown once the shell has stopped drawing.
std::vector<TrayPicture> SettledTrayPictures();
// Waits, without handling this thread's messages, until the picture is
// shown count times.
bool WaitForTrayCount(const TrayPicture& picture, size_t count, DWORD timeoutMs = TRAY_SETTLE_MS);
// The shell holds the icon of owner and id: a modify without changes
// succeeds only for an icon it has.
bool ShellHasIcon(HWND owner, UINT id);
// A visible balloon of the notification area, or null.
HWND FindBalloon();

// ---- The popup menu and the program's message boxes ----

struct MenuEntry {
    UINT Id;
    std::string Text;
    bool Grayed;
};
struct MenuView {
    std::vector<MenuEntry> Entries;
    UINT DefaultId = 0;
};

// The open popup menu of this process (or of the process pid), waited
// for; null when none came.
HWND WaitForMenu(DWORD timeoutMs = TRAY_WAIT_MS, DWORD pid = GetCurrentProcessId());
MenuView ReadMenu(HWND menuWindow);
// Moves down to the entry at position (0 is the first) and presses Enter.
void ChooseMenuEntry(HWND menuWindow, int position);
void DismissMenu(HWND menuWindow);

// The visible box with that caption, waited for.
HWND WaitForBox(const char* caption, DWORD timeoutMs = TRAY_WAIT_MS);
std::string BoxText(HWND box);
// What a button tells its dialog when the user clicks it.
void ClickBoxButton(HWND box, int id);

// ---- Stand-ins of the setting utility and the help window ----

// A visible top-level window of the test with a class and title, run by a
// thread of its own as another program's window would be.
class StandInWindow {
public:
    StandInWindow(const char* className, const char* title);
    ~StandInWindow();

    StandInWindow(const StandInWindow&) = delete;
    StandInWindow& operator=(const StandInWindow&) = delete;

    HWND Window() const { return m_window; }
    bool CloseAsked() const { return m_closeAsked.load(); }
    bool Gone() const { return !IsWindow(m_window); }

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    std::thread m_thread;
    HWND m_window = nullptr;
    std::atomic<bool> m_closeAsked{false};
};

// Sets an environment variable for this process and the programs it starts,
// and removes it again.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string m_name;
};

// Opens files of an extension with winstub.exe ("%1" on its command line)
// for the life of the object, through the machine's file classes.
class ScopedFileAssociation {
public:
    explicit ScopedFileAssociation(const char* extension);
    ~ScopedFileAssociation();

private:
    std::string m_extension;
    std::string m_previous;
};

// ---- The fixture ----

class TrayWorld : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static void SetControl(const char* name, uint32_t value);
    static void SetRemoteText(const char* name, const std::string& text);
    static void EnableKeyboardTray();
    // (Re)creates the trays from the settings written so far.
    void CreateTrays(bool withKeyboard = true);
    // Shows a tray's icon and returns its picture once the shell drew it.
    static TrayPicture ShowAndSee(CTrayControl& tray);

    // Posts a message on an icon as the shell does and runs this thread's
    // loop until it has been handled, while user() acts on what appears
    // (menus, boxes) from another thread.
    void Notify(UINT iconId, UINT mouseMessage, const std::function<void()>& user = {});
    // For user(): waits until the notification has been handled, watching
    // that no menu or box of this process shows meanwhile; true when one
    // did (it is closed again, so the test goes on).
    bool SomethingPoppedUpUntilHandled();
    // A notification during which nothing may pop up; true when something did.
    bool NotifyShowsSomething(UINT iconId, UINT mouseMessage)
    {
        bool shown = false;
        Notify(iconId, mouseMessage, [&] { shown = SomethingPoppedUpUntilHandled(); });
        return shown;
    }

    RegistrySandbox m_sandbox;
    HWND m_main = nullptr;
    std::unique_ptr<CKovaTrayCtrl> m_remote;
    std::unique_ptr<CTeskTrayCtrl> m_keyboard;

    // What reached the test's main window.
    static inline int s_closeCount = 0;
    static inline int s_exitTimerCount = 0;
    static inline DWORD s_exitTimerTick = 0;

private:
    std::atomic<bool> m_handled{false};
    static LRESULT CALLBACK MainProc(HWND, UINT, WPARAM, LPARAM);
    static inline TrayWorld* s_current = nullptr;
};

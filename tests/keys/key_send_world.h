#pragma once
// What the working key controller's tests drive and watch: a configured
// machine in a sandbox (launch profiles with launch stand-ins, a CD player
// window, the TV and media applications under window names of the test's
// own) and one window of the test registered as the target of every
// category, each with its own message, so that the message tells the
// category. Everything a button did is gathered as one list of events,
// written the way the button tables are written: post(1, 0, 4109).

#include <windows.h>

#include "keys/key_send_ctrl.h"

#include "tests/launch/launch_world.h"
#include "tests/support/pump.h"
#include "tests/support/recording_window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

using Events = std::vector<std::string>;

// One expected event each.
std::string Post(uint16_t mask, WPARAM wParam, uint32_t command);
std::string PlayerIndex(LPARAM index);  // the CD player's private message
std::string Started(const char* program);
std::string Shown(const std::string& text);
std::string Box(UINT slot, const std::string& text);
std::string Effect(int answer);
extern const char MAXIMIZED[];  // the media-center window was maximized
extern const char MINIMIZED[];

// The names of the launch profiles and the programs they start.
extern const char TV_PROFILE[];
extern const char DVD_PROFILE[];
extern const char TV_OTHER_PROFILE[];
extern const char HALCYON_PROFILE[];
extern const char MEDIA_CENTER_A[];  // profile 10, starts mca.exe
extern const char MEDIA_CENTER_B[];  // profile 11, starts mcb.exe
extern const char MEDIA_CENTER_C[];  // profile 14, name only
extern const char ONE_TOUCH_1[];     // one-touch button 1 of the default set, starts touch1.exe

// Waits for a timer without a window of periodMs set now: every such timer
// of the same or a shorter period set before it has fired by then.
void AwaitWindowlessTimers(UINT periodMs);

// A press and its release, as the handler tables list them.
struct KeyRowCase {
    uint16_t code;
    Events onPress;
    Events onRelease;
};

class KeySendWorld {
public:
    // The registry is written, nothing built yet; tests add their own
    // settings, then call Build().
    KeySendWorld();
    ~KeySendWorld();

    KeySendWorld(const KeySendWorld&) = delete;
    KeySendWorld& operator=(const KeySendWorld&) = delete;

    // (Re)creates the controller from the registry as it is now (the store is
    // loaded afresh) and registers the target window.
    void Build();
    // Destroys the controller.
    void TearDownController();
    CKeySendCtrl& Keys() { return *m_keys; }
    bool Built() const { return m_keys != nullptr; }
    LaunchWorld& Launch() { return m_launch; }

    // Everything that happened since the last call, sorted. Launches are
    // waited for; posts are read behind a fence.
    Events Collect();
    // Press (state 1) and release (state 0) of each row through press; the
    // events of each compared with the row's.
    void ExpectRows(const std::function<void(uint16_t code, uint32_t state)>& press,
                    const std::vector<KeyRowCase>& rows, const char* table);
    // The same through one of the controller's handlers.
    void ExpectRows(void (CKeySendCtrl::*handler)(uint16_t, uint32_t), const std::vector<KeyRowCase>& rows,
                    const char* table);

    // The windows that stand for the applications, under the configured names.
    void OpenMediaCenter();
    std::unique_ptr<RecordingWindow> OpenBrivue();
    std::unique_ptr<RecordingWindow> OpenHalcyon();
    std::unique_ptr<RecordingWindow> OpenTunerDeck();

    HWND TargetWindow() const { return m_targets->Window(); }

    static void SetControl(const char* name, uint32_t value);

private:
    void Profile(int index, const char* name, const char* program);

    LaunchWorld m_launch;
    std::string m_mediaCenterClass;
    std::string m_brivueClass;
    std::string m_halcyonClass;
    std::string m_tunerDeckClass;
    std::unique_ptr<RecordingWindow> m_targets;
    std::unique_ptr<RecordingWindow> m_player;
    std::unique_ptr<RecordingWindow> m_mediaCenter;
    HWND m_mainWindow = nullptr;
    std::unique_ptr<CKeySendCtrl> m_keys;
    size_t m_journalSeen = 0;
};

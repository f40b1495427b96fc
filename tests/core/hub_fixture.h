#pragma once
// Test fixtures for the main window and the main controller: a hidden window
// run by the program's own window procedure (which creates the controller),
// a key controller and tray controllers that record what reaches them, and
// one log that all of them write to, so tests can check the order of events.

#include <windows.h>

#include "core/main_ctrl.h"
#include "keys/key_ctrl.h"
#include "tray/tray_control.h"
#include "tests/support/pump.h"

#include <cstdint>
#include <string>
#include <vector>

// Everything the recording controllers saw, in order.
class HubLog {
public:
    static void Add(const std::string& line);
    static std::vector<std::string> Lines();
    // Lines that start with prefix.
    static std::vector<std::string> With(const std::string& prefix);
    static void Clear();
};

// Records every handler call as one line, e.g. "key RemoteButton 13 1 0".
// Its destruction is logged with what was still there at that moment.
class RecordingKeyCtrl : public CKeyCtrl {
public:
    RecordingKeyCtrl();
    ~RecordingKeyCtrl() override;

    void LaunchWakeButton(uint8_t code, uint8_t origin) override;
    void OnWakeEvent(uint8_t kind, uint16_t code, uint8_t flag) override;
    void FinishNumericEntry(uint32_t result) override;
    void OnRemoteButton(uint16_t code, uint32_t state, uint32_t deviceFlags) override;
    void OnConsumerKey(uint16_t usage, uint32_t state) override;
    void OnFunctionKey(uint16_t code, uint32_t state) override;
    void OnApplicationKey(uint16_t bit, uint32_t state) override;
    void OnDigitKey(uint16_t bit, uint32_t state) override;
    void OnModeKey(uint16_t code, uint32_t state) override;
    void OnMediaCenterKey(uint16_t code, uint32_t state) override;
    void OnExtraKey(uint16_t code, uint32_t state) override;
    void OnExtraKey2(uint16_t code, uint32_t state) override;
    void OnReport(const uint8_t* report, uint32_t length) override;
    void OnPanelKey(uint16_t code, uint32_t state) override;
    void OnPanelKey2(uint16_t code, uint32_t state) override;
    void OnEffectKey(uint32_t pressed, uint32_t state) override;
    void OnDataKey(uint16_t code, uint32_t state) override;
    void OnValueKey(uint16_t kind, uint16_t value, uint32_t state) override;
};

// A tray controller with a real icon record on the given window; it records
// the calls of its virtual operations and its destruction.
class RecordingTray : public CTrayControl {
public:
    RecordingTray(HWND window, UINT iconId);
    ~RecordingTray() override;

    LRESULT OnTrayNotify(UINT message, UINT iconId, UINT mouseMessage) override;
    void CloseUtility() override;
    void CloseHelp() override;
    BOOL ConfirmExit() override;
    void OpenUtility() override;
    void OpenHelp() override;
    BOOL IsUtilityOpen() override;
    BOOL IsHelpOpen() override;

protected:
    int BuildMenu(TrayMenuItem (&)[TRAY_MENU_MAX]) override { return 0; }
    void OnExitConfirmed() override {}

private:
    UINT m_id;
};

// The hidden main window, created with the program's window procedure under
// a class name of the test's own, or under the program's own class for a
// test of what clients find (such a test runs alone in the session).
class MainWindowHost {
public:
    explicit MainWindowHost(const char* className = nullptr);
    ~MainWindowHost();

    HWND Handle() const { return m_window; }
    CMainCtrl* Controller() const;
    // Puts a recording key controller (and optionally the trays) in place,
    // deleting whatever the window's creation made.
    RecordingKeyCtrl* InstallKeyController();
    void InstallTrays(bool keyboard);
    // Destroys the window now (the program's shut-down sequence).
    void Destroy();
    // How many WM_HID_REPORT messages for the window this thread has taken
    // from its queue so far, whoever pumped them.
    int ReportMessages() const;


private:
    HWND m_window = nullptr;
    HHOOK m_hook = nullptr;
};

// Writers of the Controls settings and the device identity of the test
// receiver (tests/hid/receiver_host.h), into the sandboxed registry.
void SetControl(const char* name, uint32_t value);
void AddTestReceiverIdentity();

// The plug command of the radio remote's display collection of the test
// receiver: collection 2, so that the client library, which opens the
// collections in turn until it finds the display, never opens the classic
// receiver's collection 3 that tests count the openings of.
std::string DisplayPlugCommand();
// How many output reports the display collection received that blank the
// remote's display (every field, number 0 with leading zeros blank, from a
// word that was not remembered), and how many output reports of any kind.
class ReceiverHost;
size_t BlankingReports(const ReceiverHost& host);
size_t DisplayReports(const ReceiverHost& host);

// The client registrations under HKCU SENDWINDOW: the value
// "SendWnd<n>_<field>" of registration n.
std::string SendWindowValueName(const char* field, int n);
void SetSendWindowValue(const char* field, int n, uint32_t value);
// False when the value is absent.
bool GetSendWindowValue(const char* field, int n, uint32_t* value);
bool SendWindowValueExists(const char* field, int n);

#pragma once
// Test fixtures for the receiver input: a virtual receiver hosted in the test
// process under a name of its own (the backend is pointed at it), and a
// hidden window that plays the main window's part for the device manager:
// it issues reads on WM_HID_READ_NEXT, records every WM_HID_REPORT and hands
// WM_DEVICECHANGE to the manager as the main controller will.

#include <windows.h>

#include "companions/vreceiver/virtual_receiver.h"
#include "hid/hid_control.h"
#include "tests/support/pump.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class ReceiverHost {
public:
    ReceiverHost();
    ~ReceiverHost();

    // Runs a command; the test fails on a refused one.
    void Run(const std::string& command);
    // Runs a command that must be refused; gives the reason.
    std::string RunBad(const std::string& command);

    std::vector<std::string> Events() const;
    // Events starting with prefix.
    std::vector<std::string> EventsWith(const std::string& prefix) const;
    // Waits (dispatching this thread's messages) until count such events exist.
    bool WaitForEvents(const std::string& prefix, size_t count, DWORD timeoutMs = 10000) const;

    const std::string& Instance() const { return m_instance; }
    VirtualReceiver& Receiver() { return m_receiver; }

private:
    void Record(const std::string& line);

    std::string m_instance;
    mutable std::mutex m_lock;
    std::vector<std::string> m_events;
    VirtualReceiver m_receiver;
};

// One report as the test window saw it.
struct SeenReport {
    CHidDevice* Device;
    std::vector<uint8_t> Bytes;
};

class HidTestWindow {
public:
    HidTestWindow();
    ~HidTestWindow();

    HWND Handle() const { return m_window; }
    void Attach(CHidControl* control) { m_control = control; }

    std::vector<SeenReport> Reports;
    int ReadRequests = 0;      // WM_HID_READ_NEXT handled
    int UnknownDevices = 0;    // WM_HID_* whose lParam was no listed device
    std::vector<std::string> DeviceChanges;  // "arrival <name>", "queryremove", ...

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    CHidControl* m_control = nullptr;
};

// Identity of the test receivers.
constexpr uint32_t TEST_VENDOR = 0x0BDA;
constexpr uint32_t TEST_PRODUCT = 0x0150;

// A plug command for a collection of the test receiver.
std::string PlugCommand(int number, const char* page, const char* usage, const std::string& extra = "");

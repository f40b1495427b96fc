#pragma once
// CMainCtrl: created with the hidden main window; owns every other long-lived
// controller and keeps the receiver open at the right times.

#include <windows.h>

#include "config/config.h"

class CMainCtrl : public CConfig {
public:
    CMainCtrl();
    ~CMainCtrl() override;

    void OnCreate(HWND window, HINSTANCE instance);
    void OnDestroy();

    // Blanks the radio remote's display through the client library.
    BOOL ClearRemoteLcd();

    // Class-wide state, one copy per process.
    static HWND MainWindow;
    static HINSTANCE AppInstance;
    static LONG ConsoleConnected;
    static LONG SessionLocked;
    static HANDLE RestartMutex;
    static LONG DisplayOff;
    static LONG WakeReplySent;
    static LONG DisplayOffSeen;

private:
    HMODULE KovaApiModule = nullptr;
    bool m_sessionNotifyRegistered = false;
};

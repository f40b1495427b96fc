#pragma once
// CTrayControl: the base of the two notification icons (remote control and
// keyboard). Each controller owns its own icon record, so both icons can be
// in the notification area side by side.

#include <windows.h>
#include <shellapi.h>

#include "config/config.h"

#include <cstdint>

// The blink shown for a qualifying button press.
constexpr UINT TRAY_BLINK_MS = 200;

class CTrayControl : public CConfig {
public:
    CTrayControl();
    ~CTrayControl() override;

    CTrayControl(const CTrayControl&) = delete;
    CTrayControl& operator=(const CTrayControl&) = delete;

    void ShowIcon();
    void HideIcon();
    // Blinks for an input of the given kind (2 to 6) when Fmode enables it.
    void FlashIcon(uint16_t kind);
    void ShowBalloon(LPCSTR text, LPCSTR title, DWORD infoFlags, UINT seconds);

    virtual LRESULT OnTrayNotify(UINT message, UINT iconId, UINT mouseMessage) = 0;
    virtual void CloseUtility() = 0;
    virtual void CloseHelp() = 0;
    virtual BOOL ConfirmExit() = 0;
    virtual void OpenUtility() = 0;
    virtual void OpenHelp() = 0;
    virtual BOOL IsUtilityOpen() = 0;
    virtual BOOL IsHelpOpen() = 0;

    bool IsShown() const { return Shown != 0; }
    bool IsEnabled() const { return Enabled != 0; }
    const NOTIFYICONDATAA& GetIconData() const { return IconData; }

    // An exit question of either tray is on screen: both ignore their icons.
    static LONG ExitQuestionOpen;

protected:
    LONG Shown = 0;
    LONG Enabled = 0;
    STARTUPINFOA UtilityStartup{};
    PROCESS_INFORMATION UtilityProcess{};
    SHELLEXECUTEINFOA HelpExecute{};

    NOTIFYICONDATAA IconData{};
    HICON NormalIcon = nullptr;
    HICON BlinkIcon = nullptr;

private:
    static void CALLBACK RestoreIconTimerProc(HWND, UINT, UINT_PTR id, DWORD);
    void RestoreNormalIcon();
};

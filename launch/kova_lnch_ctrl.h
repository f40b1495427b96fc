#pragma once
// CKovaLnchCtrl: what a launch button of the remote does. Each button is tied
// to one of 20 launch profiles in the registry. Before it loads one, the
// controller looks at which media applications run (the Media Center shell
// and the TV applications Brivue, Halcyon and TunerDeck) and either sends the
// running one a command, or picks the profile to start, or does nothing; a
// profile that cannot be used shows its message instead. Main thread only:
// the waits of the TV buttons 113 and 114 block it.

#include <windows.h>

#include "base/scoped.h"
#include "launch/lnch_ctrl.h"

#include <cstdint>
#include <memory>

class CRegs;
class CSendCtrl;
class IReceiverReports;

constexpr char LAUNCH_PROFILES_KEY[] = "Software\\Orlan\\Kova\\Default";  // HKLM

// The profiles with rules of their own, by 0-based index (the registry
// numbers them from 1).
constexpr uint32_t PROFILE_TV = 0;               // codes 16, 256, 113
constexpr uint32_t PROFILE_DVD = 1;              // codes 2, 110
constexpr uint32_t PROFILE_MEDIA_CENTER_A = 10;  // code 108
constexpr uint32_t PROFILE_MEDIA_CENTER_B = 11;  // code 112
constexpr uint32_t PROFILE_TV_OTHER = 12;        // codes 95, 114
constexpr uint32_t PROFILE_HALCYON = 13;         // code 1
constexpr uint32_t PROFILE_MEDIA_CENTER_C = 14;  // only its name is shown
constexpr uint32_t PROFILE_COUNT = 20;
// No profile: loading it fails, which ends in the failure branch.
constexpr uint32_t PROFILE_NONE = 0xFFFFFFFF;

// The retry tick of the key controller's Brivue start timer.
constexpr uint32_t BRIVUE_RETRY_CODE = 0x1FFFF;
// The wake event's flag byte of a button that woke a connected-standby PC.
constexpr uint8_t WAKE_ORIGIN_BUTTON = 0x44;

// The Media Center shell, and the launcher that replaces it on machines
// without the TV applications.
constexpr char MEDIA_CENTER_SHELL_PATH[] = "C:\\Windows\\ehome\\ehshell.exe";
constexpr char MEDIA_CENTER_FULLSCREEN_MESSAGE[] = "IsWMCEShellFullscreen";
constexpr UINT MEDIA_CENTER_QUERY_TIMEOUT_MS = 1000;

// The TV status library in Brivue's folder; its export answers 0 when the TV
// can be used.
constexpr char TV_STATUS_LIBRARY[] = "BvBootCk.dll";
constexpr char TV_STATUS_EXPORT[] = "BvBtCkGetTVStatus";

class CKovaLnchCtrl : public CLnchCtrl {
public:
    // receiver: the handshake and TV-ready reports (through the device
    // manager); brivueRetriesLeft: the key controller's count of Brivue start
    // retries, set to 0 here to end them. Either may be null.
    CKovaLnchCtrl(IReceiverReports* receiver, int* brivueRetriesLeft);
    ~CKovaLnchCtrl() override;

    // origin: the wake event's flag byte with codes 113 and 114, else 0.
    void LaunchButton(uint32_t code, uint8_t origin) override;

    // Fills Request from profile index (0..19). FALSE when the profile cannot
    // be used; ProfileName holds its name from the moment it was read.
    BOOL LoadButtonProfile(uint32_t index);
    // Loads the profile only to show its name.
    void ShowButtonProfileName(uint32_t index);
    // Whether an entry of the profile resolves to path (any case); Request is
    // not touched.
    BOOL ProfileContainsPath(uint32_t index, const char* path);
    // Maximizes the Media Center shell unless it says it is full screen.
    BOOL MaximizeMediaCenter(HWND window);
    BOOL MinimizeWindow(HWND window);
    BOOL IsBrivueRunning();

    // BVErrString1 and BVErrString2 on two lines.
    static char TvErrorText[2 * TEXT_FIELD_SIZE];

private:
    using TvStatusFn = int(WINAPI*)(int);

    // Name, count, mode and entries of a profile into Request.
    bool ReadButtonProfile(CRegs& regs, uint32_t index);
    // The wait of codes 113 and 114 for a Brivue that is still closing after
    // it woke the PC; the Brivue window after it, or null.
    HWND WaitForClosingBrivue(uint8_t origin, HWND brivue);
    void EndBrivueRetries();
    void ShowNotice(const char* text, UINT slot);
    // The message of a profile that cannot be used (none for most).
    void ShowProfileFailure(uint32_t profile);
    // AltRunner brings the desktop to the front on Windows 8 and later when
    // a full-screen app is in front.
    static void StartAltRunnerWhenNeeded();
    static bool AltRunnerNeeded();

    std::unique_ptr<CSendCtrl> Sender;
    IReceiverReports* m_receiver;
    int* m_brivueRetriesLeft;
    uint8_t CheckTvStatus = 0;
    uint32_t ShowName = 1;

    ScopedModule m_tvStatusLibrary;
    TvStatusFn m_getTvStatus = nullptr;
    BOOL TvStatusAvailable = FALSE;
};

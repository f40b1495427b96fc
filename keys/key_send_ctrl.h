#pragma once
// CKeySendCtrl: the key controller of a configured machine (Test_Mode 0).
// For every button it decides what happens: the player is driven, the
// registered target windows get the button's command, a browser in front
// gets its navigation keys, a remote or one-touch button starts its
// programs, the volume display follows the volume keys, the numeric code
// entry runs, or the sound-effect mode changes. Most buttons are rows of
// the tables in keys/key_send_tables.h.
//
// Main thread only: reports, the Brivue start retry and the entry timer are
// all delivered by its message loop. One controller at a time: the remote
// launcher and the retry are process-wide, for the retry's window-less
// timer.

#include <windows.h>

#include "base/scoped.h"
#include "keys/key_ctrl.h"
#include "keys/key_send_tables.h"

#include <cstdint>
#include <memory>

class CKovaLnchCtrl;
class COsdControl;
class CPlayerCtrl;
class CSendCtrl;
class CTeskLnchCtrl;
class IReceiverReports;

// The sound-effect library of the AV device manager, under Program Files.
constexpr char SONRA_FOLDER[] = "SONRA";
constexpr char SONRA_LIBRARY[] = "sonraapi.dll";
constexpr char SONRA_CHANGE_EFFECT_EXPORT[] = "SONRA_ChangeEffectMode";
// What the effect key asks of it, and its answer when the effect
// application has gone.
constexpr int SONRA_EFFECT_NEXT = 100;
constexpr int SONRA_EFFECT_FLAG = 1;
constexpr int SONRA_APPLICATION_GONE = 2;

class CKeySendCtrl : public CKeyCtrl {
public:
    explicit CKeySendCtrl(CTrayControl* tray);
    ~CKeySendCtrl() override;

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

    // The Brivue start retry: RetryStartBV more launches of the TV profile,
    // TimerStartBV ms apart, until the Brivue window shows. Starting it
    // while it counts changes nothing.
    static void StartBrivueRetry();
    static void CALLBACK BrivueRetryTick(HWND window, UINT message, UINT_PTR id, DWORD time);

    // The TV and media applications, by their configured window names.
    static BOOL IsHalcyonRunning();
    static BOOL IsBrivueRunning();
    // Any title when TunerDeck_Title is empty.
    static BOOL IsTunerDeckRunning();

    // Process-wide: the one launcher of the remote's buttons (while a
    // controller lives), and the retries of the Brivue start still to come
    // (0: none pending). The launcher ends the retries too.
    static CKovaLnchCtrl* RemoteLauncher;
    static int BrivueRetriesLeft;

    // What the controller drives; each may be missing (its actions are
    // then skipped).
    CPlayerCtrl* Player() const { return m_player.get(); }
    CSendCtrl* Sender() const { return m_sender.get(); }
    CTeskLnchCtrl* OneTouchLauncher() const { return m_oneTouchLauncher.get(); }
    COsdControl* Osd() const { return m_osd.get(); }
    HMODULE EffectLibrary() const { return m_effectLibrary.get(); }

private:
    // Carries out a table's row for a press or release; fallback is the row
    // of a code the table does not list (null: such codes do nothing).
    void RunRow(const KeyRow* row, uint16_t code, uint32_t state);
    void RunAct(const KeyRow& row, uint16_t code, uint32_t state, BOOL frontIsTarget);
    // Post (mask, wParam, command) through the sender; TRUE when the window
    // in front is one of the targets.
    BOOL Post(uint16_t mask, WPARAM wParam, uint32_t command);
    void PlayerKey(uint16_t code, uint32_t state);
    void HideVolumeDisplay();
    void Launch(uint32_t button);
    void OnTvKey(uint32_t state);
    void ShowNotice(const char* text, UINT slot);
    static void KillBrivueTimer();

    std::unique_ptr<CPlayerCtrl> m_player;
    std::unique_ptr<CSendCtrl> m_sender;
    std::unique_ptr<IReceiverReports> m_receiver;
    std::unique_ptr<CTeskLnchCtrl> m_oneTouchLauncher;
    std::unique_ptr<COsdControl> m_osd;
    ScopedModule m_effectLibrary;
    // Whether the held remote button was accepted at its press.
    uint32_t RemoteButtonAccepted = 0;

    static UINT_PTR s_brivueTimer;
};

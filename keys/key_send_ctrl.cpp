#include "keys/key_send_ctrl.h"

#include "audio/vol_ctrl.h"
#include "base/app_context.h"
#include "base/export_binder.h"
#include "base/folders.h"
#include "config/os_class.h"
#include "hid/receiver_reports.h"
#include "launch/kova_lnch_ctrl.h"
#include "launch/player_ctrl.h"
#include "launch/send_ctrl.h"
#include "launch/shell_ops.h"
#include "launch/tesk_lnch_ctrl.h"
#include "osd/osd_control.h"

#include <new>

CKovaLnchCtrl* CKeySendCtrl::RemoteLauncher = nullptr;
int CKeySendCtrl::BrivueRetriesLeft = 0;
UINT_PTR CKeySendCtrl::s_brivueTimer = 0;

namespace {

constexpr uint32_t PRESSED = 1;

// The remote buttons of the player, and the three that count as play.
constexpr uint16_t REMOTE_NEXT = 1;
constexpr uint16_t REMOTE_PREV = 2;
constexpr uint16_t REMOTE_STOP = 4;
constexpr uint16_t REMOTE_PLAY = 8;
constexpr uint16_t REMOTE_PLAY_2 = 40;
constexpr uint16_t REMOTE_PLAY_3 = 61;
constexpr uint16_t REMOTE_PLAY_4 = 62;
// The remote's one-touch buttons 1 to 5 are the bits 256 to 4096.
constexpr uint16_t REMOTE_ONE_TOUCH_FIRST = 256;
constexpr uint16_t REMOTE_ONE_TOUCH_LAST = 4096;

// Digit-key bits above this are the number buttons 10 to 12, which post
// their command words instead of typing.
constexpr uint16_t DIGIT_KEY_LAST_DIGIT = 256;
constexpr uint32_t DIGIT_WORD_PRESS = 4;
constexpr uint32_t DIGIT_WORD_RELEASE = 81;

// The TV key's commands to a running Brivue: after AltRunner had to bring
// the desktop to the front, or plain.
constexpr uint32_t TV_KEY_COMMAND_AFTER_ALT_RUNNER = 70;
constexpr uint32_t TV_KEY_COMMAND = 29;
constexpr uint32_t TV_KEY_BUTTON = 95;

// The one extra-key-2 command, and the value key's kind.
constexpr uint32_t EXTRA_KEY_2_COMMAND = 51;
constexpr uint16_t VALUE_KIND = 69;

// Information icon and an OK button.
constexpr UINT NOTICE_TYPE = MB_OK | MB_ICONASTERISK;

bool IsPlayerButton(uint16_t code)
{
    switch (code) {
    case REMOTE_NEXT:
    case REMOTE_PREV:
    case REMOTE_STOP:
    case REMOTE_PLAY:
        return true;
    default:
        return false;
    }
}

bool CountsAsPlay(uint16_t code)
{
    return code == REMOTE_PLAY_2 || code == REMOTE_PLAY_3 || code == REMOTE_PLAY_4;
}

bool IsOneTouchButton(uint16_t code)
{
    for (uint16_t bit = REMOTE_ONE_TOUCH_FIRST; bit <= REMOTE_ONE_TOUCH_LAST; bit <<= 1) {
        if (code == bit) {
            return true;
        }
    }
    return false;
}

bool IsEntryCode(uint16_t code) { return code >= ENTRY_DIGIT_0 && code <= ENTRY_REPEAT_DIGIT; }

HWND FindMediaCenter() { return FindWindowA(CConfig::GetRemoteTexts().MC_Class, nullptr); }

// AltRunner brings the desktop to the front on Windows 8 and later when a
// full-screen app is in front.
bool AltRunnerNeeded()
{
    return CConfig::GetOsClass() >= OS_CLASS_WIN8 && CConfig::QueryDisplayMode() != DISPLAY_MODE_DESKTOP;
}

}  // namespace

CKeySendCtrl::CKeySendCtrl(CTrayControl* tray) : CKeyCtrl(tray)
{
    m_player.reset(new (std::nothrow) CPlayerCtrl());
    m_sender.reset(new (std::nothrow) CSendCtrl());
    // The receiver's TV handshake goes through the device manager, under
    // the mutex that guards every call into it.
    m_receiver.reset(new (std::nothrow) CReceiverReports(GetAppRestartMutex()));
    RemoteLauncher = new (std::nothrow) CKovaLnchCtrl(m_receiver.get(), &BrivueRetriesLeft);
    m_osd.reset(new (std::nothrow) COsdControl());
    if (GetControlSettings().Tesk_Enable) {
        m_oneTouchLauncher.reset(new (std::nothrow) CTeskLnchCtrl());
    }
    char folder[MAX_PATH] = {};
    char sonra[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    if (GetProgramFilesDir(folder, sizeof(folder)) && JoinPath(sonra, sizeof(sonra), folder, SONRA_FOLDER) &&
        JoinPath(path, sizeof(path), sonra, SONRA_LIBRARY)) {
        m_effectLibrary.reset(LoadLibraryA(path));
    }
}

CKeySendCtrl::~CKeySendCtrl()
{
    // A retry still pending would call the launcher that goes below.
    KillBrivueTimer();
    BrivueRetriesLeft = 0;
    m_effectLibrary.reset();
    m_player.reset();
    m_sender.reset();
    delete RemoteLauncher;
    RemoteLauncher = nullptr;
    m_oneTouchLauncher.reset();
    m_osd.reset();
    m_receiver.reset();
}

// ---- Wake launches ----

void CKeySendCtrl::LaunchWakeButton(uint8_t code, uint8_t origin)
{
    for (const WakeRow& row : WAKE_BUTTONS) {
        if (row.code != code) {
            continue;
        }
        CLnchCtrl* launcher = row.launcher == WakeLauncher::OneTouch ? static_cast<CLnchCtrl*>(OneTouchLauncher())
                                                                      : static_cast<CLnchCtrl*>(RemoteLauncher);
        if (launcher) {
            launcher->LaunchButton(code, row.passOrigin ? origin : 0);
        }
        if (row.startBrivueRetry) {
            StartBrivueRetry();
        }
        return;
    }
}

void CKeySendCtrl::OnWakeEvent(uint8_t kind, uint16_t code, uint8_t flag)
{
    for (const WakeEventRow& row : WAKE_EVENTS) {
        if (row.kind == kind && row.code == code) {
            LaunchWakeButton(row.button, row.passFlag ? flag : 0);
            return;
        }
    }
}

// ---- The Brivue start retry ----

void CKeySendCtrl::StartBrivueRetry()
{
    if (BrivueRetriesLeft != 0) {
        return;
    }
    const ControlSettings& settings = GetControlSettings();
    BrivueRetriesLeft = static_cast<int>(settings.RetryStartBV);
    if (BrivueRetriesLeft <= 0) {
        BrivueRetriesLeft = 0;
        return;
    }
    // No window: the main thread's message loop calls the procedure. A
    // timer left from retries that were ended meanwhile is replaced, so
    // only one ever counts.
    KillBrivueTimer();
    s_brivueTimer = SetTimer(nullptr, 0, settings.TimerStartBV, BrivueRetryTick);
}

void CALLBACK CKeySendCtrl::BrivueRetryTick(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (id == s_brivueTimer) {
        s_brivueTimer = 0;
    }
    if (BrivueRetriesLeft <= 0 || IsBrivueRunning() || !RemoteLauncher) {
        BrivueRetriesLeft = 0;
        return;
    }
    RemoteLauncher->LaunchButton(BRIVUE_RETRY_CODE, 0);
    // The launch may have ended the retries itself (the TV profile cannot
    // be used): then no further tick.
    if (BrivueRetriesLeft <= 0) {
        BrivueRetriesLeft = 0;
        return;
    }
    --BrivueRetriesLeft;
    s_brivueTimer = SetTimer(nullptr, 0, GetControlSettings().TimerStartBV, BrivueRetryTick);
}

void CKeySendCtrl::KillBrivueTimer()
{
    if (s_brivueTimer) {
        KillTimer(nullptr, s_brivueTimer);
        s_brivueTimer = 0;
    }
}

BOOL CKeySendCtrl::IsHalcyonRunning()
{
    const RemoteTexts& texts = GetRemoteTexts();
    return FindWindowA(texts.Hal_Class, texts.Hal_Title) != nullptr;
}

BOOL CKeySendCtrl::IsBrivueRunning()
{
    const RemoteTexts& texts = GetRemoteTexts();
    return FindWindowA(texts.BV_Class, texts.BV_Title) != nullptr;
}

BOOL CKeySendCtrl::IsTunerDeckRunning()
{
    const RemoteTexts& texts = GetRemoteTexts();
    return FindWindowA(texts.TunerDeck_Class, texts.TunerDeck_Title[0] ? texts.TunerDeck_Title : nullptr) != nullptr;
}

// ---- Small helpers ----

BOOL CKeySendCtrl::Post(uint16_t mask, WPARAM wParam, uint32_t command)
{
    return Sender() ? Sender()->PostToTargets(mask, wParam, static_cast<LPARAM>(command)) : FALSE;
}

void CKeySendCtrl::PlayerKey(uint16_t code, uint32_t state)
{
    if (Player()) {
        Player()->OnPlayerKey(code, state);
    }
}

void CKeySendCtrl::HideVolumeDisplay()
{
    if (VolumeControl) {
        VolumeControl->HideOsd();
    }
}

void CKeySendCtrl::Launch(uint32_t button)
{
    if (RemoteLauncher) {
        RemoteLauncher->LaunchButton(button, 0);
    }
    BrivueRetriesLeft = 0;
}

void CKeySendCtrl::ShowNotice(const char* text, UINT slot)
{
    ShowAppMessageBox(nullptr, text, GetRemoteTexts().AppNameSonra, NOTICE_TYPE, slot);
}

// ---- The tables ----

void CKeySendCtrl::RunRow(const KeyRow* row, uint16_t code, uint32_t state)
{
    if (!row) {
        return;
    }
    const bool pressed = state == PRESSED;
    // The player is told before the targets.
    const bool playerFirst = row->act == KeyAct::PlayerKey || row->act == KeyAct::WindKey;
    if (playerFirst) {
        RunAct(*row, code, state, FALSE);
    }
    // These decide for themselves whether their command goes out.
    const bool ownPost = row->act == KeyAct::NightModeOrPost || row->act == KeyAct::PostToHalcyonOrLaunch;
    const uint32_t command = pressed ? row->onPress : row->onRelease;
    BOOL frontIsTarget = FALSE;
    if (command != 0 && !ownPost) {
        frontIsTarget = Post(row->mask, 0, command);
    }
    if (!playerFirst) {
        RunAct(*row, code, state, frontIsTarget);
    }
}

void CKeySendCtrl::RunAct(const KeyRow& row, uint16_t code, uint32_t state, BOOL frontIsTarget)
{
    const bool pressed = state == PRESSED;
    switch (row.act) {
    case KeyAct::None:
        break;
    case KeyAct::PlayerKey:
        PlayerKey(static_cast<uint16_t>(row.arg ? row.arg : code), state);
        if (pressed) {
            HideVolumeDisplay();
        }
        break;
    case KeyAct::WindKey:
        if (Player()) {
            HWND player = nullptr;
            const uint32_t found = Player()->DetectPlayer(&player);
            const bool running = found == PLAYER_CD || found == PLAYER_DVD;
            Player()->OnPlayerKey(static_cast<uint16_t>(running ? row.arg : code), state);
        }
        if (pressed) {
            HideVolumeDisplay();
        }
        break;
    case KeyAct::FavouriteUnlessTarget:
        if (pressed && !frontIsTarget && Sender()) {
            Sender()->SendBrowserCommand(BROWSER_KIND_MENU, BROWSER_ADDRESS_ENTER);
        }
        break;
    case KeyAct::Mute:
        if (VolumeControl) {
            if (GetOsClass() < OS_CLASS_VISTA) {
                VolumeControl->OnMuteKeyLegacy(static_cast<int>(state));
            } else {
                VolumeControl->OnMuteKey(static_cast<int>(state));
            }
        }
        break;
    case KeyAct::CloseFront:
        if (pressed && Sender()) {
            Sender()->CloseForegroundWindow();
        }
        break;
    case KeyAct::ToggleMaximize:
        if (pressed && Sender()) {
            Sender()->ToggleMaximizeTargets(static_cast<uint16_t>(row.arg));
        }
        break;
    case KeyAct::Launch:
        if (pressed) {
            Launch(row.arg ? row.arg : code);
        }
        break;
    case KeyAct::MediaCenterProfile:
        if (pressed && RemoteLauncher) {
            RemoteLauncher->MaximizeMediaCenter(FindMediaCenter());
            RemoteLauncher->ShowButtonProfileName(row.arg);
        }
        break;
    case KeyAct::DigitUnlessTarget:
        if (!frontIsTarget && Sender()) {
            Sender()->SendDigitKey(static_cast<uint16_t>(row.arg), state);
        }
        break;
    case KeyAct::NightModeOrPost:
        if (!pressed) {
            break;
        }
        if (GetControlSettings().BSFlags == 1) {
            if (Osd()) {
                Osd()->ShowText(GetOnScreenTexts().CantUseNightMode, FALSE);
            }
        } else {
            Post(row.mask, 0, row.onPress);
        }
        break;
    case KeyAct::TvKey:
        OnTvKey(state);
        break;
    case KeyAct::NumericEntry:
        if (pressed) {
            RunNumericEntryKey(code, REMOTE_ENTRY_TIMEOUTS);
        }
        break;
    case KeyAct::PostToHalcyonOrLaunch:
        if (!pressed) {
            break;
        }
        if (IsHalcyonRunning()) {
            Post(row.mask, 0, row.onPress);
        } else if (RemoteLauncher) {
            RemoteLauncher->LaunchButton(row.arg, 0);
        }
        break;
    }
}

void CKeySendCtrl::OnTvKey(uint32_t state)
{
    // Only the press acts: a command per button, never a second one on its
    // release.
    if (state != PRESSED) {
        return;
    }
    if (IsBrivueRunning()) {
        if (AltRunnerNeeded()) {
            StartAltRunner();
            Post(CAT_0, 0, TV_KEY_COMMAND_AFTER_ALT_RUNNER);
        } else {
            Post(CAT_0, 0, TV_KEY_COMMAND);
        }
        return;
    }
    if (IsTunerDeckRunning()) {
        if (RemoteLauncher) {
            RemoteLauncher->MinimizeWindow(FindMediaCenter());
        }
        Post(CAT_0, 0, TV_KEY_COMMAND);
        return;
    }
    Launch(TV_KEY_BUTTON);
}

// ---- The handlers ----

void CKeySendCtrl::OnRemoteButton(uint16_t code, uint32_t state, uint32_t deviceFlags)
{
    const bool pressed = state == PRESSED;
    // A press from the keyboard's collection is the keyboard program's to
    // handle while it runs, unless kova serves the keyboard itself; its
    // release follows the press's decision.
    if (pressed) {
        RemoteButtonAccepted = !(deviceFlags != 0 && GetControlSettings().Tesk_Enable == 0 && IsKeyboardProgramRunning());
    }
    const bool accepted = RemoteButtonAccepted != 0;

    bool playerButton = false;
    if (IsPlayerButton(code) || CountsAsPlay(code)) {
        if (accepted) {
            PlayerKey(CountsAsPlay(code) ? REMOTE_PLAY : code, state);
        }
        playerButton = true;
    } else if (code == REMOTE_VOLUME_UP || code == REMOTE_VOLUME_DOWN) {
        if (GetOsClass() >= OS_CLASS_VISTA) {
            if (accepted && VolumeControl) {
                VolumeControl->OnVolumeKey(static_cast<int>(state));
            }
        } else if (VolumeControl) {
            if (pressed) {
                VolumeControl->UnmuteForVolume();
            }
            if (accepted) {
                VolumeControl->OnVolumeKeyLegacy(static_cast<int>(state));
            }
        }
    }
    if (playerButton && pressed && deviceFlags != 0) {
        HideVolumeDisplay();
    }

    // The browser keys and the one-touch buttons work whatever the
    // acceptance.
    if (!pressed || !Sender()) {
        return;
    }
    if (code == REMOTE_NEXT || code == REMOTE_PREV || code == REMOTE_STOP) {
        Sender()->SendBrowserCommand(BROWSER_KIND_NAVIGATE, code);
    } else if (IsOneTouchButton(code)) {
        HideVolumeDisplay();
        if (OneTouchLauncher()) {
            OneTouchLauncher()->LaunchButton(code, 0);
        }
    }
}

void CKeySendCtrl::OnConsumerKey(uint16_t usage, uint32_t state)
{
    if (Sender()) {
        RunRow(FindKeyRow(CONSUMER_KEYS, usage), usage, state);
    }
}

void CKeySendCtrl::OnFunctionKey(uint16_t code, uint32_t state)
{
    if (Sender()) {
        RunRow(FindKeyRow(FUNCTION_KEYS, code), code, state);
    }
}

void CKeySendCtrl::OnApplicationKey(uint16_t bit, uint32_t state)
{
    if (!Sender()) {
        return;
    }
    const KeyRow* row = FindKeyRow(APPLICATION_KEYS, bit);
    RunRow(row ? row : &APPLICATION_KEY_OTHER, bit, state);
}

void CKeySendCtrl::OnDigitKey(uint16_t bit, uint32_t state)
{
    if (!Sender()) {
        return;
    }
    const bool pressed = state == PRESSED;
    // The number buttons 10 to 12 (and any bit above 9) post a command word;
    // with BSFlags also on the release.
    if (bit > DIGIT_KEY_LAST_DIGIT && (pressed || GetControlSettings().BSFlags != 0)) {
        const uint32_t word = static_cast<uint32_t>(bit) << 16 | (pressed ? DIGIT_WORD_PRESS : DIGIT_WORD_RELEASE);
        if (Post(CAT_1, 0, word)) {
            return;
        }
    }
    Sender()->SendDigitKey(bit, state);
}

void CKeySendCtrl::OnModeKey(uint16_t code, uint32_t state)
{
    if (Sender()) {
        RunRow(FindKeyRow(MODE_KEYS, code), code, state);
    }
}

void CKeySendCtrl::OnMediaCenterKey(uint16_t code, uint32_t state)
{
    RunRow(FindKeyRow(MEDIA_CENTER_KEYS, code), code, state);
}

void CKeySendCtrl::OnExtraKey(uint16_t code, uint32_t state)
{
    RunRow(FindKeyRow(EXTRA_KEYS, code), code, state);
    // Any other key ends a running entry, its release and keys that do
    // nothing included.
    if (!IsEntryCode(code)) {
        CancelNumericEntry();
    }
}

void CKeySendCtrl::OnExtraKey2(uint16_t, uint32_t)
{
    Post(CAT_5, 0, EXTRA_KEY_2_COMMAND);
    CancelNumericEntry();
}

void CKeySendCtrl::OnReport(const uint8_t* report, uint32_t length)
{
    // The extra keys' report carries the entry's own keys.
    if (report && length > 0 && report[0] != CLASSIC_REPORT_EXTRA) {
        CancelNumericEntry();
    }
}

void CKeySendCtrl::OnPanelKey(uint16_t code, uint32_t state)
{
    RunRow(FindKeyRow(PANEL_KEYS, code), code, state);
    CancelNumericEntry();
}

void CKeySendCtrl::OnPanelKey2(uint16_t, uint32_t) { CancelNumericEntry(); }

void CKeySendCtrl::OnEffectKey(uint32_t pressed, uint32_t)
{
    if (pressed != PRESSED) {
        return;
    }
    const RemoteTexts& texts = GetRemoteTexts();
    const bool notices = GetControlSettings().MsgBox_Disable == 0;
    if (!EffectLibrary()) {
        if (notices) {
            ShowNotice(texts.NoAppStringSonra, MSGBOX_SLOT_SONRA_STOPPED);
        }
        return;
    }
    using ChangeEffectModeFn = int(WINAPI*)(int mode, int flag);
    auto change = GetExport<ChangeEffectModeFn>(EffectLibrary(), SONRA_CHANGE_EFFECT_EXPORT);
    if (!change) {
        return;
    }
    if (change(SONRA_EFFECT_NEXT, SONRA_EFFECT_FLAG) == SONRA_APPLICATION_GONE && notices) {
        ShowNotice(texts.UnInstStringSonra, MSGBOX_SLOT_SONRA_MISSING);
    }
}

void CKeySendCtrl::OnDataKey(uint16_t code, uint32_t state)
{
    RunRow(FindKeyRow(DATA_KEYS, code), code, state);
}

void CKeySendCtrl::OnValueKey(uint16_t kind, uint16_t value, uint32_t state)
{
    if (kind == VALUE_KIND && state == PRESSED && value > 0) {
        Post(CAT_6, value, VALUE_KIND);
    }
}

void CKeySendCtrl::FinishNumericEntry(uint32_t result) { DeliverNumericEntry(result); }

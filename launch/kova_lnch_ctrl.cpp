#include "launch/kova_lnch_ctrl.h"

#include "base/app_context.h"
#include "base/export_binder.h"
#include "base/folders.h"
#include "base/power.h"
#include "config/os_class.h"
#include "config/regs.h"
#include "hid/receiver_reports.h"
#include "launch/send_ctrl.h"
#include "launch/shell_ops.h"
#include "osd/osd_control.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char CKovaLnchCtrl::TvErrorText[2 * TEXT_FIELD_SIZE] = {};

namespace {

// Button codes with a meaning here; any other code does nothing.
constexpr uint32_t CODE_HALCYON = 1;
constexpr uint32_t CODE_DVD = 2;
constexpr uint32_t CODE_TV = 16;
constexpr uint32_t CODE_TV_KEY = 256;
constexpr uint32_t CODE_TV_OTHER = 95;
constexpr uint32_t CODE_MEDIA_CENTER_A = 108;
constexpr uint32_t CODE_DVD_KEY = 110;
constexpr uint32_t CODE_MEDIA_CENTER_B = 112;
constexpr uint32_t CODE_BRIVUE_START = 113;
constexpr uint32_t CODE_BRIVUE_COMMAND = 114;

// What a running Brivue is sent instead of a launch, and to which target
// categories; the numbers mean something to Brivue only.
constexpr uint16_t BRIVUE_START_CATEGORIES = 0x10;
constexpr LPARAM BRIVUE_START_COMMAND = 68;
constexpr uint16_t BRIVUE_COMMAND_CATEGORIES = 0x01;
constexpr LPARAM BRIVUE_COMMAND = 29;
constexpr LPARAM BRIVUE_COMMAND_AFTER_ALT_RUNNER = 70;

// The wait for a Brivue that is still closing when a button woke the PC.
constexpr int BRIVUE_CLOSE_TRIES = 25;
constexpr DWORD BRIVUE_CLOSE_POLL_MS = 200;
// LaunchDelay blocks the main thread: a value of days (or INFINITE) would
// hang the program, so it is cut to this.
constexpr uint32_t LAUNCH_DELAY_MAX_MS = 5000;

// Information icon and an OK button.
constexpr UINT NOTICE_TYPE = MB_OK | MB_ICONASTERISK;

// The receiver's state byte of the handshake after which the profile's name
// is not shown.
constexpr uint8_t HANDSHAKE_STATE_QUIET = 1;

constexpr size_t VALUE_NAME_SIZE = 32;

// The registered message of the Media Center shell; registered at first use.
UINT g_fullscreenQuery = 0;

void ProfileValueName(char (&out)[VALUE_NAME_SIZE], const char* format, uint32_t index, int entry = 0)
{
    std::snprintf(out, sizeof(out), format, static_cast<int>(index) + 1, entry);
}

// "Btn%d_NumAp" is decimal text. A count above what a request holds is
// refused like an unusable entry: starting only part of a profile would do
// something the user never configured.
int ParseEntryCount(const char* text)
{
    char* end = nullptr;
    long count = std::strtol(text, &end, 10);
    if (end == text || count < 1 || count > LAUNCH_ENTRY_MAX) {
        return 0;
    }
    return static_cast<int>(count);
}

HWND FindTunerDeck(const RemoteTexts& texts)
{
    return FindWindowA(texts.TunerDeck_Class, texts.TunerDeck_Title[0] ? texts.TunerDeck_Title : nullptr);
}

// The TV profiles start only what the installed TV application can use: on a
// machine without Brivue or TunerDeck only the Media Center launcher.
bool TvEntryAllowed(const char* path)
{
    if (CConfig::GetBrivueInstallation().BrivueInstalled || CConfig::IsTunerDeckInstalled()) {
        return true;
    }
    char centerLauncher[MAX_PATH] = {};
    return BuildFixedProgramPath(centerLauncher, sizeof(centerLauncher), CENTER_LAUNCHER_FILE) &&
           lstrcmpiA(path, centerLauncher) == 0;
}

}  // namespace

CKovaLnchCtrl::CKovaLnchCtrl(IReceiverReports* receiver, int* brivueRetriesLeft)
    : Sender(std::make_unique<CSendCtrl>()), m_receiver(receiver), m_brivueRetriesLeft(brivueRetriesLeft)
{
    char path[MAX_PATH] = {};
    if (JoinPath(path, sizeof(path), GetBrivueInstallation().BrivueInstallPath, TV_STATUS_LIBRARY) &&
        GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        m_tvStatusLibrary.reset(LoadLibraryA(path));
        m_getTvStatus = GetExport<TvStatusFn>(m_tvStatusLibrary.get(), TV_STATUS_EXPORT);
        if (!m_getTvStatus) {
            m_tvStatusLibrary.reset();  // of no use without its export
        }
    }
    TvStatusAvailable = m_getTvStatus ? TRUE : FALSE;
    const RemoteTexts& texts = GetRemoteTexts();
    std::snprintf(TvErrorText, sizeof(TvErrorText), "%s\n%s", texts.BVErrString1, texts.BVErrString2);
}

CKovaLnchCtrl::~CKovaLnchCtrl()
{
    Sender.reset();
    m_getTvStatus = nullptr;
    TvStatusAvailable = FALSE;
    m_tvStatusLibrary.reset();
}

void CKovaLnchCtrl::LaunchButton(uint32_t code, uint8_t origin)
{
    CheckTvStatus = 0;
    ShowName = 1;
    const RemoteTexts& texts = GetRemoteTexts();
    HWND mediaCenter = FindWindowA(texts.MC_Class, nullptr);
    HWND brivue = FindWindowA(texts.BV_Class, texts.BV_Title);
    HWND halcyon = FindWindowA(texts.Hal_Class, texts.Hal_Title);
    HWND tunerDeck = FindTunerDeck(texts);
    const bool receiverState = GetControlSettings().DTFlags == 1;

    uint32_t profile = PROFILE_NONE;
    switch (code) {
    case CODE_HALCYON:
        profile = halcyon ? PROFILE_NONE : PROFILE_HALCYON;
        break;
    case CODE_DVD:
    case CODE_DVD_KEY:
        profile = PROFILE_DVD;
        break;
    case CODE_TV:
    case CODE_TV_KEY:
        profile = PROFILE_TV;
        if (receiverState) {
            CheckTvStatus = 1;
            ShowName = 0;
        }
        break;
    case CODE_TV_OTHER:
        profile = (brivue || tunerDeck) ? PROFILE_NONE : PROFILE_TV_OTHER;
        break;
    case CODE_MEDIA_CENTER_A:
        profile = PROFILE_MEDIA_CENTER_A;
        break;
    case CODE_MEDIA_CENTER_B:
        profile = PROFILE_MEDIA_CENTER_B;
        break;
    case CODE_BRIVUE_START: {
        uint8_t state = 0;
        if (receiverState && (!m_receiver || !m_receiver->LaunchHandshake(&state))) {
            return;
        }
        if (WaitForClosingBrivue(origin, brivue)) {
            StartAltRunnerWhenNeeded();
            Sender->PostToTargets(BRIVUE_START_CATEGORIES, 0, BRIVUE_START_COMMAND);
            EndBrivueRetries();
            return;
        }
        profile = PROFILE_TV;
        ShowName = (!receiverState || state != HANDSHAKE_STATE_QUIET) ? 1 : 0;
        break;
    }
    case CODE_BRIVUE_COMMAND:
        if (WaitForClosingBrivue(origin, brivue)) {
            if (AltRunnerNeeded()) {
                StartAltRunner();
                Sender->PostToTargets(BRIVUE_COMMAND_CATEGORIES, 0, BRIVUE_COMMAND_AFTER_ALT_RUNNER);
            } else {
                Sender->PostToTargets(BRIVUE_COMMAND_CATEGORIES, 0, BRIVUE_COMMAND);
            }
            return;
        }
        profile = tunerDeck ? PROFILE_NONE : PROFILE_TV_OTHER;
        break;
    case BRIVUE_RETRY_CODE:
        profile = PROFILE_TV;
        ShowName = 0;
        break;
    default:
        return;
    }

    if (!LoadButtonProfile(profile)) {
        if (GetControlSettings().MsgBox_Disable == 1) {
            return;
        }
        StartAltRunnerWhenNeeded();
        ShowProfileFailure(profile);
        return;
    }
    if (CheckTvStatus) {
        if (!TvStatusAvailable || m_getTvStatus(-1) != 0) {
            ShowNotice(TvErrorText, MSGBOX_SLOT_TV_NOTICE);
            EndBrivueRetries();
            return;
        }
        if (m_receiver) {
            m_receiver->TvReady();  // the receiver's answer changes nothing
        }
    }
    if (ShowName && Osd()) {
        Osd()->ShowText(ProfileName, FALSE);
    }
    switch (profile) {
    case PROFILE_TV:
    case PROFILE_TV_OTHER:
        if (IsTunerDeckInstalled()) {
            MinimizeWindow(mediaCenter);
        }
        break;
    case PROFILE_DVD:
    case PROFILE_HALCYON:
        if (!ProfileContainsPath(profile, MEDIA_CENTER_SHELL_PATH)) {
            MinimizeWindow(mediaCenter);
        } else if (IsBrivueRunning()) {
            return;  // the shell would fight Brivue for the TV tuner
        }
        break;
    case PROFILE_MEDIA_CENTER_A:
    case PROFILE_MEDIA_CENTER_B:
    case PROFILE_MEDIA_CENTER_C:
        MaximizeMediaCenter(mediaCenter);
        break;
    default:
        break;
    }
    ExecuteLaunchRequest();
}

BOOL CKovaLnchCtrl::LoadButtonProfile(uint32_t index)
{
    std::memset(&Request, 0, sizeof(Request));
    Request.ButtonIndex = index;
    Request.Count = 0;
    if (index >= PROFILE_COUNT) {
        return FALSE;
    }
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, KEY_READ) != ERROR_SUCCESS) {
        return FALSE;
    }
    const bool loaded = ReadButtonProfile(regs, index);
    regs.Close();
    if (!loaded) {
        return FALSE;
    }
    if (Request.Mode == LAUNCH_MODE_KEYS) {
        return TRUE;
    }
    // AltRunner, where installed, is what starts every profile: it gets the
    // profile's number in place of the first entry.
    char altRunner[MAX_PATH] = {};
    if (BuildFixedProgramPath(altRunner, sizeof(altRunner), ALT_RUNNER_FILE) &&
        GetFileAttributesA(altRunner) != INVALID_FILE_ATTRIBUTES) {
        CopyCutWhole(Request.Exec[0], LAUNCH_EXEC_SIZE, altRunner);
        Request.WorkDir[0][0] = '\0';
        std::snprintf(Request.Params[0], LAUNCH_PARAMS_SIZE, "/%u", index);
    }
    return TRUE;
}

bool CKovaLnchCtrl::ReadButtonProfile(CRegs& regs, uint32_t index)
{
    char name[VALUE_NAME_SIZE];
    char text[REGS_WORK_BUFFER];
    ProfileValueName(name, "Btn%d_Name", index);
    if (!ReadProfileText(regs, name, text)) {
        return false;
    }
    CopyCutWhole(ProfileName, sizeof(ProfileName), text);
    ProfileValueName(name, "Btn%d_NumAp", index);
    if (!ReadProfileText(regs, name, text)) {
        return false;
    }
    const int count = ParseEntryCount(text);
    if (count == 0) {
        return false;
    }
    Request.Count = count;
    ProfileValueName(name, "Btn%d_Exec", index);
    if (!ReadProfileText(regs, name, text) || (Request.Mode = ModeOfLetter(text)) == 0) {
        return false;
    }
    const bool tvProfile = index == PROFILE_TV || index == PROFILE_TV_OTHER;
    for (int i = 0; i < count; ++i) {
        ProfileValueName(name, "Btn%d_AP%d", index, i + 1);
        if (!ReadProfileText(regs, name, text) || !text[0] || !SetRequestEntry(i, text)) {
            return false;
        }
        if (Request.Mode == LAUNCH_MODE_KEYS) {
            continue;
        }
        if (tvProfile && !TvEntryAllowed(Request.Exec[i])) {
            return false;
        }
        ProfileValueName(name, "Btn%d_Work%d", index, i + 1);
        if (ReadProfileText(regs, name, text)) {
            SetRequestWorkDir(i, text);
        }
    }
    return true;
}

void CKovaLnchCtrl::ShowButtonProfileName(uint32_t index)
{
    LoadButtonProfile(index);
    if (Osd()) {
        Osd()->ShowText(ProfileName, FALSE);
    }
}

BOOL CKovaLnchCtrl::ProfileContainsPath(uint32_t index, const char* path)
{
    if (index >= PROFILE_COUNT || !path) {
        return FALSE;
    }
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, KEY_READ) != ERROR_SUCCESS) {
        return FALSE;
    }
    BOOL found = FALSE;
    char name[VALUE_NAME_SIZE];
    char text[REGS_WORK_BUFFER];
    ProfileValueName(name, "Btn%d_NumAp", index);
    const int count = ReadProfileText(regs, name, text) ? ParseEntryCount(text) : 0;
    for (int i = 0; i < count && !found; ++i) {
        ProfileValueName(name, "Btn%d_AP%d", index, i + 1);
        char exec[LAUNCH_EXEC_SIZE];
        char params[LAUNCH_PARAMS_SIZE];
        if (!ReadProfileText(regs, name, text) || !text[0] || !SplitCommandEntry(text, exec, params) ||
            !ResolveExecutablePath(exec, sizeof(exec))) {
            break;
        }
        found = lstrcmpiA(exec, path) == 0 ? TRUE : FALSE;
    }
    regs.Close();
    return found;
}

BOOL CKovaLnchCtrl::MaximizeMediaCenter(HWND window)
{
    if (!window) {
        return FALSE;
    }
    if (!g_fullscreenQuery) {
        g_fullscreenQuery = RegisterWindowMessageA(MEDIA_CENTER_FULLSCREEN_MESSAGE);
    }
    // A shell that is full screen already would only drop to a maximized
    // window; one that does not answer in time is maximized all the same.
    DWORD_PTR answer = 0;
    if (g_fullscreenQuery &&
        SendMessageTimeoutA(window, g_fullscreenQuery, 0, 0, SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG,
                            MEDIA_CENTER_QUERY_TIMEOUT_MS, &answer) &&
        answer != 0) {
        return FALSE;
    }
    ShowWindow(window, SW_MAXIMIZE);
    return TRUE;
}

BOOL CKovaLnchCtrl::MinimizeWindow(HWND window)
{
    if (!window || IsIconic(window)) {
        return FALSE;
    }
    ShowWindow(window, SW_MINIMIZE);
    return TRUE;
}

BOOL CKovaLnchCtrl::IsBrivueRunning()
{
    const RemoteTexts& texts = GetRemoteTexts();
    return FindWindowA(texts.BV_Class, texts.BV_Title) != nullptr ? TRUE : FALSE;
}

HWND CKovaLnchCtrl::WaitForClosingBrivue(uint8_t origin, HWND brivue)
{
    // Only after a button woke a connected-standby PC whose display had gone
    // off: Brivue may still be closing from before the standby.
    if (origin != WAKE_ORIGIN_BUTTON || !WasAppDisplayOffSeen() || !IsConnectedStandbySystem()) {
        return brivue;
    }
    const uint32_t delay = std::min(ReadLaunchDelay(), LAUNCH_DELAY_MAX_MS);
    if (delay) {
        Sleep(delay);
    }
    const RemoteTexts& texts = GetRemoteTexts();
    for (int i = 0; i < BRIVUE_CLOSE_TRIES; ++i) {
        brivue = FindWindowA(texts.BV_Class, texts.BV_Title);
        if (!brivue) {
            return nullptr;
        }
        Sleep(BRIVUE_CLOSE_POLL_MS);
    }
    return brivue;
}

void CKovaLnchCtrl::EndBrivueRetries()
{
    if (m_brivueRetriesLeft) {
        *m_brivueRetriesLeft = 0;
    }
}

void CKovaLnchCtrl::ShowNotice(const char* text, UINT slot)
{
    ShowAppMessageBox(nullptr, text, GetRemoteTexts().Kova_Title, NOTICE_TYPE, slot);
}

void CKovaLnchCtrl::ShowProfileFailure(uint32_t profile)
{
    const RemoteTexts& texts = GetRemoteTexts();
    switch (profile) {
    case PROFILE_TV:
    case PROFILE_TV_OTHER:
        ShowNotice(texts.NoAppStringBV, MSGBOX_SLOT_LAUNCH_FAILED);
        EndBrivueRetries();
        break;
    case PROFILE_DVD:
        ShowNotice(texts.NoAppStringDVD, MSGBOX_SLOT_LAUNCH_NOTICE);
        break;
    case PROFILE_HALCYON:
        ShowNotice(texts.NoAppStringHal, MSGBOX_SLOT_HALCYON_NOTICE);
        break;
    default:
        break;  // no profile, or one without a message of its own
    }
}

bool CKovaLnchCtrl::AltRunnerNeeded()
{
    return GetOsClass() >= OS_CLASS_WIN8 && QueryDisplayMode() != DISPLAY_MODE_DESKTOP;
}

void CKovaLnchCtrl::StartAltRunnerWhenNeeded()
{
    if (AltRunnerNeeded()) {
        StartAltRunner();
    }
}

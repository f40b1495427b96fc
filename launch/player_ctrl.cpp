#include "launch/player_ctrl.h"

#include "base/export_binder.h"
#include "base/folders.h"
#include "base/messages.h"

namespace {

// The button codes of the key controller that reach the player.
constexpr uint16_t CODE_CANCEL = 0;  // the other half of a two-step button
constexpr uint16_t CODE_NEXT = 1;
constexpr uint16_t CODE_PREV = 2;
constexpr uint16_t CODE_STOP = 4;
constexpr uint16_t CODE_PLAY = 8;
constexpr uint16_t CODE_PLAY_PAUSE = 11;
constexpr uint16_t CODE_PLAY_2 = 40;
constexpr uint16_t CODE_PLAY_3 = 61;
constexpr uint16_t CODE_PLAY_4 = 62;
constexpr uint16_t CODE_FF = 129;
constexpr uint16_t CODE_REW = 130;
constexpr uint16_t CODE_EXTRA_1 = 176;
constexpr uint16_t CODE_EXTRA_2 = 177;
constexpr uint16_t CODE_MUTE = 226;

struct CodeMapping {
    uint16_t Code;
    uint32_t Value;
};

// The index carried by the private player message (the main window's
// player text numbering; 7 and 8 have no text of their own there).
constexpr CodeMapping MESSAGE_INDEXES[] = {
    {CODE_CANCEL, 6}, {CODE_NEXT, 0},   {CODE_PREV, 1}, {CODE_STOP, 2},     {CODE_PLAY, 3},     {CODE_PLAY_2, 3},
    {CODE_PLAY_3, 3}, {CODE_PLAY_4, 3}, {CODE_FF, 4},   {CODE_REW, 5},      {CODE_EXTRA_1, 7},  {CODE_EXTRA_2, 8},
};

constexpr CodeMapping APP_COMMANDS[] = {
    {CODE_NEXT, APPCOMMAND_MEDIA_NEXTTRACK},     {CODE_FF, APPCOMMAND_MEDIA_NEXTTRACK},
    {CODE_PREV, APPCOMMAND_MEDIA_PREVIOUSTRACK}, {CODE_REW, APPCOMMAND_MEDIA_PREVIOUSTRACK},
    {CODE_STOP, APPCOMMAND_MEDIA_STOP},          {CODE_PLAY, APPCOMMAND_MEDIA_PLAY_PAUSE},
    {CODE_PLAY_PAUSE, APPCOMMAND_MEDIA_PLAY_PAUSE}, {CODE_PLAY_2, APPCOMMAND_MEDIA_PLAY_PAUSE},
    {CODE_PLAY_3, APPCOMMAND_MEDIA_PLAY_PAUSE},  {CODE_PLAY_4, APPCOMMAND_MEDIA_PLAY_PAUSE},
    {CODE_MUTE, APPCOMMAND_VOLUME_MUTE},
};

// With no player running, these start one through the launcher.
bool IsLaunchCode(uint16_t code)
{
    switch (code) {
    case CODE_PLAY:
    case CODE_PLAY_2:
    case CODE_PLAY_3:
    case CODE_PLAY_4:
    case CODE_EXTRA_1:
    case CODE_EXTRA_2:
        return true;
    default:
        return false;
    }
}

template <size_t N>
bool Lookup(const CodeMapping (&table)[N], uint16_t code, uint32_t* value)
{
    for (const CodeMapping& entry : table) {
        if (entry.Code == code) {
            *value = entry.Value;
            return true;
        }
    }
    return false;
}

// "<Program Files>\<folder>\DARIRARED.DLL" when that file exists.
bool FindLauncher(bool (*buildPath)(char*, size_t, const char*), char* path, size_t size)
{
    return buildPath(path, size, PLAYER_LAUNCHER_LIBRARY) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

CPlayerCtrl::CPlayerCtrl()
{
    // The keyboard program's copy of the launcher comes first.
    char path[MAX_PATH] = {};
    if (FindLauncher(BuildKeyboardProgramPath, path, sizeof(path)) ||
        FindLauncher(BuildRemoteProgramPath, path, sizeof(path))) {
        m_launcher.reset(LoadLibraryA(path));
        m_entrance = GetExport<EntranceFn>(m_launcher.get(), PLAYER_LAUNCHER_EXPORT);
        if (!m_entrance) {
            m_launcher.reset();  // of no use without its export
        }
    }
    if (GetControlSettings().Tesk_Enable) {
        m_playerDde = std::make_unique<CDdeCtrl>();
    }
}

CPlayerCtrl::~CPlayerCtrl()
{
    m_entrance = nullptr;
    m_launcher.reset();
    m_playerDde.reset();
}

uint32_t CPlayerCtrl::DetectPlayer(HWND* player)
{
    const PlayerWindows& players = GetPlayerWindows();
    // A name that is not configured finds nothing: FindWindow with an empty
    // title would take any untitled window of any program for the player.
    HWND cd = players.Cd.Title[0] ? FindWindowA(nullptr, players.Cd.Title) : nullptr;
    HWND dvd = players.Dvd.Class[0] ? FindWindowA(players.Dvd.Class, nullptr) : nullptr;

    uint32_t found = PLAYER_NONE;
    HWND window = nullptr;
    if (dvd && (!cd || GetForegroundWindow() == dvd)) {
        found = PLAYER_DVD;
        window = dvd;
    } else if (cd) {
        found = PLAYER_CD;
        window = cd;
    }
    if (player) {
        *player = window;
    }
    return found;
}

void CPlayerCtrl::OnPlayerKey(uint16_t code, uint32_t state)
{
    if (state != PLAYER_KEY_PRESSED && state != PLAYER_KEY_RELEASED) {
        return;
    }
    bool pressed = state == PLAYER_KEY_PRESSED;
    uint32_t player = DetectPlayer(nullptr);
    if (code == CODE_NEXT || code == CODE_PREV) {
        // Cancel whatever the player does on the press, step on the release.
        if (player != PLAYER_NONE) {
            SendPlayerCommand(pressed ? CODE_CANCEL : code);
        }
    } else if (code == CODE_FF || code == CODE_REW) {
        // Winding runs while the button is held; the CD player is told to
        // stop winding on the release.
        if (player == PLAYER_NONE) {
            return;
        }
        if (pressed) {
            SendPlayerCommand(code);
        } else if (player == PLAYER_CD) {
            SendPlayerCommand(CODE_CANCEL);
        }
    } else if (code == CODE_STOP || code == CODE_MUTE || IsLaunchCode(code)) {
        // Also without a player: the command may start one.
        if (pressed) {
            SendPlayerCommand(code);
        }
    }
}

void CPlayerCtrl::SendPlayerCommand(uint16_t code)
{
    HWND window = nullptr;
    uint32_t player = DetectPlayer(&window);
    if (player == PLAYER_NONE) {
        if (IsLaunchCode(code) && GetControlSettings().Player_Lnc && m_entrance) {
            uint32_t first = 0;
            uint64_t second = 0;
            m_entrance(&first, &second);
        }
        return;
    }

    const PlayerWindows& players = GetPlayerWindows();
    uint32_t kind = player == PLAYER_CD ? players.Cd.Control : players.Dvd.Control;
    uint32_t value = 0;
    // Posting failures (the player just closed) are of no consequence.
    switch (kind) {
    case PLAYER_CONTROL_DDE:
        if (m_playerDde) {
            m_playerDde->PostPlayerCommand(code);
        }
        break;
    case PLAYER_CONTROL_MESSAGE:
        // The player message has the number and numbering of the main
        // window's player text message.
        if (Lookup(MESSAGE_INDEXES, code, &value)) {
            PostMessageA(window, WM_PLAYER_OSD, PLAYER_OSD_TAG, static_cast<LPARAM>(value));
        }
        break;
    case PLAYER_CONTROL_APPCOMMAND:
        if (Lookup(APP_COMMANDS, code, &value)) {
            PostMessageA(window, WM_APPCOMMAND, 0, MAKELPARAM(0, value));
        }
        break;
    default:
        break;
    }
}

#pragma once
// CPlayerCtrl: passes the transport buttons to the music (CD) or DVD player
// that runs, by the means configured for it: a DDE notice, the private
// player message, or WM_APPCOMMAND. With neither player running, play and
// stop can start the default player through the player launcher library.
// The player is looked for afresh at every call; nothing is remembered.

#include <windows.h>

#include "config/config.h"
#include "base/scoped.h"
#include "dde/dde_ctrl.h"

#include <cstdint>
#include <memory>

// What DetectPlayer finds.
constexpr uint32_t PLAYER_NONE = 0;
constexpr uint32_t PLAYER_CD = 100;   // found by its window title (CD_TITLE)
constexpr uint32_t PLAYER_DVD = 101;  // found by its window class (DVD_CLASS)

// The control kinds of CD_CONTROL and DVD_CONTROL.
constexpr uint32_t PLAYER_CONTROL_DDE = 1;
constexpr uint32_t PLAYER_CONTROL_MESSAGE = 2;
constexpr uint32_t PLAYER_CONTROL_APPCOMMAND = 3;

// The button states of OnPlayerKey.
constexpr uint32_t PLAYER_KEY_RELEASED = 0;
constexpr uint32_t PLAYER_KEY_PRESSED = 1;

constexpr char PLAYER_LAUNCHER_LIBRARY[] = "DARIRARED.DLL";
constexpr char PLAYER_LAUNCHER_EXPORT[] = "Entrance";

class CPlayerCtrl : public CConfig {
public:
    CPlayerCtrl();
    ~CPlayerCtrl() override;

    // PLAYER_CD, PLAYER_DVD or PLAYER_NONE, and the player's window (null
    // for none). With both running the DVD player wins only when it is the
    // window in front. A player whose name is not configured is never found.
    uint32_t DetectPlayer(HWND* player);

    // A player button pressed (PLAYER_KEY_PRESSED) or released
    // (PLAYER_KEY_RELEASED); any other state does nothing.
    void OnPlayerKey(uint16_t code, uint32_t state);

    // One command to the player that runs, or the player launch.
    void SendPlayerCommand(uint16_t code);

    // The player launcher's "Entrance" was found (in the keyboard program's
    // folder or the remote program's).
    bool HasPlayerLauncher() const { return m_entrance != nullptr; }
    // The DDE server, created only with the keyboard features on; null else.
    CDdeCtrl* PlayerDde() const { return m_playerDde.get(); }

private:
    // Called with a zeroed 32-bit and a zeroed 64-bit variable; what it
    // returns or writes into them is of no interest.
    using EntranceFn = int(WINAPI*)(void* first, void* second);

    ScopedModule m_launcher;
    EntranceFn m_entrance = nullptr;
    std::unique_ptr<CDdeCtrl> m_playerDde;
};

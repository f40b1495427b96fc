#pragma once
// CDdeCtrl: the DDE server through which a companion player program learns
// of the player buttons. Service "ORLANTESK", topic "infoctl": a client that
// starts a hot advise loop on the item "control" receives the name of each
// player command (such as "CD_NEXT") as CF_TEXT. The server accepts no
// requests, pokes or executes.
//
// DDEML gives its callback no context, so the server's state is one per
// process; only one CDdeCtrl serves at a time (a second one, while the first
// lives, does not start). Everything runs on the thread that created it,
// whose message loop carries DDEML's messages.

#include <windows.h>
#include <ddeml.h>

#include "config/config.h"

#include <cstdint>

constexpr char DDE_SERVICE_NAME[] = "ORLANTESK";
constexpr char DDE_TOPIC_NAME[] = "infoctl";
constexpr char DDE_ITEM_NAME[] = "control";

// Every command goes out as a CF_TEXT block of this size: the text, its
// terminating zero, zeros to the end.
constexpr DWORD DDE_TEXT_BLOCK_SIZE = 269;

// The player codes that select a command; any other code sends nothing.
constexpr uint32_t DDE_PLAYER_CANCEL = 0;
constexpr uint32_t DDE_PLAYER_NEXT = 1;
constexpr uint32_t DDE_PLAYER_PREV = 2;
constexpr uint32_t DDE_PLAYER_STOP = 4;
constexpr uint32_t DDE_PLAYER_PLAY = 8;
constexpr uint32_t DDE_PLAYER_FF = 129;
constexpr uint32_t DDE_PLAYER_REW = 130;

class CDdeCtrl : public CConfig {
public:
    CDdeCtrl();
    ~CDdeCtrl() override;

    // Hands the command of a player code to every client advising on
    // "control". Dropped (not queued) when no client advises, while a post
    // is being answered, or when this server did not start.
    void PostPlayerCommand(uint32_t playerCode);

    // False when start-up failed; LastError() then says why.
    bool IsServing() const;
    // The last DDEML error the server met (DMLERR_NO_ERROR when none); kept
    // for diagnosis only.
    static UINT LastError();

private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR data1, ULONG_PTR data2);

    bool m_owner = false;    // this object holds the process's DDEML instance
    bool m_serving = false;  // and its service name is registered
};

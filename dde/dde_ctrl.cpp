#include "dde/dde_ctrl.h"

#include <cstring>

namespace {

// Connections to ourselves are refused, executes are failed by DDEML itself,
// and the notices the server has no use for are never delivered.
constexpr DWORD SERVER_FLAGS = CBF_FAIL_SELFCONNECTIONS | CBF_FAIL_EXECUTES | CBF_SKIP_CONNECT_CONFIRMS |
                               CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS;
static_assert(SERVER_FLAGS == 0x1C9000);

constexpr uint16_t NO_COMMAND = 0xFFFF;
constexpr uint8_t MAX_CONNECTIONS = 0xFF;

struct PlayerCommand {
    uint32_t PlayerCode;
    const char* Text;
};

// Indexed by command number; each text fits the block with its zero.
constexpr PlayerCommand COMMANDS[] = {
    {DDE_PLAYER_NEXT, "CD_NEXT"}, {DDE_PLAYER_PREV, "CD_PREV"}, {DDE_PLAYER_STOP, "CD_STOP"},
    {DDE_PLAYER_PLAY, "CD_PLAY"}, {DDE_PLAYER_REW, "CD_REW"},   {DDE_PLAYER_FF, "CD_FF"},
    {DDE_PLAYER_CANCEL, "CD_CANCEL"},
};
constexpr uint16_t COMMAND_COUNT = sizeof(COMMANDS) / sizeof(COMMANDS[0]);

uint16_t CommandIndex(uint32_t playerCode)
{
    for (uint16_t i = 0; i < COMMAND_COUNT; ++i) {
        if (COMMANDS[i].PlayerCode == playerCode) {
            return i;
        }
    }
    return NO_COMMAND;
}

// The server of the process. DDEML calls back without any context, so the
// state cannot live in the object.
struct ServerState {
    bool Owned = false;  // a CDdeCtrl holds the DDEML instance below
    DWORD Instance = 0;
    HSZ Service = nullptr;
    HSZ Topic = nullptr;
    HSZ Item = nullptr;
    uint8_t Connections = 0;
    bool Advising = false;
    bool Posting = false;
    bool HandingOut = false;
    uint16_t PendingCommand = NO_COMMAND;
    char CurrentText[DDE_TEXT_BLOCK_SIZE] = {};
    HDDEDATA CurrentData = nullptr;  // application-owned, freed when replaced
    UINT LastError = DMLERR_NO_ERROR;
};

ServerState g_server;

void FreeString(HSZ& hsz)
{
    if (hsz) {
        DdeFreeStringHandle(g_server.Instance, hsz);
        hsz = nullptr;
    }
}

HDDEDATA HandOut(HCONV conv, UINT pendingRequests)
{
    ServerState& s = g_server;
    s.HandingOut = true;
    if (!conv || pendingRequests == CADV_LATEACK) {
        s.Posting = false;
        s.HandingOut = false;
        return nullptr;
    }
    // With nothing new pending (a second advise loop of the same post), the
    // text handed out before goes out again.
    if (s.PendingCommand < COMMAND_COUNT) {
        std::strncpy(s.CurrentText, COMMANDS[s.PendingCommand].Text, sizeof(s.CurrentText) - 1);
        s.PendingCommand = NO_COMMAND;
    }
    // DDEML copies the block into the message of each advise loop, so the
    // handle of the previous post can go.
    if (s.CurrentData) {
        DdeFreeDataHandle(s.CurrentData);
        s.CurrentData = nullptr;
    }
    BYTE block[DDE_TEXT_BLOCK_SIZE] = {};
    std::memcpy(block, s.CurrentText, strnlen(s.CurrentText, sizeof(block) - 1));
    s.CurrentData = DdeCreateDataHandle(s.Instance, block, sizeof(block), 0, s.Item, CF_TEXT, HDATA_APPOWNED);
    if (!s.CurrentData) {
        s.LastError = DdeGetLastError(s.Instance);
    } else if (pendingRequests > 0) {
        // Every WM_DDE_DATA carries a global atom of the item, which its
        // receiver deletes. Wine's DdePostAdvise adds that atom once per
        // post, not once per advise loop, so with two clients the first
        // one's delete takes the atom away before the second can read it,
        // and the second drops the data. One more reference for each loop
        // after the first keeps the count right.
        GlobalAddAtomA(DDE_ITEM_NAME);
    }
    s.Posting = false;
    s.HandingOut = false;
    return s.CurrentData;
}

}  // namespace

CDdeCtrl::CDdeCtrl()
{
    if (g_server.Owned) {
        // One name, one server: a second one would only compete for clients.
        g_server.LastError = DMLERR_DLL_USAGE;
        return;
    }
    g_server = ServerState{};
    DWORD instance = 0;
    UINT rc = DdeInitializeA(&instance, Callback, SERVER_FLAGS, 0);
    if (rc != DMLERR_NO_ERROR) {
        g_server.LastError = rc;
        return;
    }
    g_server.Owned = true;
    g_server.Instance = instance;
    m_owner = true;

    g_server.Service = DdeCreateStringHandleA(instance, DDE_SERVICE_NAME, CP_WINANSI);
    g_server.Topic = DdeCreateStringHandleA(instance, DDE_TOPIC_NAME, CP_WINANSI);
    if (!g_server.Service || !g_server.Topic || !DdeNameService(instance, g_server.Service, nullptr, DNS_REGISTER)) {
        g_server.LastError = DdeGetLastError(instance);
        return;
    }
    m_serving = true;
}

CDdeCtrl::~CDdeCtrl()
{
    if (!m_owner) {
        return;
    }
    ServerState& s = g_server;
    if (m_serving) {
        DdeNameService(s.Instance, s.Service, nullptr, DNS_UNREGISTER);
    }
    FreeString(s.Service);
    FreeString(s.Topic);
    FreeString(s.Item);
    if (s.CurrentData) {
        DdeFreeDataHandle(s.CurrentData);
        s.CurrentData = nullptr;
    }
    if (s.Connections == 0) {
        DdeUninitialize(s.Instance);
    }
    // Whatever the instance still delivers from here on finds no server.
    UINT lastError = s.LastError;
    s = ServerState{};
    s.LastError = lastError;
}

bool CDdeCtrl::IsServing() const
{
    return m_serving;
}

UINT CDdeCtrl::LastError()
{
    return g_server.LastError;
}

void CDdeCtrl::PostPlayerCommand(uint32_t playerCode)
{
    if (!m_serving) {
        return;
    }
    ServerState& s = g_server;
    s.PendingCommand = CommandIndex(playerCode);
    if (s.PendingCommand >= COMMAND_COUNT) {
        return;
    }
    if (s.Connections == 0 || !s.Advising || s.Posting || s.HandingOut) {
        return;
    }
    s.Posting = true;
    HSZ item = DdeCreateStringHandleA(s.Instance, DDE_ITEM_NAME, CP_WINANSI);
    if (!item || !DdePostAdvise(s.Instance, s.Topic, item)) {
        s.LastError = DdeGetLastError(s.Instance);
    }
    // DDEML asks for the data of every advise loop inside DdePostAdvise.
    // When no loop is left (its client stopped it, or went away while
    // another client stays connected) nobody asks, and a flag left set here
    // would drop every later command for good.
    s.Posting = false;
    if (item) {
        DdeFreeStringHandle(s.Instance, item);
    }
}

HDDEDATA CALLBACK CDdeCtrl::Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA,
                                     ULONG_PTR data1, ULONG_PTR)
{
    ServerState& s = g_server;
    if (!s.Owned) {
        return nullptr;
    }
    switch (type) {
    case XTYP_CONNECT:
        // hsz1 is the topic, hsz2 the service. The count is 8 bits wide: a
        // connection it could not count is refused rather than wrapped.
        if (DdeCmpStringHandles(hsz2, s.Service) == 0 && DdeCmpStringHandles(hsz1, s.Topic) == 0 &&
            s.Connections < MAX_CONNECTIONS) {
            ++s.Connections;
            return reinterpret_cast<HDDEDATA>(TRUE);
        }
        return nullptr;
    case XTYP_ADVSTART:
        // hsz2 is the item; the topic is settled by the connection. The
        // texts are CF_TEXT only: a loop in another format would hand the
        // client bytes it reads as something else.
        if (!s.Item) {
            s.Item = DdeCreateStringHandleA(s.Instance, DDE_ITEM_NAME, CP_WINANSI);
        }
        if (format == CF_TEXT && s.Item && DdeCmpStringHandles(hsz2, s.Item) == 0) {
            s.Advising = true;
            return reinterpret_cast<HDDEDATA>(TRUE);
        }
        return nullptr;
    case XTYP_ADVREQ:
        // The low word of data1 counts the advise requests still to come,
        // or is CADV_LATEACK when this one answers a late acknowledgement.
        return HandOut(conv, LOWORD(data1));
    case XTYP_ADVSTOP:
        if (s.Connections == 0) {
            s.Advising = false;
        }
        return reinterpret_cast<HDDEDATA>(TRUE);
    case XTYP_DISCONNECT:
        if (s.Connections > 0) {
            --s.Connections;
        }
        if (s.Connections == 0) {
            s.Advising = false;
        }
        return nullptr;
    default:
        // Requests, pokes, wild connects and the rest: no data, not processed.
        return nullptr;
    }
}

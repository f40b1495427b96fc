// The three exports that talk to kova through its main window: a client
// window's registration, and on-screen texts and symbols. Each call is
// self-contained; nothing here keeps state between calls.

#include "kovaapi.h"

#include "api/client_requests.h"
#include "base/messages.h"
#include "base/scoped.h"
#include "osd/client_osd_request.h"

#include <cstdio>

namespace {

constexpr char SEND_WINDOW_KEY[] = "SOFTWARE\\Orlan\\Kova\\SENDWINDOW";

constexpr int REGISTRATION_ATTEMPTS = 5;
constexpr DWORD REGISTRATION_RETRY_MS = 100;

// SendWnd%d_Fail: the registration was written while kova was not running.
constexpr DWORD REGISTERED_OFFLINE = 1;

HWND FindKova() { return FindWindowA(MAIN_WINDOW_CLASS, nullptr); }

// The record is ours and valid for the length of the send, which is what
// WM_COPYDATA asks of its sender.
LRESULT SendCopyData(HWND kova, WPARAM kind, const void* record, DWORD size)
{
    COPYDATASTRUCT copy{};
    copy.dwData = 0;
    copy.cbData = size;
    copy.lpData = const_cast<void*>(record);
    return SendMessageA(kova, WM_COPYDATA, kind, reinterpret_cast<LPARAM>(&copy));
}

bool WriteNumber(HKEY key, const char* format, int id, DWORD value)
{
    char name[32];
    std::snprintf(name, sizeof(name), format, id);
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

// Leaves the registration where kova's send-window watcher picks it up.
bool SetSendWindow(HWND window, int id, DWORD message, DWORD categories, DWORD fail)
{
    HKEY raw = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SEND_WINDOW_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    ScopedRegKey key(raw);
    // Only the low 32 bits of a handle are significant, across processes too.
    const DWORD handle = static_cast<DWORD>(reinterpret_cast<uintptr_t>(window));
    if (!WriteNumber(key.get(), "SendWnd%d_hWnd", id, handle) ||
        !WriteNumber(key.get(), "SendWnd%d_Msg", id, message) ||
        !WriteNumber(key.get(), "SendWnd%d_Ctrl", id, categories)) {
        return false;
    }
    return fail == 0 || WriteNumber(key.get(), "SendWnd%d_Fail", id, fail);
}

// A registry registration of the same number left from earlier would
// override the direct one the next time kova's watcher reloads the key.
void ClearSendWindow(int id)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SEND_WINDOW_KEY, 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS) {
        return;
    }
    ScopedRegKey key(raw);
    char name[32];
    std::snprintf(name, sizeof(name), "SendWnd%d_hWnd", id);
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(value) && value != 0) {
        WriteNumber(key.get(), "SendWnd%d_hWnd", id, 0);
    }
}

bool IsAnsiLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }

void SendOsdRequest(const ClientOsdRequest& request)
{
    if (HWND kova = FindKova()) {
        SendCopyData(kova, COPYDATA_OSD_REQUEST, &request, sizeof(request));
    }
}

}  // namespace

extern "C" UINT WINAPI InitKovaMsg(HWND hOwnerWnd, UINT ucId, UINT uMsg, DWORD dwCtrl)
{
    const uint8_t id = static_cast<uint8_t>(ucId & 0xFF);
    if (!hOwnerWnd || id == 0 || uMsg > CLIENT_MESSAGE_MAX) {
        return 0;
    }
    ClientRegistration record{};
    record.hOwnerWnd = reinterpret_cast<uintptr_t>(hOwnerWnd);
    record.ucId = id;
    record.uMsg = uMsg;
    record.dwCtrl = dwCtrl;

    for (int attempt = 1; attempt <= REGISTRATION_ATTEMPTS; ++attempt) {
        if (HWND kova = FindKova()) {
            if (SendCopyData(kova, COPYDATA_REGISTER_WINDOW, &record, sizeof(record))) {
                ClearSendWindow(id);
                return id;
            }
            if (SetSendWindow(hOwnerWnd, id, uMsg, dwCtrl, 0)) {
                return id;
            }
        } else if (attempt == REGISTRATION_ATTEMPTS) {
            // kova picks this up when it starts: the fail mark keeps it
            // from being taken for a leftover of an earlier run.
            return SetSendWindow(hOwnerWnd, id, uMsg, dwCtrl, REGISTERED_OFFLINE) ? id : 0;
        }
        if (attempt < REGISTRATION_ATTEMPTS) {
            Sleep(REGISTRATION_RETRY_MS);
        }
    }
    return 0;
}

extern "C" void WINAPI KovaOsdText(LPCSTR text, DWORD flags)
{
    ClientOsdRequest request{};
    CutClientText(text, request.Text, sizeof(request.Text), IsAnsiLeadByte);
    request.Kind = CLIENT_OSD_KIND_TEXT;
    request.Flags = flags;
    SendOsdRequest(request);
}

extern "C" void WINAPI KovaOsdIcon(UINT position, DWORD flags)
{
    const uint8_t code = ClientSymbolCode(position);
    if (code == 0) {
        return;
    }
    ClientOsdRequest request{};
    request.Text[0] = static_cast<char>(code);
    request.Kind = CLIENT_OSD_KIND_SYMBOL;
    request.Flags = flags;
    SendOsdRequest(request);
}

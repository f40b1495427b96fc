#pragma once
// The windows that receive the remote's buttons as messages: up to 255
// configured by the installer under HKLM\Software\Orlan\Kova\Window, and the
// windows that client programs register at run time (directly through
// WM_COPYDATA, or through the SENDWINDOW values when the program was not
// running or the message could not be delivered).
//
// TargetWindowTable is plain data with the rules of filling it; it takes no
// lock. The store keeps the one table of the process behind a lock (see
// CConfig), because the send-window watcher writes it on its own thread.

#include <windows.h>

#include "config/texts.h"

#include <cstddef>
#include <cstdint>

constexpr char TARGET_WINDOWS_KEY[] = "Software\\Orlan\\Kova\\Window";  // HKLM
// The client registrations stored for kova (HKCU).
constexpr char SEND_WINDOW_KEY[] = "SOFTWARE\\Orlan\\Kova\\SENDWINDOW";

constexpr int TARGET_WINDOW_MAX = 510;
constexpr int TARGET_WINDOW_STATIC_MAX = 255;
// Registration numbers that the SENDWINDOW values may carry.
constexpr int SEND_WINDOW_REGISTRATION_MAX = 256;

// Entry flags.
constexpr uint32_t TARGET_HAS_CLASS = 0x0001;
constexpr uint32_t TARGET_HAS_TITLE = 0x0002;
constexpr uint32_t TARGET_HAS_WINDOW = 0x0004;      // a registered window: its handle is fixed
constexpr uint32_t TARGET_HAS_CATEGORIES = 0x0008;
constexpr uint32_t TARGET_IN_USE = 0x1000;

// Category bits (the "Wnd%d_Control" value and a registration's dwCtrl).
constexpr uint32_t TARGET_OWN_MAXIMIZE = 0x00000001;    // the window maximizes itself on request
constexpr uint32_t TARGET_FOREGROUND_ONLY = 0x00000002;  // receives only while in front: no categories
constexpr uint32_t TARGET_CATEGORY_MASK = 0x007F0000;   // categories 0 to 6

// Messages are WM_APP plus the configured number; 100 when none is given.
constexpr uint32_t TARGET_MESSAGE_BASE = 0x8000;
constexpr uint32_t TARGET_DEFAULT_MESSAGE = TARGET_MESSAGE_BASE + 100;

struct TargetWindowEntry {
    uint32_t Flags;
    char Class[TEXT_FIELD_SIZE];
    char Title[TEXT_FIELD_SIZE];
    HWND Window;
    uint32_t Message;
    uint32_t Categories;
};

// The record a client sends with WM_COPYDATA, wParam 0 (24 bytes).
struct TargetWindowRegistration {
    HWND hOwnerWnd;
    uint8_t ucId;  // 1 to 255
    uint8_t Reserved1[3];
    uint32_t uMsg;
    uint32_t dwCtrl;
    uint32_t Reserved2;
};
static_assert(sizeof(TargetWindowRegistration) == 24, "the client library sends 24 bytes");
static_assert(offsetof(TargetWindowRegistration, ucId) == 8 && offsetof(TargetWindowRegistration, uMsg) == 12 &&
                  offsetof(TargetWindowRegistration, dwCtrl) == 16,
              "layout of the client library's record");

// Copies a registration out of WM_COPYDATA data. Another process chose the
// size: anything shorter than the record is refused rather than read past.
bool ReadTargetWindowRegistration(const void* data, size_t size, TargetWindowRegistration* out);

// What the SENDWINDOW values hold for one registration number.
struct SendWindowRegistration {
    uint32_t Window;  // low 32 bits of the handle; 0 = none
    uint32_t Message;
    uint32_t Categories;
};
struct SendWindowRegistrations {
    SendWindowRegistration Slot[SEND_WINDOW_REGISTRATION_MAX];  // Slot[n-1] for number n
};

// Which part of a registration a SENDWINDOW value name stands for, and its
// number. Number is the registration number when it is a plain decimal of 1
// to 256 after the first 7 characters of the name; any other text (too
// short, no digits, not only digits, too large) gives 0, which ends the scan.
enum class SendWindowField { None, Window, Message, Categories };
struct SendWindowValueName {
    SendWindowField Field;
    int Number;
};
SendWindowValueName ParseSendWindowValueName(const char* name);

// Reads the registrations out of the SENDWINDOW key. Returns 0, or the
// enumeration error that made it give up (nothing is then to be applied).
// A value name that is not a number from 1 to 256 ends the scan early; what
// was gathered before it stands.
LONG GatherSendWindowRegistrations(HKEY key, SendWindowRegistrations* out);

class TargetWindowTable {
public:
    void Clear();

    // Appends an entry read from the installer's key (load only).
    void AddConfigured(const TargetWindowEntry& entry);

    // A client registration: position static count + number, whichever way
    // it arrives, so a client keeps one entry and never replaces a
    // configured window. 0 done, -1 when number is 0 or beyond 255 (the
    // table is then unchanged). A null window clears the position: the
    // client withdrew, and a post to a null handle would land in the
    // program's own thread queue.
    int Register(HWND window, uint32_t number, uint32_t message, uint32_t categories);

    // The registrations stored in the registry, each at the same position as
    // a direct registration of its number. A stored handle of 0 means the
    // number is not registered there (the client library writes 0 once its
    // direct registration went through), so it leaves the position alone.
    // A number whose position would lie beyond the table is passed over.
    void Apply(const SendWindowRegistrations& registrations);

    // Stores a window found for a class entry. Refused (false) for anything
    // that is not a class entry in use, so that a registration made since
    // the caller looked is not overwritten.
    bool CacheWindow(int index, HWND window);

    // index is the 0-based entry index (position - 1).
    const TargetWindowEntry& Entry(int index) const { return m_entries[index]; }
    int StaticCount() const { return m_staticCount; }
    int Highest() const { return m_highest; }

private:
    // 0-based entry index of registration number n; -1 beyond the table.
    int RegistrationIndex(int number) const;
    void Fill(int index, HWND window, uint32_t message, uint32_t categories);

    TargetWindowEntry m_entries[TARGET_WINDOW_MAX] = {};
    int m_staticCount = 0;
    int m_highest = 0;
};

// The bit-1 rule: a foreground-only target carries no categories.
uint32_t NormalizeTargetCategories(uint32_t categories);

// Fills the table from the installer's key (Wnd1_Class, ...).
void LoadTargetWindows(TargetWindowTable& table);

#pragma once
// What every soak run needs: kova.exe started as in the field on a virtual
// receiver hosted in this process, the receiver's events counted, the
// buttons kova delivers read back in order, and kova's process measured
// from outside.

#include <windows.h>

#include "companions/vreceiver/virtual_receiver.h"
#include "keys/report_decoder.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// The classic receiver of the runs: col02 the consumer buttons, col03 the
// vendor buttons with the wake-button feature report; and, for the runs
// that drive the remote's display, the radio receiver's display collection.
constexpr uint32_t SOAK_VENDOR = 0x0BDA;
constexpr uint32_t SOAK_CLASSIC_PRODUCT = 0x0150;
constexpr uint32_t SOAK_RADIO_PRODUCT = 0x0151;
constexpr uint32_t COL_CONSUMER = 2;
constexpr uint32_t COL_VENDOR = 3;
constexpr uint32_t COL_DISPLAY = 4;

// Starting takes a few seconds on a loaded machine, never this long.
constexpr DWORD SOAK_START_TIMEOUT_MS = 30000;
// Anything that happens at all happens within this on a loaded machine.
constexpr DWORD SOAK_EVENT_TIMEOUT_MS = 10000;

int64_t SoakNow();                   // performance counter
double SoakMilliseconds(int64_t ticks);

// Prints a line at once (the runs take minutes; the output is the record).
void Say(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// HKLM and HKCU "Software\Orlan" removed, then a configured machine: the
// receivers' identities, test mode off (the working key controller), and
// the user's key.
void PrepareRegistry(bool radioDisplay);
void WipeRegistry();

// What one look at kova's process from outside gives.
struct ProcessFigures {
    SIZE_T PrivateBytes = 0;
    DWORD Threads = 0;
    DWORD GdiObjects = 0;
    DWORD UserObjects = 0;
    long Handles = -1;  // -1: this Wine cannot count them
    DWORD Windows = 0;  // top-level and message-only windows of the process
    double AnswerMs = -1;  // WM_NULL to the main window; -1 when it did not answer in 5 s
};

// The virtual receiver with its events counted per kind and collection.
class SoakReceiver {
public:
    SoakReceiver();
    ~SoakReceiver();
    bool Start();
    bool Run(const std::string& command);
    // Writes one report; false when no handle of the collection got it.
    bool Send(uint32_t collection, const uint8_t* bytes, size_t length);
    // "opened N", "closed N", "output N", ... counted since the start.
    long Count(const std::string& kindAndCollection) const;
    // Waits until Count(kind) reaches at least target.
    bool WaitForCount(const std::string& kindAndCollection, long target, DWORD timeoutMs = SOAK_EVENT_TIMEOUT_MS) const;
    const std::string& Name() const { return m_name; }
    // Plugs the classic receiver's two button collections, and the radio
    // receiver's display collection when display is set.
    void PlugAll(bool display);
    // The one handle open on a collection, or -1 when none or several are.
    long SoleHandle(uint32_t collection) const;
    // Waits until kova holds a handle of the collection other than
    // previous, with no other handle open beside it even after kova's
    // window has answered a message: what the program itself opens, not a
    // probe its copy of the client library opens and closes in one go.
    // Gives that handle, or -1 when it did not come in time.
    long WaitForKovaHandle(uint32_t collection, long previous, HWND kova) const;

private:
    void OnEvent(const std::string& line);

    std::string m_name;
    mutable std::mutex m_lock;
    std::map<std::string, long> m_counts;
    std::map<uint32_t, std::map<long, bool>> m_open;  // open handles by collection
    VirtualReceiver m_receiver;
};

// kova.exe started with the receiver's name, as the benchmarks start it.
class KovaUnderSoak {
public:
    explicit KovaUnderSoak(const std::string& receiverName);
    ~KovaUnderSoak();
    // Starts kova.exe and waits for its main window.
    bool Start();
    // Ends it the way the shell does; true when it ended with 0.
    bool Close();
    // Ends it by force, in the middle of whatever it does.
    void Kill();
    HWND Window() const { return m_window; }
    HANDLE Process() const { return m_process; }
    ProcessFigures Measure() const;

private:
    std::string m_receiverName;
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
    HWND m_window = nullptr;
};

// The buttons kova delivered, in order: a window of this process that the
// client library registers for category 0, where kova posts the command of
// each press as WM_APP + CLIENT_MESSAGE.
constexpr UINT CLIENT_MESSAGE = 0x100;
constexpr DWORD CLIENT_CATEGORY_0 = 0x00010000;

class DeliveryWindow {
public:
    DeliveryWindow();
    ~DeliveryWindow();
    HWND Handle() const { return m_window; }
    // The command of the next delivery, dispatching this thread's messages
    // while it waits; empty when none came in time.
    std::string Next(DWORD timeoutMs = SOAK_EVENT_TIMEOUT_MS);
    long Total() const { return m_total; }
    // InitKovaMsg of the client library: registers the window under id,
    // at once when kova runs, else with the fail mark for kova's next
    // start. False when the library refused.
    bool Register(UINT id);

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    HMODULE m_library = nullptr;
    std::vector<LPARAM> m_commands;
    size_t m_taken = 0;
    long m_total = 0;
};

// Keeps the decoder's state as kova's own decoder holds it, from the same
// reports in the same order, to tell which random report reads as a button.
class ShadowDecoder {
public:
    // The actions kova takes for a report of a collection whose input
    // length is inputLength (a longer report is cut, a shorter one reads as
    // zeros past its end).
    KeyActions Feed(const uint8_t* bytes, size_t length, size_t inputLength);
    // The same without changing the state.
    KeyActions Peek(const uint8_t* bytes, size_t length, size_t inputLength) const;

private:
    KeyDecoderState m_state{};
};

// A press or release of any button among the actions.
bool HasButtonCall(const KeyActions& actions);

// Modifier keys the system thinks are down (a key tap that never let go).
std::string HeldModifiers();

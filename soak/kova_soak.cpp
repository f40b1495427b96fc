// Reliability runs of kova.exe on a virtual receiver hosted in this process.
//
//   kova_soak soak [--plugs N] [--ejects N] [--suspends N] [--locks N]
//                  [--reports N] [--seed S]
//       replugs, ejects, suspends and resumes, locks and unlocks the session,
//       then sends reports mixing button presses with random ones; every
//       press must be delivered exactly once, in order, and kova's process
//       is measured after each phase.
//   kova_soak contention [--calls N] [--processes N]
//       N processes set the remote's display, each call timed, while kova
//       reopens its devices and blanks the display on suspend notices.
//   kova_soak kill [--rounds N]
//       kova ended by force in the middle of work and started again.
//
// Each run prints its figures and ends with 0 when every check held.
// "kova_soak hammer ..." is the display-setting process the other runs start.

#include <windows.h>

#include "base/folders.h"
#include "base/messages.h"
#include "base/scoped.h"
#include "core/main_ctrl.h"
#include "core/opt_ctrl.h"
#include "soak/soak_world.h"

#include <dbt.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// The two buttons the runs press by turns: consumer keys 64 and 96 of the
// keyboard report (report 3), which a configured machine posts to the
// targets of category 0 as commands 20 and 25.
constexpr uint8_t KEYBOARD_REPORT = 3;
constexpr uint16_t CODE_A = 64;
constexpr uint16_t CODE_B = 96;
constexpr long COMMAND_A = 20;
constexpr long COMMAND_B = 25;
constexpr size_t VENDOR_INPUT = 8;
constexpr size_t CONSUMER_INPUT = 3;
constexpr size_t RANDOM_LENGTH_MAX = 64;

// What a call of the remote's display may take (the client library's own
// mutex wait), and the program's answer to a window message.
constexpr double DISPLAY_CALL_LIMIT_MS = 2000;
constexpr double ANSWER_LIMIT_MS = 1000;
// How long a press not delivered in SOAK_EVENT_TIMEOUT_MS is still waited
// for before it counts as lost.
constexpr DWORD LATE_LIMIT_MS = 60000;

const char* const HID_MUTEX = "Global\\KOVAAPI_HID_MUTEX";
const char* const SEND_WINDOW_KEY = "Software\\Orlan\\Kova\\SENDWINDOW";
const char* const KOVA_KEY = "Software\\Orlan\\Kova";
constexpr UINT CLIENT_ID = 1;

struct Options {
    long Plugs = 200, Ejects = 50, Suspends = 50, Locks = 20, Reports = 100000;
    long Calls = 1000, Processes = 4, Rounds = 10;
    unsigned Seed = 20;
};

Options ParseOptions(int argc, char** argv, int first)
{
    Options o;
    for (int i = first; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (name == "--plugs") o.Plugs = value;
        else if (name == "--ejects") o.Ejects = value;
        else if (name == "--suspends") o.Suspends = value;
        else if (name == "--locks") o.Locks = value;
        else if (name == "--reports") o.Reports = value;
        else if (name == "--calls") o.Calls = value;
        else if (name == "--processes") o.Processes = value;
        else if (name == "--rounds") o.Rounds = value;
        else if (name == "--seed") o.Seed = static_cast<unsigned>(value);
        else Say("unknown option %s", name.c_str());
    }
    return o;
}

void PrintFigures(const char* when, const ProcessFigures& f)
{
    char handles[32] = "not counted";
    if (f.Handles >= 0) {
        std::snprintf(handles, sizeof(handles), "%ld", f.Handles);
    }
    Say("  %-22s private %7.0f KB  threads %2lu  GDI %3lu  USER %3lu  windows %2lu  handles %s  answer %.2f ms",
        when, f.PrivateBytes / 1024.0, static_cast<unsigned long>(f.Threads), static_cast<unsigned long>(f.GdiObjects),
        static_cast<unsigned long>(f.UserObjects), static_cast<unsigned long>(f.Windows), handles, f.AnswerMs);
}

// Answer of kova's window to WM_NULL in ms; -1 when it did not answer in 5 s.
double AnswerMs(HWND window)
{
    DWORD_PTR result = 0;
    const int64_t start = SoakNow();
    if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) {
        return -1;
    }
    return SoakMilliseconds(SoakNow() - start);
}

// Whether some program (kova or another) holds kova's restart mutex just now.
bool RestartMutexHeld()
{
    ScopedHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, RESTART_MUTEX_NAME));
    if (!mutex) {
        return false;
    }
    if (WaitForSingleObject(mutex.get(), 0) == WAIT_TIMEOUT) {
        return true;
    }
    ReleaseMutex(mutex.get());
    return false;
}

// Presses on the receiver and the deliveries they must bring, in order.
class PressLedger {
public:
    PressLedger(SoakReceiver& receiver, DeliveryWindow& deliveries) : m_receiver(receiver), m_deliveries(deliveries) {}

    // The first two presses, one of each button.
    bool FirstPresses() { return Press(COL_VENDOR, "first presses") && Press(COL_VENDOR, "first presses"); }

    // One press and release of the next button of the turn; true when it
    // was delivered and the delivery was the next one expected.
    bool Press(uint32_t collection, const char* phase)
    {
        const uint16_t code = (m_expected % 2) ? CODE_B : CODE_A;
        std::string shown = PressAndRead(collection, code);
        ++m_expected;
        const std::string want = std::to_string(code == CODE_A ? COMMAND_A : COMMAND_B);
        if (shown.empty()) {
            // kova handles a device notice only once it holds the session's
            // restart mutex, and another program of the session may hold
            // that for a while: the press then waits behind the notice. Late
            // is not lost then; late while nobody held the mutex is a fault.
            const bool held = RestartMutexHeld();
            const int64_t waited = SoakNow();
            shown = m_deliveries.Next(LATE_LIMIT_MS);
            if (!shown.empty()) {
                Say("%s: press %ld came %.1f s late; at %.0f s kova's restart mutex was %s", phase, m_expected,
                    (SOAK_EVENT_TIMEOUT_MS + SoakMilliseconds(SoakNow() - waited)) / 1000,
                    SOAK_EVENT_TIMEOUT_MS / 1000.0, held ? "held" : "free");
                ++(held ? m_late : m_faults);
            }
        }
        if (shown != want) {
            Say("%s: press %ld brought \"%s\", not \"%s\" (%s)", phase, m_expected, shown.c_str(), want.c_str(),
                shown.empty() ? "lost" : "a delivery out of turn");
            Say("  the receiver: %s; handle of col%02u %ld; opened %ld, closed %ld of that collection", 
                m_lastSendReached ? "wrote the press to a handle" : "found no handle to write to", collection,
                m_receiver.SoleHandle(collection), m_receiver.Count("opened " + std::to_string(collection)),
                m_receiver.Count("closed " + std::to_string(collection)));
            ++m_faults;
            return false;
        }
        return true;
    }

    // A report that kova's decoder reads as no button at all; the one that
    // would be a button is drawn again. The random numbers decide the
    // collection's report lengths and bytes.
    void SendNoise(uint32_t collection, std::mt19937& random)
    {
        const size_t input = collection == COL_VENDOR ? VENDOR_INPUT : CONSUMER_INPUT;
        uint8_t bytes[RANDOM_LENGTH_MAX];
        size_t length;
        for (;;) {
            length = random() % (RANDOM_LENGTH_MAX + 1);
            for (size_t i = 0; i < length; ++i) {
                bytes[i] = static_cast<uint8_t>(random());
            }
            if (!HasButtonCall(m_shadow.Peek(bytes, length, input))) {
                break;
            }
            ++m_redrawn;
        }
        m_shadow.Feed(bytes, length, input);
        m_receiver.Send(collection, bytes, length);
        ++m_reportsSent;
    }

    // A press of the first button; true when any delivery came within
    // timeoutMs (for a start, before the targets are known to be loaded).
    bool PressOnce(DWORD timeoutMs)
    {
        const uint8_t press[VENDOR_INPUT] = {KEYBOARD_REPORT, static_cast<uint8_t>(CODE_A)};
        const uint8_t release[VENDOR_INPUT] = {KEYBOARD_REPORT};
        m_shadow.Feed(press, VENDOR_INPUT, VENDOR_INPUT);
        m_shadow.Feed(release, VENDOR_INPUT, VENDOR_INPUT);
        m_receiver.Send(COL_VENDOR, press, VENDOR_INPUT);
        m_receiver.Send(COL_VENDOR, release, VENDOR_INPUT);
        return !m_deliveries.Next(timeoutMs).empty();
    }

    long Expected() const { return m_expected; }
    long Faults() const { return m_faults; }
    long Late() const { return m_late; }
    long ReportsSent() const { return m_reportsSent; }
    long Redrawn() const { return m_redrawn; }

private:
    std::string PressAndRead(uint32_t collection, uint16_t code)
    {
        const size_t input = collection == COL_VENDOR ? VENDOR_INPUT : CONSUMER_INPUT;
        const uint8_t press[VENDOR_INPUT] = {KEYBOARD_REPORT, static_cast<uint8_t>(code & 0xFF),
                                             static_cast<uint8_t>(code >> 8)};
        const uint8_t release[VENDOR_INPUT] = {KEYBOARD_REPORT};
        m_shadow.Feed(press, input, input);
        m_shadow.Feed(release, input, input);
        m_lastSendReached = m_receiver.Send(collection, press, input);
        m_receiver.Send(collection, release, input);
        m_reportsSent += 2;
        return m_deliveries.Next();
    }

    SoakReceiver& m_receiver;
    DeliveryWindow& m_deliveries;
    ShadowDecoder m_shadow;
    long m_expected = 0;
    long m_faults = 0;
    long m_late = 0;
    long m_reportsSent = 0;
    long m_redrawn = 0;
    bool m_lastSendReached = false;
};

// Waits until kova holds new handles of both button collections; false
// (with a line) when it did not in time.
struct KovaHandles {
    long Consumer = -1;
    long Vendor = -1;
};

bool WaitForReopen(SoakReceiver& receiver, HWND kova, KovaHandles* handles, const char* phase)
{
    const long consumer = receiver.WaitForKovaHandle(COL_CONSUMER, handles->Consumer, kova);
    const long vendor = receiver.WaitForKovaHandle(COL_VENDOR, handles->Vendor, kova);
    if (consumer < 0 || vendor < 0) {
        Say("%s: kova did not open the receiver again", phase);
        return false;
    }
    handles->Consumer = consumer;
    handles->Vendor = vendor;
    return true;
}

struct Extremes {
    double WorstAnswerMs = 0;
    bool Unanswered = false;
    void Take(double ms)
    {
        if (ms < 0) {
            Unanswered = true;
        }
        WorstAnswerMs = std::max(WorstAnswerMs, ms);
    }
};

int RunSoak(const Options& o)
{
    Say("soak: %ld unplug/plug, %ld eject/plug, %ld suspend/resume, %ld lock/unlock, %ld reports (seed %u)", o.Plugs,
        o.Ejects, o.Suspends, o.Locks, o.Reports, o.Seed);
    PrepareRegistry(false);
    SoakReceiver receiver;
    if (!receiver.Start()) {
        return 1;
    }
    receiver.PlugAll(false);
    KovaUnderSoak kova(receiver.Name());
    KovaHandles handles;
    if (!kova.Start() || !WaitForReopen(receiver, kova.Window(), &handles, "start")) {
        return 1;
    }
    const HWND window = kova.Window();
    DeliveryWindow deliveries;
    if (!deliveries.Register(1)) {
        Say("the client library refused the registration");
        return 1;
    }
    PressLedger ledger(receiver, deliveries);
    if (!ledger.FirstPresses()) {
        return 1;
    }
    Extremes extremes;
    const ProcessFigures baseline = kova.Measure();
    PrintFigures("after start", baseline);
    const int64_t began = SoakNow();

    auto cycles = [&](const char* phase, long count, auto&& one) {
        const int64_t start = SoakNow();
        long done = 0;
        for (; done < count; ++done) {
            if (!one(done)) {
                break;
            }
            extremes.Take(AnswerMs(window));
            if (!ledger.Press(COL_VENDOR, phase)) {
                // One more tells a lost report from a receiver kova no
                // longer reads.
                Say("  the next press: %s", ledger.Press(COL_VENDOR, phase) ? "delivered" : "not delivered either");
                break;
            }
        }
        Say("%s: %ld of %ld cycles in %.1f s", phase, done, count, SoakMilliseconds(SoakNow() - start) / 1000);
        PrintFigures(phase, kova.Measure());
        return done == count;
    };

    bool ok = cycles("unplug/plug", o.Plugs, [&](long) {
        receiver.Run("unplug 3");
        receiver.Run("unplug 2");
        receiver.PlugAll(false);
        return WaitForReopen(receiver, window, &handles, "unplug/plug");
    });
    ok = ok && cycles("eject/plug", o.Ejects, [&](long) {
        receiver.Run("eject 3");
        receiver.Run("eject 2");
        receiver.PlugAll(false);
        return WaitForReopen(receiver, window, &handles, "eject/plug");
    });
    ok = ok && cycles("suspend/resume", o.Suspends, [&](long) {
        SendMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        return WaitForReopen(receiver, window, &handles, "suspend/resume");
    });
    ok = ok && cycles("lock/unlock", o.Locks, [&](long) {
        SendMessageA(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 1);
        extremes.Take(AnswerMs(window));
        SendMessageA(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 1);
        return true;
    });

    if (ok) {
        // Batches of noise, each closed by a press on the same collection:
        // its delivery shows the batch was read whole, so the next batch may
        // go to the other collection without the two interleaving.
        std::mt19937 random(o.Seed);
        const int64_t start = SoakNow();
        const long before = ledger.ReportsSent();
        long presses = 0;
        while (ok && ledger.ReportsSent() - before < o.Reports) {
            const uint32_t collection = (random() & 1) ? COL_VENDOR : COL_CONSUMER;
            const long noise = static_cast<long>(random() % 17);
            for (long i = 0; i < noise && ledger.ReportsSent() - before < o.Reports - 2; ++i) {
                ledger.SendNoise(collection, random);
            }
            ok = ledger.Press(collection, "reports");
            ++presses;
            if (presses % 500 == 0) {
                extremes.Take(AnswerMs(window));
            }
        }
        const double seconds = SoakMilliseconds(SoakNow() - start) / 1000;
        Say("reports: %ld reports (%ld presses, each with its release; the rest random, %ld draws that read as a "
            "button drawn again) in %.1f s, %.0f reports/s",
            ledger.ReportsSent() - before, presses, ledger.Redrawn(), seconds,
            (ledger.ReportsSent() - before) / std::max(seconds, 0.001));
        PrintFigures("reports", kova.Measure());
    }

    // Stuck keys and late deliveries: nothing held down, and a last press
    // is the very next delivery.
    const std::string held = HeldModifiers();
    const bool fenced = ok && ledger.Press(COL_VENDOR, "fence");
    const ProcessFigures end = kova.Measure();
    extremes.Take(end.AnswerMs);
    PrintFigures("end", end);
    Say("deliveries: %ld presses, %ld delivered, %ld out of turn or lost, %ld late; held modifiers: %s",
        ledger.Expected(), deliveries.Total(), ledger.Faults(), ledger.Late(), held.empty() ? "none" : held.c_str());
    Say("worst answer of kova's window: %.2f ms%s; %.0f s in all", extremes.WorstAnswerMs,
        extremes.Unanswered ? " (and a wait of 5 s went unanswered)" : "", SoakMilliseconds(SoakNow() - began) / 1000);
    Say("growth since start: private %+.0f KB, threads %+ld, GDI %+ld, USER %+ld, windows %+ld, handles %s",
        (static_cast<double>(end.PrivateBytes) - static_cast<double>(baseline.PrivateBytes)) / 1024.0,
        static_cast<long>(end.Threads) - static_cast<long>(baseline.Threads),
        static_cast<long>(end.GdiObjects) - static_cast<long>(baseline.GdiObjects),
        static_cast<long>(end.UserObjects) - static_cast<long>(baseline.UserObjects),
        static_cast<long>(end.Windows) - static_cast<long>(baseline.Windows),
        end.Handles >= 0 && baseline.Handles >= 0 ? std::to_string(end.Handles - baseline.Handles).c_str()
                                                  : "not counted");
    const bool closed = kova.Close();
    if (!closed) {
        Say("kova.exe did not end cleanly after the soak");
    }
    WipeRegistry();
    const bool pass = ok && fenced && ledger.Faults() == 0 && deliveries.Total() == ledger.Expected() &&
                      held.empty() && !extremes.Unanswered && extremes.WorstAnswerMs < ANSWER_LIMIT_MS && closed;
    Say("soak: %s", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}

// --- The display-setting processes -----------------------------------------

// Two values of each field to switch between.
constexpr DWORD FIELD_VALUES[4][2] = {{0x1, 0x6}, {0x08, 0xB0}, {0x40, 0x00}, {0x100, 0x600}};

struct LcdRecord32 {
    DWORD dwSize, dwMask, dwSeg0, dwSeg1, dwSeg2, dwSeg3, dwSeg4;
    WORD wNumber, wNumberMode;
};
using LcdFn = DWORD(WINAPI*)(LcdRecord32*);

DWORD* FieldOf(LcdRecord32& lcd, int field)
{
    DWORD* fields[4] = {&lcd.dwSeg0, &lcd.dwSeg1, &lcd.dwSeg2, &lcd.dwSeg3};
    return fields[field & 3];
}

std::string KovaapiPath()
{
    char folder[MAX_PATH] = {};
    GetRemoteProgramDir(folder, sizeof(folder));
    return std::string(folder) + "\\kovaapi.dll";
}

//   kova_soak hammer <field> <calls> <start event>
// Sets its field calls times (switching between two values), each set
// followed by a read; prints its figures and ends with 0 when every call
// succeeded within the limit.
int RunHammer(int field, long calls, const char* startEvent)
{
    HMODULE library = LoadLibraryA(KovaapiPath().c_str());
    ScopedHandle start(OpenEventA(SYNCHRONIZE, FALSE, startEvent));
    if (!library || !start) {
        return 2;
    }
    auto get = reinterpret_cast<LcdFn>(reinterpret_cast<void*>(GetProcAddress(library, "GetRFRemoconLCD")));
    auto set = reinterpret_cast<LcdFn>(reinterpret_cast<void*>(GetProcAddress(library, "SetRFRemoconLCD")));
    if (!get || !set) {
        return 2;
    }
    LcdRecord32 first{};
    first.dwSize = sizeof(first);
    // The library starts on its first call: done before the race.
    const DWORD started = get(&first);
    if (WaitForSingleObject(start.get(), 120000) != WAIT_OBJECT_0) {
        return 2;
    }
    long failed = 0, slow = 0;
    double slowest = 0, total = 0;
    DWORD lastFailure = 0;
    for (long i = 0; i < calls; ++i) {
        for (int kind = 0; kind < 2; ++kind) {
            LcdRecord32 lcd{};
            lcd.dwSize = sizeof(lcd);
            if (kind == 0) {
                lcd.dwMask = 1u << field;
                *FieldOf(lcd, field) = FIELD_VALUES[field & 3][i & 1];
            }
            const int64_t began = SoakNow();
            const DWORD rc = kind == 0 ? set(&lcd) : get(&lcd);
            const double took = SoakMilliseconds(SoakNow() - began);
            total += took;
            slowest = std::max(slowest, took);
            slow += took > DISPLAY_CALL_LIMIT_MS ? 1 : 0;
            if (rc != 0) {
                ++failed;
                lastFailure = rc;
            }
        }
    }
    std::printf("  display process %d: %ld sets and %ld reads (first read %lu), %ld failed (last %lu), %ld over 2 s, "
                "mean %.2f ms, slowest %.1f ms\n",
                field, calls, calls, static_cast<unsigned long>(started), failed,
                static_cast<unsigned long>(lastFailure), slow, total / std::max<long>(1, 2 * calls), slowest);
    std::fflush(stdout);
    return failed == 0 && slow == 0 ? 0 : 1;
}

// Starts the display processes, waiting on one event to begin together.
class Hammers {
public:
    Hammers(long processes, long calls) : m_event("KovaSoakGo-" + std::to_string(GetCurrentProcessId()))
    {
        m_go.reset(CreateEventA(nullptr, TRUE, FALSE, m_event.c_str()));
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, sizeof(self));
        for (long i = 0; i < processes; ++i) {
            std::string line = "\"" + std::string(self) + "\" hammer " + std::to_string(i % 4) + " " +
                               std::to_string(calls) + " " + m_event;
            STARTUPINFOA si{};
            si.cb = sizeof(si);
            PROCESS_INFORMATION pi{};
            if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
                CloseHandle(pi.hThread);
                m_children.push_back(pi.hProcess);
            }
        }
        m_started = static_cast<long>(m_children.size()) == processes;
    }
    ~Hammers()
    {
        for (HANDLE child : m_children) {
            if (WaitForSingleObject(child, 0) == WAIT_TIMEOUT) {
                TerminateProcess(child, 3);
            }
            CloseHandle(child);
        }
    }
    bool Started() const { return m_started && m_go; }
    void Go() { SetEvent(m_go.get()); }
    bool AllEnded() const
    {
        for (HANDLE child : m_children) {
            if (WaitForSingleObject(child, 0) == WAIT_TIMEOUT) {
                return false;
            }
        }
        return true;
    }
    // True when every process ended with 0 within timeoutMs.
    bool WaitAllPassed(DWORD timeoutMs) const
    {
        bool passed = true;
        const DWORD start = GetTickCount();
        for (HANDLE child : m_children) {
            const DWORD spent = GetTickCount() - start;
            DWORD code = 4;
            if (WaitForSingleObject(child, spent < timeoutMs ? timeoutMs - spent : 0) != WAIT_OBJECT_0) {
                Say("a display process is stuck");
                passed = false;
                continue;
            }
            GetExitCodeProcess(child, &code);
            passed = passed && code == 0;
        }
        return passed;
    }

private:
    std::string m_event;
    ScopedHandle m_go;
    std::vector<HANDLE> m_children;
    bool m_started = false;
};

// kova's own window of the client library (it loads the library to blank
// the display on suspend); null until it has made it.
HWND KovasLibraryWindow(HANDLE process)
{
    const DWORD pid = GetProcessId(process);
    for (HWND w = FindWindowA("KovaapiClass", nullptr); w; w = FindWindowExA(nullptr, w, "KovaapiClass", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) {
            return w;
        }
    }
    return nullptr;
}

int RunContention(const Options& o)
{
    Say("contention: %ld processes setting the remote's display %ld times each while kova reopens the receiver",
        o.Processes, o.Calls);
    PrepareRegistry(true);
    SoakReceiver receiver;
    if (!receiver.Start()) {
        return 1;
    }
    receiver.PlugAll(true);
    KovaUnderSoak kova(receiver.Name());
    if (!kova.Start() || !receiver.WaitForCount("opened 4", 1)) {
        Say("kova did not open the display collection");
        return 1;
    }
    const HWND window = kova.Window();
    Hammers hammers(o.Processes, o.Calls);
    if (!hammers.Started()) {
        Say("cannot start the display processes");
        return 1;
    }
    // Each display process opens the collection once before the race.
    if (!receiver.WaitForCount("opened 4", 1 + o.Processes, 60000)) {
        Say("the display processes did not open the display");
        return 1;
    }
    const int64_t start = SoakNow();
    hammers.Go();
    long reopens = 0, suspends = 0;
    Extremes extremes;
    bool ok = true;
    while (ok && !hammers.AllEnded()) {
        // A reopen of every device under the restart mutex, then a suspend
        // (kova blanks the display under the library's mutex, racing the
        // processes) and a resume (kova's library reopens the display
        // collection under that mutex, kova its devices).
        const long opened = receiver.Count("opened 4");
        PostMessageA(window, WM_HID_REOPEN, 0, 0);
        ok = receiver.WaitForCount("opened 4", opened + 1);
        ++reopens;
        SendMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        ++suspends;
        if (HWND library = KovasLibraryWindow(kova.Process())) {
            PostMessageA(library, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        }
        const long before = receiver.Count("opened 4");
        SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        ok = ok && receiver.WaitForCount("opened 4", before + 1);
        extremes.Take(AnswerMs(window));
        if (!ok) {
            Say("kova stopped reopening the receiver: a deadlock?");
        }
    }
    const bool passed = hammers.WaitAllPassed(600000);
    const double seconds = SoakMilliseconds(SoakNow() - start) / 1000;
    Say("kova: %ld reopens and %ld suspend/resume pairs meanwhile; worst answer of its window %.2f ms%s", reopens,
        suspends, extremes.WorstAnswerMs, extremes.Unanswered ? " (a wait of 5 s went unanswered)" : "");
    Say("%ld output reports reached the display in %.1f s", receiver.Count("output 4"), seconds);
    PrintFigures("after the run", kova.Measure());
    const bool closed = kova.Close();
    WipeRegistry();
    const bool pass = ok && passed && !extremes.Unanswered && extremes.WorstAnswerMs < DISPLAY_CALL_LIMIT_MS && closed;
    Say("contention: %s", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}

// --- Forced kill -------------------------------------------------------------

bool InstanceMutexExists()
{
    ScopedHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, INSTANCE_MUTEX_NAME));
    return static_cast<bool>(mutex);
}

// The display's mutex can be taken at once (an abandoned one counts).
bool HidMutexFree()
{
    ScopedHandle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, HID_MUTEX));
    if (!mutex) {
        return true;  // nobody holds a handle: nobody holds the mutex
    }
    const DWORD rc = WaitForSingleObject(mutex.get(), 2000);
    if (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED) {
        ReleaseMutex(mutex.get());
        return true;
    }
    return false;
}

bool ReadUserDword(const char* key, const char* name, DWORD* value)
{
    DWORD size = sizeof(*value);
    return RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, value, &size) == ERROR_SUCCESS;
}

int RunKill(const Options& o)
{
    Say("forced kill: %ld rounds of kova ended by force in the middle of work and started again", o.Rounds);
    PrepareRegistry(true);
    SoakReceiver receiver;
    if (!receiver.Start()) {
        return 1;
    }
    receiver.PlugAll(true);

    // The client window: registered directly at the first start, then each
    // time while kova is down, with the fail mark.
    DeliveryWindow client;

    KovaUnderSoak kova(receiver.Name());
    std::mt19937 random(o.Seed);
    long failures = 0;
    auto check = [&](bool held, const char* what, long round) {
        if (!held) {
            Say("round %ld: %s", round, what);
            ++failures;
        }
        return held;
    };
    // The first start, with the client registered directly.
    const long opened = receiver.Count("opened 3");
    if (!kova.Start() || !receiver.WaitForCount("opened 3", opened + 1) || !client.Register(CLIENT_ID)) {
        Say("kova did not start, open the receiver or take the registration");
        return 1;
    }
    for (long round = 1; round <= o.Rounds; ++round) {
        // What the round before delivered is passed over; then the buttons
        // must work before this round disturbs them.
        while (!client.Next(0).empty()) {
        }
        PressLedger ledger(receiver, client);
        check(ledger.FirstPresses(), "presses were not delivered before the work", round);

        // Work: the display set again and again by two processes, presses
        // streaming in, reopens and suspend notices; then the end by force
        // at a random moment within it.
        Hammers hammers(2, 400);
        hammers.Go();
        const DWORD workMs = 300 + random() % 1200;
        const DWORD start = GetTickCount();
        for (long i = 0; GetTickCount() - start < workMs; ++i) {
            const uint8_t press[8] = {KEYBOARD_REPORT, static_cast<uint8_t>(i % 2 ? CODE_A : CODE_B)};
            const uint8_t release[8] = {KEYBOARD_REPORT};
            receiver.Send(COL_VENDOR, press, sizeof(press));
            receiver.Send(COL_VENDOR, release, sizeof(release));
            if (i % 8 == 0) {
                PostMessageA(kova.Window(), WM_HID_REOPEN, 0, 0);
            }
            if (i % 8 == 4) {
                PostMessageA(kova.Window(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
                PostMessageA(kova.Window(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
            }
            Sleep(1);
        }
        kova.Kill();
        check(hammers.WaitAllPassed(120000), "a display call failed or took longer than 2 s", round);

        // The single-instance mutex is free again with the process gone, and
        // the display's mutex is not left held.
        const DWORD ended = GetTickCount();
        while (InstanceMutexExists() && GetTickCount() - ended < SOAK_EVENT_TIMEOUT_MS) {
            Sleep(10);
        }
        check(!InstanceMutexExists(), "the single-instance mutex outlived the process", round);
        check(HidMutexFree(), "the display's mutex is held", round);

        // A registration made now finds no kova: it is stored with the fail
        // mark, which must make it survive kova's clean-up at start.
        const UINT id = CLIENT_ID;
        check(client.Register(id), "the registration was refused", round);
        DWORD fail = 0;
        check(ReadUserDword(SEND_WINDOW_KEY, ("SendWnd" + std::to_string(id) + "_Fail").c_str(), &fail) && fail == 1,
              "the registration was not stored with the fail mark", round);
        DWORD word = 0;
        const bool hadWord = ReadUserDword(KOVA_KEY, "RFLcdData", &word);

        // Started again: a first copy, the registration kept (its mark
        // taken, as it is loaded), the display word untouched.
        const long reopened = receiver.Count("opened 3");
        if (!check(kova.Start(), "kova did not start again", round) ||
            !check(receiver.WaitForCount("opened 3", reopened + 1), "kova did not open the receiver again", round)) {
            break;
        }
        // kova's send-window watcher takes the mark and then loads the
        // registration; after that the registration must still be there.
        const std::string failName = "SendWnd" + std::to_string(id) + "_Fail";
        const DWORD looked = GetTickCount();
        while (ReadUserDword(SEND_WINDOW_KEY, failName.c_str(), &fail) && GetTickCount() - looked < SOAK_EVENT_TIMEOUT_MS) {
            Sleep(10);
        }
        check(!ReadUserDword(SEND_WINDOW_KEY, failName.c_str(), &fail), "kova never took the fail mark", round);
        DWORD handle = 0;
        check(ReadUserDword(SEND_WINDOW_KEY, ("SendWnd" + std::to_string(id) + "_hWnd").c_str(), &handle) &&
                  handle == static_cast<DWORD>(reinterpret_cast<uintptr_t>(client.Handle())),
              "the registration with the fail mark did not survive the start", round);
        // The registration came back through the fail mark alone: presses
        // reach the window again. The load follows the mark's removal on the
        // watcher's thread, so a press may still find no target: pressed
        // until one arrives, then each press exactly once.
        while (!client.Next(0).empty()) {
        }
        PressLedger again(receiver, client);
        bool reached = false;
        for (int attempt = 0; attempt < 5 && !reached; ++attempt) {
            reached = again.PressOnce(2000);
        }
        check(reached, "presses did not reach the window registered while kova was down", round);
        check(again.FirstPresses(), "presses were not delivered exactly once after the restart", round);
        DWORD wordAfter = 0;
        const bool hasWordAfter = ReadUserDword(KOVA_KEY, "RFLcdData", &wordAfter);
        check(hadWord == hasWordAfter && word == wordAfter, "the remembered display word changed", round);
        if (round == o.Rounds || failures) {
            Say("round %ld: killed after %lu ms of work; display word %08lx before and %08lx after the restart", round,
                static_cast<unsigned long>(workMs), static_cast<unsigned long>(word),
                static_cast<unsigned long>(wordAfter));
        }
        if (failures) {
            break;
        }
    }
    const bool closed = kova.Close();
    WipeRegistry();
    const bool pass = failures == 0 && closed;
    Say("forced kill: %s", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string run = argc > 1 ? argv[1] : "";
    if (run == "hammer" && argc >= 5) {
        return RunHammer(std::atoi(argv[2]), std::strtol(argv[3], nullptr, 10), argv[4]);
    }
    const Options options = ParseOptions(argc, argv, 2);
    if (run == "soak") {
        return RunSoak(options);
    }
    if (run == "contention") {
        return RunContention(options);
    }
    if (run == "kill") {
        return RunKill(options);
    }
    std::printf("usage: kova_soak soak|contention|kill [--option N ...]\n");
    return 2;
}

// Pushes input reports from a virtual receiver through the device manager's
// reader thread to the window thread, and measures how many arrive per second
// and how long each takes from the receiver's write to the window procedure.
//
//   hid_throughput [--count N]
//
// Four runs: one report at a time (the latency of a single press), steady
// 2000 and 5000 reports/s, and as fast as the pipe takes them. Each checks that every
// report arrived once, in order. Then five rounds of the flat-out run, each
// followed by the bare relay flat out (a thread that reads a pipe and posts
// a window message per report): the median rate of each and their ratio.

#include "base/messages.h"
#include "bench/bench_support.h"
#include "companions/vreceiver/virtual_receiver.h"
#include "config/config.h"
#include "hid/hid_backend.h"
#include "hid/hid_control.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t BENCH_VENDOR = 0x0BDA;
constexpr uint32_t BENCH_PRODUCT = 0x0BEC;
constexpr uint32_t REPORT_LENGTH = 16;  // ID, sequence (4), send time (8), padding
constexpr UINT WM_BENCH_DONE = WM_APP + 1;
constexpr char BENCH_WINDOW_CLASS[] = "KovaHidBench";

struct Run {
    const char* Name;
    uint32_t Count;
    double Rate;  // reports per second to pace at; 0 = one at a time, <0 = flat out
};

// What the window thread records.
struct Sink {
    CHidControl* Control = nullptr;
    std::vector<int64_t> Latency;
    uint32_t Expected = 0;   // next sequence number
    uint32_t OutOfOrder = 0;
    uint32_t Received = 0;
    uint32_t Target = 0;
    HANDLE Handled = nullptr;  // set after each report, for the one-at-a-time run
    int64_t First = 0, Last = 0;
};

Sink g_sink;

LRESULT CALLBACK BenchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_HID_READ_NEXT:
        if (CHidDevice* d = g_sink.Control ? g_sink.Control->FindListedDevice(lParam) : nullptr) {
            d->IssueRead();
        }
        return 0;
    case WM_HID_REPORT: {
        CHidDevice* d = g_sink.Control ? g_sink.Control->FindListedDevice(lParam) : nullptr;
        if (!d) {
            return 0;
        }
        int64_t now = Now();
        const uint8_t* r = d->Info.Input.Buffer;
        uint32_t seq;
        int64_t sent;
        std::memcpy(&seq, r + 1, sizeof(seq));
        std::memcpy(&sent, r + 5, sizeof(sent));
        g_sink.OutOfOrder += seq == g_sink.Expected ? 0 : 1;
        g_sink.Expected = seq + 1;
        g_sink.Latency.push_back(now - sent);
        if (g_sink.Received++ == 0) {
            g_sink.First = now;
        }
        g_sink.Last = now;
        SetEvent(g_sink.Handled);
        if (g_sink.Received == g_sink.Target) {
            PostQuitMessage(0);
        }
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

struct SenderArgs {
    VirtualReceiver* Receiver;
    Run Plan;
    std::atomic<bool> Failed{false};
};

DWORD WINAPI Sender(void* context)
{
    auto* args = static_cast<SenderArgs*>(context);
    uint8_t report[REPORT_LENGTH] = {0x02};
    int64_t start = Now();
    for (uint32_t seq = 0; seq < args->Plan.Count; ++seq) {
        if (args->Plan.Rate > 0) {
            // Paced: wait for this report's moment, yielding the core meanwhile.
            int64_t due = start + static_cast<int64_t>(seq * static_cast<double>(TicksPerSecond()) / args->Plan.Rate);
            while (Now() < due) {
                Sleep(0);
            }
        } else if (args->Plan.Rate == 0 && seq > 0) {
            if (WaitForSingleObject(g_sink.Handled, 10000) != WAIT_OBJECT_0) {
                args->Failed = true;
                return 1;
            }
        }
        std::memcpy(report + 1, &seq, sizeof(seq));
        int64_t now = Now();
        std::memcpy(report + 5, &now, sizeof(now));
        if (args->Receiver->SendInput(1, report, sizeof(report)) != 1) {
            args->Failed = true;
            return 1;
        }
    }
    return 0;
}

// The rate in reports per second, or -1 when a report was lost, came out of
// order or the run failed.
double Measure(VirtualReceiver& receiver, const Run& plan, HWND window)
{
    g_sink.Latency.clear();
    g_sink.Latency.reserve(plan.Count);
    g_sink.Expected = 0;
    g_sink.OutOfOrder = 0;
    g_sink.Received = 0;
    g_sink.Target = plan.Count;
    ResetEvent(g_sink.Handled);

    SenderArgs args{&receiver, plan};
    HANDLE sender = CreateThread(nullptr, 0, Sender, &args, 0, nullptr);
    // A watchdog: a lost report would leave the loop waiting for ever.
    SetTimer(window, 1, 60000, nullptr);
    MSG msg;
    bool timedOut = false;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == window) {
            timedOut = true;
            break;
        }
        DispatchMessageA(&msg);
    }
    KillTimer(window, 1);
    WaitForSingleObject(sender, INFINITE);
    CloseHandle(sender);

    std::vector<int64_t> sorted = g_sink.Latency;
    std::sort(sorted.begin(), sorted.end());
    auto pct = [&](double p) {
        return sorted.empty() ? 0.0 : Microseconds(sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()))]);
    };
    double seconds = Microseconds(g_sink.Last - g_sink.First) / 1e6;
    double rate = seconds > 0 ? (g_sink.Received - 1) / seconds : 0;
    uint32_t lost = plan.Count - g_sink.Received;
    std::printf("%-22s %7u reports  %9.0f reports/s  median %7.1f us  p99 %7.1f us  max %8.1f us  lost %u  "
                "out of order %u%s\n",
                plan.Name, plan.Count, rate, pct(0.5), pct(0.99), sorted.empty() ? 0.0 : Microseconds(sorted.back()),
                lost, g_sink.OutOfOrder, timedOut || args.Failed ? "  (FAILED)" : "");
    std::fflush(stdout);
    return !timedOut && !args.Failed && lost == 0 && g_sink.OutOfOrder == 0 ? rate : -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t count = 20000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0) {
            count = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        }
    }

    std::string name = "bench-" + std::to_string(GetCurrentProcessId());
    VirtualReceiver receiver(name, nullptr);
    if (!receiver.Start()) {
        std::printf("cannot start the virtual receiver\n");
        return 1;
    }
    SetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, name.c_str());
    std::string error;
    receiver.Execute("plug 1 vid=0x0bda pid=0x0bec page=0xff01 usage=1 in=16", &error);

    WNDCLASSA wc{};
    wc.lpfnWndProc = BenchProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = BENCH_WINDOW_CLASS;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, BENCH_WINDOW_CLASS, "", 0, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);

    CConfig config;
    CConfig::AddDeviceIdentity(BENCH_PRODUCT, BENCH_VENDOR, 0, nullptr);
    g_sink.Handled = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto control = std::make_unique<CHidControl>(window);
    g_sink.Control = control.get();
    if (control->GetDeviceCount() != 1) {
        std::printf("the bench collection was not opened\n");
        return 1;
    }

    const Run runs[] = {
        {"one at a time", std::min<uint32_t>(count / 10, 2000), 0},
        {"paced 2000/s", count / 4, 2000},
        {"paced 5000/s", count / 2, 5000},
        {"flat out", count, -1},
    };
    bool ok = true;
    for (const Run& run : runs) {
        ok = Measure(receiver, run, window) >= 0 && ok;
    }

    // Five rounds of kova's reader against the bare relay, by turns.
    BareRelay relay;
    ok = relay.Start() && ok;
    std::vector<double> kovaRates;
    std::vector<double> relayRates;
    for (int round = 0; ok && round < 5; ++round) {
        kovaRates.push_back(Measure(receiver, {"flat out (round)", count, -1}, window));
        relayRates.push_back(relay.FlatOut(count, REPORT_LENGTH));
        std::printf("%-22s %7u reports  %9.0f reports/s\n", "bare relay flat out", count, relayRates.back());
        std::fflush(stdout);
        ok = kovaRates.back() > 0 && relayRates.back() > 0;
    }
    if (ok) {
        std::printf("median of 5 flat-out rounds: kova's reader %.0f reports/s, bare relay %.0f reports/s, "
                    "ratio %.2f\n",
                    Median(kovaRates), Median(relayRates), Median(kovaRates) / Median(relayRates));
    }

    g_sink.Control = nullptr;
    control.reset();
    DestroyWindow(window);
    receiver.Stop();
    ShutdownHidBackend();
    return ok ? 0 : 1;
}

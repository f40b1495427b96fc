// What kova.exe costs the PC it lives on, each figure the median of five
// runs and set against a reference in the same run:
//
// - start-up: from CreateProcess to the main window created and the
//   receiver's three collections opened, against an empty program (one
//   window, nothing else, bench/empty_program.cpp) started the same way
//   until its window exists;
// - private memory once started and settled (the host's RssAnon: Wine
//   answers GetProcessMemoryInfo of another process with zeros), next to
//   the empty program's, and next to the empty program's with as many
//   threads as kova has;
// - idle CPU time (user and kernel, GetProcessTimes, which Wine counts in
//   10 ms ticks) over a quiet span with the three collections open and
//   nothing pressed.
//
// kova.exe runs as in the field: test mode, no settings but the receiver's
// identity, on a virtual receiver hosted here.
//
//   kova_speed [--idle-seconds N] [--runs N]

#include <windows.h>

#include "base/messages.h"
#include "bench/bench_support.h"
#include "companions/vreceiver/virtual_receiver.h"
#include "hid/hid_backend.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t BENCH_VENDOR = 0x0BDA;
constexpr uint32_t BENCH_PRODUCT = 0x0150;
constexpr DWORD START_TIMEOUT_MS = 30000;
// The wake check reads the receiver 3 s after the start: settle past it.
constexpr DWORD SETTLE_MS = 5000;
// The threaded empty program has nothing to settle but its threads' start.
constexpr DWORD THREADED_SETTLE_MS = 1000;
constexpr int COLLECTIONS = 3;
constexpr char EMPTY_WINDOW_CLASS[] = "KovaBenchEmptyProgram";

struct Started {
    PROCESS_INFORMATION Process{};
    HWND Window = nullptr;
    double Milliseconds = -1;
};

bool Launch(const std::string& commandLine, PROCESS_INFORMATION* pi)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string line = commandLine;
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi) != FALSE;
}

HWND FindWindowOf(DWORD pid, const char* className)
{
    for (HWND w = FindWindowA(className, nullptr); w; w = FindWindowExA(nullptr, w, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) {
            return w;
        }
    }
    return nullptr;
}

void End(Started& started)
{
    if (started.Window) {
        PostMessageA(started.Window, WM_CLOSE, 0, 0);
    }
    if (started.Process.hProcess) {
        if (WaitForSingleObject(started.Process.hProcess, 20000) != WAIT_OBJECT_0) {
            TerminateProcess(started.Process.hProcess, 1);
        }
        CloseHandle(started.Process.hThread);
        CloseHandle(started.Process.hProcess);
    }
    started = Started{};
}

// Starts kova.exe and waits for its main window and for every collection
// to be opened; opened counts the receiver's open events.
Started StartKova(std::atomic<int>& opened)
{
    Started started;
    opened = 0;
    const int64_t begin = Now();
    if (!Launch(StagedCommandLine("kova.exe"), &started.Process)) {
        return started;
    }
    const DWORD limit = GetTickCount() + START_TIMEOUT_MS;
    while ((!started.Window || opened < COLLECTIONS) && static_cast<LONG>(limit - GetTickCount()) > 0) {
        if (!started.Window) {
            started.Window = FindWindowOf(started.Process.dwProcessId, MAIN_WINDOW_CLASS);
        }
        Sleep(1);
    }
    if (started.Window && opened >= COLLECTIONS) {
        started.Milliseconds = Microseconds(Now() - begin) / 1000;
    }
    return started;
}

Started StartEmpty(const std::string& commandLine)
{
    Started started;
    const int64_t begin = Now();
    if (!Launch(commandLine, &started.Process)) {
        return started;
    }
    const DWORD limit = GetTickCount() + START_TIMEOUT_MS;
    while (!started.Window && static_cast<LONG>(limit - GetTickCount()) > 0) {
        started.Window = FindWindowOf(started.Process.dwProcessId, EMPTY_WINDOW_CLASS);
        Sleep(1);
    }
    if (started.Window) {
        started.Milliseconds = Microseconds(Now() - begin) / 1000;
    }
    return started;
}

// A whole small file, read through Wine's drive Z:.
std::string ReadHostFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    CloseHandle(file);
    return text;
}

// A number of the host's /proc/<pid>/status of the program fileName that
// runs in this prefix (the first such process); -1 when it is not found.
double HostStatusNumber(const char* fileName, const char* field)
{
    char prefix[MAX_PATH] = {};
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix));
    const std::string ours = std::string("WINEPREFIX=") + prefix + '\0';
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    double number = -1;
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry)) {
        const std::string pid = entry.cFileName;
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string dir = "Z:\\proc\\" + pid + "\\";
        if (ReadHostFile(dir + "cmdline").find(fileName) == std::string::npos ||
            ReadHostFile(dir + "environ").find(ours) == std::string::npos) {
            continue;
        }
        const std::string status = ReadHostFile(dir + "status");
        const size_t at = status.find(field);
        if (at != std::string::npos) {
            number = std::strtod(status.c_str() + at + std::strlen(field), nullptr);
            break;
        }
    }
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
    }
    return number;
}

// The private memory of a program in MB. Wine answers GetProcessMemoryInfo
// of another process with zeros, so the host's own count is read: RssAnon,
// the resident memory that belongs to the process alone (its heaps and
// stacks, the images Wine read into memory; not mapped files).
double PrivateMegabytes(const char* fileName)
{
    const double kilobytes = HostStatusNumber(fileName, "RssAnon:");
    return kilobytes < 0 ? -1 : kilobytes / 1024.0;
}

// Its threads; on the host, a Wine process has exactly the threads of the
// Windows program.
int ThreadCount(const char* fileName)
{
    return static_cast<int>(HostStatusNumber(fileName, "Threads:"));
}

// User and kernel time of a process so far, in milliseconds.
double CpuMilliseconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return -1;
    }
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

std::string List(const std::vector<double>& values, const char* format)
{
    std::string out;
    for (double v : values) {
        char item[32];
        std::snprintf(item, sizeof(item), format, v);
        out += (out.empty() ? "" : ", ") + std::string(item);
    }
    return out;
}

std::string EmptyProgramCommandLine()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string path = self;
    path = path.substr(0, path.find_last_of('\\') + 1) + "empty_program.exe";
    return "\"" + path + "\"";
}

}  // namespace

int main(int argc, char** argv)
{
    int idleSeconds = 60;
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0) {
            idleSeconds = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        }
    }

    const std::string name = "speed-bench-" + std::to_string(GetCurrentProcessId());
    std::atomic<int> opened{0};
    VirtualReceiver receiver(name, [&](const std::string& event) {
        if (event.rfind("opened ", 0) == 0) {
            ++opened;
        }
    });
    std::string error;
    // A classic receiver's consumer and vendor collections, and a radio
    // receiver's vendor collection, all under the one identity.
    const char* plugs[] = {
        "plug 2 vid=0x0bda pid=0x0150 page=0x000c usage=0x01 in=3",
        "plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=8 feature=4",
        "plug 4 vid=0x0bda pid=0x0150 page=0xff01 usage=0x01 in=8 out=8 feature=8",
    };
    bool ok = receiver.Start();
    for (const char* plug : plugs) {
        ok = ok && receiver.Execute(plug, &error);
    }
    if (!ok) {
        std::printf("cannot start the virtual receiver %s\n", error.c_str());
        return 1;
    }
    IdentityForTheRun identity(BENCH_VENDOR, BENCH_PRODUCT);
    SetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, name.c_str());
    const std::string empty = EmptyProgramCommandLine();

    std::vector<double> kovaStart, emptyStart, kovaMemory, emptyMemory, threadedMemory, threads, idle;
    for (int run = 0; run < runs; ++run) {
        Started reference = StartEmpty(empty);
        Started kova = StartKova(opened);
        if (reference.Milliseconds < 0 || kova.Milliseconds < 0) {
            std::printf("run %d: a program did not start in time (kova opened %d collections)\n", run + 1,
                        opened.load());
            End(kova);
            End(reference);
            return 1;
        }
        kovaStart.push_back(kova.Milliseconds);
        emptyStart.push_back(reference.Milliseconds);
        Sleep(SETTLE_MS);
        kovaMemory.push_back(PrivateMegabytes("kova.exe"));
        emptyMemory.push_back(PrivateMegabytes("empty_program.exe"));
        threads.push_back(ThreadCount("kova.exe"));
        End(reference);
        // Under Wine every thread costs a resident megabyte of its own: the
        // empty program again, with as many threads as kova has.
        Started threaded = StartEmpty(empty + " --threads " + std::to_string(threads.back()));
        Sleep(THREADED_SETTLE_MS);
        threadedMemory.push_back(PrivateMegabytes("empty_program.exe"));
        End(threaded);
        const double before = CpuMilliseconds(kova.Process.hProcess);
        Sleep(static_cast<DWORD>(idleSeconds) * 1000);
        const double after = CpuMilliseconds(kova.Process.hProcess);
        idle.push_back((after - before) * 60.0 / idleSeconds);
        std::printf("run %d: start-up kova %.1f ms, empty program %.1f ms; private memory kova %.2f MB (%.0f threads), "
                    "empty program %.2f MB, with %.0f threads %.2f MB; idle CPU %.2f ms a minute over %d s\n",
                    run + 1, kova.Milliseconds, emptyStart.back(), kovaMemory.back(), threads.back(),
                    emptyMemory.back(), threads.back(), threadedMemory.back(), idle.back(), idleSeconds);
        std::fflush(stdout);
        End(kova);
        End(reference);
    }
    std::printf("median of %d runs (Wine, a virtual receiver, %d collections open):\n", runs, COLLECTIONS);
    std::printf("  start-up: kova %.1f ms, empty program %.1f ms, kova's own %.1f ms\n", Median(kovaStart),
                Median(emptyStart), Median(kovaStart) - Median(emptyStart));
    std::printf("  private memory after start: kova %.2f MB (threads: %s), empty program %.2f MB, with kova's "
                "threads %.2f MB\n",
                Median(kovaMemory), List(threads, "%.0f").c_str(), Median(emptyMemory), Median(threadedMemory));
    std::printf("  idle CPU: %.2f ms a minute (runs: %s)\n", Median(idle), List(idle, "%.2f").c_str());
    receiver.Stop();
    ShutdownHidBackend();
    return 0;
}

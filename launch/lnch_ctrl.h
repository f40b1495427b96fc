#pragma once
// CLnchCtrl: the base of the two launch controllers (remote-control buttons
// and keyboard one-touch buttons). A subclass fills the process-wide
// LaunchRequest for a button and calls ExecuteLaunchRequest; everything from
// there on happens here: programs are started on a launch thread of their
// own (one second apart, or each after the previous one has exited), key
// combinations are pressed on the caller's thread, and configured paths are
// made usable (a registry key in brackets, the program search path,
// shortcuts).
//
// Launchers share one state in the process: the mutex "MutexExecThread",
// the count of running launch threads, the stop request and one on-screen
// display controller. The first launcher creates it, the last releases it
// and waits about 1.1 s for the launch threads to finish.

#include <windows.h>

#include "config/config.h"

#include <cstddef>
#include <cstdint>

class COsdControl;
class CRegs;

constexpr int LAUNCH_ENTRY_MAX = 20;
constexpr size_t LAUNCH_EXEC_SIZE = 522;  // a path of up to 521 characters
constexpr size_t LAUNCH_DIR_SIZE = 261;
constexpr size_t LAUNCH_PARAMS_SIZE = 261;
// What SplitCommandEntry keeps of an entry's parameters, and the longest
// special-application option.
constexpr size_t LAUNCH_ENTRY_PARAMS_MAX = 127;
// What a resolved path, and each part of a resolved shortcut, may hold.
constexpr size_t LAUNCH_RESOLVED_SIZE = MAX_PATH;

// Launch modes: the first letter of a profile's mode text.
constexpr uint32_t LAUNCH_MODE_MULTIPLE = 1;    // "M": one entry a second
constexpr uint32_t LAUNCH_MODE_SEQUENTIAL = 2;  // "S": each after the previous one exited
constexpr uint32_t LAUNCH_MODE_PARALLEL = 3;    // "P": as "M"
constexpr uint32_t LAUNCH_MODE_KEYS = 4;        // "K": key combinations

constexpr char LAUNCH_MUTEX_NAME[] = "MutexExecThread";

// The launch prepared for one button. A launch controller clears it whole and
// fills it on the main thread; each launch takes its own copy.
struct LaunchRequest {
    uint32_t ButtonIndex;  // profile index 0..19
    uint32_t Mode;
    int32_t Count;  // entries used, 0..20
    // Mode 4: per entry, from the most significant byte: virtual key and scan
    // code of the first key, then of the second (287130414 = Ctrl+C).
    uint32_t Keys[LAUNCH_ENTRY_MAX];
    char Exec[LAUNCH_ENTRY_MAX][LAUNCH_EXEC_SIZE];
    char WorkDir[LAUNCH_ENTRY_MAX][LAUNCH_DIR_SIZE];
    char Params[LAUNCH_ENTRY_MAX][LAUNCH_PARAMS_SIZE];
};

class CLnchCtrl : public CConfig {
public:
    CLnchCtrl();
    ~CLnchCtrl() override;

    CLnchCtrl(const CLnchCtrl&) = delete;
    CLnchCtrl& operator=(const CLnchCtrl&) = delete;

    // What a button does: each launch controller loads its profile into
    // Request and starts it. origin is the flag byte of a wake event (0 for
    // every other caller).
    virtual void LaunchButton(uint32_t code, uint8_t origin) = 0;

    // Starts what Request describes. Threads get their own copy of it at
    // once, so the caller may fill Request again as soon as this returns.
    // Nothing starts while the display of a connected-standby machine is off.
    void ExecuteLaunchRequest();

    // Splits a profile entry at the first "|": the path before it (at most
    // 521 characters, into LAUNCH_EXEC_SIZE bytes), the parameters after it
    // (at most 127, cut at a further "|", into at least 128 bytes). FALSE
    // only for a null argument.
    static BOOL SplitCommandEntry(const char* text, char* path, char* params);

    // Makes a configured path usable in place (path holds size bytes, at
    // least MAX_PATH): a "[key]" becomes the default value of that key under
    // HKEY_LOCAL_MACHINE; an existing file or folder stays; a bare file name
    // is searched along the program search path. FALSE when none of this
    // gives a path, which makes the caller reject the whole profile.
    static BOOL ResolveExecutablePath(char* path, size_t size);

    // The option of the SpecialAp table whose name equals the existing file's
    // name (any case), into params (at least 128 bytes).
    static BOOL LookupSpecialAppOption(const char* path, char* params);

    // Target, arguments and working folder of a shortcut (each at most 259
    // characters, into buffers of LAUNCH_RESOLVED_SIZE).
    static BOOL ResolveShortcut(const char* lnkPath, char* target, char* args, char* workDir);

    // TRUE for a path ending in ".lnk" in any case; the extension is
    // lower-cased in place.
    static BOOL IsShortcutFile(char* path);

    // The launch prepared last, and the name of the profile or one-touch
    // button it came from (shown on screen by the launch controllers).
    static LaunchRequest Request;
    static char ProfileName[TEXT_FIELD_SIZE];
    // Launch threads still running in the process (read it; the launcher
    // counts).
    static volatile LONG ActiveLaunchThreads;

protected:
    // The display controller every launcher shares; exists while any does.
    static COsdControl* Osd() { return s_osd; }

    // What both profile readers share.
    // The mode of a mode text's first letter, upper case only; 0 for any
    // other text.
    static uint32_t ModeOfLetter(const char* text);
    // A text value, trimmed, into out (REGS_WORK_BUFFER bytes); FALSE when
    // it cannot be read.
    static BOOL ReadProfileText(CRegs& regs, const char* name, char* out);
    // Entry i of Request from its text: in mode 4 a decimal key combination,
    // otherwise a path made usable and its parameters. FALSE when the path
    // is unusable.
    static BOOL SetRequestEntry(int i, const char* text);
    // The working folder of entry i, when folder is not empty and exists.
    static void SetRequestWorkDir(int i, const char* folder);

private:
    struct ThreadContext;

    // Mode 4, on the caller's thread.
    static void SendKeyCombinations(const LaunchRequest& request);
    static void StartLaunchThread(LPTHREAD_START_ROUTINE procedure);
    static DWORD WINAPI ParallelLaunchThread(LPVOID context);
    static DWORD WINAPI SequentialLaunchThread(LPVOID context);
    static DWORD RunLaunchThread(LPVOID context, void (*body)(ThreadContext&));
    static void LaunchInParallel(ThreadContext& context);
    static void LaunchInSequence(ThreadContext& context);
    static BOOL SearchExecutable(char* path, size_t size);

    static LONG s_instances;
    // "MutexExecThread": serialises the launch threads' shortcut resolution.
    static HANDLE LaunchMutex;
    // Counts the times the last launcher went. A launch thread stops once it
    // differs from the value at its start, so a thread left over from
    // launchers that are gone never resumes when new ones are created.
    static volatile LONG StopLaunching;
    static COsdControl* s_osd;
};

#pragma once
// What the launcher and sender tests drive and watch: a sandboxed registry
// and program folder, copies of the launch stand-in under any name, the
// journal of what started (and when, with which arguments, folder and show
// command), and windows of msgwin, the program that plays the media
// applications and journals what they receive.

#include <windows.h>

#include "launch/lnch_ctrl.h"

#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/program_files_sandbox.h"
#include "tests/support/registry_sandbox.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

constexpr DWORD LAUNCH_WAIT_MS = 15000;
// A message no test sends on purpose: posted to a window after a step, its
// arrival proves that every post of the step has arrived before it.
constexpr UINT FENCE_MESSAGE = WM_APP + 0x3FFF;

// A launch controller without profiles: tests fill the request themselves.
class TestLauncher : public CLnchCtrl {
public:
    void LaunchButton(uint32_t, uint8_t) override {}
};

// One "start" line of a launched program.
struct StartedProgram {
    std::string Name;  // the file name it ran under
    std::string Args;
    std::string Folder;
    int Show = 0;
    long long Ms = 0;
    DWORD Pid = 0;
};

// One line of an msgwin window.
struct WindowEvent {
    std::string Kind;  // message, key, close
    JournalFields Fields;
};

class LaunchWorld {
public:
    // Launch tests tap no foreground key unless they ask for it (the key
    // would go to whatever window of the session is in front).
    explicit LaunchWorld(uint32_t foregroundKey = 0);
    ~LaunchWorld();

    LaunchWorld(const LaunchWorld&) = delete;
    LaunchWorld& operator=(const LaunchWorld&) = delete;

    // A copy of the launch stand-in in the scratch folder; its full path.
    std::string Program(const char* name);
    std::string Folder() const;
    // The same in another folder of the private Program Files (its name
    // relative to it, such as REMOTE_PROGRAM_FOLDER).
    std::string ProgramIn(const char* folder, const char* name);
    // A staged file (a companion, a library) copied into such a folder,
    // under asName or its own name.
    bool PutStaged(const char* folder, const char* stagedFile, const char* asName = nullptr);
    // Removes what PutStaged put there; false when it is not there.
    bool RemoveStaged(const char* folder, const char* file);
    std::string FolderOf(const char* folder) const;

    // Clears the shared request and fills it with entries "path|params".
    static void Prepare(uint32_t mode, uint32_t buttonIndex, const std::vector<std::string>& entries);

    std::vector<StartedProgram> Starts() const;
    bool WaitForStarts(size_t count, DWORD timeoutMs = LAUNCH_WAIT_MS) const;
    // The ms of each "exit" line, by pid.
    long long ExitMs(DWORD pid) const;
    bool WaitForExit(DWORD pid, DWORD timeoutMs = LAUNCH_WAIT_MS) const;

    // Starts msgwin with the given options; its window once it journaled it.
    HWND OpenWindow(const std::string& options);
    // The lines of the window with this class, in order.
    std::vector<WindowEvent> WindowEvents(const std::string& className) const;
    // How often the window of that class journaled msg with this lParam.
    int Received(const std::string& className, UINT msg, unsigned long long lParam) const;
    // Posts a fence message to each window (by class) and waits until all
    // have journaled it: every earlier post to them has been journaled then.
    void Fence(const std::map<std::string, HWND>& windows);
    // Closes a window of msgwin and waits until it is gone.
    bool CloseWindow(HWND window);

    const ScopedJournal& Journal() const { return m_journal; }

private:
    RegistrySandbox m_registry;
    ProgramFilesSandbox m_folder;
    ScopedJournal m_journal;
    std::vector<HANDLE> m_windows;
    unsigned long long m_fence = 0;
};

// A number field of a journal line; all ones when it is missing.
unsigned long long Number(const JournalFields& fields, const char* name);

// The launch threads running in this process now.
inline LONG ActiveLaunchThreads() { return CLnchCtrl::ActiveLaunchThreads; }

// Waits until the launch threads of this process have ended; the fence of
// every test that proves that something was not started.
bool WaitForLaunchThreads(DWORD timeoutMs = LAUNCH_WAIT_MS);

// ---- The window in front (tests that run with the desktop to themselves) ----

// A key no test sends on purpose: tapped after a step, its arrival proves
// that every key of the step has arrived before it.
constexpr uint8_t FENCE_KEY = VK_F13;

// Makes window the one in front; false when it does not come to the front.
bool BringToFront(HWND window);

// The key lines of an msgwin window between two fence keys, as
// "down 0x11 alt=0". Each call taps the fence key into the window in front
// and returns what arrived since the fence before, once the new fence has
// arrived.
class KeyFence {
public:
    KeyFence(LaunchWorld& world, std::string className) : m_world(world), m_class(std::move(className)) {}

    std::vector<std::string> NextKeys();

private:
    // Counts the fence keys that arrived; with keys, gathers the keys that
    // came after fence number after.
    int FencesSeen(std::vector<std::string>* keys, int after = -1) const;

    LaunchWorld& m_world;
    std::string m_class;
};

// Opens an msgwin window of that class in front of all; its fence has passed
// the keys that came before.
KeyFence FrontWindow(LaunchWorld& world, const std::string& className);

// Makes a shortcut with IShellLinkA; an empty target makes one to the shell's
// Computer folder, which has no file path.
bool MakeShortcut(const std::string& lnkPath, const std::string& target, const std::string& args,
                  const std::string& workDir);

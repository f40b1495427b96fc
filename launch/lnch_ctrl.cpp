#include "launch/lnch_ctrl.h"

#include "base/app_context.h"
#include "base/scoped_com.h"
#include "config/regs.h"
#include "base/key_tap.h"
#include "base/power.h"
#include "base/scoped.h"
#include "base/text_util.h"
#include "osd/osd_control.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

LaunchRequest CLnchCtrl::Request = {};
char CLnchCtrl::ProfileName[TEXT_FIELD_SIZE] = {};
LONG CLnchCtrl::s_instances = 0;
HANDLE CLnchCtrl::LaunchMutex = nullptr;
volatile LONG CLnchCtrl::ActiveLaunchThreads = 0;
volatile LONG CLnchCtrl::StopLaunching = 0;
COsdControl* CLnchCtrl::s_osd = nullptr;

namespace {

// The last launcher waits this many times 100 ms for launch threads to end.
constexpr int LAST_LAUNCHER_WAITS = 11;
constexpr DWORD LAST_LAUNCHER_WAIT_MS = 100;
constexpr DWORD ENTRY_PAUSE_MS = 1000;
constexpr DWORD EXIT_POLL_MS = 500;

// Default extensions tried, in this order, for a bare name without one.
constexpr const char* SEARCH_EXTENSIONS[] = {".pif", ".com", ".exe", ".bat", ".lnk"};

// Profiles whose programs start maximized: the full-screen media buttons.
bool StartsMaximized(uint32_t buttonIndex)
{
    return buttonIndex == 0 || buttonIndex == 1 || buttonIndex == 10 || buttonIndex == 11 || buttonIndex == 12;
}

int EntryCount(const LaunchRequest& request) { return std::clamp<int32_t>(request.Count, 0, LAUNCH_ENTRY_MAX); }

// A request filled by hand may lack terminators; the thread's copy never does.
void TerminateTexts(LaunchRequest& request)
{
    for (int i = 0; i < LAUNCH_ENTRY_MAX; ++i) {
        request.Exec[i][LAUNCH_EXEC_SIZE - 1] = '\0';
        request.WorkDir[i][LAUNCH_DIR_SIZE - 1] = '\0';
        request.Params[i][LAUNCH_PARAMS_SIZE - 1] = '\0';
    }
}

// Where a path's parts lie, read character by character so that the second
// byte of a double-byte character (which may equal '\') is never taken for a
// separator.
struct PathShape {
    bool HasDriveOrFolder;
    const char* Extension;  // the last '.', or null
};

PathShape ShapeOf(const char* path)
{
    PathShape shape{false, nullptr};
    for (const char* p = path; *p; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            ++p;
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':') {
            shape.HasDriveOrFolder = true;
            shape.Extension = nullptr;  // a '.' in a folder name is no extension
        } else if (*p == '.') {
            shape.Extension = p;
        }
    }
    return shape;
}

// F24 by default: a key of our own just before a start lets the started
// program take the foreground, which Windows grants only to the process that
// received the last input.
void TapForegroundKey() { TapKey(static_cast<uint8_t>(CConfig::GetControlSettings().Vk_ApFore & 0xFF)); }

// Starts one entry; the process handle when the shell gave one.
HANDLE StartEntry(HWND owner, const char* file, const char* params, const char* folder, int show)
{
    TapForegroundKey();
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
    info.hwnd = owner;
    info.lpFile = file;
    info.lpParameters = params;
    info.lpDirectory = folder;
    info.nShow = show;
    if (!ShellExecuteExA(&info)) {
        return nullptr;
    }
    return info.hProcess;
}

}  // namespace

// Everything a launch thread uses is its own, handed over when it starts:
// a copy of the request (so the main thread may fill the shared one again at
// once) and its own handle of the launcher mutex (so the last launcher can
// close its handle while a thread is still waiting on the mutex).
struct CLnchCtrl::ThreadContext {
    LaunchRequest Request;
    ScopedHandle Mutex;
    HWND MainWindow;
    LONG StopAtStart;

    bool StopRequested() const { return StopLaunching != StopAtStart; }
};

CLnchCtrl::CLnchCtrl()
{
    if (InterlockedIncrement(&s_instances) == 1) {
        // Not owned: it only serialises the launch threads among themselves
        // (and with any other program that opens it by name).
        LaunchMutex = CreateMutexA(nullptr, FALSE, LAUNCH_MUTEX_NAME);
        s_osd = new COsdControl;
    }
}

CLnchCtrl::~CLnchCtrl()
{
    if (InterlockedDecrement(&s_instances) != 0) {
        return;
    }
    InterlockedIncrement(&StopLaunching);
    delete s_osd;
    s_osd = nullptr;
    // Launch threads poll the stop request at least every 500 ms while they
    // wait for a program; keep this thread's windows answering meanwhile.
    for (int wait = 0; wait < LAST_LAUNCHER_WAITS && ActiveLaunchThreads != 0; ++wait) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(LAST_LAUNCHER_WAIT_MS);
    }
    if (LaunchMutex) {
        CloseHandle(LaunchMutex);
        LaunchMutex = nullptr;
    }
}

void CLnchCtrl::ExecuteLaunchRequest()
{
    if (IsAppDisplayOff() && IsConnectedStandbySystem()) {
        return;
    }
    switch (Request.Mode) {
    case LAUNCH_MODE_MULTIPLE:
    case LAUNCH_MODE_PARALLEL:
        StartLaunchThread(ParallelLaunchThread);
        break;
    case LAUNCH_MODE_SEQUENTIAL:
        StartLaunchThread(SequentialLaunchThread);
        break;
    case LAUNCH_MODE_KEYS:
        SendKeyCombinations(Request);
        break;
    default:
        break;
    }
}

void CLnchCtrl::StartLaunchThread(LPTHREAD_START_ROUTINE procedure)
{
    std::unique_ptr<ThreadContext> context(new (std::nothrow) ThreadContext);
    if (!context) {
        return;
    }
    context->Request = Request;
    TerminateTexts(context->Request);
    // The owner of the shell's prompts and DDE conversations.
    context->MainWindow = GetAppMainWindow();
    context->StopAtStart = StopLaunching;
    HANDLE mutex = nullptr;
    if (LaunchMutex && DuplicateHandle(GetCurrentProcess(), LaunchMutex, GetCurrentProcess(), &mutex, 0, FALSE,
                                       DUPLICATE_SAME_ACCESS)) {
        context->Mutex.reset(mutex);
    }
    // Counted before the thread exists, so the last launcher never misses a
    // thread that has been created but not yet run.
    InterlockedIncrement(&ActiveLaunchThreads);
    HANDLE thread = CreateThread(nullptr, 0, procedure, context.get(), 0, nullptr);
    if (!thread) {
        InterlockedDecrement(&ActiveLaunchThreads);
        return;
    }
    context.release();  // the thread owns it now
    CloseHandle(thread);
}

// Both launch threads: COM for the shell (which may hand a start to a shell
// extension); the context freed before the thread counts itself out.
DWORD CLnchCtrl::RunLaunchThread(LPVOID parameter, void (*body)(ThreadContext&))
{
    {
        std::unique_ptr<ThreadContext> context(static_cast<ThreadContext*>(parameter));
        ScopedComApartment com;
        com.Enter();
        body(*context);
    }
    InterlockedDecrement(&ActiveLaunchThreads);
    return 0;
}

DWORD WINAPI CLnchCtrl::ParallelLaunchThread(LPVOID parameter) { return RunLaunchThread(parameter, LaunchInParallel); }

DWORD WINAPI CLnchCtrl::SequentialLaunchThread(LPVOID parameter)
{
    return RunLaunchThread(parameter, LaunchInSequence);
}

void CLnchCtrl::LaunchInParallel(ThreadContext& context)
{
    const LaunchRequest& request = context.Request;
    const int count = EntryCount(request);
    const int show = StartsMaximized(request.ButtonIndex) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    for (int i = 0; i < count; ++i) {
        char option[LAUNCH_ENTRY_PARAMS_MAX + 1] = {};
        const char* params = request.Params[i];
        if (!params[0] && LookupSpecialAppOption(request.Exec[i], option)) {
            params = option;
        }
        const char* folder = request.WorkDir[i][0] ? request.WorkDir[i] : nullptr;
        ScopedHandle process(StartEntry(context.MainWindow, request.Exec[i], params, folder, show));
        if (process) {
            WaitForInputIdle(process.get(), INFINITE);
        }
        if (context.StopRequested()) {
            break;
        }
        if (i + 1 < count) {
            Sleep(ENTRY_PAUSE_MS);
        }
    }
}

void CLnchCtrl::LaunchInSequence(ThreadContext& context)
{
    LaunchRequest& request = context.Request;
    const int count = EntryCount(request);
    for (int i = 0; i < count; ++i) {
        char target[LAUNCH_RESOLVED_SIZE] = {};
        char args[LAUNCH_RESOLVED_SIZE] = {};
        char workDir[LAUNCH_RESOLVED_SIZE] = {};
        char option[LAUNCH_ENTRY_PARAMS_MAX + 1] = {};
        const char* file = request.Exec[i];
        const char* params = request.Params[i];
        const char* folder = request.WorkDir[i][0] ? request.WorkDir[i] : nullptr;
        if (IsShortcutFile(request.Exec[i])) {
            MutexLock lock(context.Mutex.get());
            if (ResolveShortcut(request.Exec[i], target, args, workDir)) {
                file = target;
                params = args;
                folder = workDir;
            } else {
                folder = request.WorkDir[i];
            }
        } else if (!params[0] && LookupSpecialAppOption(request.Exec[i], option)) {
            params = option;
        }
        if (context.StopRequested()) {
            break;
        }
        ScopedHandle process(StartEntry(context.MainWindow, file, params, folder, SW_SHOWNORMAL));
        if (process) {
            WaitForInputIdle(process.get(), INFINITE);
            // Waiting on the process rather than polling its exit code:
            // a program that ends with code 259 (STILL_ACTIVE) would
            // otherwise hold the sequence forever.
            bool stopped = false;
            while (!(stopped = context.StopRequested()) &&
                   WaitForSingleObject(process.get(), EXIT_POLL_MS) == WAIT_TIMEOUT) {
            }
            if (stopped) {
                break;  // the program itself keeps running
            }
        }
        if (context.StopRequested()) {
            break;
        }
        if (i + 1 < count) {
            Sleep(ENTRY_PAUSE_MS);
        }
    }
}

void CLnchCtrl::SendKeyCombinations(const LaunchRequest& request)
{
    const int count = EntryCount(request);
    for (int i = 0; i < count; ++i) {
        const uint32_t keys = request.Keys[i];
        const BYTE firstKey = static_cast<BYTE>(keys >> 24);
        const BYTE firstScan = static_cast<BYTE>(keys >> 16);
        const BYTE secondKey = static_cast<BYTE>(keys >> 8);
        const BYTE secondScan = static_cast<BYTE>(keys);
        // A combination of one key leaves the other's bytes 0: no key 0 is
        // pressed for it.
        if (firstKey) {
            keybd_event(firstKey, firstScan, 0, 0);
        }
        if (secondKey) {
            keybd_event(secondKey, secondScan, 0, 0);
        }
        Sleep(0);
        if (secondKey) {
            keybd_event(secondKey, secondScan, KEYEVENTF_KEYUP, 0);
        }
        if (firstKey) {
            keybd_event(firstKey, firstScan, KEYEVENTF_KEYUP, 0);
        }
    }
}

uint32_t CLnchCtrl::ModeOfLetter(const char* text)
{
    switch (text ? text[0] : '\0') {
    case 'M':
        return LAUNCH_MODE_MULTIPLE;
    case 'S':
        return LAUNCH_MODE_SEQUENTIAL;
    case 'P':
        return LAUNCH_MODE_PARALLEL;
    case 'K':
        return LAUNCH_MODE_KEYS;
    default:
        return 0;
    }
}

BOOL CLnchCtrl::ReadProfileText(CRegs& regs, const char* name, char* out)
{
    uint32_t length = 0;
    out[0] = '\0';
    if (regs.QueryString(out, REGS_WORK_BUFFER, name, &length) != ERROR_SUCCESS) {
        out[0] = '\0';
        return FALSE;
    }
    TrimBlanks(out);
    return TRUE;
}

BOOL CLnchCtrl::SetRequestEntry(int i, const char* text)
{
    if (i < 0 || i >= LAUNCH_ENTRY_MAX || !text) {
        return FALSE;
    }
    Request.Exec[i][0] = Request.WorkDir[i][0] = Request.Params[i][0] = '\0';
    if (Request.Mode == LAUNCH_MODE_KEYS) {
        // Read as unsigned: a first key of 0x80 or above makes a number
        // beyond the signed range.
        Request.Keys[i] = static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
        return TRUE;
    }
    SplitCommandEntry(text, Request.Exec[i], Request.Params[i]);
    return ResolveExecutablePath(Request.Exec[i], LAUNCH_EXEC_SIZE);
}

void CLnchCtrl::SetRequestWorkDir(int i, const char* folder)
{
    if (i < 0 || i >= LAUNCH_ENTRY_MAX || !folder || !folder[0]) {
        return;
    }
    if (GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES) {
        CopyCutWhole(Request.WorkDir[i], LAUNCH_RESOLVED_SIZE, folder);
    }
}

BOOL CLnchCtrl::SplitCommandEntry(const char* text, char* path, char* params)
{
    if (!text || !path || !params) {
        return FALSE;
    }
    const char* bar = std::strchr(text, '|');
    if (!bar) {
        CopyCutWhole(path, LAUNCH_EXEC_SIZE, text);
        params[0] = '\0';
        return TRUE;
    }
    char head[LAUNCH_EXEC_SIZE] = {};
    size_t headLength = std::min<size_t>(static_cast<size_t>(bar - text), LAUNCH_EXEC_SIZE - 1);
    std::memcpy(head, text, headLength);
    CopyCutWhole(path, LAUNCH_EXEC_SIZE, head);

    char tail[LAUNCH_ENTRY_PARAMS_MAX + 1] = {};
    CopyCutWhole(tail, sizeof(tail), bar + 1);
    if (char* further = std::strchr(tail, '|')) {
        *further = '\0';
    }
    std::memcpy(params, tail, std::strlen(tail) + 1);
    return TRUE;
}

BOOL CLnchCtrl::ResolveExecutablePath(char* path, size_t size)
{
    if (!path || size < MAX_PATH || strnlen(path, size) == size) {
        return FALSE;
    }
    const char* open = std::strchr(path, '[');
    const char* close = open ? std::strchr(open + 1, ']') : nullptr;
    if (close) {
        // Registry key names are at most 255 characters; a longer text in
        // brackets names no key.
        char key[MAX_PATH] = {};
        size_t keyLength = static_cast<size_t>(close - open - 1);
        if (keyLength >= sizeof(key)) {
            return FALSE;
        }
        std::memcpy(key, open + 1, keyLength);
        CRegs regs;
        if (regs.Open(HKEY_LOCAL_MACHINE, key, KEY_READ) != ERROR_SUCCESS) {
            return FALSE;
        }
        char value[REGS_WORK_BUFFER] = {};
        uint32_t length = 0;
        LONG rc = regs.QueryString(value, sizeof(value), "", &length);
        regs.Close();
        if (rc != ERROR_SUCCESS) {
            return FALSE;
        }
        StripQuotes(value);
        TrimBlanks(value);
        CopyCutWhole(path, MAX_PATH, value);
    }
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        return TRUE;
    }
    return SearchExecutable(path, size);
}

BOOL CLnchCtrl::SearchExecutable(char* path, size_t size)
{
    PathShape shape = ShapeOf(path);
    if (!path[0] || shape.HasDriveOrFolder) {
        return FALSE;
    }
    char found[MAX_PATH] = {};
    auto search = [&](const char* extension) {
        DWORD length = SearchPathA(nullptr, path, extension, sizeof(found), found, nullptr);
        return length > 0 && length < sizeof(found);
    };
    bool hit = false;
    if (shape.Extension) {
        hit = search(nullptr);
    } else {
        for (const char* extension : SEARCH_EXTENSIONS) {
            if ((hit = search(extension))) {
                break;
            }
        }
    }
    if (!hit) {
        return FALSE;
    }
    CopyCutWhole(path, std::min<size_t>(size, MAX_PATH), found);
    return TRUE;
}

BOOL CLnchCtrl::LookupSpecialAppOption(const char* path, char* params)
{
    if (!path || !params || !path[0]) {
        return FALSE;
    }
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    FindClose(search);
    const SpecialApps& specials = GetSpecialApps();
    for (int i = 0; i < std::min(specials.Count, SPECIAL_APP_MAX); ++i) {
        if (lstrcmpiA(found.cFileName, specials.Apps[i].Name) == 0) {
            CopyCutWhole(params, LAUNCH_ENTRY_PARAMS_MAX + 1, specials.Apps[i].Option);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CLnchCtrl::ResolveShortcut(const char* lnkPath, char* target, char* args, char* workDir)
{
    if (!lnkPath || !target || !args || !workDir) {
        return FALSE;
    }
    target[0] = args[0] = workDir[0] = '\0';
    ScopedComApartment com;
    if (!com.Enter()) {
        return FALSE;
    }
    ScopedCom<IShellLinkA> link;
    {
        IShellLinkA* created = nullptr;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&created)))) {
            return FALSE;
        }
        link.reset(created);
    }
    WCHAR widePath[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, 0, lnkPath, -1, widePath, MAX_PATH) == 0) {
        return FALSE;  // longer than a path can be
    }
    {
        IPersistFile* persist = nullptr;
        if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            return FALSE;
        }
        ScopedCom<IPersistFile> file(persist);
        if (file.get()->Load(widePath, STGM_READ) != S_OK) {
            return FALSE;
        }
    }
    char buffer[LAUNCH_RESOLVED_SIZE] = {};
    link.get()->GetPath(buffer, sizeof(buffer), nullptr, SLGP_RAWPATH);
    buffer[sizeof(buffer) - 1] = '\0';
    // A shortcut to something that is no file (a shell folder, a control
    // panel item) has no path: start the shortcut itself instead of handing
    // the shell an empty file name.
    if (!buffer[0]) {
        return FALSE;
    }
    CopyCutWhole(target, LAUNCH_RESOLVED_SIZE, buffer);
    buffer[0] = '\0';
    link.get()->GetArguments(buffer, sizeof(buffer));
    buffer[sizeof(buffer) - 1] = '\0';
    CopyCutWhole(args, LAUNCH_RESOLVED_SIZE, buffer);
    buffer[0] = '\0';
    link.get()->GetWorkingDirectory(buffer, sizeof(buffer));
    buffer[sizeof(buffer) - 1] = '\0';
    CopyCutWhole(workDir, LAUNCH_RESOLVED_SIZE, buffer);
    return TRUE;
}

BOOL CLnchCtrl::IsShortcutFile(char* path)
{
    if (!path) {
        return FALSE;
    }
    PathShape shape = ShapeOf(path);
    if (!shape.Extension) {
        return FALSE;  // tested whole, a path without "." never equals ".lnk"
    }
    char* extension = const_cast<char*>(shape.Extension);
    CharLowerA(extension);
    return std::strcmp(extension, ".lnk") == 0 ? TRUE : FALSE;
}

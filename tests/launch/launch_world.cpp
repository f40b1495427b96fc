#include "tests/launch/launch_world.h"

#include "base/scoped_com.h"
#include "config/config.h"

#include "tests/support/kova_process.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char APPS_FOLDER[] = "apps";
// A stand-in left running by a failing test goes by itself after this.
constexpr char STUB_SAFETY_EXIT_MS[] = "60000";

std::string FirstWord(const std::string& line, size_t* end)
{
    *end = line.find(' ');
    return line.substr(0, *end);
}

std::string SecondWord(const std::string& line)
{
    size_t first = 0;
    FirstWord(line, &first);
    if (first == std::string::npos) {
        return "";
    }
    size_t second = line.find(' ', first + 1);
    return line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

void EndProcess(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

}  // namespace

LaunchWorld::LaunchWorld(uint32_t foregroundKey)
{
    ResetConfigStoreForTests();
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Vk_ApFore", foregroundKey);
    SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_AFTER", STUB_SAFETY_EXIT_MS);
}

LaunchWorld::~LaunchWorld()
{
    WaitForLaunchThreads();
    for (const StartedProgram& started : Starts()) {
        EndProcess(started.Pid);
    }
    for (HANDLE window : m_windows) {
        TerminateProcess(window, 1);
        WaitForSingleObject(window, 5000);
        CloseHandle(window);
    }
    SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_AFTER", nullptr);
    ResetConfigStoreForTests();
}

std::string LaunchWorld::Program(const char* name)
{
    m_folder.Put(APPS_FOLDER, "launchstub.exe", name);
    return m_folder.PathOf(APPS_FOLDER, name);
}

std::string LaunchWorld::Folder() const { return FolderOf(APPS_FOLDER); }

std::string LaunchWorld::ProgramIn(const char* folder, const char* name)
{
    m_folder.Put(folder, "launchstub.exe", name);
    return m_folder.PathOf(folder, name);
}

bool LaunchWorld::PutStaged(const char* folder, const char* stagedFile, const char* asName)
{
    return m_folder.Put(folder, stagedFile, asName);
}

std::string LaunchWorld::FolderOf(const char* folder) const { return m_folder.Root() + "\\" + folder; }

bool LaunchWorld::RemoveStaged(const char* folder, const char* file)
{
    return DeleteFileA(m_folder.PathOf(folder, file).c_str()) != FALSE;
}

void LaunchWorld::Prepare(uint32_t mode, uint32_t buttonIndex, const std::vector<std::string>& entries)
{
    LaunchRequest& request = CLnchCtrl::Request;
    std::memset(&request, 0, sizeof(request));
    request.Mode = mode;
    request.ButtonIndex = buttonIndex;
    request.Count = static_cast<int32_t>(entries.size());
    for (size_t i = 0; i < entries.size() && i < LAUNCH_ENTRY_MAX; ++i) {
        CLnchCtrl::SplitCommandEntry(entries[i].c_str(), request.Exec[i], request.Params[i]);
    }
}

std::vector<StartedProgram> LaunchWorld::Starts() const
{
    std::vector<StartedProgram> starts;
    for (const std::string& line : m_journal.Lines()) {
        if (SecondWord(line) != "start") {
            continue;
        }
        JournalFields fields = ParseJournalFields(line);
        if (!fields.count("ms") || !fields.count("show") || !fields.count("folder")) {
            continue;  // another program's start line
        }
        size_t end = 0;
        StartedProgram started;
        started.Name = FirstWord(line, &end);
        started.Args = fields["args"];
        started.Folder = fields["folder"];
        started.Show = std::atoi(fields["show"].c_str());
        started.Ms = std::atoll(fields["ms"].c_str());
        started.Pid = static_cast<DWORD>(std::strtoul(fields["pid"].c_str(), nullptr, 10));
        starts.push_back(started);
    }
    return starts;
}

bool LaunchWorld::WaitForStarts(size_t count, DWORD timeoutMs) const
{
    return WaitUntil([&] { return Starts().size() >= count; }, timeoutMs);
}

long long LaunchWorld::ExitMs(DWORD pid) const
{
    for (const std::string& line : m_journal.Lines()) {
        if (SecondWord(line) != "exit") {
            continue;
        }
        JournalFields fields = ParseJournalFields(line);
        if (std::strtoul(fields["pid"].c_str(), nullptr, 10) == pid) {
            return std::atoll(fields["ms"].c_str());
        }
    }
    return -1;
}

bool LaunchWorld::WaitForExit(DWORD pid, DWORD timeoutMs) const
{
    return WaitUntil([&] { return ExitMs(pid) >= 0; }, timeoutMs);
}

HWND LaunchWorld::OpenWindow(const std::string& options)
{
    std::string commandLine = "\"" + StagedPath("msgwin.exe") + "\" " + options;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    m_windows.push_back(info.hProcess);
    HWND window = nullptr;
    WaitUntil(
        [&] {
            for (const std::string& line : m_journal.Calls("msgwin", "start")) {
                JournalFields fields = ParseJournalFields(line);
                if (std::strtoul(fields["pid"].c_str(), nullptr, 10) == info.dwProcessId) {
                    window = reinterpret_cast<HWND>(std::strtoull(fields["window"].c_str(), nullptr, 16));
                    return true;
                }
            }
            return false;
        },
        LAUNCH_WAIT_MS);
    return window;
}

std::vector<WindowEvent> LaunchWorld::WindowEvents(const std::string& className) const
{
    std::vector<WindowEvent> events;
    for (const std::string& line : m_journal.Lines()) {
        if (line.compare(0, 7, "msgwin ") != 0) {
            continue;
        }
        JournalFields fields = ParseJournalFields(line);
        if (fields["class"] == className) {
            events.push_back({SecondWord(line), fields});
        }
    }
    return events;
}

int LaunchWorld::Received(const std::string& className, UINT msg, unsigned long long lParam) const
{
    int count = 0;
    for (const WindowEvent& e : WindowEvents(className)) {
        count += e.Kind == "message" && Number(e.Fields, "msg") == msg && Number(e.Fields, "lparam") == lParam;
    }
    return count;
}

void LaunchWorld::Fence(const std::map<std::string, HWND>& windows)
{
    ++m_fence;
    for (const auto& [className, window] : windows) {
        EXPECT_TRUE(PostMessageA(window, FENCE_MESSAGE, 0, m_fence)) << className;
    }
    for (const auto& [className, window] : windows) {
        EXPECT_TRUE(WaitUntil([&] { return Received(className, FENCE_MESSAGE, m_fence) > 0; }, LAUNCH_WAIT_MS))
            << className << ": fence " << m_fence;
    }
}

bool LaunchWorld::CloseWindow(HWND window)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitUntil([&] { return !IsWindow(window); }, LAUNCH_WAIT_MS);
}

unsigned long long Number(const JournalFields& fields, const char* name)
{
    auto it = fields.find(name);
    return it == fields.end() ? ~0ull : std::strtoull(it->second.c_str(), nullptr, 0);
}

bool WaitForLaunchThreads(DWORD timeoutMs)
{
    return WaitUntil([] { return ActiveLaunchThreads() == 0; }, timeoutMs);
}

bool BringToFront(HWND window)
{
    return WaitUntil(
        [&] {
            SetForegroundWindow(window);
            return GetForegroundWindow() == window;
        },
        LAUNCH_WAIT_MS);
}

std::vector<std::string> KeyFence::NextKeys()
{
    const int before = FencesSeen(nullptr);
    keybd_event(FENCE_KEY, 0, 0, 0);
    keybd_event(FENCE_KEY, 0, KEYEVENTF_KEYUP, 0);
    std::vector<std::string> keys;
    EXPECT_TRUE(WaitUntil([&] { return FencesSeen(nullptr) > before; }, LAUNCH_WAIT_MS))
        << "the fence key never reached " << m_class;
    FencesSeen(&keys, before);
    return keys;
}

int KeyFence::FencesSeen(std::vector<std::string>* keys, int after) const
{
    int fences = 0;
    for (const WindowEvent& e : m_world.WindowEvents(m_class)) {
        if (e.Kind != "key") {
            continue;
        }
        if (Number(e.Fields, "vk") == FENCE_KEY) {
            fences += e.Fields.at("event") == "up";
        } else if (keys && fences == after) {
            keys->push_back(e.Fields.at("event") + " " + e.Fields.at("vk") + " alt=" + e.Fields.at("alt"));
        }
    }
    return fences;
}

KeyFence FrontWindow(LaunchWorld& world, const std::string& className)
{
    HWND window = world.OpenWindow("/class=" + className);
    EXPECT_NE(window, nullptr) << className;
    EXPECT_TRUE(BringToFront(window)) << className;
    KeyFence fence(world, className);
    fence.NextKeys();
    return fence;
}

bool MakeShortcut(const std::string& lnkPath, const std::string& target, const std::string& args,
                  const std::string& workDir)
{
    ScopedComApartment com;
    if (!com.Enter()) {
        return false;
    }
    IShellLinkA* created = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&created)))) {
        return false;
    }
    ScopedCom<IShellLinkA> link(created);
    if (target.empty()) {
        LPITEMIDLIST computer = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer))) {
            return false;
        }
        link.get()->SetIDList(computer);
        CoTaskMemFree(computer);
    } else {
        link.get()->SetPath(target.c_str());
    }
    link.get()->SetArguments(args.c_str());
    link.get()->SetWorkingDirectory(workDir.c_str());
    IPersistFile* persist = nullptr;
    if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        return false;
    }
    ScopedCom<IPersistFile> file(persist);
    WCHAR widePath[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, lnkPath.c_str(), -1, widePath, MAX_PATH);
    return SUCCEEDED(file.get()->Save(widePath, TRUE));
}

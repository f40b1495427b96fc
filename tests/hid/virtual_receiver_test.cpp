#include "companions/vreceiver/virtual_receiver.h"

#include "hid/hid_backend.h"
#include "hid/virtual_hid_backend.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/kova_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(VirtualReceiverTest, BadCommandsGetAReasonAndChangeNothing)
{
    ReceiverHost host;
    host.Run(PlugCommand(1, "0xFF01", "1"));
    const char* bad[] = {
        "plug",
        "plug 0 vid=1 pid=1 page=1 usage=1",
        "plug 100 vid=1 pid=1 page=1 usage=1",
        "plug 2 vid=zz pid=1 page=1 usage=1",
        "plug 2 vid=0x10000 pid=1 page=1 usage=1",
        "plug 2 pid=1 page=1 usage=1",
        "plug 2 vid=1 pid=1 page=1 usage=1 colour=red",
        "plug 2 vid=1 pid=1 page=1 usage=1 in=5000",
        "plug 2 vid=1 pid=1 page=1 usage=1 in",
        "plug 1 vid=1 pid=1 page=1 usage=1",
        "send 9 01",
        "send 1",
        "send 1 0g",
        "send 1 012",
        "feature 1",
        "feature 7 01",
        "failfeature 1 maybe",
        "failread 1",
        "failread 1 0",
        "failread 1 31 0",
        "failread 1 31 1001",
        "failread 9 31",
        "failread 1 31",  // plugged, but nobody has it open
        "failenum",
        "failenum 1001",
        "failenum 1 0",
        "failenum on",
        "aside",
        "aside send 1 01",
        "aside aside unplug 1",
        "plug 2 vid=1 pid=1 page=1 usage=1 bad=everything",
        "unplug 5",
        "unplug one",
        "pause -1",
        "pause 600001",
        "list everything",
        "frobnicate",
    };
    for (const char* command : bad) {
        std::string reason = host.RunBad(command);
        EXPECT_FALSE(reason.empty()) << command;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << "one line: " << reason;
    }
    host.RunBad("plug 2 vid=0x0bda pid=0x0150 page=1 usage=1 path=" +
                VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 1));
    host.RunBad("send 1 " + std::string(2 * 4097, 'a'));
    host.Run("# a comment");
    host.Run("   ");
    host.Run("list");
    std::vector<std::string> listed = host.EventsWith("collection ");
    ASSERT_EQ(listed.size(), 1u) << "only the one good plug";
    EXPECT_NE(listed[0].find("page=0xff01"), std::string::npos) << listed[0];
    EXPECT_EQ(host.EventsWith("sent").size(), 0u);
}

TEST(VirtualReceiverTest, DefaultPathsNumberTheCollectionsLikeAReceiver)
{
    std::string path = VirtualReceiver::DefaultPath(0x0BDA, 0x0150, 3);
    EXPECT_EQ(path.rfind("\\\\?\\hid#vid_0bda&pid_0150&col03#", 0), 0u) << path;
    EXPECT_NE(path.find("{4d1e55b2-f16f-11cf-88cb-001111000030}"), std::string::npos);
}

TEST(VirtualReceiverTest, ClientSeesTheReceiverAsAHidStack)
{
    ReceiverHost host;
    host.Run(PlugCommand(1, "0xFF01", "0x01", "in=4 out=6 feature=0"));
    HidBackend& backend = GetHidBackend();

    HidInterfaceSet set = backend.OpenInterfaceSet();
    ASSERT_NE(set, nullptr);
    char path[512];
    DWORD required = 0;
    EXPECT_FALSE(backend.GetInterfacePath(set, 0, path, 10, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 1).size() + 1);
    ASSERT_TRUE(backend.GetInterfacePath(set, 0, path, sizeof(path), &required));
    EXPECT_FALSE(backend.GetInterfacePath(set, 1, path, sizeof(path), &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    backend.CloseInterfaceSet(set);

    EXPECT_EQ(backend.OpenDevice("\\\\?\\hid#nothing"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE handle = backend.OpenDevice(path);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    uint8_t report[6] = {4, 1, 2, 3, 4, 0};
    EXPECT_TRUE(backend.SetOutputReport(handle, report, sizeof(report)));
    EXPECT_TRUE(host.WaitForEvents("output 1 handle 1 04 01 02 03 04 00", 1));
    EXPECT_FALSE(backend.GetFeature(handle, report, sizeof(report))) << "no feature report declared";
    EXPECT_FALSE(backend.GetFeature(reinterpret_cast<HANDLE>(0x1234), report, sizeof(report)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    // A read after the unplug fails as a vanished device's does.
    host.Run("unplug 1");
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint8_t buffer[4];
    DWORD got = 0;
    BOOL ok = ReadFile(handle, buffer, sizeof(buffer), &got, &ov);
    EXPECT_FALSE(ok);
    EXPECT_EQ(backend.DeviceError(handle, GetLastError(), 0), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(backend.SetOutputReport(handle, report, sizeof(report)));
    CloseHandle(ov.hEvent);
    backend.CloseDevice(handle);
}

// The vreceiver program with its standard input and output on pipes.
class ReceiverProcess {
public:
    explicit ReceiverProcess(const std::string& arguments)
    {
        SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
        HANDLE childIn = nullptr, childOut = nullptr;
        CreatePipe(&childIn, &m_in, &sa, 0);
        CreatePipe(&m_out, &childOut, &sa, 0);
        SetHandleInformation(m_in, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(m_out, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = childIn;
        si.hStdOutput = childOut;
        si.hStdError = childOut;
        std::string command = "\"" + StagedPath("vreceiver.exe") + "\" " + arguments;
        PROCESS_INFORMATION pi{};
        m_started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &si, &pi) != FALSE;
        CloseHandle(childIn);
        CloseHandle(childOut);
        if (m_started) {
            CloseHandle(pi.hThread);
            m_process = pi.hProcess;
        }
    }
    ~ReceiverProcess()
    {
        if (m_in) {
            CloseHandle(m_in);
        }
        if (m_process) {
            if (WaitForSingleObject(m_process, 10000) != WAIT_OBJECT_0) {
                TerminateProcess(m_process, 1);
            }
            CloseHandle(m_process);
        }
        CloseHandle(m_out);
    }
    bool Started() const { return m_started; }
    void Write(const std::string& line)
    {
        std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(m_in, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    void CloseInput()
    {
        CloseHandle(m_in);
        m_in = nullptr;
    }
    // The next line of output, or "" after the time limit.
    std::string ReadLine(DWORD timeoutMs = 10000)
    {
        DWORD start = GetTickCount();
        for (;;) {
            size_t eol = m_pending.find('\n');
            if (eol != std::string::npos) {
                std::string line = m_pending.substr(0, eol);
                m_pending.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                return line;
            }
            DWORD available = 0;
            if (PeekNamedPipe(m_out, nullptr, 0, nullptr, &available, nullptr) && available) {
                char chunk[512];
                DWORD got = 0;
                if (ReadFile(m_out, chunk, sizeof(chunk) < available ? sizeof(chunk) : available, &got, nullptr)) {
                    m_pending.append(chunk, got);
                }
                continue;
            }
            if (GetTickCount() - start >= timeoutMs) {
                return "";
            }
            Sleep(10);
        }
    }
    DWORD ExitCode()
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(m_process, 10000) == WAIT_OBJECT_0) {
            GetExitCodeProcess(m_process, &code);
        }
        return code;
    }

private:
    HANDLE m_in = nullptr;
    HANDLE m_out = nullptr;
    HANDLE m_process = nullptr;
    bool m_started = false;
    std::string m_pending;
};

TEST(VirtualReceiverProgramTest, DrivenThroughStandardInput)
{
    std::string name = "proc-" + std::to_string(GetCurrentProcessId());
    ReceiverProcess rx("--name " + name);
    ASSERT_TRUE(rx.Started());
    EXPECT_EQ(rx.ReadLine(), "ready " + name);
    rx.Write("plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=3");
    EXPECT_EQ(rx.ReadLine(), "plugged 3 " + VirtualReceiver::DefaultPath(0x0BDA, 0x0150, 3));
    rx.Write("fly away");
    EXPECT_EQ(rx.ReadLine().rfind("error: ", 0), 0u) << "a bad command gets an error line";

    // This process is the receiver's client: open, read one report.
    VirtualHidBackend backend(name);
    HANDLE handle = backend.OpenDevice(VirtualReceiver::DefaultPath(0x0BDA, 0x0150, 3).c_str());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(rx.ReadLine(), "opened 3 handle 1");
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint8_t buffer[3] = {};
    DWORD got = 0;
    BOOL ok = ReadFile(handle, buffer, sizeof(buffer), &got, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        rx.Write("send 3 02 0d 01");
        EXPECT_EQ(rx.ReadLine(), "sent 3 02 0d 01 to 1 handle");
        ok = WaitForSingleObject(ov.hEvent, 10000) == WAIT_OBJECT_0 && GetOverlappedResult(handle, &ov, &got, FALSE);
    }
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(buffer[1], 0x0D);
    CloseHandle(ov.hEvent);
    backend.CloseDevice(handle);
    EXPECT_EQ(rx.ReadLine(), "closed 3 handle 1");

    rx.Write("quit");
    EXPECT_EQ(rx.ReadLine(), "unplugged 3");
    EXPECT_EQ(rx.ReadLine(), "stopped");
    EXPECT_EQ(rx.ExitCode(), 0u);
}

TEST(VirtualReceiverProgramTest, RunsAScriptFileAndRefusesATakenName)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof(dir), dir);
    std::string script = std::string(dir) + "vreceiver-" + std::to_string(GetCurrentProcessId()) + ".txt";
    std::FILE* f = std::fopen(script.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("# radio receiver\nplug 1 vid=0x0bda pid=0x0151 page=0xff01 usage=1 path=\\\\?\\hid#radio\n"
               "list\npause 10\nquit\nplug 2 vid=1 pid=1 page=1 usage=1\n",
               f);
    std::fclose(f);
    std::string name = "script-" + std::to_string(GetCurrentProcessId());
    {
        ReceiverHost squatter;  // holds another name; this one is free
    }
    ReceiverProcess rx("--name " + name + " \"" + script + "\"");
    ASSERT_TRUE(rx.Started());
    EXPECT_EQ(rx.ReadLine(), "ready " + name);
    EXPECT_EQ(rx.ReadLine(), "plugged 1 \\\\?\\hid#radio");
    std::string listed = rx.ReadLine();
    EXPECT_EQ(listed.rfind("collection 1 vid=0x0bda pid=0x0151 page=0xff01", 0), 0u) << listed;
    EXPECT_EQ(rx.ReadLine(), "unplugged 1") << "quit ends the script before its last line";
    EXPECT_EQ(rx.ReadLine(), "stopped");
    EXPECT_EQ(rx.ExitCode(), 0u);
    DeleteFileA(script.c_str());

    VirtualReceiver holder(name, nullptr);
    ASSERT_TRUE(holder.Start());
    ReceiverProcess second("--name " + name);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.ReadLine().rfind("error: ", 0), 0u);
    EXPECT_EQ(second.ExitCode(), 1u);
}

}  // namespace

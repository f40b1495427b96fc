// ddewatch: a small DDE client for checking a machine by hand and for the
// tests. It connects to a service and topic, starts a hot advise loop on an
// item and prints every CF_TEXT it receives, one line each, on stdout.
//
//   ddewatch SERVICE TOPIC [ITEM] [--count N] [--request ITEM] [--execute TEXT]
//
//   ITEM            start an advise loop on ITEM and print what arrives, until
//                   the server ends the conversation (or N texts, --count)
//   --request ITEM  ask once for ITEM in CF_TEXT and print the answer
//   --execute TEXT  send TEXT as an execute command
//
// Without ITEM the tool stays connected without an advise loop until the
// server goes away. What happens besides the texts (connected, advising,
// refused, the size of each block, disconnected) goes to stderr, one line
// each, so stdout holds nothing but the texts.
//
// Exit codes: 0 done, 1 bad arguments, 2 DDEML not available, 3 no server
// took the service and topic, 4 the advise loop was refused, 5 the request
// brought no data, 6 the execute was refused.

#include <windows.h>
#include <ddeml.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD TRANSACTION_TIMEOUT_MS = 5000;
// Bigger blocks are cut: a line is for reading, not for copying data.
constexpr DWORD MAX_TEXT_BYTES = 64 * 1024;

enum ExitCode {
    EXIT_DONE = 0,
    EXIT_USAGE = 1,
    EXIT_NO_DDEML = 2,
    EXIT_NO_SERVER = 3,
    EXIT_ADVISE_REFUSED = 4,
    EXIT_NO_DATA = 5,
    EXIT_EXECUTE_REFUSED = 6,
};

struct Options {
    const char* Service = nullptr;
    const char* Topic = nullptr;
    const char* AdviseItem = nullptr;
    const char* RequestItem = nullptr;
    const char* ExecuteText = nullptr;
    long Count = 0;  // 0: no limit
};

constexpr UINT CONVERSATION_CHECK_MS = 250;

long g_received = 0;
long g_limit = 0;
HCONV g_conv = nullptr;

void Status(const char* format, ...)
{
    std::fputs("ddewatch: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// The text up to its first zero (or the end of the block), on one line.
void PrintText(HDDEDATA data)
{
    DWORD size = DdeGetData(data, nullptr, 0, 0);
    if (size > MAX_TEXT_BYTES) {
        size = MAX_TEXT_BYTES;
    }
    std::vector<char> block(size + 1, '\0');
    DWORD got = size ? DdeGetData(data, reinterpret_cast<LPBYTE>(block.data()), size, 0) : 0;
    std::string line(block.data(), strnlen(block.data(), got));
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    Status("%lu bytes", static_cast<unsigned long>(size));
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Disconnected()
{
    Status("disconnected");
    g_conv = nullptr;
    PostQuitMessage(EXIT_DONE);
}

// Not every DDEML tells a client that the server ended the conversation
// (Wine's marks the conversation terminated without calling back), so the
// conversation is also looked at now and then.
void CALLBACK CheckConversation(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_conv) {
        return;
    }
    CONVINFO info{};
    info.cb = sizeof(info);
    if (!DdeQueryConvInfo(g_conv, QID_SYNC, &info) || (info.wStatus & ST_TERMINATED) ||
        !(info.wStatus & ST_CONNECTED)) {
        Disconnected();
    }
}

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_ADVDATA:
        if (format != CF_TEXT || !data) {
            return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
        }
        PrintText(data);
        if (g_limit > 0 && ++g_received >= g_limit) {
            PostQuitMessage(EXIT_DONE);
        }
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    case XTYP_DISCONNECT:
        if (g_conv) {
            Disconnected();
        }
        return nullptr;
    default:
        return nullptr;
    }
}

bool ParseOptions(int argc, char** argv, Options* options)
{
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (std::strcmp(arg, "--count") == 0 && hasValue) {
            char* end = nullptr;
            options->Count = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || options->Count < 1) {
                return false;
            }
        } else if (std::strcmp(arg, "--request") == 0 && hasValue) {
            options->RequestItem = argv[++i];
        } else if (std::strcmp(arg, "--execute") == 0 && hasValue) {
            options->ExecuteText = argv[++i];
        } else if (std::strncmp(arg, "--", 2) == 0) {
            return false;
        } else if (positional == 0) {
            options->Service = arg;
            ++positional;
        } else if (positional == 1) {
            options->Topic = arg;
            ++positional;
        } else if (positional == 2) {
            options->AdviseItem = arg;
            ++positional;
        } else {
            return false;
        }
    }
    return options->Service && options->Topic;
}

// Owns the DDEML instance and its string handles.
class Client {
public:
    ~Client()
    {
        if (m_conv) {
            DdeDisconnect(m_conv);
        }
        for (HSZ hsz : m_strings) {
            DdeFreeStringHandle(m_instance, hsz);
        }
        if (m_instance) {
            DdeUninitialize(m_instance);
        }
    }

    bool Start()
    {
        return DdeInitializeA(&m_instance, Callback, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR;
    }

    HSZ String(const char* text)
    {
        HSZ hsz = DdeCreateStringHandleA(m_instance, text, CP_WINANSI);
        if (hsz) {
            m_strings.push_back(hsz);
        }
        return hsz;
    }

    bool Connect(const char* service, const char* topic)
    {
        m_conv = DdeConnect(m_instance, String(service), String(topic), nullptr);
        return m_conv != nullptr;
    }

    HDDEDATA Transact(const void* data, DWORD size, HSZ item, UINT format, UINT type)
    {
        DWORD result = 0;
        return DdeClientTransaction(static_cast<LPBYTE>(const_cast<void*>(data)), size, m_conv, item, format, type,
                                    TRANSACTION_TIMEOUT_MS, &result);
    }

    UINT LastError() const { return DdeGetLastError(m_instance); }
    HCONV Conversation() const { return m_conv; }

private:
    DWORD m_instance = 0;
    HCONV m_conv = nullptr;
    std::vector<HSZ> m_strings;
};

int Run(const Options& options)
{
    Client client;
    if (!client.Start()) {
        Status("DDEML is not available");
        return EXIT_NO_DDEML;
    }
    if (!client.Connect(options.Service, options.Topic)) {
        Status("no server for %s|%s (error 0x%04X)", options.Service, options.Topic, client.LastError());
        return EXIT_NO_SERVER;
    }
    Status("connected to %s|%s", options.Service, options.Topic);

    if (options.RequestItem) {
        HDDEDATA data = client.Transact(nullptr, 0, client.String(options.RequestItem), CF_TEXT, XTYP_REQUEST);
        if (!data) {
            Status("request %s: no data (error 0x%04X)", options.RequestItem, client.LastError());
            return EXIT_NO_DATA;
        }
        PrintText(data);
        DdeFreeDataHandle(data);
    }
    if (options.ExecuteText) {
        DWORD size = static_cast<DWORD>(std::strlen(options.ExecuteText) + 1);
        if (!client.Transact(options.ExecuteText, size, nullptr, 0, XTYP_EXECUTE)) {
            Status("execute refused (error 0x%04X)", client.LastError());
            return EXIT_EXECUTE_REFUSED;
        }
        Status("execute done");
    }
    if ((options.RequestItem || options.ExecuteText) && !options.AdviseItem) {
        return EXIT_DONE;
    }
    if (options.AdviseItem) {
        if (!client.Transact(nullptr, 0, client.String(options.AdviseItem), CF_TEXT, XTYP_ADVSTART)) {
            Status("advise loop on %s refused (error 0x%04X)", options.AdviseItem, client.LastError());
            return EXIT_ADVISE_REFUSED;
        }
        Status("advising %s", options.AdviseItem);
    }

    g_limit = options.Count;
    g_conv = client.Conversation();
    SetTimer(nullptr, 0, CONVERSATION_CHECK_MS, CheckConversation);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Status("done");
    return static_cast<int>(msg.wParam);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: ddewatch SERVICE TOPIC [ITEM] [--count N] [--request ITEM] [--execute TEXT]\n");
        return EXIT_USAGE;
    }
    return Run(options);
}

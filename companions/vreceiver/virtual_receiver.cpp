#include "companions/vreceiver/virtual_receiver.h"

#include "hid/pipe_io.h"
#include "hid/virtual_receiver_protocol.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>

namespace {

constexpr DWORD PIPE_BUFFER_SIZE = 65536;
constexpr uint32_t COLLECTION_NUMBER_MAX = 99;
constexpr uint32_t REPORT_LENGTH_MAX = 4096;
// A misbehaving device may send more than it declares, but not without end.
constexpr size_t SEND_BYTES_MAX = 4096;
constexpr size_t PATH_MAX_CHARS = 1000;
constexpr uint32_t PAUSE_MAX_MS = 600000;
// At most this many reads failed or interface entries listed by one command.
constexpr uint32_t FAIL_COUNT_MAX = 1000;
// What a failed read or enumeration answers unless the command names an error.
constexpr uint32_t DEFAULT_FAILURE = ERROR_GEN_FAILURE;

// The flaws a collection may be plugged with, as the open reply names them.
const char* const FLAWS[] = {VR_FLAW_CAPS, VR_FLAW_BUTTON_CAPS, VR_FLAW_USAGE_LIST};

const char HELP_TEXT[] =
    "commands: plug N vid=V pid=P page=U usage=U [in=L] [out=L] [feature=L] [ver=V] [path=P] | unplug N | "
    "[bad=FLAW] | unplug N | eject N | send N HEX... | feature N HEX... | failfeature N [all|off|COUNT] | "
    "failread N ERROR [COUNT] | failenum AFTER [ERROR] | failenum off | aside plug|unplug|eject ... | pause MS | "
    "list | quit";

std::string Hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04x", static_cast<unsigned>(v));
    return text;
}

std::string Lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// What follows the first `skip` words of a line, as typed.
std::string RestOfLine(const std::string& line, size_t skip)
{
    size_t i = 0;
    for (size_t w = 0; w < skip; ++w) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
    }
    return line.substr(i);
}

}  // namespace

struct VirtualReceiver::Connection {
    VirtualReceiver* Owner = nullptr;
    HANDLE Pipe = INVALID_HANDLE_VALUE;
    std::mutex WriteLock;  // one write at a time; guards Closed and Dropped
    bool Closed = false;   // the pipe handle is gone
    bool Dropped = false;  // cut by an unplug, not by the client
    bool IsNotices = false;
    uint32_t Collection = 0;  // for a collection's connection
    uint32_t HandleId = 0;
    // The errors that the empty messages written to a collection's
    // connection stand for, oldest first; guarded by WriteLock.
    std::deque<uint32_t> ReadErrors;
    HANDLE AckEvent = nullptr;
    HANDLE WriteEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // reused by every write

    ~Connection()
    {
        if (AckEvent) {
            CloseHandle(AckEvent);
        }
        if (WriteEvent) {
            CloseHandle(WriteEvent);
        }
    }

    bool Write(const void* data, size_t length)
    {
        std::lock_guard<std::mutex> guard(WriteLock);
        if (Closed || Dropped) {
            return false;
        }
        return PipeWriteMessage(Pipe, data, length, VR_REPLY_TIMEOUT_MS, WriteEvent);
    }

    // A read of the client that ends with error: an empty message, which no
    // report can be, and the error it stands for.
    bool FailRead(uint32_t error)
    {
        std::lock_guard<std::mutex> guard(WriteLock);
        if (Closed || Dropped) {
            return false;
        }
        ReadErrors.push_back(error);
        if (!PipeWriteMessage(Pipe, "", 0, VR_REPLY_TIMEOUT_MS, WriteEvent)) {
            ReadErrors.pop_back();
            return false;
        }
        return true;
    }
};

VirtualReceiver::VirtualReceiver(const std::string& instance, EventSink sink)
    : m_instance(instance), m_pipeName(VirtualReceiverPipeName(instance)), m_sink(std::move(sink))
{
}

VirtualReceiver::~VirtualReceiver() { Stop(); }

std::string VirtualReceiver::DefaultPath(uint32_t vendorId, uint32_t productId, uint32_t number)
{
    char path[160];
    std::snprintf(path, sizeof(path),
                  "\\\\?\\hid#vid_%04x&pid_%04x&col%02u#8&1a2b3c4d&0&%04u#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  static_cast<unsigned>(vendorId & 0xFFFF), static_cast<unsigned>(productId & 0xFFFF),
                  static_cast<unsigned>(number), static_cast<unsigned>(number - 1));
    return path;
}

void VirtualReceiver::Emit(const std::string& line)
{
    std::lock_guard<std::mutex> guard(m_sinkLock);
    if (m_sink) {
        m_sink(line);
    }
}

bool VirtualReceiver::Start()
{
    if (m_pipeName.empty() || m_listenThread) {
        return false;
    }
    m_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!m_stopEvent) {
        return false;
    }
    // The first instance is made here, so that a name already in use fails
    // the start instead of sharing someone else's receiver. Not every system
    // honours FILE_FLAG_FIRST_PIPE_INSTANCE, so look for a server first.
    if (WaitNamedPipeA(m_pipeName.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND) {
        CloseHandle(m_stopEvent);
        m_stopEvent = nullptr;
        return false;
    }
    HANDLE first = CreateNamedPipeA(m_pipeName.c_str(),
                                    PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                    PIPE_BUFFER_SIZE, PIPE_BUFFER_SIZE, 0, nullptr);
    if (first == INVALID_HANDLE_VALUE) {
        CloseHandle(m_stopEvent);
        m_stopEvent = nullptr;
        return false;
    }
    m_firstPipe = first;
    m_listenThread = CreateThread(nullptr, 0, ListenMain, this, 0, nullptr);
    if (!m_listenThread) {
        Stop();
        return false;
    }
    return true;
}

void VirtualReceiver::Stop()
{
    if (!m_stopEvent) {
        return;
    }
    std::vector<uint32_t> numbers;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const auto& [number, c] : m_collections) {
            numbers.push_back(number);
        }
    }
    std::string ignored;
    for (uint32_t number : numbers) {
        Unplug(number, false, &ignored);
    }
    SetEvent(m_stopEvent);
    if (m_listenThread) {
        WaitForSingleObject(m_listenThread, INFINITE);
        CloseHandle(m_listenThread);
        m_listenThread = nullptr;
    }
    std::vector<HANDLE> threads;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        threads.swap(m_connectionThreads);
    }
    for (HANDLE t : threads) {
        WaitDispatchingSentMessages(t, INFINITE);
        CloseHandle(t);
    }
    if (m_firstPipe != INVALID_HANDLE_VALUE) {
        CloseHandle(m_firstPipe);
        m_firstPipe = INVALID_HANDLE_VALUE;
    }
    std::vector<ConnectionPtr> rest;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        rest.swap(m_connections);
    }
    for (const ConnectionPtr& c : rest) {
        std::lock_guard<std::mutex> guard(c->WriteLock);
        if (!c->Closed) {
            CloseHandle(c->Pipe);
            c->Closed = true;
        }
    }
    CloseHandle(m_stopEvent);
    m_stopEvent = nullptr;
}

DWORD WINAPI VirtualReceiver::ListenMain(void* self)
{
    static_cast<VirtualReceiver*>(self)->Listen();
    return 0;
}

void VirtualReceiver::Listen()
{
    HANDLE connected = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
        // The first instance was made by Start; a new one follows every
        // connection, so a client always finds one waiting.
        HANDLE pipe = std::exchange(m_firstPipe, INVALID_HANDLE_VALUE);
        if (pipe == INVALID_HANDLE_VALUE) {
            pipe = CreateNamedPipeA(m_pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                    PIPE_BUFFER_SIZE, PIPE_BUFFER_SIZE, 0, nullptr);
        }
        if (pipe == INVALID_HANDLE_VALUE) {
            Emit("error: cannot make another pipe instance");
            if (WaitForSingleObject(m_stopEvent, 500) == WAIT_OBJECT_0) {
                break;
            }
            continue;
        }
        OVERLAPPED ov{};
        ResetEvent(connected);
        ov.hEvent = connected;
        bool ok = ConnectNamedPipe(pipe, &ov) != FALSE;
        DWORD err = ok ? ERROR_SUCCESS : GetLastError();
        if (err == ERROR_IO_PENDING) {
            HANDLE waits[2] = {connected, m_stopEvent};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIoEx(pipe, &ov);
                DWORD n = 0;
                GetOverlappedResult(pipe, &ov, &n, TRUE);
                CloseHandle(pipe);
                break;
            }
            DWORD n = 0;
            ok = GetOverlappedResult(pipe, &ov, &n, FALSE) != FALSE;
        } else {
            ok = ok || err == ERROR_PIPE_CONNECTED;
        }
        auto connection = std::make_shared<Connection>();
        connection->Owner = this;
        connection->Pipe = pipe;
        connection->AckEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (ok && connection->AckEvent) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_connections.push_back(connection);
        }
        auto* start = ok && connection->AckEvent ? new ConnectionPtr(connection) : nullptr;
        HANDLE thread = start ? CreateThread(nullptr, 0, ConnectionMain, start, 0, nullptr) : nullptr;
        if (!thread) {
            delete start;
            std::lock_guard<std::mutex> guard(m_lock);
            std::erase(m_connections, connection);
            CloseHandle(pipe);
            connection->Closed = true;
            continue;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        // Forget threads that have ended, so a long session does not pile them up.
        std::erase_if(m_connectionThreads, [](HANDLE t) {
            if (WaitForSingleObject(t, 0) == WAIT_OBJECT_0) {
                CloseHandle(t);
                return true;
            }
            return false;
        });
        m_connectionThreads.push_back(thread);
    }
    CloseHandle(connected);
}

DWORD WINAPI VirtualReceiver::ConnectionMain(void* context)
{
    auto* start = static_cast<ConnectionPtr*>(context);
    ConnectionPtr connection = *start;
    delete start;
    connection->Owner->Serve(connection);
    return 0;
}

void VirtualReceiver::Serve(const ConnectionPtr& connection)
{
    std::string hello;
    if (PipeReadMessage(connection->Pipe, &hello, VR_MESSAGE_MAX, VR_REPLY_TIMEOUT_MS, m_stopEvent)) {
        if (hello == VR_HELLO_REQUEST) {
            ServeRequests(connection);
        } else if (hello == VR_HELLO_NOTICES) {
            ServeNotices(connection);
        } else if (hello.compare(0, sizeof(VR_HELLO_OPEN), std::string(VR_HELLO_OPEN) + " ") == 0) {
            ServeCollection(connection, hello.substr(sizeof(VR_HELLO_OPEN)));
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::erase(m_connections, connection);
    }
    std::lock_guard<std::mutex> guard(connection->WriteLock);
    if (!connection->Closed) {
        DisconnectNamedPipe(connection->Pipe);
        CloseHandle(connection->Pipe);
        connection->Closed = true;
    }
}

void VirtualReceiver::ServeRequests(const ConnectionPtr& connection)
{
    std::string request;
    while (PipeReadMessage(connection->Pipe, &request, VR_MESSAGE_MAX, INFINITE, m_stopEvent)) {
        std::string reply = HandleRequest(request);
        if (!connection->Write(reply.data(), reply.size())) {
            break;
        }
    }
}

void VirtualReceiver::ServeNotices(const ConnectionPtr& connection)
{
    {
        // The client waits for this answer before it counts on notices: a
        // device plugged after it comes back is announced to it. Answered
        // under the lock that Broadcast takes to pick its listeners, so no
        // notice can overtake the answer.
        std::lock_guard<std::mutex> guard(m_lock);
        connection->IsNotices = true;
        if (!connection->Write(VR_ACK, sizeof(VR_ACK) - 1)) {
            return;
        }
    }
    std::string ack;
    while (PipeReadMessage(connection->Pipe, &ack, VR_MESSAGE_MAX, INFINITE, m_stopEvent)) {
        if (ack == VR_ACK) {
            SetEvent(connection->AckEvent);
        }
    }
}

void VirtualReceiver::ServeCollection(const ConnectionPtr& connection, const std::string& path)
{
    std::string reply;
    uint32_t number = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const auto& [n, c] : m_collections) {
            // Device paths are not case-sensitive.
            if (Lower(c.Path) == Lower(path)) {
                number = n;
                connection->Collection = n;
                connection->HandleId = m_nextHandleId++;
                char text[160];
                std::snprintf(text, sizeof(text), "ok %u %u %u %u %u %u %u %u %u", connection->HandleId,
                              c.VendorId, c.ProductId, c.Version, c.UsagePage, c.Usage, c.InputLength,
                              c.OutputLength, c.FeatureLength);
                reply = text;
                if (!c.Bad.empty()) {
                    reply += " " + c.Bad;
                }
                break;
            }
        }
    }
    if (number == 0) {
        std::string fail = "fail " + std::to_string(ERROR_FILE_NOT_FOUND);
        if (connection->Write(fail.data(), fail.size())) {
            // Cutting the pipe now would throw the unread refusal away: wait
            // (a while at most) for the client to read it and close.
            std::string ignored;
            PipeReadMessage(connection->Pipe, &ignored, VR_MESSAGE_MAX, VR_REPLY_TIMEOUT_MS, m_stopEvent);
        }
        return;
    }
    if (!connection->Write(reply.data(), reply.size())) {
        return;
    }
    uint32_t id = connection->HandleId;
    Emit("opened " + std::to_string(number) + " handle " + std::to_string(id));
    // Nothing more comes from the client: the read ends when it closes its
    // handle, or when an unplug cuts the pipe.
    std::string ignored;
    while (PipeReadMessage(connection->Pipe, &ignored, VR_MESSAGE_MAX, INFINITE, m_stopEvent)) {
    }
    bool dropped;
    {
        std::lock_guard<std::mutex> guard(connection->WriteLock);
        dropped = connection->Dropped;
    }
    if (!dropped) {
        Emit("closed " + std::to_string(number) + " handle " + std::to_string(id));
    }
}

std::string VirtualReceiver::HandleRequest(const std::string& request)
{
    std::vector<std::string> words = SplitWords(request);
    auto fail = [](DWORD err) { return "fail " + std::to_string(err); };
    if (words.empty()) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (words[0] == "list") {
        return ListReply();
    }
    if (words[0] == VR_ASIDE_HANDLED_REQUEST && words.size() == 1) {
        Emit("aside handled");
        return "ok";
    }
    uint32_t id = 0;
    if (words.size() < 2 || !ParseNumber(words[1], 0xFFFFFFFFu, &id)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // The open connection the request names, and its collection.
    ConnectionPtr connection;
    Collection collection;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const ConnectionPtr& c : m_connections) {
            if (c->HandleId == id) {
                connection = c;
            }
        }
        if (!connection || !m_collections.count(connection->Collection)) {
            return fail(ERROR_DEVICE_NOT_CONNECTED);
        }
        collection = m_collections[connection->Collection];
    }
    std::string prefix = std::to_string(collection.Number) + " handle " + std::to_string(id) + " ";

    if (words[0] == "readerror") {
        return ReadErrorReply(connection, prefix);
    }
    if (words[0] == "getfeature") {
        uint32_t length = 0;
        uint32_t reportId = 0;
        if (words.size() != 4 || !ParseNumber(words[2], REPORT_LENGTH_MAX, &length) || length == 0 ||
            !ParseNumber(words[3], 255, &reportId)) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        if (collection.FeatureLength == 0) {
            return fail(ERROR_INVALID_FUNCTION);
        }
        bool failing = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto it = m_collections.find(collection.Number);
            if (it != m_collections.end() && it->second.FailReads != 0) {
                failing = true;
                if (it->second.FailReads > 0) {
                    --it->second.FailReads;
                }
            }
        }
        if (failing) {
            Emit("getfeature " + prefix + FormatHexBytes(std::vector<uint8_t>{static_cast<uint8_t>(reportId)}) +
                 " failed");
            return fail(ERROR_GEN_FAILURE);
        }
        // The stored answer of that report, cut or padded to what was asked;
        // a report never set answers zeros after its ID.
        std::vector<uint8_t> answer(length, 0);
        answer[0] = static_cast<uint8_t>(reportId);
        auto stored = collection.FeatureAnswers.find(static_cast<uint8_t>(reportId));
        if (stored != collection.FeatureAnswers.end()) {
            for (size_t i = 0; i < stored->second.size() && i < length; ++i) {
                answer[i] = stored->second[i];
            }
        }
        Emit("getfeature " + prefix + FormatHexBytes(answer));
        return "ok " + FormatHexBytes(answer);
    }
    if (words[0] == "setfeature" || words[0] == "output") {
        std::vector<uint8_t> bytes;
        if (!ParseHexBytes(RestOfLine(request, 2), &bytes, REPORT_LENGTH_MAX) || bytes.empty()) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        uint32_t declared = words[0] == "output" ? collection.OutputLength : collection.FeatureLength;
        if (declared == 0) {
            return fail(ERROR_INVALID_FUNCTION);
        }
        Emit(words[0] + " " + prefix + FormatHexBytes(bytes));
        return "ok";
    }
    return fail(ERROR_INVALID_FUNCTION);
}

std::string VirtualReceiver::ListReply()
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string reply = "ok";
    int listed = 0;
    for (const auto& [n, c] : m_collections) {
        if (listed++ == m_enumerationFailsAfter) {
            break;
        }
        reply += "\n" + c.Path;
    }
    // Paths hold no blanks, so this line cannot be taken for one.
    if (m_enumerationFailsAfter >= 0) {
        reply += "\nfail " + std::to_string(m_enumerationError);
    }
    return reply;
}

std::string VirtualReceiver::ReadErrorReply(const ConnectionPtr& connection, const std::string& prefix)
{
    uint32_t error = 0;
    {
        std::lock_guard<std::mutex> guard(connection->WriteLock);
        if (!connection->ReadErrors.empty()) {
            error = connection->ReadErrors.front();
            connection->ReadErrors.pop_front();
        }
    }
    if (error == 0) {
        // No failed read is waiting to be told: the client asks out of turn.
        return "fail " + std::to_string(ERROR_INVALID_FUNCTION);
    }
    Emit("readfailed " + prefix + std::to_string(error));
    return "ok " + std::to_string(error);
}

void VirtualReceiver::Broadcast(const char* kind, const std::string& path)
{
    std::string notice = std::string(kind) + " " + path;
    if (m_aside) {
        m_asideNotices += (m_asideNotices.empty() ? "" : "\n") + notice;
        return;
    }
    std::vector<ConnectionPtr> listeners;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const ConnectionPtr& c : m_connections) {
            if (c->IsNotices) {
                listeners.push_back(c);
            }
        }
    }
    const bool aside = std::strcmp(kind, VR_NOTICE_ASIDE) == 0;
    for (const ConnectionPtr& c : listeners) {
        WaitForSingleObject(c->AckEvent, 0);  // forget a late ack of an earlier notice
        if (!c->Write(notice.data(), notice.size())) {
            continue;
        }
        if (aside) {
            // Answered as soon as the client has handed them to a thread of
            // their own; its windows are not to see them before this
            // thread's next command, so nothing is dispatched here.
            WaitForSingleObject(c->AckEvent, VR_REPLY_TIMEOUT_MS);
        } else {
            // The client answers once its windows have handled the notice.
            // Messages sent to this thread's own windows are dispatched
            // meanwhile, for a test that hosts the receiver and the client.
            WaitDispatchingSentMessages(c->AckEvent, VR_REPLY_TIMEOUT_MS);
        }
    }
}

void VirtualReceiver::DropConnections(uint32_t number)
{
    std::vector<ConnectionPtr> cut;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const ConnectionPtr& c : m_connections) {
            if (c->Collection == number && c->HandleId != 0) {
                cut.push_back(c);
            }
        }
    }
    for (const ConnectionPtr& c : cut) {
        std::lock_guard<std::mutex> guard(c->WriteLock);
        if (c->Closed || c->Dropped) {
            continue;
        }
        // A client that closed its handle already (on the query of an
        // eject) has broken its end of the pipe, and that close is reported
        // as such. The connection's thread may not have seen it yet on a
        // busy machine: ask the pipe, not the thread.
        DWORD available = 0;
        if (!PeekNamedPipe(c->Pipe, nullptr, 0, nullptr, &available, nullptr) &&
            GetLastError() == ERROR_BROKEN_PIPE) {
            continue;
        }
        c->Dropped = true;
        // The client's pending and later reads fail as its device is gone.
        DisconnectNamedPipe(c->Pipe);
    }
}

bool VirtualReceiver::Plug(const std::vector<std::string>& words, std::string* error)
{
    uint32_t number = 0;
    if (words.size() < 2 || !ParseNumber(words[1], COLLECTION_NUMBER_MAX, &number) || number == 0) {
        *error = "plug needs a collection number from 1 to 99";
        return false;
    }
    Collection c;
    c.Number = number;
    bool haveVid = false, havePid = false, havePage = false, haveUsage = false;
    for (size_t i = 2; i < words.size(); ++i) {
        size_t eq = words[i].find('=');
        if (eq == std::string::npos) {
            *error = "plug: expected key=value, got '" + words[i] + "'";
            return false;
        }
        std::string key = Lower(words[i].substr(0, eq));
        std::string value = words[i].substr(eq + 1);
        bool ok = true;
        if (key == "path") {
            ok = !value.empty() && value.size() <= PATH_MAX_CHARS;
            c.Path = value;
        } else if (key == "vid") {
            ok = haveVid = ParseNumber(value, 0xFFFF, &c.VendorId);
        } else if (key == "pid") {
            ok = havePid = ParseNumber(value, 0xFFFF, &c.ProductId);
        } else if (key == "ver") {
            ok = ParseNumber(value, 0xFFFF, &c.Version);
        } else if (key == "page") {
            ok = havePage = ParseNumber(value, 0xFFFF, &c.UsagePage);
        } else if (key == "usage") {
            ok = haveUsage = ParseNumber(value, 0xFFFF, &c.Usage);
        } else if (key == "in") {
            ok = ParseNumber(value, REPORT_LENGTH_MAX, &c.InputLength);
        } else if (key == "out") {
            ok = ParseNumber(value, REPORT_LENGTH_MAX, &c.OutputLength);
        } else if (key == "feature") {
            ok = ParseNumber(value, REPORT_LENGTH_MAX, &c.FeatureLength);
        } else if (key == "bad") {
            ok = false;
            for (const char* flaw : FLAWS) {
                ok = ok || value == flaw;
            }
            c.Bad = value;
        } else {
            *error = "plug: unknown key '" + key + "'";
            return false;
        }
        if (!ok) {
            *error = "plug: bad value for " + key;
            return false;
        }
    }
    if (!haveVid || !havePid || !havePage || !haveUsage) {
        *error = "plug needs vid=, pid=, page= and usage=";
        return false;
    }
    if (c.Path.empty()) {
        c.Path = DefaultPath(c.VendorId, c.ProductId, number);
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_collections.count(number)) {
            *error = "collection " + std::to_string(number) + " is already plugged";
            return false;
        }
        for (const auto& [n, other] : m_collections) {
            if (Lower(other.Path) == Lower(c.Path)) {
                *error = "collection " + std::to_string(n) + " already has that path";
                return false;
            }
        }
        m_collections[number] = c;
    }
    Emit("plugged " + std::to_string(number) + " " + c.Path);
    Broadcast(VR_NOTICE_ARRIVAL, c.Path);
    return true;
}

bool VirtualReceiver::Unplug(uint32_t number, bool eject, std::string* error)
{
    std::string path;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_collections.find(number);
        if (it == m_collections.end()) {
            *error = "collection " + std::to_string(number) + " is not plugged";
            return false;
        }
        path = it->second.Path;
    }
    if (eject) {
        // A safe removal asks first; the program closes its handle on it.
        Emit("queryremove " + std::to_string(number));
        Broadcast(VR_NOTICE_QUERY_REMOVE, path);
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_collections.erase(number);
    }
    DropConnections(number);
    Emit("unplugged " + std::to_string(number));
    if (eject) {
        Broadcast(VR_NOTICE_REMOVE_PENDING, path);
    }
    Broadcast(VR_NOTICE_REMOVE_COMPLETE, path);
    return true;
}

bool VirtualReceiver::Send(const std::vector<std::string>& words, const std::string& line, std::string* error)
{
    uint32_t number = 0;
    std::vector<uint8_t> bytes;
    if (words.size() < 3 || !ParseNumber(words[1], COLLECTION_NUMBER_MAX, &number)) {
        *error = "send needs a collection number and hex bytes";
        return false;
    }
    if (!ParseHexBytes(RestOfLine(line, 2), &bytes, SEND_BYTES_MAX) || bytes.empty()) {
        *error = "send: bad hex bytes (at most 4096)";
        return false;
    }
    int delivered = SendInput(number, bytes.data(), bytes.size());
    if (delivered < 0) {
        *error = "collection " + std::to_string(number) + " is not plugged";
        return false;
    }
    Emit("sent " + std::to_string(number) + " " + FormatHexBytes(bytes) + " to " + std::to_string(delivered) +
         (delivered == 1 ? " handle" : " handles"));
    return true;
}

int VirtualReceiver::SendInput(uint32_t number, const uint8_t* bytes, size_t length)
{
    if (!bytes || length == 0) {
        return 0;  // an empty message is how a failed read travels
    }
    std::vector<ConnectionPtr> targets;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_collections.count(number)) {
            return -1;
        }
        for (const ConnectionPtr& c : m_connections) {
            if (c->Collection == number && c->HandleId != 0) {
                targets.push_back(c);
            }
        }
    }
    int delivered = 0;
    for (const ConnectionPtr& c : targets) {
        delivered += c->Write(bytes, length) ? 1 : 0;
    }
    return delivered;
}

bool VirtualReceiver::SetFeature(const std::vector<std::string>& words, const std::string& line, std::string* error)
{
    uint32_t number = 0;
    std::vector<uint8_t> bytes;
    if (words.size() < 3 || !ParseNumber(words[1], COLLECTION_NUMBER_MAX, &number)) {
        *error = "feature needs a collection number and the report's hex bytes, its ID first";
        return false;
    }
    if (!ParseHexBytes(RestOfLine(line, 2), &bytes, REPORT_LENGTH_MAX) || bytes.empty()) {
        *error = "feature: bad hex bytes";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_collections.find(number);
    if (it == m_collections.end()) {
        *error = "collection " + std::to_string(number) + " is not plugged";
        return false;
    }
    it->second.FeatureAnswers[bytes[0]] = bytes;
    return true;
}

bool VirtualReceiver::FailFeature(const std::vector<std::string>& words, std::string* error)
{
    uint32_t number = 0;
    if (words.size() < 2 || words.size() > 3 || !ParseNumber(words[1], COLLECTION_NUMBER_MAX, &number)) {
        *error = "failfeature needs a collection number, then all, off or a count";
        return false;
    }
    int fail = -1;
    if (words.size() == 3 && words[2] != "all") {
        uint32_t count = 0;
        if (words[2] == "off") {
            fail = 0;
        } else if (ParseNumber(words[2], 1000000, &count)) {
            fail = static_cast<int>(count);
        } else {
            *error = "failfeature: expected all, off or a count";
            return false;
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_collections.find(number);
    if (it == m_collections.end()) {
        *error = "collection " + std::to_string(number) + " is not plugged";
        return false;
    }
    it->second.FailReads = fail;
    return true;
}

bool VirtualReceiver::FailRead(const std::vector<std::string>& words, std::string* error)
{
    uint32_t number = 0;
    uint32_t code = 0;
    uint32_t count = 1;
    if (words.size() < 3 || words.size() > 4 || !ParseNumber(words[1], COLLECTION_NUMBER_MAX, &number) ||
        !ParseNumber(words[2], 0xFFFFFFFFu, &code) || code == 0 ||
        (words.size() == 4 && (!ParseNumber(words[3], FAIL_COUNT_MAX, &count) || count == 0))) {
        *error = "failread needs a collection number, a Windows error other than 0 and a count up to 1000";
        return false;
    }
    std::vector<ConnectionPtr> targets;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_collections.count(number)) {
            *error = "collection " + std::to_string(number) + " is not plugged";
            return false;
        }
        for (const ConnectionPtr& c : m_connections) {
            if (c->Collection == number && c->HandleId != 0) {
                targets.push_back(c);
            }
        }
    }
    int failed = 0;
    for (const ConnectionPtr& c : targets) {
        bool all = true;
        for (uint32_t i = 0; i < count && all; ++i) {
            all = c->FailRead(code);
        }
        failed += all ? 1 : 0;
    }
    if (failed == 0) {
        *error = "collection " + std::to_string(number) + " has no open handle";
        return false;
    }
    return true;
}

bool VirtualReceiver::FailEnumeration(const std::vector<std::string>& words, std::string* error)
{
    uint32_t after = 0;
    uint32_t code = DEFAULT_FAILURE;
    if (words.size() == 2 && words[1] == "off") {
        std::lock_guard<std::mutex> guard(m_lock);
        m_enumerationFailsAfter = -1;
        return true;
    }
    if (words.size() < 2 || words.size() > 3 || !ParseNumber(words[1], FAIL_COUNT_MAX, &after) ||
        (words.size() == 3 && (!ParseNumber(words[2], 0xFFFFFFFFu, &code) || code == 0))) {
        *error = "failenum needs the number of entries listed first (up to 1000) and an error other than 0, or off";
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_enumerationFailsAfter = static_cast<int>(after);
    m_enumerationError = code;
    return true;
}

bool VirtualReceiver::Aside(const std::vector<std::string>& words, const std::string& line, std::string* error)
{
    const std::string verb = words.size() > 1 ? Lower(words[1]) : std::string();
    if (verb != "plug" && verb != "unplug" && verb != "eject") {
        *error = "aside takes a plug, unplug or eject command";
        return false;
    }
    m_aside = true;
    m_asideNotices.clear();
    bool ok = Execute(RestOfLine(line, 1), error);
    m_aside = false;
    if (!m_asideNotices.empty()) {
        Broadcast(VR_NOTICE_ASIDE, m_asideNotices);
    }
    return ok;
}

void VirtualReceiver::List()
{
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const auto& [n, c] : m_collections) {
            size_t handles = 0;
            for (const ConnectionPtr& conn : m_connections) {
                handles += conn->Collection == n && conn->HandleId != 0 ? 1 : 0;
            }
            lines.push_back("collection " + std::to_string(n) + " vid=" + Hex32(c.VendorId) +
                            " pid=" + Hex32(c.ProductId) + " page=" + Hex32(c.UsagePage) +
                            " usage=" + Hex32(c.Usage) + " in=" + std::to_string(c.InputLength) +
                            " out=" + std::to_string(c.OutputLength) + " feature=" +
                            std::to_string(c.FeatureLength) + " handles=" + std::to_string(handles) +
                            (c.Bad.empty() ? "" : " bad=" + c.Bad) + " path=" + c.Path);
        }
    }
    for (const std::string& l : lines) {
        Emit(l);
    }
}

bool VirtualReceiver::Execute(const std::string& line, std::string* error)
{
    std::vector<std::string> words = SplitWords(line);
    if (words.empty() || words[0][0] == '#') {
        return true;
    }
    const std::string verb = Lower(words[0]);
    uint32_t number = 0;
    if (verb == "plug") {
        return Plug(words, error);
    }
    if (verb == "unplug" || verb == "eject") {
        if (words.size() != 2 || !ParseNumber(words[1], COLLECTION_NUMBER_MAX, &number)) {
            *error = verb + " needs a collection number";
            return false;
        }
        return Unplug(number, verb == "eject", error);
    }
    if (verb == "send") {
        return Send(words, line, error);
    }
    if (verb == "feature") {
        return SetFeature(words, line, error);
    }
    if (verb == "failfeature") {
        return FailFeature(words, error);
    }
    if (verb == "failread") {
        return FailRead(words, error);
    }
    if (verb == "failenum") {
        return FailEnumeration(words, error);
    }
    if (verb == "aside") {
        return Aside(words, line, error);
    }
    if (verb == "pause") {
        if (words.size() != 2 || !ParseNumber(words[1], PAUSE_MAX_MS, &number)) {
            *error = "pause needs milliseconds (at most 600000)";
            return false;
        }
        if (m_stopEvent) {
            WaitDispatchingSentMessages(m_stopEvent, number);
        } else {
            Sleep(number);
        }
        return true;
    }
    if (verb == "list" && words.size() == 1) {
        List();
        return true;
    }
    if (verb == "help") {
        Emit(HELP_TEXT);
        return true;
    }
    if (verb == "quit" && words.size() == 1) {
        m_quit = true;
        return true;
    }
    *error = "unknown command '" + words[0] + "' (try help)";
    return false;
}

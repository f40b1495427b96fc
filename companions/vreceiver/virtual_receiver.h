#pragma once
// The virtual receiver: plays one remote-control receiver with any number of
// HID collections for the device backend's virtual client. Commands come one
// a line (Execute); events go out one a line through the sink. The vreceiver
// program wraps it for scripts and people; tests host it in-process.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class VirtualReceiver {
public:
    using EventSink = std::function<void(const std::string&)>;

    VirtualReceiver(const std::string& instance, EventSink sink);
    ~VirtualReceiver();

    VirtualReceiver(const VirtualReceiver&) = delete;
    VirtualReceiver& operator=(const VirtualReceiver&) = delete;

    // Opens the receiver's pipe; false when the name is unusable or taken.
    bool Start();
    // Unplugs every collection and closes every connection.
    void Stop();

    // Runs one command line. False with a one-line reason for a bad command.
    bool Execute(const std::string& line, std::string* error);
    bool QuitRequested() const { return m_quit; }

    // The send command without its parsing and its event line: writes one
    // input report to every open handle of a collection. Gives the number of
    // handles it reached, or -1 when the collection is not plugged.
    int SendInput(uint32_t number, const uint8_t* bytes, size_t length);

    // The path a collection gets when the plug command names none.
    static std::string DefaultPath(uint32_t vendorId, uint32_t productId, uint32_t number);

private:
    struct Collection {
        uint32_t Number = 0;
        std::string Path;
        uint32_t VendorId = 0, ProductId = 0, Version = 0x0100, UsagePage = 0, Usage = 0;
        uint32_t InputLength = 8, OutputLength = 0, FeatureLength = 8;
        std::string Bad;  // how its capabilities are malformed; empty: they are sound
        std::map<uint8_t, std::vector<uint8_t>> FeatureAnswers;
        int FailReads = 0;  // <0: every read fails; >0: that many more fail
    };
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;

    static DWORD WINAPI ListenMain(void* self);
    static DWORD WINAPI ConnectionMain(void* context);
    void Listen();
    void Serve(const ConnectionPtr& connection);
    void ServeRequests(const ConnectionPtr& connection);
    void ServeNotices(const ConnectionPtr& connection);
    void ServeCollection(const ConnectionPtr& connection, const std::string& path);
    std::string HandleRequest(const std::string& request);

    bool Plug(const std::vector<std::string>& words, std::string* error);
    bool Unplug(uint32_t number, bool eject, std::string* error);
    bool Send(const std::vector<std::string>& words, const std::string& line, std::string* error);
    bool SetFeature(const std::vector<std::string>& words, const std::string& line, std::string* error);
    bool FailFeature(const std::vector<std::string>& words, std::string* error);
    bool FailRead(const std::vector<std::string>& words, std::string* error);
    bool FailEnumeration(const std::vector<std::string>& words, std::string* error);
    bool Aside(const std::vector<std::string>& words, const std::string& line, std::string* error);
    std::string ListReply();
    std::string ReadErrorReply(const ConnectionPtr& connection, const std::string& prefix);
    void List();

    void Broadcast(const char* kind, const std::string& path);
    void DropConnections(uint32_t number);
    void Emit(const std::string& line);

    std::string m_instance;
    std::string m_pipeName;
    EventSink m_sink;
    std::mutex m_sinkLock;

    std::mutex m_lock;  // everything below
    std::map<uint32_t, Collection> m_collections;
    std::vector<ConnectionPtr> m_connections;
    uint32_t m_nextHandleId = 1;
    // The list of interfaces a client asks for fails after this many
    // entries with m_enumerationError; -1: it does not fail.
    int m_enumerationFailsAfter = -1;
    uint32_t m_enumerationError = 0;
    // Set while an aside command runs: its notices are gathered and go to
    // each client at its end in one message, which the client sends to its
    // windows from a thread of its own, without being waited for.
    bool m_aside = false;
    std::string m_asideNotices;

    HANDLE m_stopEvent = nullptr;
    HANDLE m_firstPipe = INVALID_HANDLE_VALUE;
    HANDLE m_listenThread = nullptr;
    std::vector<HANDLE> m_connectionThreads;
    bool m_quit = false;
};

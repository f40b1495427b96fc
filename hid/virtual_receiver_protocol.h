#pragma once
// What the virtual receiver and its client say to each other over the
// receiver's named pipe. Every message is one text line, except the input
// reports on a collection's pipe, which are the raw report bytes.
//
// The first message on a new pipe connection says what it is for:
//   "request"        requests from the client, each answered by one reply:
//                    "list"                          -> "ok\n<path>\n<path>..."
//                    "getfeature <id> <length> <reportId>" -> "ok <hex>" | "fail <error>"
//                    "setfeature <id> <hex>"         -> "ok" | "fail <error>"
//                    "output <id> <hex>"             -> "ok" | "fail <error>"
//   "notices"        answered "ack" once the receiver counts the client
//                    among its listeners; then notices from the receiver,
//                    each acknowledged with "ack":
//                    "arrival <path>", "queryremove <path>",
//                    "removepending <path>", "removecomplete <path>"
//   "open <path>"    opens a collection: answered "ok <id> <vendor> <product>
//                    <version> <usagePage> <usage> <in> <out> <feature>" or
//                    "fail <error>"; from then on the receiver writes the
//                    collection's input reports to this connection.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr char VR_PIPE_PREFIX[] = "\\\\.\\pipe\\kova_vreceiver_";
// Longest message either side sends or accepts.
constexpr size_t VR_MESSAGE_MAX = 65536;
// Longest instance name; it becomes part of the pipe name.
constexpr size_t VR_INSTANCE_MAX = 64;
// How long a request, an open or a notice may take before it counts as failed.
constexpr unsigned VR_REPLY_TIMEOUT_MS = 5000;

constexpr char VR_HELLO_REQUEST[] = "request";
constexpr char VR_HELLO_NOTICES[] = "notices";
constexpr char VR_HELLO_OPEN[] = "open";

constexpr char VR_NOTICE_ARRIVAL[] = "arrival";
constexpr char VR_NOTICE_QUERY_REMOVE[] = "queryremove";
constexpr char VR_NOTICE_REMOVE_PENDING[] = "removepending";
constexpr char VR_NOTICE_REMOVE_COMPLETE[] = "removecomplete";
constexpr char VR_ACK[] = "ack";

// The pipe of an instance; empty when the name is unusable (empty, too long,
// or with characters other than letters, digits, '-', '_' and '.').
std::string VirtualReceiverPipeName(const std::string& instance);

// "02 0d 00" from bytes; lower-case, one space between bytes.
std::string FormatHexBytes(const uint8_t* bytes, size_t count);
inline std::string FormatHexBytes(const std::vector<uint8_t>& bytes)
{
    return FormatHexBytes(bytes.data(), bytes.size());
}

// Bytes from hex words ("02 0d 00", "020d00" or a mix); false on anything
// else, an odd number of digits, or more than maxBytes bytes.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes, size_t maxBytes);

// A whole number in decimal or with 0x in hex, within [0, maxValue].
bool ParseNumber(const std::string& text, uint32_t maxValue, uint32_t* value);

// Splits at runs of spaces and tabs.
std::vector<std::string> SplitWords(const std::string& line);

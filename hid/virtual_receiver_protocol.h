#pragma once
// What the virtual receiver and its client say to each other over the
// receiver's named pipe. Every message is one text line, except the input
// reports on a collection's pipe, which are the raw report bytes.
//
// The first message on a new pipe connection says what it is for:
//   "request"        requests from the client, each answered by one reply:
//                    "list"                          -> "ok\n<path>\n<path>..."
//                                 (a last line "fail <error>" ends a list
//                                 whose enumeration failed there)
//                    "getfeature <id> <length> <reportId>" -> "ok <hex>" | "fail <error>"
//                    "setfeature <id> <hex>"         -> "ok" | "fail <error>"
//                    "output <id> <hex>"             -> "ok" | "fail <error>"
//                    "readerror <id>"                -> "ok <error>" | "fail <error>":
//                                 the error the oldest empty message read
//                                 from that collection connection stands for
//                    "asidehandled"                  -> "ok": the windows have
//                                 handled the notices of one aside message
//   "notices"        answered "ack" once the receiver counts the client
//                    among its listeners; then notices from the receiver,
//                    each acknowledged with "ack":
//                    "arrival <path>", "queryremove <path>",
//                    "removepending <path>", "removecomplete <path>";
//                    and "aside <notice>\n<notice>...": notices that the
//                    client acknowledges at once and sends to its windows,
//                    in order, from a thread of their own
//   "open <path>"    opens a collection: answered "ok <id> <vendor> <product>
//                    <version> <usagePage> <usage> <in> <out> <feature>
//                    [<flaw>]" or "fail <error>"; from then on the receiver
//                    writes the collection's input reports to this
//                    connection, and an empty message for a read that is to
//                    fail (no report is empty).

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
constexpr char VR_NOTICE_ASIDE[] = "aside";
constexpr char VR_ASIDE_HANDLED_REQUEST[] = "asidehandled";

// How a collection's capabilities may be malformed: reading them fails
// (HidP_GetCaps), the button capabilities cannot be read, or a button range
// has a usage list of length 0.
constexpr char VR_FLAW_CAPS[] = "caps";
constexpr char VR_FLAW_BUTTON_CAPS[] = "buttoncaps";
constexpr char VR_FLAW_USAGE_LIST[] = "usagelist";

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

#pragma once
// A record of every registry read the loaders make, for the configuration
// inspector (kovactl config): which value was asked for, and whether it was
// used or why not. Nothing is recorded unless a log is alive; kova.exe never
// makes one, so its reads cost one pointer test.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

enum class ReadOutcome {
    KeyMissing,  // the key could not be opened: every value of it keeps its default
    Taken,       // read and used
    Missing,     // no such value
    WrongType,   // a value of another type (or a number not of 4 bytes)
    TooLong,     // a text longer than its group accepts, or a number of more than 4 bytes
    OutOfRange,  // read, then refused by the loader's rule
};

struct ValueRead {
    HKEY Root = nullptr;
    std::string Key;
    std::string Name;  // empty for KeyMissing
    ReadOutcome Outcome = ReadOutcome::Missing;
    bool Text = false;      // read as a text (else as a number)
    DWORD Type = REG_NONE;  // the type found
    uint32_t Size = 0;      // a text's characters, or a number's bytes, as found
    uint32_t Limit = 0;     // the characters a text's group accepts
    uint32_t Number = 0;    // the number found (Taken or OutOfRange)
    std::string Rule;       // OutOfRange: what the loader accepts
};

// One log at a time, on the thread that loads: the inspector's.
class ConfigReadLog {
public:
    ConfigReadLog();
    ~ConfigReadLog();

    ConfigReadLog(const ConfigReadLog&) = delete;
    ConfigReadLog& operator=(const ConfigReadLog&) = delete;

    // The live log, or null.
    static ConfigReadLog* Active();

    void Add(const ValueRead& read);
    const std::vector<ValueRead>& Reads() const { return m_reads; }

    // The last read of a value (names and keys compared without case), or null.
    const ValueRead* Find(HKEY root, const char* key, const char* name) const;
    bool KeyMissing(HKEY root, const char* key) const;

private:
    std::vector<ValueRead> m_reads;
    ConfigReadLog* m_previous = nullptr;
};

// The last read of a value among reads (names and keys compared without
// case), or null.
const ValueRead* FindValueRead(const std::vector<ValueRead>& reads, HKEY root, const char* key, const char* name);

// A loader's own rule refused a value it read: recorded as OutOfRange.
void LogOutOfRange(HKEY root, const char* key, const char* name, uint32_t number, const char* rule);

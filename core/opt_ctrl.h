#pragma once
// COptCtrl: the command line and the single-instance mutex.

#include <windows.h>

#include "base/scoped.h"

#include <cstdint>

constexpr uint32_t OPT_EXIT = 1;     // close the running copy; never stay resident
constexpr uint32_t OPT_UTIL = 2;     // accepted, nothing acts on it
constexpr uint32_t OPT_INITLCD = 4;  // blank the radio remote's display at start

constexpr char INSTANCE_MUTEX_NAME[] = "KOVA_GlobaL_MuteX";

// Size of the parse buffer: a longer command line is parsed in its first
// 259 characters.
constexpr size_t OPT_PARSE_BUFFER = 260;

// The option flags of a command line; pure, no Windows calls.
uint32_t ParseOptionWords(const char* commandLine);

class COptCtrl {
public:
    explicit COptCtrl(LPSTR commandLine);
    virtual ~COptCtrl();

    COptCtrl(const COptCtrl&) = delete;
    COptCtrl& operator=(const COptCtrl&) = delete;

    uint32_t GetOptions() const { return Options; }
    BOOL IsFirstInstance() const { return FirstInstance; }

private:
    uint32_t Options = 0;
    ScopedHandle InstanceMutex;
    BOOL FirstInstance = FALSE;
};

// Stand-in of the player launcher library: records each call in the journal,
// with the values it was handed and the file it was loaded from, so a test
// can tell which of the two folders the program took it from.

#include <windows.h>

#include "companions/journal/journal.h"

#include <cstdint>

// The real launcher fills both variables in; so does this one, which would
// overwrite the caller's stack if it were handed anything smaller.
extern "C" int WINAPI Entrance(uint32_t* first, uint64_t* second)
{
    char path[MAX_PATH] = {};
    HMODULE self = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&Entrance), &self)) {
        GetModuleFileNameA(self, path, sizeof(path));
    }
    JournalLine("DARIRARED.DLL", "Entrance", "a=%s b=%s from=\"%s\"",
                first ? (*first == 0 ? "0" : "set") : "null",
                second ? (*second == 0 ? "0" : "set") : "null", path);
    if (first) {
        *first = 1;
    }
    if (second) {
        *second = 0x0102030405060708ull;
    }
    return 1;
}

#include "base/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

bool JoinPath(char* out, size_t size, const char* first, const char* second)
{
    if (!out || !first || !second) {
        return false;
    }
    int n = std::snprintf(out, size, "%s\\%s", first, second);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size) {
            out[0] = '\0';
        }
        return false;
    }
    return true;
}

bool GetProgramFilesDir(char* out, size_t size)
{
    if (!out || size < MAX_PATH) {
        return false;
    }
    out[0] = '\0';
    return SHGetSpecialFolderPathA(nullptr, out, CSIDL_PROGRAM_FILES, FALSE) != FALSE;
}

bool GetRemoteProgramDir(char* out, size_t size)
{
    char base[MAX_PATH] = {};
    return GetProgramFilesDir(base, sizeof(base)) && JoinPath(out, size, base, REMOTE_PROGRAM_FOLDER);
}

bool GetKeyboardProgramDir(char* out, size_t size)
{
    char base[MAX_PATH] = {};
    return GetProgramFilesDir(base, sizeof(base)) && JoinPath(out, size, base, KEYBOARD_PROGRAM_FOLDER);
}

bool BuildRemoteProgramPath(char* out, size_t size, const char* fileName)
{
    char folder[MAX_PATH] = {};
    return GetRemoteProgramDir(folder, sizeof(folder)) && JoinPath(out, size, folder, fileName);
}

bool BuildKeyboardProgramPath(char* out, size_t size, const char* fileName)
{
    char folder[MAX_PATH] = {};
    return GetKeyboardProgramDir(folder, sizeof(folder)) && JoinPath(out, size, folder, fileName);
}

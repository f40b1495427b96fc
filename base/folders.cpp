#include "base/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

namespace {

constexpr char REMOTE_FOLDER[] = "ZUZIDAZOR";
constexpr char KEYBOARD_FOLDER[] = "ORLANTESK";

bool Join(char* out, size_t size, const char* first, const char* second)
{
    int n = std::snprintf(out, size, "%s\\%s", first, second);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size) {
            out[0] = '\0';
        }
        return false;
    }
    return true;
}

}  // namespace

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
    return GetProgramFilesDir(base, sizeof(base)) && Join(out, size, base, REMOTE_FOLDER);
}

bool GetKeyboardProgramDir(char* out, size_t size)
{
    char base[MAX_PATH] = {};
    return GetProgramFilesDir(base, sizeof(base)) && Join(out, size, base, KEYBOARD_FOLDER);
}

bool BuildRemoteProgramPath(char* out, size_t size, const char* fileName)
{
    char folder[MAX_PATH] = {};
    return GetRemoteProgramDir(folder, sizeof(folder)) && Join(out, size, folder, fileName);
}

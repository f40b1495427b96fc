#include "launch/shell_ops.h"

#include "base/folders.h"
#include "base/messages.h"
#include "base/text_util.h"
#include "config/config.h"
#include "config/os_class.h"

#include <shellapi.h>

namespace {

constexpr int DESKTOP_WAIT_TRIES = 5;
constexpr DWORD DESKTOP_WAIT_MS = 100;

char g_fixedDirOverride[MAX_PATH] = {};

const char* FixedProgramDir() { return g_fixedDirOverride[0] ? g_fixedDirOverride : FIXED_REMOTE_PROGRAM_DIR; }

}  // namespace

bool BuildFixedProgramPath(char* out, size_t size, const char* file)
{
    return JoinPath(out, size, FixedProgramDir(), file);
}

void OverrideFixedProgramDirForTests(const char* folder) { CopyCut(g_fixedDirOverride, folder ? folder : ""); }

BOOL IsKeyboardProgramRunning()
{
    return FindWindowA(KEYBOARD_WINDOW_CLASS, nullptr) != nullptr ? TRUE : FALSE;
}

BOOL StartAltRunner()
{
    if (CConfig::GetOsClass() < OS_CLASS_WIN8) {
        return FALSE;
    }
    char path[MAX_PATH] = {};
    if (!BuildFixedProgramPath(path, sizeof(path), ALT_RUNNER_FILE) ||
        GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        return FALSE;
    }
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.lpFile = path;
    info.lpParameters = "/100";
    info.lpDirectory = FixedProgramDir();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) {
        return FALSE;
    }
    for (int i = 0; i < DESKTOP_WAIT_TRIES; ++i) {
        if (CConfig::QueryDisplayMode() == DISPLAY_MODE_DESKTOP) {
            break;
        }
        Sleep(DESKTOP_WAIT_MS);
    }
    return TRUE;
}

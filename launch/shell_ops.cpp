#include "launch/shell_ops.h"

#include "base/messages.h"
#include "config/config.h"
#include "config/os_class.h"

#include <shellapi.h>

namespace {

constexpr int DESKTOP_WAIT_TRIES = 5;
constexpr DWORD DESKTOP_WAIT_MS = 100;
constexpr uint32_t DISPLAY_MODE_DESKTOP = 1;

}  // namespace

BOOL IsKeyboardProgramRunning()
{
    return FindWindowA(KEYBOARD_WINDOW_CLASS, nullptr) != nullptr ? TRUE : FALSE;
}

BOOL StartAltRunner()
{
    if (CConfig::GetOsClass() < OS_CLASS_WIN8) {
        return FALSE;
    }
    if (GetFileAttributesA(ALT_RUNNER_PATH) == INVALID_FILE_ATTRIBUTES) {
        return FALSE;
    }
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.lpFile = ALT_RUNNER_PATH;
    info.lpParameters = "/100";
    info.lpDirectory = ALT_RUNNER_FOLDER;
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

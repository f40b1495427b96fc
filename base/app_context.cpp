#include "base/app_context.h"

namespace {

HWND MainWindow = nullptr;
HINSTANCE Instance = nullptr;
AppMessageBoxFn MessageBoxFn = nullptr;
bool DisplayOff = false;
HANDLE RestartMutex = nullptr;
bool DisplayOffSeen = false;

}  // namespace

HWND GetAppMainWindow() { return MainWindow; }

HINSTANCE GetAppInstance() { return Instance; }

bool IsAppDisplayOff() { return DisplayOff; }

HANDLE GetAppRestartMutex() { return RestartMutex; }
bool WasAppDisplayOffSeen() { return DisplayOffSeen; }

INT_PTR ShowAppMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type, UINT slot)
{
    return MessageBoxFn ? MessageBoxFn(owner, text, caption, type, slot) : 0;
}

void SetAppMainWindow(HWND window) { MainWindow = window; }

void SetAppInstance(HINSTANCE instance) { Instance = instance; }

void SetAppMessageBox(AppMessageBoxFn show) { MessageBoxFn = show; }

void SetAppDisplayOff(bool off) { DisplayOff = off; }

void SetAppRestartMutex(HANDLE mutex) { RestartMutex = mutex; }
void SetAppDisplayOffSeen(bool seen) { DisplayOffSeen = seen; }

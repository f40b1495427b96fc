// Entry point of kova.exe.

#include <windows.h>

#include "core/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    return RunKova(instance, commandLine);
}

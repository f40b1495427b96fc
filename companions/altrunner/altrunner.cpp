// Stand-in of the display-switch program: one journal line with its command
// line and working folder, then it ends.

#include <windows.h>

#include "companions/journal/journal.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(folder), folder);
    JournalLine("AltRunner.exe", "start", "args=\"%s\" folder=\"%s\"", commandLine ? commandLine : "", folder);
    return 0;
}

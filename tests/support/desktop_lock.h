#pragma once
// The desktop is shared by every test program that runs at the same time.
// Most tests only add their own windows to it, but a few check what other
// programs' windows do to windows of a class the program looks for
// system-wide (the keyboard program's "ORLANTESKCLASS", whose display the
// on-screen texts hide first). Those take the desktop to themselves:
// every in-process test program holds one share for its whole run, and an
// exclusive user waits until it holds them all.

#include <windows.h>

class ExclusiveDesktopUse {
public:
    ExclusiveDesktopUse();
    ~ExclusiveDesktopUse();

    ExclusiveDesktopUse(const ExclusiveDesktopUse&) = delete;
    ExclusiveDesktopUse& operator=(const ExclusiveDesktopUse&) = delete;

private:
    HANDLE m_semaphore;
    LONG m_held = 0;
};

// Registers the one share of an in-process test program (kova_unit_tests).
void HoldDesktopShareForTheWholeRun();

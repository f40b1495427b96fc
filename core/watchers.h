#pragma once
// The two worker threads of the entry point: the send-window watcher keeps
// the client registrations in the registry in step with the target-window
// table, the priority watcher puts the process back to normal priority.

#include <windows.h>

#include "config/target_window_table.h"  // SEND_WINDOW_KEY

extern HANDLE SendWindowWatcherThread;
extern HANDLE PriorityWatcherThread;
extern volatile LONG SendWindowWatcherRunning;
extern volatile LONG PriorityWatcherRunning;


DWORD WINAPI SendWindowWatcherProc(LPVOID);
DWORD WINAPI PriorityWatcherProc(LPVOID);

// Each sets its run flag and starts its thread; false when it cannot.
bool StartSendWindowWatcher();
bool StartPriorityWatcher();

// Clears both run flags, wakes both threads and waits for each at most
// 11 x 500 ms; a thread that does not end in time is abandoned.
void StopWatchers();

// For tests: the watchers started from now on get no stop event, as when
// the system has none to give.
void FailWatcherStopEventsForTests(bool fail);

// The start-up clean-up of the registrations: keeps the ones that were made
// while the program was not running (fail mark 1), disables the ones left
// over from an earlier run. Returns true when something changed.
bool CleanUpSendWindowRegistrations(HKEY key);

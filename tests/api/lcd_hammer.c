/*
 * One of the processes of the display contention test: sets its own field
 * of the remote's display again and again, each time reading the display
 * back, and counts the calls that failed and the changes of its own that
 * another process undid.
 *
 *   lcd_hammer <path of kovaapi.dll> <field 0 to 3> <calls> <start event>
 *
 * It starts when the named event is set, so that all processes run at once.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "kovaapi.h"

typedef DWORD(WINAPI* GetFn)(RFRemoconLcd*);
typedef DWORD(WINAPI* SetFn)(const RFRemoconLcd*);

/* Two values of each field to switch between. */
static const DWORD VALUES[4][2] = {{0x1, 0x6}, {0x08, 0xB0}, {0x40, 0x00}, {0x100, 0x600}};

static DWORD* Field(RFRemoconLcd* lcd, int field)
{
    DWORD* fields[4];
    fields[0] = &lcd->dwSeg0;
    fields[1] = &lcd->dwSeg1;
    fields[2] = &lcd->dwSeg2;
    fields[3] = &lcd->dwSeg3;
    return fields[field];
}

int main(int argc, char** argv)
{
    HMODULE library;
    GetFn get;
    SetFn set;
    HANDLE start;
    int field, calls, i;
    int failed = 0, lost = 0, slow = 0;
    DWORD slowest = 0;

    if (argc < 5) {
        return 2;
    }
    field = atoi(argv[2]) & 3;
    calls = atoi(argv[3]);
    library = LoadLibraryA(argv[1]);
    start = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
    if (!library || !start) {
        return 2;
    }
    get = (GetFn)GetProcAddress(library, "GetRFRemoconLCD");
    set = (SetFn)GetProcAddress(library, "SetRFRemoconLCD");
    if (!get || !set) {
        return 2;
    }
    {
        /* The library starts on its first call (a window, the receiver
         * opened): done before the race, so that each call timed below is
         * one change of the display. */
        RFRemoconLcd lcd;
        ZeroMemory(&lcd, sizeof(lcd));
        lcd.dwSize = sizeof(lcd);
        if (get(&lcd) != KOVAAPI_LCD_SUCCESS || WaitForSingleObject(start, 60000) != WAIT_OBJECT_0) {
            return 2;
        }
    }
    for (i = 0; i < calls; ++i) {
        RFRemoconLcd lcd;
        DWORD value = VALUES[field][i & 1];
        DWORD began = GetTickCount();
        DWORD took;

        ZeroMemory(&lcd, sizeof(lcd));
        lcd.dwSize = sizeof(lcd);
        lcd.dwMask = 1UL << field;
        *Field(&lcd, field) = value;
        if (set(&lcd) != KOVAAPI_LCD_SUCCESS) {
            ++failed;
            continue;
        }
        took = GetTickCount() - began;
        slowest = took > slowest ? took : slowest;
        slow += took > 2000;
        ZeroMemory(&lcd, sizeof(lcd));
        lcd.dwSize = sizeof(lcd);
        if (get(&lcd) != KOVAAPI_LCD_SUCCESS) {
            ++failed;
        } else if (*Field(&lcd, field) != value) {
            ++lost;
        }
    }
    printf("field %d: %d calls, %d failed, %d lost, %d slower than 2 s (slowest %lu ms)\n", field, calls, failed,
           lost, slow, (unsigned long)slowest);
    return failed == 0 && lost == 0 && slow == 0 ? 0 : 1;
}

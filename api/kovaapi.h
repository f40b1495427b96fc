/*
 * kovaapi.h: the client library of kova, for C and C++ programs.
 *
 * Link with the import library (libkovaapi.dll.a) or load kovaapi.dll from
 * kova's program folder and look the functions up by name. The library
 * talks to the resident program kova.exe:
 *
 *   InitKovaMsg    registers a window of yours: kova posts it WM_APP + uMsg
 *                  for the remote's buttons of the categories in dwCtrl,
 *                  with wParam 0 and the button's command number in lParam.
 *   KovaOsdText    shows a text on kova's on-screen display.
 *   KovaOsdIcon    shows one of ten symbols there.
 *   GetRFRemoconLCD, SetRFRemoconLCD
 *                  read and change the small display of the radio remote.
 *
 * docs/client-api.md is the guide, with a complete sample program.
 */
#ifndef KOVAAPI_H
#define KOVAAPI_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef KOVAAPI_BUILDING
#define KOVAAPI_FUNCTION
#else
#define KOVAAPI_FUNCTION __declspec(dllimport)
#endif

/* The display of the radio remote: which fields SetRFRemoconLCD takes is
 * chosen by dwMask. Segment fields hold the segment bits at their own
 * positions; only the bits named below may be set. */
typedef struct RFRemoconLcd {
    DWORD dwSize;       /* sizeof(RFRemoconLcd), 32 */
    DWORD dwMask;       /* KOVAAPI_LCD_MASK_* */
    DWORD dwSeg0;       /* bits 0x7 */
    DWORD dwSeg1;       /* bits 0xB8 */
    DWORD dwSeg2;       /* bit 0x40 */
    DWORD dwSeg3;       /* bits 0x700 */
    DWORD dwSeg4;       /* bits 0x1800 */
    WORD wNumber;       /* 0 to 999 */
    WORD wNumberMode;   /* KOVAAPI_LCD_NUMBER_* */
} RFRemoconLcd;

/* dwMask: one bit per field; KOVAAPI_LCD_MASK_ALL takes every field, whatever
 * other bits are set. */
#define KOVAAPI_LCD_MASK_SEG0   0x00000001UL
#define KOVAAPI_LCD_MASK_SEG1   0x00000002UL
#define KOVAAPI_LCD_MASK_SEG2   0x00000004UL
#define KOVAAPI_LCD_MASK_SEG3   0x00000008UL
#define KOVAAPI_LCD_MASK_SEG4   0x00000010UL
#define KOVAAPI_LCD_MASK_NUMBER 0x00000020UL /* wNumber with wNumberMode */
#define KOVAAPI_LCD_MASK_ALL    0x80000000UL

/* wNumberMode: how the three digits show the number (42 as " 42", "  2",
 * " 42", "042"). Read back, the mode is 3 when a hundreds digit shows, 2
 * when only tens and ones do, else 0. */
#define KOVAAPI_LCD_NUMBER_NO_LEADING_ZEROS 0
#define KOVAAPI_LCD_NUMBER_ONES             1
#define KOVAAPI_LCD_NUMBER_TWO_DIGITS       2
#define KOVAAPI_LCD_NUMBER_THREE_DIGITS     3

/* Results of GetRFRemoconLCD and SetRFRemoconLCD. */
#define KOVAAPI_LCD_SUCCESS       0 /* done */
#define KOVAAPI_LCD_NOT_READY     1 /* no receiver identities, or the display was busy when last opened */
#define KOVAAPI_LCD_INVALID_PARAM 2 /* null record, dwSize not 32, or a selected field outside its rule */
#define KOVAAPI_LCD_DEVICE_ERROR  3 /* the receivers could not be listed */
#define KOVAAPI_LCD_IO_ERROR      4 /* Set: the display was busy for 2 s, or the receiver refused */
#define KOVAAPI_LCD_BUSY          5 /* Get: the display was busy for 2 s */
#define KOVAAPI_LCD_NO_DEVICE     6 /* no receiver with a display is present */

/* The highest uMsg: kova posts WM_APP + uMsg, at most 0xBFFF. */
#define KOVAAPI_MAX_UMSG 0x3FFF

/* dwCtrl of InitKovaMsg: the button categories (0 to 6) the window wants,
 * and how it is treated. */
#define KOVAAPI_CTRL_CATEGORY(n)        (0x00010000UL << (n))
#define KOVAAPI_CTRL_ALL_CATEGORIES     0x007F0000UL
#define KOVAAPI_CTRL_HANDLES_MAXIMIZE   0x00000001UL /* gets lParam 10 instead of being maximized */
#define KOVAAPI_CTRL_FOREGROUND_ONLY    0x00000002UL /* only while it is in front; no categories */

/* Returns ucId (only its low 8 bits count, 1 to 255) when the window is
 * registered, or will be once kova starts; 0 for a null window, number 0 or
 * uMsg above KOVAAPI_MAX_UMSG. Takes up to half a second when kova is not
 * running. */
KOVAAPI_FUNCTION UINT WINAPI InitKovaMsg(HWND hOwnerWnd, UINT ucId, UINT uMsg, DWORD dwCtrl);

/* Shows at most the first 64 characters (a double-byte character counts as
 * one). Nothing happens when kova is not running. */
KOVAAPI_FUNCTION void WINAPI KovaOsdText(LPCSTR text, DWORD flags);

/* Shows symbol 1 to 10; other positions are ignored. */
KOVAAPI_FUNCTION void WINAPI KovaOsdIcon(UINT position, DWORD flags);

/* Fills every field after dwMask with what the display shows now. */
KOVAAPI_FUNCTION DWORD WINAPI GetRFRemoconLCD(RFRemoconLcd* lcd);

/* Changes the selected fields and keeps the others. */
KOVAAPI_FUNCTION DWORD WINAPI SetRFRemoconLCD(const RFRemoconLcd* lcd);

#ifdef __cplusplus
}
#endif

#endif /* KOVAAPI_H */

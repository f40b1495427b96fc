/*
 * kovaapi_sample: a complete client of kova in plain C.
 *
 * It registers a window for the remote's buttons, shows a text and a
 * symbol on kova's on-screen display, puts 123 on the radio remote's
 * display, and prints every button command it receives until it is
 * stopped with Ctrl+C or, when given a number, after that many seconds.
 *
 *   kovaapi_sample [seconds]
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "kovaapi.h"

/* kova posts WM_APP + SAMPLE_MESSAGE to the window for each button. */
#define SAMPLE_MESSAGE 0x100
#define SAMPLE_ID 1
#define STOP_TIMER 1

static HWND g_window;

static LRESULT CALLBACK SampleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_APP + SAMPLE_MESSAGE:
        /* The button's command number comes in lParam. */
        printf("button command %ld\n", (long)lParam);
        fflush(stdout);
        return 0;
    case WM_TIMER:
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

/* Ctrl+C arrives on a thread of its own: it only asks the window to close. */
static BOOL WINAPI OnConsoleStop(DWORD event)
{
    (void)event;
    PostMessageA(g_window, WM_CLOSE, 0, 0);
    return TRUE;
}

static void ShowRemoteDisplay(void)
{
    RFRemoconLcd lcd;
    DWORD result;

    ZeroMemory(&lcd, sizeof(lcd));
    lcd.dwSize = sizeof(lcd);
    lcd.dwMask = KOVAAPI_LCD_MASK_NUMBER | KOVAAPI_LCD_MASK_SEG0;
    lcd.dwSeg0 = 0x1;
    lcd.wNumber = 123;
    lcd.wNumberMode = KOVAAPI_LCD_NUMBER_THREE_DIGITS;
    result = SetRFRemoconLCD(&lcd);
    printf("SetRFRemoconLCD: %lu\n", (unsigned long)result);

    ZeroMemory(&lcd, sizeof(lcd));
    lcd.dwSize = sizeof(lcd);
    result = GetRFRemoconLCD(&lcd);
    if (result == KOVAAPI_LCD_SUCCESS) {
        printf("the remote shows %u (mode %u), segments %#lx\n", lcd.wNumber, lcd.wNumberMode,
               (unsigned long)lcd.dwSeg0);
    } else {
        printf("GetRFRemoconLCD: %lu (6: no receiver with a display)\n", (unsigned long)result);
    }
}

int main(int argc, char** argv)
{
    WNDCLASSA wc;
    MSG msg;
    UINT id;

    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = SampleWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "KovaapiSampleWindow";
    if (!RegisterClassA(&wc)) {
        return 1;
    }
    g_window = CreateWindowExA(0, wc.lpszClassName, "kovaapi sample", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 320, 120, NULL, NULL, wc.hInstance, NULL);
    if (!g_window) {
        return 1;
    }
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);

    /* Every category of buttons; when kova is not running yet, the
     * registration waits in the registry until it starts. */
    id = InitKovaMsg(g_window, SAMPLE_ID, SAMPLE_MESSAGE, KOVAAPI_CTRL_ALL_CATEGORIES);
    printf("InitKovaMsg: %u\n", id);

    KovaOsdText("Hello from the kovaapi sample", 0);
    KovaOsdIcon(3, 0);
    /* The display functions are best called from the thread with the message
     * loop: the library's notices of receivers coming and going arrive there. */
    ShowRemoteDisplay();
    fflush(stdout);

    if (argc > 1) {
        SetTimer(g_window, STOP_TIMER, (UINT)atoi(argv[1]) * 1000u, NULL);
    }
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

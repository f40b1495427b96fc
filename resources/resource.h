/* Resource ids of kova.exe, shared by the resource script and the code. */
#ifndef KOVA_RESOURCE_H
#define KOVA_RESOURCE_H

#define IDI_KOVA 109

/* Tray icons: the remote (normal and lit for the blink), an alternative
   pair, and the keyboard. */
#define IDI_REMOTE 129
#define IDI_REMOTE_LIT 130
#define IDI_REMOTE_ALT 131
#define IDI_REMOTE_ALT_LIT 132
#define IDI_KEYBOARD 133

/* The program's message box: 190 has one centred button, 189 three. */
#define IDD_MSGBOX_THREE 189
#define IDD_MSGBOX_ONE 190
#define IDC_MSGBOX_BUTTON1 1034 /* default button */
#define IDC_MSGBOX_BUTTON2 1035
#define IDC_MSGBOX_BUTTON3 1036
#define IDC_MSGBOX_ICON 1037
#define IDC_MSGBOX_TEXT 1038

#endif

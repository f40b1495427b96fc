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

/* Button names of the test-mode key controller: the name of code c of a
   key group is the string IDS_<group>_NAMES + c. */
#define IDS_REMOTE_BUTTON_NAMES 4000
#define IDS_CONSUMER_KEY_NAMES 5000
#define IDS_FUNCTION_KEY_NAMES 6000
#define IDS_APPLICATION_KEY_NAMES 7000
#define IDS_DIGIT_KEY_NAMES 8000
#define IDS_MODE_KEY_NAMES 9000
#define IDS_MEDIA_CENTER_KEY_NAMES 10000
#define IDS_EXTRA_KEY_NAMES 11000
#define IDS_EXTRA_KEY2_NAMES 12000
/* The colour keys (function codes below 15). */
#define IDS_COLOUR_RED 6900
#define IDS_COLOUR_BLUE 6901
#define IDS_COLOUR_YELLOW 6902
#define IDS_COLOUR_GREEN 6903

#endif

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

#endif

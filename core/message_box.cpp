#include "core/message_box.h"

#include "base/scoped.h"
#include "core/main_ctrl.h"
#include "resources/resource.h"

namespace {

struct BoxSlot {
    LPCSTR BoxText;
    LPCSTR BoxCaption;
    UINT BoxType;
    HBRUSH BoxBrush;
    HWND BoxWindow;
    HICON BoxIcon;
    bool BoxIconShared;  // a system icon: never destroyed
};

// Index 0 is unused so slot numbers index directly; main thread only.
BoxSlot Slots[MSGBOX_SLOT_MAX + 1];

constexpr COLORREF BOX_BACKGROUND = RGB(255, 255, 255);

// Texts in code page 932.
constexpr char TEXT_OK[] = "OK";
constexpr char TEXT_CANCEL[] = "\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b";  // キャンセル
constexpr char TEXT_YES[] = "\x82\xcd\x82\xa2";                              // はい
constexpr char TEXT_NO[] = "\x82\xa2\x82\xa2\x82\xa6";                       // いいえ
constexpr char TEXT_ABORT[] = "\x92\x86\x8e\x7e";                            // 中止
constexpr char TEXT_RETRY[] = "\x8d\xc4\x8e\x8e\x8d\x73";                    // 再試行
constexpr char TEXT_IGNORE[] = "\x96\xb3\x8e\x8b";                           // 無視

struct ButtonSpec {
    const char* text;  // null: the button is hidden
    INT_PTR result;
};

// Buttons 1034 (the default), 1035 and 1036 for each low nibble of the type.
struct ButtonRow {
    ButtonSpec buttons[3];
};

ButtonRow ButtonsFor(UINT type)
{
    switch (type & 0xF) {
    case MB_OK:
        return {{{TEXT_OK, IDOK}, {nullptr, 0}, {nullptr, 0}}};
    case MB_OKCANCEL:
        return {{{TEXT_CANCEL, IDCANCEL}, {TEXT_OK, IDOK}, {nullptr, 0}}};
    case MB_ABORTRETRYIGNORE:
        return {{{TEXT_IGNORE, IDIGNORE}, {TEXT_RETRY, IDRETRY}, {TEXT_ABORT, IDABORT}}};
    case MB_YESNOCANCEL:
        return {{{TEXT_CANCEL, IDCANCEL}, {TEXT_NO, IDNO}, {TEXT_YES, IDYES}}};
    case MB_YESNO:
        return {{{TEXT_NO, IDNO}, {TEXT_YES, IDYES}, {nullptr, 0}}};
    case MB_RETRYCANCEL:
        return {{{TEXT_CANCEL, IDCANCEL}, {TEXT_RETRY, IDRETRY}, {nullptr, 0}}};
    default:
        // No caller asks for other kinds; one OK is better than blank buttons.
        return {{{TEXT_OK, IDOK}, {nullptr, 0}, {nullptr, 0}}};
    }
}

constexpr int BUTTON_IDS[3] = {IDC_MSGBOX_BUTTON1, IDC_MSGBOX_BUTTON2, IDC_MSGBOX_BUTTON3};

struct BoxIconSource {
    UINT nibble;
    WORD imageresId;
    WORD systemIcon;
};

constexpr BoxIconSource ICONS[] = {
    {MB_ICONHAND, 98, 32513},         // IDI_HAND
    {MB_ICONQUESTION, 99, 32514},     // IDI_QUESTION
    {MB_ICONEXCLAMATION, 84, 32515},  // IDI_EXCLAMATION
    {MB_ICONASTERISK, 81, 32516},     // IDI_ASTERISK
};

bool IsValidSlot(UINT_PTR slot) { return slot >= MSGBOX_SLOT_MIN && slot <= MSGBOX_SLOT_MAX; }

UINT_PTR SlotOf(HWND dialog) { return static_cast<UINT_PTR>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void SetBoxIcon(HWND dialog, BoxSlot& slot)
{
    const BoxIconSource* chosen = nullptr;
    for (const BoxIconSource& icon : ICONS) {
        if ((slot.BoxType & MB_ICONMASK) == icon.nibble) {
            chosen = &icon;
        }
    }
    if (!chosen) {
        return;
    }
    if (ScopedModule imageres{LoadLibraryExA("imageres.dll", nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE)}) {
        // The size stored in the library; a private copy, valid after FreeLibrary.
        slot.BoxIcon =
            static_cast<HICON>(LoadImageA(imageres.get(), MAKEINTRESOURCEA(chosen->imageresId), IMAGE_ICON, 0, 0, 0));
    }
    if (!slot.BoxIcon) {
        // Also when the library lacks the icon: a notice without its symbol
        // reads as a different kind of notice.
        slot.BoxIcon = static_cast<HICON>(
            LoadImageA(nullptr, MAKEINTRESOURCEA(chosen->systemIcon), IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
        slot.BoxIconShared = slot.BoxIcon != nullptr;
    }
    if (slot.BoxIcon) {
        SendDlgItemMessageA(dialog, IDC_MSGBOX_ICON, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(slot.BoxIcon));
    }
}

void ReleaseSlotResources(BoxSlot& slot)
{
    if (slot.BoxIcon && !slot.BoxIconShared) {
        DestroyIcon(slot.BoxIcon);
    }
    slot.BoxIcon = nullptr;
    slot.BoxIconShared = false;
    if (slot.BoxBrush) {
        DeleteObject(slot.BoxBrush);
        slot.BoxBrush = nullptr;
    }
}

void EndBox(HWND dialog, INT_PTR result)
{
    UINT_PTR slot = SlotOf(dialog);
    if (IsValidSlot(slot)) {
        ReleaseSlotResources(Slots[slot]);
    }
    for (UINT i = MSGBOX_SLOT_MIN; i <= MSGBOX_SLOT_MAX; ++i) {
        if (Slots[i].BoxWindow == dialog) {
            Slots[i].BoxWindow = nullptr;
            Slots[i].BoxCaption = nullptr;
            Slots[i].BoxText = nullptr;
            Slots[i].BoxType = 0;
        }
    }
    EndDialog(dialog, result);
}

INT_PTR OnInitDialog(HWND dialog, UINT_PTR slotNumber)
{
    BoxSlot& slot = Slots[slotNumber];
    slot.BoxBrush = CreateSolidBrush(BOX_BACKGROUND);
    SetWindowTextA(dialog, slot.BoxCaption ? slot.BoxCaption : "");
    SetDlgItemTextA(dialog, IDC_MSGBOX_TEXT, slot.BoxText ? slot.BoxText : "");
    SetBoxIcon(dialog, slot);

    ButtonRow row = ButtonsFor(slot.BoxType);
    for (int i = 0; i < 3; ++i) {
        HWND button = GetDlgItem(dialog, BUTTON_IDS[i]);
        if (row.buttons[i].text) {
            SetWindowTextA(button, row.buttons[i].text);
        } else {
            ShowWindow(button, SW_HIDE);
        }
    }
    slot.BoxWindow = dialog;

    SetLastError(0);
    if (SetWindowLongPtrA(dialog, DWLP_USER, static_cast<LONG_PTR>(slotNumber)) == 0 && GetLastError() != 0) {
        ReleaseSlotResources(slot);
        slot = BoxSlot{};
        EndDialog(dialog, 0);
        return TRUE;
    }
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    BringWindowForward(dialog);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, int id)
{
    for (int i = 0; i < 3; ++i) {
        if (id == BUTTON_IDS[i]) {
            UINT_PTR slot = SlotOf(dialog);
            UINT type = IsValidSlot(slot) ? Slots[slot].BoxType : 0;
            ButtonRow row = ButtonsFor(type);
            EndBox(dialog, row.buttons[i].text ? row.buttons[i].result : 0);
            return TRUE;
        }
    }
    // IDCANCEL from the Esc key and anything else: a box is answered only by
    // its buttons or its close box.
    return TRUE;
}

// White above the buttons, the normal dialog colour in a strip at the bottom
// one and a half buttons high.
INT_PTR OnPaint(HWND dialog)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    UINT_PTR slot = SlotOf(dialog);
    if (IsValidSlot(slot) && Slots[slot].BoxBrush) {
        RECT client;
        GetClientRect(dialog, &client);
        RECT button{};
        GetWindowRect(GetDlgItem(dialog, IDC_MSGBOX_BUTTON1), &button);
        client.bottom -= (button.bottom - button.top) * 3 / 2;
        FillRect(dc, &client, Slots[slot].BoxBrush);
    }
    EndPaint(dialog, &ps);
    return TRUE;
}

INT_PTR OnCtlColorStatic(HWND dialog, HDC dc, HWND control)
{
    int id = GetDlgCtrlID(control);
    if (id != IDC_MSGBOX_ICON && id != IDC_MSGBOX_TEXT) {
        return TRUE;
    }
    UINT_PTR slot = SlotOf(dialog);
    if (!IsValidSlot(slot)) {
        return 0;
    }
    // The text is drawn on the same white as the box.
    SetBkColor(dc, BOX_BACKGROUND);
    return reinterpret_cast<INT_PTR>(Slots[slot].BoxBrush);
}

INT_PTR CALLBACK MessageBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, static_cast<UINT_PTR>(lParam));
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_CLOSE:
        EndBox(dialog, 0);
        return TRUE;
    case WM_PAINT:
        return OnPaint(dialog);
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(dialog, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
        return FALSE;
    }
}

}  // namespace

void BringWindowForward(HWND window)
{
    HWND front = GetForegroundWindow();
    DWORD frontThread = front ? GetWindowThreadProcessId(front, nullptr) : 0;
    DWORD ourThread = GetCurrentThreadId();
    if (!front || frontThread == ourThread || !AttachThreadInput(ourThread, frontThread, TRUE)) {
        SetForegroundWindow(window);
        return;
    }
    // With the input queues joined and the lock time-out at 0 Windows lets a
    // background program take the foreground.
    DWORD timeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<PVOID>(static_cast<UINT_PTR>(timeout)), 0);
    AttachThreadInput(ourThread, frontThread, FALSE);
}

HWND GetMessageBoxWindow(UINT slot)
{
    if (!IsValidSlot(slot) || !IsWindow(Slots[slot].BoxWindow)) {
        return nullptr;
    }
    return Slots[slot].BoxWindow;
}

void CloseMessageBoxes()
{
    for (UINT slot = MSGBOX_SLOT_MIN; slot <= MSGBOX_SLOT_MAX; ++slot) {
        if (HWND box = GetMessageBoxWindow(slot)) {
            // Handled by the box's own loop, which then returns.
            PostMessageA(box, WM_CLOSE, 0, 0);
        }
    }
}

INT_PTR ShowMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type, UINT slot)
{
    if (!IsValidSlot(slot)) {
        return MSGBOX_BAD_SLOT;
    }
    if (Slots[slot].BoxWindow && IsWindow(Slots[slot].BoxWindow)) {
        BringWindowForward(Slots[slot].BoxWindow);
        return MSGBOX_SLOT_BUSY;
    }
    Slots[slot].BoxWindow = nullptr;
    Slots[slot].BoxText = text;
    Slots[slot].BoxCaption = caption;
    Slots[slot].BoxType = type;

    HINSTANCE instance = owner ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE))
                               : CMainCtrl::AppInstance;
    if (!instance) {
        instance = GetModuleHandleA(nullptr);
    }
    int templateId = (type & 0xF) != 0 ? IDD_MSGBOX_THREE : IDD_MSGBOX_ONE;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, MessageBoxProc,
                                     static_cast<LPARAM>(slot));
    // A box that could not be set up answers 0, like the close box.
    return result == -1 ? 0 : result;
}

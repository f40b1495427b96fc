// The program's message box, driven like a user from a second thread while
// the test's main thread runs the modal box.

#include "core/message_box.h"
#include "resources/resource.h"

#include "tests/support/kova_process.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

namespace {

constexpr DWORD FIND_TIMEOUT_MS = 10000;

// Texts in code page 932.
const std::string YES = "\x82\xcd\x82\xa2";
const std::string NO = "\x82\xa2\x82\xa2\x82\xa6";
const std::string CANCEL = "\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b";

HWND FindBox(const char* caption)
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindWindowA("#32770", caption)) != nullptr && IsWindowVisible(box); },
              FIND_TIMEOUT_MS);
    return box;
}

std::string ButtonText(HWND box, int id)
{
    char text[64] = {};
    GetWindowTextA(GetDlgItem(box, id), text, sizeof(text));
    return text;
}

bool ButtonShown(HWND box, int id) { return IsWindowVisible(GetDlgItem(box, id)) != FALSE; }

// What a button tells its dialog when it is clicked. (BM_CLICK would do the
// same, but Wine lets it linger two seconds when sent from another thread.)
void Click(HWND box, int id)
{
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

// Runs ShowMessageBox on this thread while user() drives the box on another.
INT_PTR ShowAndDrive(const char* caption, UINT type, UINT slot, std::function<void(HWND)> user)
{
    std::thread driver([&] { user(FindBox(caption)); });
    INT_PTR result = ShowMessageBox(nullptr, "body text", caption, type, slot);
    driver.join();
    return result;
}

TEST(MessageBoxTest, YesNoWithExclamationAnswersLikeItsButtons)
{
    struct Case {
        int button;
        INT_PTR expected;
    };
    for (Case c : {Case{IDC_MSGBOX_BUTTON1, IDNO}, Case{IDC_MSGBOX_BUTTON2, IDYES}}) {
        INT_PTR result = ShowAndDrive("yes-no", MB_YESNO | MB_ICONEXCLAMATION, MSGBOX_SLOT_EXIT_QUESTION, [&](HWND box) {
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(ButtonText(box, IDC_MSGBOX_BUTTON1), NO);
            EXPECT_EQ(ButtonText(box, IDC_MSGBOX_BUTTON2), YES);
            EXPECT_FALSE(ButtonShown(box, IDC_MSGBOX_BUTTON3));
            EXPECT_TRUE(GetWindowLongA(GetDlgItem(box, IDC_MSGBOX_BUTTON1), GWL_STYLE) & BS_DEFPUSHBUTTON)
                << "No is the default answer";
            EXPECT_NE(SendDlgItemMessageA(box, IDC_MSGBOX_ICON, STM_GETIMAGE, IMAGE_ICON, 0), 0);
            char text[64] = {};
            GetDlgItemTextA(box, IDC_MSGBOX_TEXT, text, sizeof(text));
            EXPECT_STREQ(text, "body text");
            Click(box, c.button);
        });
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(GetMessageBoxWindow(MSGBOX_SLOT_EXIT_QUESTION), nullptr) << "the slot is free again";
    }
}

TEST(MessageBoxTest, CloseBoxAnswersZeroAndEscDoesNothing)
{
    INT_PTR result = ShowAndDrive("close-me", MB_YESNOCANCEL | MB_ICONQUESTION, 3, [](HWND box) {
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(ButtonText(box, IDC_MSGBOX_BUTTON1), CANCEL);
        EXPECT_EQ(ButtonText(box, IDC_MSGBOX_BUTTON2), NO);
        EXPECT_EQ(ButtonText(box, IDC_MSGBOX_BUTTON3), YES);
        // Esc reaches the box as IDCANCEL through the dialog manager.
        HWND focus = GetDlgItem(box, IDC_MSGBOX_BUTTON1);
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0);
        SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
        Sleep(200);
        EXPECT_TRUE(IsWindow(box)) << "Esc must not answer the box";
        SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(result, 0);
}

TEST(MessageBoxTest, OkOnlyIsOneCentredButtonWithTheInformationIcon)
{
    INT_PTR result = ShowAndDrive("info", MB_OK | MB_ICONASTERISK, 1, [](HWND box) {
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(ButtonText(box, IDC_MSGBOX_BUTTON1), "OK");
        EXPECT_FALSE(ButtonShown(box, IDC_MSGBOX_BUTTON2));
        EXPECT_FALSE(ButtonShown(box, IDC_MSGBOX_BUTTON3));
        RECT client, button;
        GetClientRect(box, &client);
        GetWindowRect(GetDlgItem(box, IDC_MSGBOX_BUTTON1), &button);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&button), 2);
        int centre = (button.left + button.right) / 2;
        EXPECT_NEAR(centre, client.right / 2, client.right / 20) << "the one button sits in the middle";
        EXPECT_NE(SendDlgItemMessageA(box, IDC_MSGBOX_ICON, STM_GETIMAGE, IMAGE_ICON, 0), 0);
        Click(box, IDC_MSGBOX_BUTTON1);
    });
    EXPECT_EQ(result, IDOK);
}

TEST(MessageBoxTest, OkCancelAndRetryCancel)
{
    EXPECT_EQ(ShowAndDrive("ok-cancel", MB_OKCANCEL, 2, [](HWND box) { Click(box, IDC_MSGBOX_BUTTON2); }), IDOK);
    EXPECT_EQ(ShowAndDrive("ok-cancel", MB_OKCANCEL, 2, [](HWND box) { Click(box, IDC_MSGBOX_BUTTON1); }), IDCANCEL);
    EXPECT_EQ(ShowAndDrive("retry", MB_RETRYCANCEL, 2, [](HWND box) { Click(box, IDC_MSGBOX_BUTTON2); }), IDRETRY);
    EXPECT_EQ(ShowAndDrive("no-icon", MB_OK | 0x50, 2,
                           [](HWND box) {
                               EXPECT_EQ(SendDlgItemMessageA(box, IDC_MSGBOX_ICON, STM_GETIMAGE, IMAGE_ICON, 0), 0)
                                   << "an unknown icon nibble shows no icon";
                               Click(box, IDC_MSGBOX_BUTTON1);
                           }),
              IDOK);
}

TEST(MessageBoxTest, SlotsOutOfRangeAreRefused)
{
    EXPECT_EQ(ShowMessageBox(nullptr, "x", "x", MB_OK, 0), MSGBOX_BAD_SLOT);
    EXPECT_EQ(ShowMessageBox(nullptr, "x", "x", MB_OK, 32), MSGBOX_BAD_SLOT);
    EXPECT_EQ(FindWindowA("#32770", "x"), nullptr);
}

// A window of the test's main thread that opens another box when asked, the
// way a tray click or a button press does while a box is already open.
struct NestedOpener {
    static constexpr UINT WM_OPEN = WM_APP + 1;
    static inline UINT slot = 0;
    static inline INT_PTR result = -1;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_OPEN) {
            result = ShowMessageBox(nullptr, "second", "second", MB_OK, slot);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND window = nullptr;
    NestedOpener()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KovaTestNestedOpener";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }
    ~NestedOpener() { DestroyWindow(window); }
};

TEST(MessageBoxTest, ABusySlotIsRefusedAndKeepsItsBox)
{
    NestedOpener opener;
    NestedOpener::slot = MSGBOX_SLOT_EXIT_QUESTION;
    INT_PTR first = ShowAndDrive("first", MB_YESNO, MSGBOX_SLOT_EXIT_QUESTION, [&](HWND box) {
        ASSERT_NE(box, nullptr);
        SendMessageA(opener.window, NestedOpener::WM_OPEN, 0, 0);
        EXPECT_EQ(NestedOpener::result, MSGBOX_SLOT_BUSY);
        EXPECT_EQ(FindWindowA("#32770", "second"), nullptr) << "the new text is not shown";
        EXPECT_TRUE(IsWindow(box));
        Click(box, IDC_MSGBOX_BUTTON2);
    });
    EXPECT_EQ(first, IDYES);
}

TEST(MessageBoxTest, TwoSlotsCanBeOpenAtOnce)
{
    NestedOpener opener;
    NestedOpener::slot = 9;
    INT_PTR first = ShowAndDrive("first", MB_OK, MSGBOX_SLOT_EXIT_QUESTION, [&](HWND box) {
        ASSERT_NE(box, nullptr);
        PostMessageA(opener.window, NestedOpener::WM_OPEN, 0, 0);
        HWND second = FindBox("second");
        ASSERT_NE(second, nullptr);
        EXPECT_TRUE(IsWindow(box));
        Click(second, IDC_MSGBOX_BUTTON1);
        WaitUntil([] { return NestedOpener::result == IDOK; }, FIND_TIMEOUT_MS);
        Click(box, IDC_MSGBOX_BUTTON1);
    });
    EXPECT_EQ(NestedOpener::result, IDOK);
    EXPECT_EQ(first, IDOK);
}

}  // namespace

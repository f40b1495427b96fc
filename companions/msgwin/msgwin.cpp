// A window that plays a media application, a browser or a player: class and
// title come from the command line, and every message and keystroke that
// another program may have meant for it goes to the journal, one line each.
//
//   msgwin.exe /class=NAME [/title=TEXT] [/show=normal|max|min]
//              [/nomaxbox] [/answer=MESSAGE:VALUE]... [/close-after=MS]
//
// /title=       the window's title; given empty ("/title=") the window has
//               none; left out, the class name is the title.
// /show=        how the window first shows (normal when left out).
// /nomaxbox     the window has no maximize box.
// /answer=      a sent MESSAGE (a registered name, or a number such as
//               0x8064) is answered with VALUE; up to 8 of them.
// /close-after= the window closes itself after MS milliseconds.
//
// Journal lines (library "msgwin"; class and title quoted as usual):
//   msgwin start pid=P window=0xHWND class="C" title="T"
//   msgwin message class="C" title="T" msg=0xMMMM wparam=W lparam=L sent=0|1
//   msgwin key class="C" title="T" event=down|up vk=0xVV alt=0|1
//   msgwin close class="C" title="T"
// "message" lines cover the private, application and registered messages
// (WM_USER and above), WM_SYSCOMMAND, WM_COPYDATA and the DDE
// messages; wparam and lparam are unsigned decimals. "key" lines cover
// WM_KEYDOWN/UP and WM_SYSKEYDOWN/UP; alt is the context bit (Alt held).
// Painting, mouse and activation chatter is left out so that tests can
// assert on what was sent on purpose.

#include <windows.h>

#include <dde.h>

#include "companions/journal/journal.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char LIBRARY[] = "msgwin";
constexpr char DEFAULT_CLASS[] = "KovaMsgWin";
constexpr int WINDOW_WIDTH = 360;
constexpr int WINDOW_HEIGHT = 160;
constexpr UINT_PTR IDT_CLOSE_AFTER = 1;
constexpr int MAX_ANSWERS = 8;
constexpr size_t TEXT_SIZE = 256;

struct Answer {
    UINT Message;
    LRESULT Value;
};

struct Options {
    char Class[TEXT_SIZE] = {};
    char Title[TEXT_SIZE] = {};
    bool TitleGiven = false;
    int Show = SW_SHOWNORMAL;
    bool MaximizeBox = true;
    Answer Answers[MAX_ANSWERS] = {};
    int AnswerCount = 0;
    UINT CloseAfterMs = 0;
};

Options g_options;
char g_quotedClass[TEXT_SIZE * 4 + 8] = {};
char g_quotedTitle[TEXT_SIZE * 4 + 8] = {};

// Copies the next blank-separated word of *cursor into word (quotes group
// blanks and are dropped); false at the end of the line.
bool NextWord(const char** cursor, char* word, size_t size)
{
    const char* p = *cursor;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    if (!*p) {
        return false;
    }
    size_t used = 0;
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (used + 1 < size) {
            word[used++] = *p;
        }
    }
    word[used] = '\0';
    *cursor = p;
    return true;
}

// The value of "/name=value" when word is that option, else null.
const char* OptionValue(const char* word, const char* name)
{
    size_t length = std::strlen(name);
    return _strnicmp(word, name, length) == 0 ? word + length : nullptr;
}

UINT ParseMessage(const char* text)
{
    char* end = nullptr;
    unsigned long number = std::strtoul(text, &end, 0);
    if (end != text && *end == '\0') {
        return static_cast<UINT>(number);
    }
    return RegisterWindowMessageA(text);
}

void AddAnswer(const char* answer)
{
    char text[TEXT_SIZE] = {};
    lstrcpynA(text, answer, sizeof(text));
    char* colon = std::strrchr(text, ':');
    if (!colon || g_options.AnswerCount >= MAX_ANSWERS) {
        return;
    }
    *colon = '\0';
    UINT message = ParseMessage(text);
    if (message == 0) {
        return;
    }
    g_options.Answers[g_options.AnswerCount++] = {message, static_cast<LRESULT>(std::strtoll(colon + 1, nullptr, 0))};
}

void ParseOptions(const char* commandLine)
{
    lstrcpynA(g_options.Class, DEFAULT_CLASS, sizeof(g_options.Class));
    char word[TEXT_SIZE] = {};
    const char* cursor = commandLine ? commandLine : "";
    while (NextWord(&cursor, word, sizeof(word))) {
        const char* value = nullptr;
        if ((value = OptionValue(word, "/class=")) && *value) {
            lstrcpynA(g_options.Class, value, sizeof(g_options.Class));
        } else if ((value = OptionValue(word, "/title="))) {
            lstrcpynA(g_options.Title, value, sizeof(g_options.Title));
            g_options.TitleGiven = true;
        } else if ((value = OptionValue(word, "/show="))) {
            g_options.Show = _stricmp(value, "max") == 0   ? SW_SHOWMAXIMIZED
                             : _stricmp(value, "min") == 0 ? SW_SHOWMINNOACTIVE
                                                           : SW_SHOWNORMAL;
        } else if (_stricmp(word, "/nomaxbox") == 0) {
            g_options.MaximizeBox = false;
        } else if ((value = OptionValue(word, "/answer="))) {
            AddAnswer(value);
        } else if ((value = OptionValue(word, "/close-after="))) {
            g_options.CloseAfterMs = static_cast<UINT>(std::strtoul(value, nullptr, 0));
        }
    }
    if (!g_options.TitleGiven) {
        lstrcpynA(g_options.Title, g_options.Class, sizeof(g_options.Title));
    }
}

bool IsJournaledMessage(UINT message)
{
    return message >= WM_USER || message == WM_SYSCOMMAND || message == WM_COPYDATA ||
           (message >= WM_DDE_FIRST && message <= WM_DDE_LAST);
}

void JournalKey(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    unsigned alt = (static_cast<unsigned long>(lParam) >> 29) & 1;
    JournalLine(LIBRARY, "key", "class=%s title=%s event=%s vk=0x%02X alt=%u", g_quotedClass, g_quotedTitle,
                down ? "down" : "up", static_cast<unsigned>(wParam), alt);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (IsJournaledMessage(message)) {
        JournalLine(LIBRARY, "message", "class=%s title=%s msg=0x%04X wparam=%llu lparam=%llu sent=%d", g_quotedClass,
                    g_quotedTitle, message, static_cast<unsigned long long>(wParam),
                    static_cast<unsigned long long>(lParam), InSendMessage() ? 1 : 0);
        for (int i = 0; i < g_options.AnswerCount; ++i) {
            if (g_options.Answers[i].Message == message) {
                return g_options.Answers[i].Value;
            }
        }
    }
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        JournalKey(message, wParam, lParam);
        // Alt+F4 and friends still act as in any window.
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
        if (wParam == IDT_CLOSE_AFTER) {
            KillTimer(window, IDT_CLOSE_AFTER);
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        DrawTextA(dc, g_options.Title, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        JournalLine(LIBRARY, "close", "class=%s title=%s", g_quotedClass, g_quotedTitle);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    ParseOptions(commandLine);
    JournalQuote(g_options.Class, GetACP(), g_quotedClass, sizeof(g_quotedClass));
    JournalQuote(g_options.Title, GetACP(), g_quotedTitle, sizeof(g_quotedTitle));

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = g_options.Class;
    if (!RegisterClassA(&wc)) {
        return 1;
    }
    DWORD style = WS_OVERLAPPEDWINDOW;
    if (!g_options.MaximizeBox) {
        style &= ~WS_MAXIMIZEBOX;
    }
    HWND window = CreateWindowExA(0, g_options.Class, g_options.Title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    ShowWindow(window, g_options.Show);
    if (g_options.CloseAfterMs) {
        SetTimer(window, IDT_CLOSE_AFTER, g_options.CloseAfterMs, nullptr);
    }
    // Written once the window exists, so a reader of this line can use it.
    JournalLine(LIBRARY, "start", "pid=%lu window=0x%llX class=%s title=%s", GetCurrentProcessId(),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), g_quotedClass, g_quotedTitle);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

#include "util/dialog_text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string LoadText(UINT id)
{
    char text[1024];
    int length = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

std::string FormatText(UINT id, ...)
{
    std::string format = LoadText(id);
    char text[2048];
    va_list args;
    va_start(args, id);
    std::vsnprintf(text, sizeof(text), format.c_str(), args);
    va_end(args);
    return text;
}

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    int length = control ? GetWindowTextLengthA(control) : 0;
    if (length <= 0) {
        return {};
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    int got = GetWindowTextA(control, text.data(), length + 1);
    return std::string(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void SetControlText(HWND dialog, int id, const std::string& text)
{
    // Unchanged text is not set again: an edit box would report a change.
    if (ControlText(dialog, id) != text) {
        SetDlgItemTextA(dialog, id, text.c_str());
    }
}

namespace {

BOOL CALLBACK ApplyText(HWND control, LPARAM)
{
    int id = GetDlgCtrlID(control);
    if (id > 0) {
        std::string text = LoadText(static_cast<UINT>(id));
        if (!text.empty()) {
            SetWindowTextA(control, text.c_str());
        }
    }
    return TRUE;
}

}  // namespace

void ApplyControlTexts(HWND dialog) { EnumChildWindows(dialog, ApplyText, 0); }

bool ParseNumber(const std::string& text, uint32_t* value)
{
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos) {
        return false;
    }
    std::string word = text.substr(begin, end - begin + 1);
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word = word.substr(2);
    }
    if (word.empty() || word.size() > 10) {
        return false;
    }
    unsigned long long number = 0;
    for (char c : word) {
        int digit = c >= '0' && c <= '9'                  ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1;
        if (digit < 0) {
            return false;
        }
        number = number * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    if (number > 0xFFFFFFFFull) {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

void ResetList(HWND list) { SendMessageA(list, LB_RESETCONTENT, 0, 0); }

void AddListLine(HWND list, const std::string& line)
{
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

int SelectedLine(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }

#pragma once
// Converts a code page 932 text to UTF-16 strictly, so that a test can compare
// the program's Shift JIS bytes with the Japanese text they must spell.

#include <windows.h>

#include <string>

inline std::wstring FromCodePage932(const char* text)
{
    int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) {
        return L"<not valid code page 932>";
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

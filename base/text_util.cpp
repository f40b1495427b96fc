#include "base/text_util.h"

#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void TrimBlanks(char* text)
{
    if (!text) {
        return;
    }
    size_t len = strnlen(text, TEXT_MAX);
    text[len] = '\0';  // a text longer than the limit is cut at it
    size_t start = 0;
    while (start < len && IsBlank(text[start])) {
        ++start;
    }
    size_t end = len;
    while (end > start && IsBlank(text[end - 1])) {
        --end;
    }
    std::memmove(text, text + start, end - start);
    text[end - start] = '\0';
}

void StripQuotes(char* text)
{
    if (!text || text[0] != '"') {
        return;
    }
    size_t len = strnlen(text, TEXT_MAX);
    if (len < 2 || text[len - 1] != '"') {
        return;
    }
    const char* close = static_cast<const char*>(std::memchr(text + 1, '"', len - 1));
    size_t inner = static_cast<size_t>(close - (text + 1));
    std::memmove(text, text + 1, inner);
    text[inner] = '\0';
}

void CopyCut(char* dst, size_t dstSize, const char* src)
{
    if (!dst || dstSize == 0) {
        return;
    }
    size_t len = src ? strnlen(src, dstSize - 1) : 0;
    if (len) {
        std::memcpy(dst, src, len);
    }
    dst[len] = '\0';
}

bool EqualsNoCase(const char* a, const char* b)
{
    if (!a || !b) {
        return false;
    }
    for (; *a && *b; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b)) {
            return false;
        }
    }
    return *a == *b;
}

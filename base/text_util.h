#pragma once
// Small text helpers shared by the loaders and the launcher. Plain C strings,
// no Windows headers, so they build natively as well.

#include <cstddef>

// Longest text the helpers touch: 520 characters and the terminator.
constexpr size_t TEXT_MAX = 520;

// Removes leading and trailing spaces and tabs in place. Looks at no more than
// TEXT_MAX characters; a text of blanks only becomes empty.
void TrimBlanks(char* text);

// "a b" c"  ->  a b   : when the text starts and ends with a double quote it is
// replaced by what lies between the first quote and the next one.
void StripQuotes(char* text);

// Copies src into dst of size N, cut to N-1 characters and always terminated.
void CopyCut(char* dst, size_t dstSize, const char* src);
template <size_t N>
void CopyCut(char (&dst)[N], const char* src)
{
    CopyCut(dst, N, src);
}

// Case-insensitive ASCII comparison of whole words (option words, class names).
bool EqualsNoCase(const char* a, const char* b);

#include "hid/virtual_receiver_protocol.h"

#include <cstdio>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

}  // namespace

std::string VirtualReceiverPipeName(const std::string& instance)
{
    if (instance.empty() || instance.size() > VR_INSTANCE_MAX) {
        return {};
    }
    for (char c : instance) {
        if (!IsNameChar(c)) {
            return {};
        }
    }
    return std::string(VR_PIPE_PREFIX) + instance;
}

std::string FormatHexBytes(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i) {
            text += ' ';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes, size_t maxBytes)
{
    std::vector<uint8_t> out;
    for (const std::string& word : SplitWords(text)) {
        if (word.size() % 2 != 0) {
            return false;
        }
        for (size_t i = 0; i < word.size(); i += 2) {
            int hi = HexDigit(word[i]);
            int lo = HexDigit(word[i + 1]);
            if (hi < 0 || lo < 0 || out.size() >= maxBytes) {
                return false;
            }
            out.push_back(static_cast<uint8_t>(hi << 4 | lo));
        }
    }
    *bytes = std::move(out);
    return true;
}

bool ParseNumber(const std::string& text, uint32_t maxValue, uint32_t* value)
{
    if (text.empty()) {
        return false;
    }
    uint64_t n = 0;
    size_t i = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    for (; i < text.size(); ++i) {
        int d = HexDigit(text[i]);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            return false;
        }
        n = n * base + static_cast<unsigned>(d);
        if (n > maxValue) {
            return false;
        }
    }
    *value = static_cast<uint32_t>(n);
    return true;
}

std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) {
            ++i;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

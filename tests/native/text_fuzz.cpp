// Feeds the text helpers that clean registry texts (TrimBlanks, StripQuotes,
// CopyCut, EqualsNoCase) random texts of random lengths under the
// sanitizers, each in a heap block of exactly its length, and compares what
// they made with a plain model: the helpers look at no more than TEXT_MAX
// characters, and never read or write past a text or a destination.
//
//   text_fuzz [rounds] [seed]

#include "base/text_util.h"

#include "tests/native/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

FuzzFailures g_failures;

// Blanks and quotes are drawn often, so that trimming and quoting are met.
char RandomChar(Random& rng)
{
    static const char kOften[] = {' ', '\t', '"', 'a', 'Z'};
    const uint32_t pick = rng.Below(8);
    if (pick < 5) {
        return kOften[pick];
    }
    const char c = static_cast<char>(rng.Next());
    return c ? c : 'x';
}

// A terminated text of the given length in a block of exactly length + 1.
std::unique_ptr<char[]> RandomText(Random& rng, size_t length)
{
    std::unique_ptr<char[]> text(new char[length + 1]);
    for (size_t i = 0; i < length; ++i) {
        text[i] = RandomChar(rng);
    }
    text[length] = '\0';
    return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string ModelTrim(std::string s)
{
    s.resize(std::min(s.size(), TEXT_MAX));
    size_t start = 0;
    while (start < s.size() && IsBlank(s[start])) {
        ++start;
    }
    size_t end = s.size();
    while (end > start && IsBlank(s[end - 1])) {
        --end;
    }
    return s.substr(start, end - start);
}

std::string ModelStrip(const std::string& s)
{
    const std::string seen = s.substr(0, std::min(s.size(), TEXT_MAX));
    if (seen.size() < 2 || seen.front() != '"' || seen.back() != '"') {
        return s;
    }
    return seen.substr(1, seen.find('"', 1) - 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool ModelEquals(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    Random rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1};

    for (uint64_t round = 0; round < rounds && !g_failures.Enough(); ++round) {
        // Mostly short texts; now and then one beyond the limit.
        const size_t length = rng.Below(8) == 0 ? rng.Below(TEXT_MAX + 40) : rng.Below(24);
        std::unique_ptr<char[]> text = RandomText(rng, length);
        const std::string original(text.get());

        TrimBlanks(text.get());
        if (std::string(text.get()) != ModelTrim(original)) {
            g_failures.Fail("TrimBlanks", round);
        }

        std::unique_ptr<char[]> quoted = RandomText(rng, length);
        const std::string quotedOriginal(quoted.get());
        StripQuotes(quoted.get());
        if (std::string(quoted.get()) != ModelStrip(quotedOriginal)) {
            g_failures.Fail("StripQuotes", round);
        }

        const size_t dstSize = rng.Below(40);
        std::unique_ptr<char[]> dst(new char[dstSize ? dstSize : 1]);
        std::memset(dst.get(), 'q', dstSize ? dstSize : 1);
        CopyCut(dst.get(), dstSize, original.c_str());
        if (dstSize > 0 && std::string(dst.get()) != original.substr(0, dstSize - 1)) {
            g_failures.Fail("CopyCut", round);
        } else if (dstSize == 0 && dst[0] != 'q') {
            g_failures.Fail("CopyCut wrote into no room", round);
        }

        // Half the time a case-changed copy, otherwise an unrelated text.
        std::string other = original;
        if (rng.Below(2)) {
            for (char& c : other) {
                if (rng.Below(2)) {
                    c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : Lower(c);
                }
            }
        } else {
            other = std::string(RandomText(rng, rng.Below(24)).get());
        }
        if (EqualsNoCase(original.c_str(), other.c_str()) != ModelEquals(original, other)) {
            g_failures.Fail("EqualsNoCase", round);
        }
    }
    std::printf("%llu rounds, %d failures\n", static_cast<unsigned long long>(rounds), g_failures.Count());
    return g_failures.Count() == 0 ? 0 : 1;
}

// Feeds the virtual receiver's message parsers random lines under the
// sanitizers: mostly hex digits, blanks and number prefixes, now and then any
// byte. Checks what must hold whatever the line: accepted hex bytes stay
// within their limit and survive a round trip through FormatHexBytes, an
// accepted number stays within its maximum and reads back the same in
// decimal, words hold no blanks and together keep every other character,
// and only a clean instance name makes a pipe name.
//
//   protocol_fuzz [rounds] [seed]

#include "hid/virtual_receiver_protocol.h"

#include "tests/native/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

FuzzFailures g_failures;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string RandomLine(Random& rng)
{
    static const char common[] = "0123456789abcdefABCDEFxX \t-_.";
    std::string line(rng.Below(40), '\0');
    for (char& c : line) {
        c = rng.Below(16) == 0 ? static_cast<char>(rng.Next()) : common[rng.Below(sizeof(common) - 1)];
    }
    return line;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    Random rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1};

    for (uint64_t round = 0; round < rounds && !g_failures.Enough(); ++round) {
        const std::string line = RandomLine(rng);

        const size_t maxBytes = rng.Below(12);
        std::vector<uint8_t> bytes;
        if (ParseHexBytes(line, &bytes, maxBytes)) {
            std::vector<uint8_t> again;
            if (bytes.size() > maxBytes) {
                g_failures.Fail("more hex bytes than allowed", round);
            } else if (!ParseHexBytes(FormatHexBytes(bytes), &again, maxBytes) || again != bytes) {
                g_failures.Fail("hex bytes do not survive a round trip", round);
            }
        }

        const uint32_t maxValue = rng.Below(4) == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(rng.Next() & 0xFFFF);
        uint32_t value = 0;
        if (ParseNumber(line, maxValue, &value)) {
            uint32_t again = 0;
            if (value > maxValue) {
                g_failures.Fail("number above its maximum", round);
            } else if (!ParseNumber(std::to_string(value), maxValue, &again) || again != value) {
                g_failures.Fail("number does not read back", round);
            }
        }

        size_t kept = 0;
        for (const std::string& word : SplitWords(line)) {
            if (word.empty()) {
                g_failures.Fail("an empty word", round);
            }
            for (char c : word) {
                if (IsBlank(c)) {
                    g_failures.Fail("a blank inside a word", round);
                }
            }
            kept += word.size();
        }
        size_t solid = 0;
        for (char c : line) {
            solid += IsBlank(c) ? 0 : 1;
        }
        if (kept != solid) {
            g_failures.Fail("words lost characters", round);
        }

        const std::string pipe = VirtualReceiverPipeName(line);
        bool clean = !line.empty() && line.size() <= VR_INSTANCE_MAX;
        for (char c : line) {
            clean = clean && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                              c == '-' || c == '_' || c == '.');
        }
        if (pipe.empty() == clean || (clean && pipe != std::string(VR_PIPE_PREFIX) + line)) {
            g_failures.Fail("pipe name for an instance name", round);
        }
    }
    std::printf("%llu rounds, %d failures\n", static_cast<unsigned long long>(rounds), g_failures.Count());
    return g_failures.Count() == 0 ? 0 : 1;
}

// Feeds the feature-report layouts random reports of random lengths under the
// sanitizers, each in a heap block of exactly its length so that any access
// past it is caught. Checks what must hold whatever the bytes: a wake event
// reads as 0 what the report lacks, its acknowledgement clears only the
// middle bytes, and the replies are written whole or not at all.
//
//   layout_fuzz [rounds] [seed]

#include "hid/feature_report_layout.h"

#include "tests/native/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

FuzzFailures g_failures;

std::unique_ptr<uint8_t[]> RandomBlock(Random& rng, size_t length)
{
    std::unique_ptr<uint8_t[]> block(new uint8_t[length ? length : 1]);
    for (size_t i = 0; i < length; ++i) {
        block[i] = static_cast<uint8_t>(rng.Next());
    }
    return block;
}

uint8_t At(const uint8_t* bytes, size_t length, size_t i) { return i < length ? bytes[i] : 0; }

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    Random rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1};

    for (uint64_t round = 0; round < rounds && !g_failures.Enough(); ++round) {
        const size_t length = rng.Below(12);
        std::unique_ptr<uint8_t[]> report = RandomBlock(rng, length);
        const std::vector<uint8_t> before(report.get(), report.get() + length);

        const WakeEvent event = DecodeWakeEvent(report.get(), length);
        if (event.Kind != At(report.get(), length, 1) || event.Flag != At(report.get(), length, 4) ||
            event.Code != (At(report.get(), length, 2) | At(report.get(), length, 3) << 8)) {
            g_failures.Fail("wake event fields", round);
        }

        ClearWakeEvent(report.get(), length);
        for (size_t i = 0; i < length; ++i) {
            const bool cleared = length >= 3 && i >= 1 && i + 1 < length;
            if (report[i] != (cleared ? 0 : before[i])) {
                g_failures.Fail("acknowledgement changed the wrong byte", round);
                break;
            }
        }

        const size_t outLength = rng.Below(12);
        std::unique_ptr<uint8_t[]> out = RandomBlock(rng, outLength);
        const std::vector<uint8_t> untouched(out.get(), out.get() + outLength);
        const bool replied = BuildWakeReply(before.data(), length, out.get(), outLength);
        if (replied != (length >= 2 && outLength >= WAKE_REPLY_MIN_LENGTH)) {
            g_failures.Fail("wake reply refused or accepted wrongly", round);
        } else if (!replied && !std::equal(untouched.begin(), untouched.end(), out.get())) {
            g_failures.Fail("a refused wake reply wrote", round);
        } else if (replied) {
            const uint8_t expected[WAKE_REPLY_MIN_LENGTH] = {before[0], before[0], before[1], 0x00, 0x44};
            bool ok = std::memcmp(out.get(), expected, sizeof(expected)) == 0;
            for (size_t i = WAKE_REPLY_MIN_LENGTH; i < outLength; ++i) {
                ok = ok && out[i] == 0;
            }
            if (!ok) {
                g_failures.Fail("wake reply bytes", round);
            }
        }

        const uint32_t word = static_cast<uint32_t>(rng.Next());
        std::unique_ptr<uint8_t[]> display = RandomBlock(rng, outLength);
        const std::vector<uint8_t> old(display.get(), display.get() + outLength);
        const bool built = BuildRemoteDisplayReport(word, display.get(), outLength);
        if (built != (outLength >= REMOTE_DISPLAY_MIN_LENGTH)) {
            g_failures.Fail("display report refused or accepted wrongly", round);
        } else if (!built && !std::equal(old.begin(), old.end(), display.get())) {
            g_failures.Fail("a refused display report wrote", round);
        } else if (built) {
            uint32_t back = 0;
            bool ok = display[0] == REMOTE_DISPLAY_REPORT_ID;
            for (size_t i = 0; i < outLength; ++i) {
                if (i >= 1 && i <= 4) {
                    back |= static_cast<uint32_t>(display[i]) << (8 * (i - 1));
                } else if (i > 4) {
                    ok = ok && display[i] == 0;
                }
            }
            if (!ok || back != word) {
                g_failures.Fail("display report bytes", round);
            }
        }
    }
    std::printf("%llu rounds, %d failures\n", static_cast<unsigned long long>(rounds), g_failures.Count());
    return g_failures.Count() == 0 ? 0 : 1;
}

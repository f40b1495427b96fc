// Feeds the numeric code entry random key sequences under the sanitizers
// and checks what must hold whatever the keys: no more digits than
// announced, a value never wider than its announced length, and every ended
// entry leaves nothing running.
//
//   entry_fuzz [rounds] [seed]

#include "keys/numeric_entry.h"

#include "tests/native/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace {

FuzzFailures g_failures;

uint64_t Limit(uint32_t digits)
{
    uint64_t limit = 1;
    while (digits-- > 0) {
        limit *= 10;
    }
    return limit;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    Random rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1};
    const EntryTimeouts timeouts = REMOTE_ENTRY_TIMEOUTS;

    NumericEntryState state{};
    uint64_t completed = 0;
    for (uint64_t round = 0; round < rounds && !g_failures.Enough(); ++round) {
        // Mostly digits, so that entries get far; now and then any code.
        uint16_t code;
        const uint32_t pick = rng.Below(32);
        if (pick == 0) {
            code = static_cast<uint16_t>(rng.Next());
        } else if (pick < 22) {
            code = rng.Below(12) == 0 ? ENTRY_REPEAT_DIGIT : static_cast<uint16_t>(ENTRY_DIGIT_0 + rng.Below(10));
        } else if (pick < 26) {
            code = ENTRY_CONFIRM;
        } else {
            code = static_cast<uint16_t>(ENTRY_START_SINGLE + rng.Below(4));
        }
        const EntryStep step = NumericEntryKey(state, code, timeouts);
        if (state.DigitCount > 9) {
            g_failures.Fail("more than nine digits announced", round);
        }
        if (state.DigitsEntered > state.DigitCount) {
            g_failures.Fail("more digits entered than announced", round);
        }
        if (state.EntryOne && !state.EntryTwo && state.ValueOne >= Limit(state.DigitCount) && state.DigitCount) {
            g_failures.Fail("value wider than announced", round);
        }
        if (step.kind == EntryStep::Kind::Finish) {
            if (step.value == ENTRY_COMPLETE) {
                ++completed;
                if (state.DigitsEntered != state.DigitCount) {
                    g_failures.Fail("complete before all digits", round);
                }
            }
            TakeEntryResults(state, step.value);
            if (IsEntryRunning(state)) {
                g_failures.Fail("an ended entry still runs", round);
            }
        } else if (step.kind == EntryStep::Kind::StartTimer && !IsEntryRunning(state)) {
            g_failures.Fail("a timer for no entry", round);
        }
        // Now and then the timer runs out.
        if (rng.Below(64) == 0) {
            TakeEntryResults(state, ENTRY_TIMEOUT);
        }
    }
    std::printf("%llu rounds, %llu entries completed, %d failures\n", static_cast<unsigned long long>(rounds),
                static_cast<unsigned long long>(completed), g_failures.Count());
    return g_failures.Count() == 0 ? 0 : 1;
}

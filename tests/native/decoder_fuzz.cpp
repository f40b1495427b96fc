// Feeds the report decoder random reports of random lengths, in both formats,
// under the sanitizers. Beyond "no crash, no read past the report", it checks
// what must hold whatever the bytes: a report of zeros leaves nothing held,
// and the action list never overflows.
//
//   decoder_fuzz [rounds] [seed]

#include "keys/report_decoder.h"

#include "tests/native/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

FuzzFailures g_failures;

bool NothingHeld(const KeyDecoderState& s, int rfId)
{
    return s.LastRfCode[rfId - 1] == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    Random rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1};

    KeyDecoderState classic{};
    KeyDecoderState rf{};
    for (uint64_t round = 0; round < rounds && !g_failures.Enough(); ++round) {
        // A heap block of exactly the report's length, so ASan catches any
        // read beyond it.
        const size_t length = rng.Below(12);
        std::unique_ptr<uint8_t[]> report(new uint8_t[length ? length : 1]);
        for (size_t i = 0; i < length; ++i) {
            // Mostly small IDs and codes near the interesting ones.
            report[i] = static_cast<uint8_t>(i == 0 ? rng.Below(9) : (rng.Below(4) == 0 ? 0 : rng.Next()));
        }

        KeyActions actions;
        DecodeClassicReport(classic, report.get(), length, rng.Below(2), rng.Below(2) != 0, actions);
        if (actions.dropped != 0) {
            g_failures.Fail("classic action list overflow", round);
        }

        RfContext context{};
        context.InputReportByteLength = rng.Below(10);
        context.WakeReplyDue = rng.Below(2) != 0;
        context.DropUnlessValue = rng.Below(8) == 0;
        KeyActions rfActions;
        DecodeRfReport(rf, report.get(), length, context, rfActions);
        if (rfActions.dropped != 0) {
            g_failures.Fail("radio action list overflow", round);
        }

        // A report of zeros for a known radio ID releases whatever it held.
        if (length >= 1 && report[0] >= 1 && report[0] <= 5 && !context.DropUnlessValue) {
            uint8_t zeros[8] = {report[0]};
            RfContext quiet{};
            quiet.InputReportByteLength = 8;
            KeyActions release;
            DecodeRfReport(rf, zeros, sizeof(zeros), quiet, release);
            if (!NothingHeld(rf, report[0])) {
                g_failures.Fail("radio zeros left a code held", round);
            }
        }
        // Likewise for the classic remote word and media-center code.
        uint8_t zeroRemote[3] = {2, 0, 0};
        KeyActions release;
        DecodeClassicReport(classic, zeroRemote, sizeof(zeroRemote), 0, true, release);
        if (classic.LastRemoteCode != 0) {
            g_failures.Fail("classic zeros left the remote code held", round);
        }
    }
    std::printf("%llu rounds, %d failures\n", static_cast<unsigned long long>(rounds), g_failures.Count());
    return g_failures.Count() == 0 ? 0 : 1;
}

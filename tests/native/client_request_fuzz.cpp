// Feeds the copy of a client's on-screen request records of random sizes
// under the sanitizers, each in a heap block of exactly the size the sender
// claims, so that a read past it is caught. A record shorter than the full
// request is refused and leaves an empty request; a full one is copied as it
// came, whatever its text holds.
//
//   client_request_fuzz [rounds] [seed]

#include "osd/client_osd_request.h"

#include "tests/native/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

FuzzFailures g_failures;

bool IsEmpty(const ClientOsdRequest& request)
{
    const ClientOsdRequest empty{};
    return std::memcmp(&request, &empty, sizeof(request)) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t rounds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    Random rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) | 1 : 1};

    for (uint64_t round = 0; round < rounds && !g_failures.Enough(); ++round) {
        // Mostly near the full size, where an off-by-one would show.
        const size_t size = rng.Below(2) ? sizeof(ClientOsdRequest) - 2 + rng.Below(5) : rng.Below(300);
        std::unique_ptr<uint8_t[]> data(new uint8_t[size ? size : 1]);
        for (size_t i = 0; i < size; ++i) {
            data[i] = static_cast<uint8_t>(rng.Next());
        }
        ClientOsdRequest request;
        std::memset(&request, 0xA5, sizeof(request));
        const bool copied = CopyClientOsdRequest(rng.Below(64) ? data.get() : nullptr, size, &request);
        if (!copied) {
            if (!IsEmpty(request)) {
                g_failures.Fail("a refused record left something behind", round);
            }
        } else if (size < sizeof(ClientOsdRequest)) {
            g_failures.Fail("a short record was accepted", round);
        } else if (std::memcmp(&request, data.get(), sizeof(request)) != 0) {
            g_failures.Fail("the copy differs from the record", round);
        }
    }
    std::printf("%llu rounds, %d failures\n", static_cast<unsigned long long>(rounds), g_failures.Count());
    return g_failures.Count() == 0 ? 0 : 1;
}

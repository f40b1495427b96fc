#pragma once
// What the native fuzzers share: a small fast random source that a seed
// makes repeatable, and a failure count that stops a run after a few.

#include <cstdint>
#include <cstdio>

struct Random {
    uint64_t s;
    uint64_t Next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
};

class FuzzFailures {
public:
    void Fail(const char* what, uint64_t round)
    {
        std::fprintf(stderr, "round %llu: %s\n", static_cast<unsigned long long>(round), what);
        ++m_count;
    }
    int Count() const { return m_count; }
    // Ten failures tell enough; more only flood the output.
    bool Enough() const { return m_count >= 10; }

private:
    int m_count = 0;
};

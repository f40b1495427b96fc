#pragma once
// The configuration inspector's view of the store: every setting in effect,
// where it came from, and why a stored value was ignored. It loads the store
// through the program's own loaders with a read log alive, so it cannot
// disagree with kova.exe about what a value means.

#include <cstdint>
#include <string>
#include <vector>

struct ValueRead;

struct SettingLine {
    std::string Place;   // "HKLM\Software\Orlan\Kova\Controls"
    std::string Name;    // the value's name, or a list entry's
    std::string Value;   // in effect: numbers in decimal (and hex), texts quoted, code page 932
    std::string Source;  // "registry", "default", or "registry: <place>" when another place overrides
    std::string Note;    // why a stored value was ignored, a text cut, or where a list ended
};

// Loads the store and describes it. Must come before anything else in the
// process has loaded the store (the inspector's process; tests reset it).
std::vector<SettingLine> InspectConfiguration();

// Why the loaders did not take a value they read ("stored REG_SZ ignored: a
// text must be REG_SZ", "stored 500 ignored: accepted 0 to 100 (else 3)");
// empty when it was taken.
std::string DescribeIgnoredRead(const ValueRead& read);

// The note of a value that was stored but never read: a list ended before it.
constexpr char NOT_READ_NOTE[] = "not read: the list ends before it";

// A number as the inspector writes it: decimal, and from 10 on its
// hexadecimal beside it ("500 (0x1F4)").
std::string NumberWithHex(uint32_t value);

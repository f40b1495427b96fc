#pragma once
// The configuration inspector's view of the store: every setting in effect,
// where it came from, and why a stored value was ignored. It loads the store
// through the program's own loaders with a read log alive, so it cannot
// disagree with kova.exe about what a value means.

#include <string>
#include <vector>

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

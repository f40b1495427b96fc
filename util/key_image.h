#pragma once
// The utility's picture of one registry key: every value as stored, raw
// (type and bytes). The pages edit a candidate copy; saving compares it with
// the copy read at the start and writes only the values that differ.

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

struct RegValue {
    DWORD Type = REG_NONE;
    std::vector<BYTE> Data;

    bool operator==(const RegValue& other) const = default;
};

// Registry value names compare without case.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return lstrcmpiA(a.c_str(), b.c_str()) < 0; }
};

class KeyImage {
public:
    KeyImage() = default;
    KeyImage(HKEY root, std::string path) : Root(root), Path(std::move(path)) {}

    // Every value of the key as stored; an image without values when the
    // key is missing (Exists false).
    static KeyImage Read(HKEY root, const std::string& path);

    const RegValue* Find(const std::string& name) const;
    // A REG_SZ value's text; false for anything else.
    bool Text(const std::string& name, std::string* text) const;
    // A REG_DWORD value's number; false for anything else.
    bool Number(const std::string& name, uint32_t* number) const;

    void SetText(const std::string& name, const std::string& text);
    void SetNumber(const std::string& name, uint32_t number);
    void Remove(const std::string& name);

    // "HKLM\..." or "HKCU\...".
    std::string PlaceName() const;

    HKEY Root = nullptr;
    std::string Path;
    bool Exists = false;
    std::map<std::string, RegValue, NoCaseLess> Values;
};

// Removes entry n (1-based) of a numbered list of count entries whose values
// are called name(k, field) for each field: the entries behind it move up
// one, since kova's lists end at the first gap.
void RemoveListEntry(KeyImage& image, int n, int count, std::initializer_list<const char*> fields,
                     std::string (*name)(int k, const char* field));

// One value the utility is about to write or delete.
struct ValueChange {
    std::string Name;
    bool Removed = false;
};

// The values of candidate that differ from original (set or changed), and
// those original has that candidate dropped.
std::vector<ValueChange> DiffValues(const KeyImage& original, const KeyImage& candidate);

// Writes the differences into the real key (created when a value is set);
// the first error, or ERROR_SUCCESS.
LONG WriteChanges(const KeyImage& original, const KeyImage& candidate);

// Copies an image's values into a key, which must be empty.
LONG WriteValues(HKEY key, const KeyImage& image);

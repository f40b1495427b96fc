#include "util/key_image.h"

#include "base/scoped.h"

#include <cstring>

KeyImage KeyImage::Read(HKEY root, const std::string& path)
{
    KeyImage image(root, path);
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return image;
    }
    ScopedRegKey key(opened);
    image.Exists = true;
    DWORD nameMax = 0;
    DWORD dataMax = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameMax, &dataMax,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return image;
    }
    std::vector<char> name(nameMax + 2);
    std::vector<BYTE> data(dataMax + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameLen = static_cast<DWORD>(name.size());
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        LONG rc = RegEnumValueA(key.get(), index, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
        if (rc == ERROR_MORE_DATA) {
            // Grown meanwhile: read this index again with room for it.
            name.resize(name.size() * 2 + 64);
            data.resize(dataLen > data.size() ? dataLen + 2 : data.size() * 2);
            --index;
            continue;
        }
        if (rc != ERROR_SUCCESS) {
            break;
        }
        RegValue value;
        value.Type = type;
        value.Data.assign(data.begin(), data.begin() + dataLen);
        image.Values[std::string(name.data(), nameLen)] = std::move(value);
    }
    return image;
}

const RegValue* KeyImage::Find(const std::string& name) const
{
    auto it = Values.find(name);
    return it == Values.end() ? nullptr : &it->second;
}

bool KeyImage::Text(const std::string& name, std::string* text) const
{
    const RegValue* value = Find(name);
    if (!value || value->Type != REG_SZ) {
        return false;
    }
    // Stored with or without its terminator; the text ends at the first zero.
    const char* bytes = reinterpret_cast<const char*>(value->Data.data());
    text->assign(bytes, strnlen(bytes, value->Data.size()));
    return true;
}

bool KeyImage::Number(const std::string& name, uint32_t* number) const
{
    const RegValue* value = Find(name);
    if (!value || value->Type != REG_DWORD || value->Data.size() != sizeof(uint32_t)) {
        return false;
    }
    std::memcpy(number, value->Data.data(), sizeof(uint32_t));
    return true;
}

void KeyImage::SetText(const std::string& name, const std::string& text)
{
    RegValue value;
    value.Type = REG_SZ;
    value.Data.assign(text.begin(), text.end());
    value.Data.push_back(0);
    Values[name] = std::move(value);
}

void KeyImage::SetNumber(const std::string& name, uint32_t number)
{
    RegValue value;
    value.Type = REG_DWORD;
    value.Data.resize(sizeof(number));
    std::memcpy(value.Data.data(), &number, sizeof(number));
    Values[name] = std::move(value);
}

void KeyImage::Remove(const std::string& name) { Values.erase(name); }

void RemoveListEntry(KeyImage& image, int n, int count, std::initializer_list<const char*> fields,
                     std::string (*name)(int k, const char* field))
{
    for (int k = n; k <= count; ++k) {
        for (const char* field : fields) {
            const RegValue* next = k < count ? image.Find(name(k + 1, field)) : nullptr;
            if (next) {
                image.Values[name(k, field)] = *next;
            } else {
                image.Remove(name(k, field));
            }
        }
    }
}

std::string KeyImage::PlaceName() const { return (Root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + Path; }

std::vector<ValueChange> DiffValues(const KeyImage& original, const KeyImage& candidate)
{
    std::vector<ValueChange> changes;
    for (const auto& [name, value] : candidate.Values) {
        const RegValue* before = original.Find(name);
        if (!before || !(*before == value)) {
            changes.push_back({name, false});
        }
    }
    for (const auto& [name, value] : original.Values) {
        if (!candidate.Find(name)) {
            changes.push_back({name, true});
        }
    }
    return changes;
}

LONG WriteChanges(const KeyImage& original, const KeyImage& candidate)
{
    std::vector<ValueChange> changes = DiffValues(original, candidate);
    if (changes.empty()) {
        return ERROR_SUCCESS;
    }
    HKEY opened = nullptr;
    LONG rc = RegCreateKeyExA(candidate.Root, candidate.Path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &opened, nullptr);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    ScopedRegKey key(opened);
    for (const ValueChange& change : changes) {
        if (change.Removed) {
            rc = RegDeleteValueA(key.get(), change.Name.c_str());
            if (rc == ERROR_FILE_NOT_FOUND) {
                rc = ERROR_SUCCESS;  // someone else removed it meanwhile
            }
        } else {
            const RegValue& value = candidate.Values.at(change.Name);
            rc = RegSetValueExA(key.get(), change.Name.c_str(), 0, value.Type, value.Data.data(),
                                static_cast<DWORD>(value.Data.size()));
        }
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
    }
    return ERROR_SUCCESS;
}

LONG WriteValues(HKEY key, const KeyImage& image)
{
    for (const auto& [name, value] : image.Values) {
        LONG rc = RegSetValueExA(key, name.c_str(), 0, value.Type, value.Data.data(),
                                 static_cast<DWORD>(value.Data.size()));
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
    }
    return ERROR_SUCCESS;
}

#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr char SCRATCH_ROOT[] = "Software\\KovaTestSandbox";

LONG g_sandboxCounter = 0;

}  // namespace

RegistrySandbox::RegistrySandbox()
{
    char path[128];
    std::snprintf(path, sizeof(path), "%s\\%lu-%ld", SCRATCH_ROOT, GetCurrentProcessId(),
                  InterlockedIncrement(&g_sandboxCounter));
    m_scratchPath = path;
    // A test process that was killed leaves its keys behind; a later process
    // with the same id must not inherit their values.
    RegDeleteTreeA(HKEY_CURRENT_USER, m_scratchPath.c_str());
    // Both scratch keys live under the real HKCU; they are opened before the
    // redirection, so they keep pointing at the real thing.
    std::string machine = m_scratchPath + "\\HKLM";
    std::string user = m_scratchPath + "\\HKCU";
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, machine.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &m_machine, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, user.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &m_user, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine), ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, m_user), ERROR_SUCCESS);
}

RegistrySandbox::~RegistrySandbox()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(m_machine);
    RegCloseKey(m_user);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_scratchPath.c_str());
}

void RegistrySandbox::SetValue(HKEY root, const char* subkey, const char* name, DWORD type, const void* data,
                               DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS)
        << subkey;
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS) << name;
    RegCloseKey(key);
}

void RegistrySandbox::SetDword(HKEY root, const char* subkey, const char* name, uint32_t value)
{
    SetValue(root, subkey, name, REG_DWORD, &value, sizeof(value));
}

void RegistrySandbox::SetString(HKEY root, const char* subkey, const char* name, const std::string& text, DWORD type)
{
    SetValue(root, subkey, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void RegistrySandbox::SetBinary(HKEY root, const char* subkey, const char* name, const std::vector<uint8_t>& bytes)
{
    SetValue(root, subkey, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

void RegistrySandbox::CreateKey(HKEY root, const char* subkey)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegistrySandbox::DeleteValue(HKEY root, const char* subkey, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

bool RegistrySandbox::GetDword(HKEY root, const char* subkey, const char* name, uint32_t* value, DWORD* type)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = sizeof(*value);
    DWORD t = REG_NONE;
    LONG rc = RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (type) {
        *type = t;
    }
    return rc == ERROR_SUCCESS;
}

bool RegistrySandbox::ValueExists(HKEY root, const char* subkey, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

#pragma once
// Gives a test its own HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER: both are
// redirected (RegOverridePredefKey) onto fresh scratch keys for the life of
// the object and deleted afterwards. Tests in different processes never see
// each other's values, so they can run in parallel.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();

    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Writers of fixture values of any type; each creates the key as needed.
    static void SetValue(HKEY root, const char* subkey, const char* name, DWORD type, const void* data, DWORD size);
    static void SetDword(HKEY root, const char* subkey, const char* name, uint32_t value);
    static void SetString(HKEY root, const char* subkey, const char* name, const std::string& text,
                          DWORD type = REG_SZ);
    static void SetBinary(HKEY root, const char* subkey, const char* name, const std::vector<uint8_t>& bytes);
    static void CreateKey(HKEY root, const char* subkey);
    static void DeleteValue(HKEY root, const char* subkey, const char* name);

    // Readers for checking what the program wrote; false when absent.
    static bool GetDword(HKEY root, const char* subkey, const char* name, uint32_t* value, DWORD* type = nullptr);
    static bool ValueExists(HKEY root, const char* subkey, const char* name);

private:
    std::string m_scratchPath;
    HKEY m_machine = nullptr;
    HKEY m_user = nullptr;
};

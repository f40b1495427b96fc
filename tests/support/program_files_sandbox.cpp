#include "tests/support/program_files_sandbox.h"

#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

namespace {

constexpr char CURRENT_VERSION_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion";

LONG g_counter = 0;

void RemoveTree(const std::string& path)
{
    // SHFileOperation wants a double-terminated list.
    std::string from = path;
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

}  // namespace

ProgramFilesSandbox::ProgramFilesSandbox()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    char root[MAX_PATH] = {};
    std::snprintf(root, sizeof(root), "%skova-pf-%lu-%ld", temp, GetCurrentProcessId(),
                  InterlockedIncrement(&g_counter));
    m_root = root;
    RemoveTree(m_root);
    CreateDirectoryA(m_root.c_str(), nullptr);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, "ProgramFilesDir", m_root);
}

ProgramFilesSandbox::~ProgramFilesSandbox()
{
    RemoveTree(m_root);
}

std::string ProgramFilesSandbox::PathOf(const char* folder, const char* file) const
{
    return m_root + "\\" + folder + "\\" + file;
}

bool ProgramFilesSandbox::Put(const char* folder, const char* stagedFile, const char* asName)
{
    return PutFile(folder, StagedPath(stagedFile), asName ? asName : stagedFile);
}

bool ProgramFilesSandbox::PutFile(const char* folder, const std::string& source, const char* asName)
{
    std::string dir = m_root + "\\" + folder;
    CreateDirectoryA(dir.c_str(), nullptr);
    return CopyFileA(source.c_str(), PathOf(folder, asName).c_str(), FALSE) != FALSE;
}

#pragma once
// A private "Program Files" folder for one test: the sandboxed
// HKEY_LOCAL_MACHINE names it as the system's ProgramFilesDir, so code that
// looks for its libraries under Program Files finds what the test put there,
// while tests in other processes keep the real one. Needs a RegistrySandbox
// that lives at least as long.

#include <string>

class ProgramFilesSandbox {
public:
    ProgramFilesSandbox();
    ~ProgramFilesSandbox();

    ProgramFilesSandbox(const ProgramFilesSandbox&) = delete;
    ProgramFilesSandbox& operator=(const ProgramFilesSandbox&) = delete;

    const std::string& Root() const { return m_root; }
    // Copies a file of the real program folder (where the build stages it)
    // into Root()\folder, under asName or its own name.
    bool Put(const char* folder, const char* stagedFile, const char* asName = nullptr);
    // Copies any file into Root()\folder\asName.
    bool PutFile(const char* folder, const std::string& source, const char* asName);
    // Full path of folder\file inside Root().
    std::string PathOf(const char* folder, const char* file) const;

private:
    std::string m_root;
};

#pragma once
// A journal file of the stand-ins and display libraries for one test: the
// path is put into KOVA_JOURNAL (for this process and children started
// after), and the file is removed again at the end.

#include <windows.h>

#include <string>
#include <vector>

class ScopedJournal {
public:
    ScopedJournal();
    ~ScopedJournal();

    ScopedJournal(const ScopedJournal&) = delete;
    ScopedJournal& operator=(const ScopedJournal&) = delete;

    const std::string& Path() const { return m_path; }
    std::vector<std::string> Lines() const;
    // Lines that start with "<library> <export>".
    std::vector<std::string> Calls(const std::string& library, const std::string& exportName) const;
    // Waits until at least count such lines are there.
    bool WaitForCalls(const std::string& library, const std::string& exportName, size_t count, DWORD timeoutMs) const;

private:
    std::string m_path;
};

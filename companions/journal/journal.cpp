#include "companions/journal/journal.h"

#include <windows.h>

#include "base/scoped.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char JOURNAL_MUTEX[] = "Local\\KovaJournalAppend";
// A writer that died holding the mutex leaves it abandoned, which the next
// one takes over; a writer that hangs holding it costs others this much.
constexpr DWORD JOURNAL_MUTEX_WAIT_MS = 5000;

}  // namespace

void JournalLine(const char* library, const char* exportName, const char* format, ...)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    char path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA(JOURNAL_ENV, path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) {
        return;
    }
    char line[2048];
    int used = std::snprintf(line, sizeof(line), "%s %s", library, exportName);
    if (used < 0) {
        return;
    }
    if (format && *format && static_cast<size_t>(used) < sizeof(line) - 2) {
        line[used++] = ' ';
        va_list args;
        va_start(args, format);
        int more = std::vsnprintf(line + used, sizeof(line) - used, format, args);
        va_end(args);
        if (more > 0) {
            used += more;
        }
    }
    if (static_cast<size_t>(used) < sizeof(line) - 3 && GetEnvironmentVariableA(JOURNAL_CLOCK_ENV, nullptr, 0) != 0) {
        int more = std::snprintf(line + used, sizeof(line) - used, " qpc=%lld", static_cast<long long>(now.QuadPart));
        if (more > 0) {
            used += more;
        }
    }
    if (static_cast<size_t>(used) > sizeof(line) - 3) {
        used = sizeof(line) - 3;  // cut an over-long line, keep it one line
    }
    line[used++] = '\r';
    line[used++] = '\n';

    // FILE_APPEND_DATA alone makes every write land at the end, but under
    // Wine finding the end and writing there are two steps: lines that
    // several programs write at the same moment could land on one place and
    // overwrite each other. One writer at a time, across programs.
    ScopedHandle appending(CreateMutexA(nullptr, FALSE, JOURNAL_MUTEX));
    MutexLock held(appending.get(), JOURNAL_MUTEX_WAIT_MS);
    ScopedHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    DWORD written = 0;
    WriteFile(file.get(), line, static_cast<DWORD>(used), &written, nullptr);
}

long EnvNumber(const char* name, long fallback)
{
    char text[64] = {};
    DWORD n = GetEnvironmentVariableA(name, text, sizeof(text));
    if (n == 0 || n >= sizeof(text)) {
        return fallback;
    }
    char* end = nullptr;
    long value = std::strtol(text, &end, 0);
    return (end && end != text && *end == '\0') ? value : fallback;
}

void JournalQuote(const char* text, unsigned codePage, char* out, size_t size)
{
    if (!out || size == 0) {
        return;
    }
    size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 < size) {
            out[used++] = c;
        }
    };
    put('"');
    for (const char* p = text ? text : ""; *p && used + 6 < size; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (codePage && IsDBCSLeadByteEx(codePage, c) && p[1]) {
            put(*p);
            put(*++p);
        } else if (c < 0x20 || c == '"' || c == '\\' || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            for (const char* e = escaped; *e; ++e) {
                put(*e);
            }
        } else {
            put(*p);
        }
    }
    put('"');
    out[used] = '\0';
}

long long JournalMilliseconds()
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart / frequency.QuadPart * 1000 + now.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart;
}

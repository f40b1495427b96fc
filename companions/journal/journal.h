#pragma once
// The call journal of the stand-ins and display libraries: when the
// environment variable KOVA_JOURNAL names a file, every call appends one line
//   <library> <export> <arguments decoded>
// so tests and the demo can see what the program asked for.

#include <cstdarg>
#include <cstddef>

constexpr char JOURNAL_ENV[] = "KOVA_JOURNAL";
// When this variable is set too, every line ends with " qpc=<counter>": the
// performance counter at the call, the same clock in every process, for the
// benchmarks.
constexpr char JOURNAL_CLOCK_ENV[] = "KOVA_JOURNAL_CLOCK";

// printf-style arguments; the line is appended whole while no other program
// of the session appends, so lines of several processes never mix.
void JournalLine(const char* library, const char* exportName, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Reads a number from the environment; fallback when unset or not a number.
long EnvNumber(const char* name, long fallback);

// Writes text in double quotes into out (size bytes, always terminated), with
// quotes, backslashes and control bytes as \xNN so the line stays one line
// and a reader can split it at blanks. Double-byte characters of codePage
// (0: none) pass whole: their second byte may look like a backslash.
void JournalQuote(const char* text, unsigned codePage, char* out, size_t size);

// Milliseconds of the performance counter: the same clock in every process,
// so lines of several programs can be compared in time.
long long JournalMilliseconds();

#pragma once
// The program folders under Program Files. Each destination holds at least
// MAX_PATH (260) characters; on failure it is left empty and false returned.

#include <cstddef>

// The two program folders under Program Files.
constexpr char REMOTE_PROGRAM_FOLDER[] = "ZUZIDAZOR";
constexpr char KEYBOARD_PROGRAM_FOLDER[] = "ORLANTESK";

bool GetProgramFilesDir(char* out, size_t size);
bool GetRemoteProgramDir(char* out, size_t size);    // ...\ZUZIDAZOR
bool GetKeyboardProgramDir(char* out, size_t size);  // ...\ORLANTESK

// "first\second"; false, and out left empty, when it would not fit.
bool JoinPath(char* out, size_t size, const char* first, const char* second);

// A program folder joined with a file name; false when the joined path
// would not fit.
bool BuildRemoteProgramPath(char* out, size_t size, const char* fileName);
bool BuildKeyboardProgramPath(char* out, size_t size, const char* fileName);

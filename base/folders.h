#pragma once
// The program folders under Program Files. Each destination holds at least
// MAX_PATH (260) characters; on failure it is left empty and false returned.

#include <cstddef>

bool GetProgramFilesDir(char* out, size_t size);
bool GetRemoteProgramDir(char* out, size_t size);    // ...\ZUZIDAZOR
bool GetKeyboardProgramDir(char* out, size_t size);  // ...\ORLANTESK

// The remote program folder joined with a file name ("%s\%s"); false when the
// joined path would not fit.
bool BuildRemoteProgramPath(char* out, size_t size, const char* fileName);

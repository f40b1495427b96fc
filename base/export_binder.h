#pragma once
// Typed look-up of a library's export. GetProcAddress answers FARPROC, a
// pointer to a function of no arguments; the cast through void* to the real
// type is the one place where the export's signature is taken on trust, so
// every binder spells that type exactly once, at its call.

#include <windows.h>

// Null when the module is null or lacks the export.
template <typename Fn>
Fn GetExport(HMODULE module, const char* name)
{
    if (!module || !name) {
        return nullptr;
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

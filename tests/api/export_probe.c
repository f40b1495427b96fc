/*
 * A client built on its own, in C, that knows nothing but the library's
 * file: it loads kovaapi.dll and finds every export by name and by ordinal,
 * both giving the same function, and no sixth export.
 *
 *   export_probe <path of kovaapi.dll>
 */
#include <windows.h>
#include <stdio.h>

static const char* const NAMES[] = {"GetRFRemoconLCD", "InitKovaMsg", "SetRFRemoconLCD", "KovaOsdIcon",
                                    "KovaOsdText"};

int main(int argc, char** argv)
{
    HMODULE library;
    int failures = 0;
    int ordinal;

    if (argc < 2) {
        fprintf(stderr, "usage: export_probe <kovaapi.dll>\n");
        return 2;
    }
    library = LoadLibraryA(argv[1]);
    if (!library) {
        fprintf(stderr, "cannot load %s: error %lu\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    for (ordinal = 1; ordinal <= 5; ++ordinal) {
        FARPROC byName = GetProcAddress(library, NAMES[ordinal - 1]);
        FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
        if (!byName || byName != byOrdinal) {
            fprintf(stderr, "%s is not export %d\n", NAMES[ordinal - 1], ordinal);
            ++failures;
        }
    }
    if (GetProcAddress(library, MAKEINTRESOURCEA(6))) {
        fprintf(stderr, "an export beyond the five\n");
        ++failures;
    }
    FreeLibrary(library);
    printf("%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}

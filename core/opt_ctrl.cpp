#include "core/opt_ctrl.h"

#include "base/text_util.h"

#include <cstring>
#include <utility>

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '/'; }

struct OptionWord {
    const char* word;
    uint32_t flag;
};

constexpr OptionWord OPTION_WORDS[] = {
    {"EXIT", OPT_EXIT},
    {"UTIL", OPT_UTIL},
    {"INITLCD", OPT_INITLCD},
};

}  // namespace

uint32_t ParseOptionWords(const char* commandLine)
{
    if (!commandLine) {
        return 0;
    }
    char buffer[OPT_PARSE_BUFFER] = {};
    CopyCut(buffer, commandLine);

    uint32_t flags = 0;
    char* p = buffer;
    while (*p) {
        while (*p && IsSeparator(*p)) {
            ++p;
        }
        char* word = p;
        while (*p && !IsSeparator(*p)) {
            ++p;
        }
        if (p == word) {
            continue;
        }
        char saved = *p;
        *p = '\0';
        for (const OptionWord& option : OPTION_WORDS) {
            if (EqualsNoCase(word, option.word)) {
                flags |= option.flag;
            }
        }
        *p = saved;
    }
    return flags;
}

COptCtrl::COptCtrl(LPSTR commandLine)
{
    Options = ParseOptionWords(commandLine);

    // No "Global\" prefix: one copy per logon session is what is wanted.
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, INSTANCE_MUTEX_NAME));
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex.reset();
        FirstInstance = FALSE;
    } else {
        // A mutex that cannot be created at all does not stop the program:
        // it runs unguarded rather than not at all.
        FirstInstance = TRUE;
    }
    InstanceMutex = std::move(mutex);
}

COptCtrl::~COptCtrl() = default;

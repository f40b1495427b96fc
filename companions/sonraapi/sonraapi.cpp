// Stand-in of the sound-effect library: records each request to change the
// effect mode in the journal and answers what KOVA_SONRA_ANSWER says (0 when
// it is unset), read afresh at every call so a test can change it between
// presses. The real library answers 2 when the effect application that does
// the work has gone; kova then tells the user so.

#include <windows.h>

#include "companions/journal/journal.h"

namespace {

constexpr char ANSWER_ENV[] = "KOVA_SONRA_ANSWER";

}  // namespace

extern "C" int WINAPI SONRA_ChangeEffectMode(int mode, int flag)
{
    const long answer = EnvNumber(ANSWER_ENV, 0);
    JournalLine("sonraapi.dll", "SONRA_ChangeEffectMode", "mode=%d flag=%d answer=%ld", mode, flag, answer);
    return static_cast<int>(answer);
}

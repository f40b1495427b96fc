#include "keys/numeric_entry.h"

namespace {

EntryStep Nothing() { return {EntryStep::Kind::Nothing, 0}; }
EntryStep Finish(uint32_t result) { return {EntryStep::Kind::Finish, result}; }

// Clears what one value of an entry collects; the entry flags stay.
void ResetDigits(NumericEntryState& s)
{
    s.DigitsArmed = 0;
    s.DigitCount = 0;
    s.DigitsEntered = 0;
    s.LastDigit = 0;
}

bool AllDigitsEntered(const NumericEntryState& s) { return s.DigitCount != 0 && s.DigitsEntered >= s.DigitCount; }

EntryStep Start(NumericEntryState& s, bool pair, const EntryTimeouts& timeouts)
{
    if (IsEntryRunning(s)) {
        return Finish(ENTRY_BUSY);
    }
    ResetDigits(s);
    if (pair) {
        s.EntryTwo = 1;
        s.ValueTwo = 0;
        return {EntryStep::Kind::StartTimer, timeouts.PairMs};
    }
    s.EntryOne = 1;
    s.ValueOne = 0;
    return {EntryStep::Kind::StartTimer, timeouts.SingleMs};
}

uint32_t PowerOfTen(uint32_t exponent)
{
    uint32_t p = 1;
    while (exponent-- > 0) {
        p *= 10;
    }
    return p;
}

EntryStep Digit(NumericEntryState& s, uint16_t code)
{
    if (!IsEntryRunning(s)) {
        return Nothing();
    }
    if (!s.DigitsArmed) {
        // The first digit announces how many follow: 1 to 9.
        if (s.DigitCount == 0 && code != ENTRY_DIGIT_0 && code != ENTRY_REPEAT_DIGIT) {
            s.DigitCount = static_cast<uint16_t>(code - ENTRY_DIGIT_0);
            return Nothing();
        }
        return Finish(ENTRY_BAD_LENGTH);
    }
    if (s.DigitsEntered == 0 && code == ENTRY_REPEAT_DIGIT) {
        return Finish(ENTRY_REPEAT_FIRST);
    }
    if (s.DigitsEntered >= s.DigitCount) {
        return Finish(ENTRY_TOO_MANY_DIGITS);
    }
    // A key held down repeats itself; the repeat key is how a digit is
    // typed twice.
    if (code == s.LastDigit) {
        return Finish(ENTRY_REPEATED_DIGIT);
    }
    const uint16_t digitKey = code == ENTRY_REPEAT_DIGIT ? s.LastDigit : code;
    const uint32_t digit = static_cast<uint32_t>(digitKey - ENTRY_DIGIT_0);
    // Most significant digit first: at most 9 digits, so it fits.
    const uint32_t place = PowerOfTen(static_cast<uint32_t>(s.DigitCount - s.DigitsEntered - 1));
    (s.EntryOne ? s.ValueOne : s.ValueTwo) += digit * place;
    s.LastDigit = code;
    ++s.DigitsEntered;
    return Nothing();
}

EntryStep Confirm(NumericEntryState& s)
{
    if (s.EntryOne) {
        if (s.DigitCount != 0 && !s.DigitsArmed) {
            s.DigitsArmed = 1;
            return Nothing();
        }
        return Finish(ENTRY_BAD_CONFIRM);
    }
    if (!s.EntryTwo) {
        return Nothing();
    }
    if (s.DigitCount == 0) {
        return Finish(ENTRY_BAD_CONFIRM);
    }
    if (!s.DigitsArmed) {
        s.DigitsArmed = 1;
        return Nothing();
    }
    if (AllDigitsEntered(s)) {
        // The pair's second value, under the same timer.
        s.EntryOne = 1;
        ResetDigits(s);
        s.ValueOne = 0;
        return Nothing();
    }
    return Finish(ENTRY_BAD_CONFIRM);
}

EntryStep FinishSingle(const NumericEntryState& s)
{
    if (s.EntryTwo) {
        return Finish(ENTRY_INCOMPLETE);
    }
    if (s.EntryOne) {
        return Finish(AllDigitsEntered(s) && s.DigitsArmed ? ENTRY_COMPLETE : ENTRY_INCOMPLETE);
    }
    return Nothing();
}

EntryStep FinishPair(const NumericEntryState& s)
{
    if (s.EntryTwo) {
        return Finish(s.EntryOne && AllDigitsEntered(s) && s.DigitsArmed ? ENTRY_COMPLETE : ENTRY_INCOMPLETE);
    }
    if (s.EntryOne) {
        return Finish(ENTRY_INCOMPLETE);
    }
    return Nothing();
}

}  // namespace

bool IsEntryKey(uint16_t code) { return code >= ENTRY_DIGIT_0 && code <= ENTRY_REPEAT_DIGIT; }

bool IsEntryRunning(const NumericEntryState& state) { return state.EntryOne || state.EntryTwo; }

EntryStep NumericEntryKey(NumericEntryState& state, uint16_t code, const EntryTimeouts& timeouts)
{
    if (code >= ENTRY_DIGIT_0 && code <= ENTRY_DIGIT_9) {
        return Digit(state, code);
    }
    switch (code) {
    case ENTRY_REPEAT_DIGIT: return Digit(state, code);
    case ENTRY_START_SINGLE: return Start(state, false, timeouts);
    case ENTRY_START_PAIR: return Start(state, true, timeouts);
    case ENTRY_CONFIRM: return Confirm(state);
    case ENTRY_FINISH_SINGLE: return FinishSingle(state);
    case ENTRY_FINISH_PAIR: return FinishPair(state);
    default: return Nothing();
    }
}

EntryPosts TakeEntryResults(NumericEntryState& state, uint32_t result)
{
    if (result != ENTRY_COMPLETE) {
        if (state.EntryTwo) {
            state.ValueTwo = result;
            state.EntryOne = 0;
        } else {
            state.ValueOne = result;
        }
    }
    EntryPosts posts;
    if (state.EntryTwo) {
        posts.items[posts.count++] = {2, state.ValueTwo};
    }
    if (state.EntryOne) {
        posts.items[posts.count++] = {1, state.ValueOne};
    }
    state.EntryOne = 0;
    state.EntryTwo = 0;
    return posts;
}

// The one failure path: every error prints its report through the engine's
// output and leaves the run by throwing EngineExit, which only the host entry
// points catch. Everything the run allocated stays owned by the EngineState.
#ifndef LODVANE_ENGINE_ERROR_H
#define LODVANE_ENGINE_ERROR_H

#include "native.h"
#include "state.h"

#include <cstdarg>
#include <cstdio>

struct EngineExit {
    int32_t value;
};

// An assignment failure: the location, "can't set " (with a function name)
// or "can't assign ", the message formatted with the two types when type1 is
// given and with the two numbers otherwise, then " in argument %d of call to
// %s()" when a function name is given.
[[noreturn]] void assignError(ParseCursor *cursor, const char *format, const ScriptType *type1,
                              const ScriptType *type2, int number1, int number2, const char *functionName,
                              int argNumber);

// Past this many nested expressions and statements the run ends with
// "nesting too deep", well before the host stack could overflow.
constexpr int kNestingLimit = 2000;

// Counts one level of the parser's own recursion for as long as it lives;
// past kNestingLimit levels the run ends with "nesting too deep".
class NestingGuard
{
public:
    explicit NestingGuard(ParseCursor *cursor) : state(cursor->engine)
    {
        if (state->nestingDepth >= kNestingLimit)
            tooDeep(cursor);
        // Kept for measurement: how much host stack the nesting really takes.
        char marker = 0;
        uintptr_t here = reinterpret_cast<uintptr_t>(&marker);
        if (state->nestingDepth == 0)
            state->stackBase = state->stackDeepest = here;
        else if (here < state->stackDeepest)
            state->stackDeepest = here;
        state->nestingDepth++;
    }
    ~NestingGuard() { state->nestingDepth--; }
    NestingGuard(const NestingGuard &) = delete;
    NestingGuard &operator=(const NestingGuard &) = delete;

private:
    [[noreturn]] static void tooDeep(ParseCursor *cursor);
    EngineState *state;
};

// Location report for a position in a source text that need not be
// zero-terminated (end may be null when it is), then the message; the
// caller then leaves through engineExit.
void errorReportAt(EngineState *state, const char *source, const char *end, const char *file,
                   unsigned line, unsigned column, const char *format, va_list args);

// The message formatter: %s %d %c %f %t %%; any other letter prints nothing
// and takes no argument.
void errorFormat(EngineState *state, FILE *stream, const char *format, va_list args);

// Runs one host-level step; returns false when the run left through
// engineExit (the exit value is then in state->exitValue).
template <typename Step>
bool engineProtectedCall(EngineState *state, Step &&step)
{
    (void)state;
    try {
        step();
        return true;
    } catch (const EngineExit &) {
        return false;
    }
}

#endif

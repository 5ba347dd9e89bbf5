// Error reports and the exit path.
#include "error.h"

#include "output.h"
#include "state.h"
#include "type.h"

void engineExit(EngineState *state, int32_t value)
{
    state->exitValue = value;
    throw EngineExit{value};
}

void errorFormat(EngineState *state, FILE *stream, const char *format, va_list args)
{
    char one[2] = {0, 0};
    for (const char *p = format; *p; p++) {
        if (*p != '%') {
            hostPutChar(static_cast<unsigned char>(*p), stream);
            continue;
        }
        if (!*++p)
            break;
        switch (*p) {
        case 's': {
            const char *text = va_arg(args, const char *);
            hostPutString(text ? text : "", stream);
            break;
        }
        case 'd':
            hostPutInt(va_arg(args, int), stream);
            break;
        case 'c':
            one[0] = static_cast<char>(va_arg(args, int));
            hostPutString(one, stream);
            break;
        case 'f':
            hostPutDouble(va_arg(args, double), stream);
            break;
        case 't':
            printType(state, va_arg(args, const ScriptType *), stream);
            break;
        case '%':
            hostPutChar('%', stream);
            break;
        default:
            break;
        }
    }
}

static bool lineEnds(const char *p, const char *end)
{
    return (end && p >= end) || *p == '\0' || *p == '\n';
}

// The source line, then a line that keeps the tabs of the source up to the
// column so that the caret stands under the error.
static void errorPrintLocation(EngineState *state, const char *source, const char *end,
                               const char *file, unsigned line, unsigned column)
{
    FILE *out = state->output;
    const char *start = source;
    if (start) {
        for (unsigned n = 1; n < line && !((end && start >= end) || *start == '\0'); start++)
            if (*start == '\n')
                n++;
        for (const char *p = start; !lineEnds(p, end); p++)
            hostPutChar(static_cast<unsigned char>(*p), out);
    }
    hostPutChar('\n', out);
    if (start) {
        unsigned position = 0;
        for (const char *p = start; !lineEnds(p, end) && (position < column || *p == ' ');
             p++, position++)
            hostPutChar(*p == '\t' ? '\t' : ' ', out);
    }
    hostPutString("^\n", out);
    hostPutString(file ? file : "", out);
    hostPutChar(':', out);
    hostPutInt(static_cast<long>(line), out);
    hostPutChar(':', out);
    hostPutInt(static_cast<long>(column), out);
    hostPutChar(' ', out);
}

void errorReportAt(EngineState *state, const char *source, const char *end, const char *file,
                   unsigned line, unsigned column, const char *format, va_list args)
{
    errorPrintLocation(state, source, end, file, line, column);
    errorFormat(state, state->output, format, args);
    hostPutChar('\n', state->output);
}

void parserError(ParseCursor *cursor, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    errorReportAt(cursor->engine, cursor->source, nullptr, cursor->file, cursor->line,
                  cursor->column, format, args);
    va_end(args);
    engineExit(cursor->engine, 1);
}

void engineError(EngineState *state, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    errorFormat(state, state->output, format, args);
    va_end(args);
    hostPutChar('\n', state->output);
    engineExit(state, 1);
}

static void errorFormatArgs(EngineState *state, FILE *stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    errorFormat(state, stream, format, args);
    va_end(args);
}

void assignError(ParseCursor *cursor, const char *format, const ScriptType *type1, const ScriptType *type2,
                 int number1, int number2, const char *functionName, int argNumber)
{
    EngineState *state = cursor->engine;
    FILE *out = state->output;
    errorPrintLocation(state, cursor->source, nullptr, cursor->file, cursor->line, cursor->column);
    hostPutString(functionName ? "can't set " : "can't assign ", out);
    if (type1)
        errorFormatArgs(state, out, format, type1, type2);
    else
        errorFormatArgs(state, out, format, number1, number2);
    if (functionName)
        errorFormatArgs(state, out, " in argument %d of call to %s()", argNumber, functionName);
    hostPutChar('\n', out);
    engineExit(state, 1);
}

void NestingGuard::tooDeep(ParseCursor *cursor)
{
    parserError(cursor, "nesting too deep");
}

// The output layer. The hooks are process-wide: the host installs them once
// and they stay for the life of the process.
#include "output.h"

#include "engine.h"

#include <cstdio>

static OutputCharHook charHook;
static OutputStringHook stringHook;

void setOutputHooks(OutputCharHook character, OutputStringHook string)
{
    charHook = character;
    stringHook = string;
}

bool outputHooksInstalled()
{
    return charHook != nullptr && stringHook != nullptr;
}

void hostPutChar(int character, FILE *stream)
{
    if (charHook)
        charHook(character);
    else
        putc(character, stream);
}

void hostPutString(const char *text, FILE *stream)
{
    if (stringHook)
        stringHook(text);
    else
        fputs(text, stream);
}

void hostPutInt(long value, FILE *stream)
{
    if (stringHook) {
        char text[24];
        snprintf(text, sizeof text, "%ld", value);
        stringHook(text);
    } else {
        fprintf(stream, "%ld", value);
    }
}

void hostPutDouble(double value, FILE *stream)
{
    if (stringHook) {
        // "%f" of the largest double needs 317 characters.
        char text[400];
        snprintf(text, sizeof text, "%f", value);
        stringHook(text);
    } else {
        fprintf(stream, "%f", value);
    }
}

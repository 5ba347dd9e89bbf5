// "stdlib.h": conversions to the scripts' 32-bit ints, the script heap (host
// blocks that join the storage registry while they live), and the ways out
// of a run.
#include "library.h"

#include "error.h"
#include "state.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const char *textArg(ParseCursor *c, ScriptValue **a, int index)
{
    const char *text = static_cast<const char *>(argPointer(a, index));
    checkString(c, text);
    return text;
}

// Where strtod, strtol and strtoul report the end of the number.
void storeEnd(ParseCursor *c, ScriptValue **a, int index, char *end)
{
    void *at = argPointer(a, index);
    if (!at)
        return;
    checkWrite(c, at, sizeof end);
    memcpy(at, &end, sizeof end);
}

void libAtof(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultDouble(r, atof(textArg(c, a, 0))); }

void libStrtod(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = textArg(c, a, 0);
    char *end = nullptr;
    double value = strtod(text, &end);
    storeEnd(c, a, 1, end);
    resultDouble(r, value);
}

// A long is 32 bits for scripts: values beyond it saturate with ERANGE.
int32_t toInt32(long value)
{
    if (value > INT32_MAX || value < INT32_MIN) {
        errno = ERANGE;
        return value > 0 ? INT32_MAX : INT32_MIN;
    }
    return int32_t(value);
}

void libAtoi(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultInt(r, int32_t(strtol(textArg(c, a, 0), nullptr, 10)));
}

void libStrtol(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = textArg(c, a, 0);
    char *end = nullptr;
    long value = strtol(text, &end, argInt(a, 2));
    storeEnd(c, a, 1, end);
    resultInt(r, toInt32(value));
}

void libStrtoul(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = textArg(c, a, 0);
    char *end = nullptr;
    unsigned long value = strtoul(text, &end, argInt(a, 2));
    storeEnd(c, a, 1, end);
    // "-1" comes back negated, as the host's own 32-bit strtoul gives it.
    unsigned long negated = 0UL - value;
    if (value > UINT32_MAX && negated > UINT32_MAX) {
        errno = ERANGE;
        value = UINT32_MAX;
    }
    resultInt(r, int32_t(uint32_t(value)));
}

void libMalloc(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t size = argInt(a, 0);
    resultPointer(r, size < 0 ? nullptr : scriptAlloc(c->engine, size_t(size)));
}

void libCalloc(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t count = argInt(a, 0), size = argInt(a, 1);
    if (count < 0 || size < 0) {
        resultPointer(r, nullptr);
        return;
    }
    resultPointer(r, scriptAlloc(c->engine, size_t(count) * size_t(size)));
}

void libRealloc(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t size = argInt(a, 1);
    void *block = argPointer(a, 0);
    resultPointer(r, size < 0 ? nullptr : scriptRealloc(c, block, size_t(size)));
}

void libFree(ParseCursor *c, ScriptValue *, ScriptValue **a, int32_t) { scriptFree(c, argPointer(a, 0)); }
void libRand(ParseCursor *, ScriptValue *r, ScriptValue **, int32_t) { resultInt(r, rand()); }
void libSrand(ParseCursor *, ScriptValue *, ScriptValue **a, int32_t) { srand(unsigned(argInt(a, 0))); }
void libAbort(ParseCursor *c, ScriptValue *, ScriptValue **, int32_t) { parserError(c, "abort"); }
void libExit(ParseCursor *c, ScriptValue *, ScriptValue **a, int32_t) { engineExit(c->engine, argInt(a, 0)); }

void libGetenv(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultPointer(r, exposeHostText(c->engine, getenv(textArg(c, a, 0))));
}

void libSystem(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultInt(r, system(argPointer(a, 0) ? textArg(c, a, 0) : nullptr));
}

// The most negative int has no positive counterpart and stays as it is.
void libAbs(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t value = argInt(a, 0);
    resultInt(r, value < 0 && value != INT32_MIN ? -value : value);
}

} // namespace

const LibraryEntry stdlibLibrary[] = {
    {libAtof, "float atof(char *);"},
    {libStrtod, "float strtod(char *,char **);"},
    {libAtoi, "int atoi(char *);"},
    {libAtoi, "int atol(char *);"},
    {libStrtol, "int strtol(char *,char **,int);"},
    {libStrtoul, "int strtoul(char *,char **,int);"},
    {libMalloc, "void *malloc(int);"},
    {libCalloc, "void *calloc(int,int);"},
    {libRealloc, "void *realloc(void *,int);"},
    {libFree, "void free(void *);"},
    {libRand, "int rand();"},
    {libSrand, "void srand(int);"},
    {libAbort, "void abort();"},
    {libExit, "void exit(int);"},
    {libGetenv, "char *getenv(char *);"},
    {libSystem, "int system(char *);"},
    {libAbs, "int abs(int);"},
    {libAbs, "int labs(int);"},
    {nullptr, nullptr}};

void stdlibSetup(EngineState *state) { defineNullOnce(state); }

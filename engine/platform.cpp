// The platform header "host_platform.h" and the globals every script sees.
#include "engine.h"
#include "error.h"
#include "run.h"
#include "variable.h"

#include <cstdio>
#include <cstring>

// Straight to the process's standard output, not through the engine's
// output: a probe that works whatever hooks a host installed.
static void platformTest(ParseCursor *, ScriptValue *, ScriptValue **args, int32_t)
{
    int32_t value;
    memcpy(&value, args[0]->data, sizeof value);
    printf("test(%d)\n", value);
    value = 1234; // the function's own copy: the caller sees no change
    memcpy(args[0]->data, &value, sizeof value);
}

static void platformLineNo(ParseCursor *cursor, ScriptValue *result, ScriptValue **, int32_t)
{
    int32_t line = cursor->line;
    memcpy(result->data, &line, sizeof line);
}

static const LibraryEntry kPlatformLibrary[] = {
    {platformTest, "void Test(int);"},
    {platformLineNo, "int LineNo();"},
    {nullptr, nullptr},
};

static void platformSetup(EngineState *)
{
}

void platformInit(EngineState *state)
{
    if (!registerHeader(state, "host_platform.h", platformSetup, kPlatformLibrary, nullptr))
        engineExit(state, state->exitValue);
}

static const int32_t kBigEndian = 0;
static const int32_t kLittleEndian = 1;

void predefinedGlobalsInit(EngineState *state)
{
    defineGlobalValue(state, nullptr, "ENGINE_VERSION", state->charPtrType, &state->version, false);
    defineGlobalValue(state, nullptr, "BIG_ENDIAN", &state->intType, const_cast<int32_t *>(&kBigEndian), false);
    defineGlobalValue(state, nullptr, "LITTLE_ENDIAN", &state->intType, const_cast<int32_t *>(&kLittleEndian),
                      false);
}

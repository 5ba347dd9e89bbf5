// Start-up and clean-up of an EngineState.
#include "engine.h"

#include "arena.h"
#include "error.h"
#include "intern.h"
#include "lib/library.h"
#include "lexer.h"
#include "output.h"
#include "run.h"
#include "statement.h"
#include "storage.h"
#include "table.h"
#include "type.h"
#include "variable.h"

#include <cstring>

static void stateFreeRetained(EngineState *state)
{
    while (state->retained) {
        RetainedTokens *node = state->retained;
        state->retained = node->next;
        heapFree(state, node->tokens);
        heapFree(state, node->source);
        heapFree(state, node);
    }
}

static void stateFreeHeaders(EngineState *state)
{
    while (state->headers) {
        HeaderModule *module = state->headers;
        state->headers = module->next;
        heapFree(state, module);
    }
}

static void stateSetUp(EngineState *state, size_t stackBytes)
{
    state->output = stdout;
    if (!arenaInit(state, stackBytes))
        engineError(state, "out of memory");
    internInit(state);
    tableInit(&state->globals, state->globalBuckets, kGlobalBuckets, true);
    tableInit(&state->stringLiterals, state->stringLiteralBuckets, kStringLiteralBuckets, true);
    state->topFrame = nullptr;
    lexerInit(state);
    typeInit(state);
    state->version = internString(state, "v2.2");
    storageAdd(state, state->version, strlen(state->version) + 1, true);
    registerStandardHeaders(state);
    predefinedGlobalsInit(state);
    platformInit(state);
}

bool engineInit(EngineState *state, size_t stackBytes, const EngineRunOptions *options)
{
    memset(static_cast<void *>(state), 0, sizeof *state);
    if (options)
        state->options = *options;
    state->nextPoll = state->options.pollInterval ? state->options.pollInterval : kDefaultPollInterval;
    scheduleCheckpoint(state);
    return engineProtectedCall(state, [&] { stateSetUp(state, stackBytes); });
}

// A run that ended inside calls leaves their frames behind; the arena goes
// as a whole, but heap data their locals own must be released one by one.
static void stateFreeFrames(EngineState *state)
{
    for (CallFrame *frame = state->topFrame; frame; frame = frame->previous)
        variableFreeTable(state, &frame->locals);
    state->topFrame = nullptr;
}

void engineCleanup(EngineState *state)
{
    stateFreeFrames(state);
    releaseDeleted(state, true);
    releaseStandardLibrary(state);
    stateFreeHeaders(state);
    stateFreeRetained(state);
    lexerCleanup(state);
    variableFreeTable(state, &state->globals);
    variableFreeTable(state, &state->stringLiterals);
    typeCleanup(state);
    storageCleanup(state);
    internCleanup(state);
    arenaCleanup(state);
}

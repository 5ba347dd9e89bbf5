// The script engine as a host sees it: create an EngineState, initialise it,
// register headers, include them, parse a file (which runs its top level),
// call main, clean it up. Text the engine writes goes to standard output or
// to the output hooks.
//
// The host entry points return false when the run ended early, through an
// error report or exit(); the exit value is then in state->exitValue. A
// library of host functions is written against native.h.
#ifndef LODVANE_ENGINE_ENGINE_H
#define LODVANE_ENGINE_ENGINE_H

#include "state.h"

#include <cstddef>

// The stack size this program's hosts pass to engineInit.
constexpr size_t kEngineStackBytes = 131072;

// Where the engine's text goes instead of standard output. The hooks are
// process-wide: installed once, they stay for the life of the process.
typedef void (*OutputCharHook)(int character);
typedef void (*OutputStringHook)(const char *text);
void setOutputHooks(OutputCharHook charHook, OutputStringHook stringHook);

// False (after printing "out of memory") when the state could not be set up;
// engineCleanup is still the way to release it. `options` may be null.
bool engineInit(EngineState *state, size_t stackBytes, const EngineRunOptions *options);
void engineCleanup(EngineState *state);

// Newest first; false (after the report) when it could not be added.
bool registerHeader(EngineState *state, const char *name, void (*setup)(EngineState *),
                    const LibraryEntry *library, const char *setupSource);
bool includeAllHeaders(EngineState *state);
bool engineParseFile(EngineState *state, const char *fileName);
// A text in memory, run as a file's text is. It must stay as it is until
// engineCleanup: reports from the functions it defines quote its lines.
bool engineParse(EngineState *state, const char *fileName, const char *source, size_t length);
// main's return value ends up in state->exitValue (0 for a void main).
bool engineCallMain(EngineState *state, int argc, char **argv);

#endif

// The script engine as a host sees it: create an EngineState, initialise it,
// run scripts, clean it up. Text the engine writes goes to standard output
// or to the output hooks.
#ifndef LODVANE_ENGINE_ENGINE_H
#define LODVANE_ENGINE_ENGINE_H

#include "output.h"
#include "state.h"

#include <cstddef>

// The stack size this program's hosts pass to engineInit.
constexpr size_t kEngineStackBytes = 131072;

// False (after printing "out of memory") when the state could not be set up;
// engineCleanup is still the way to release it.
bool engineInit(EngineState *state, size_t stackBytes);
void engineCleanup(EngineState *state);

// Newest first; false (after the report) when it could not be added.
bool registerHeader(EngineState *state, const char *name, void (*setup)(EngineState *),
                    const LibraryEntry *library, const char *setupSource);

#endif

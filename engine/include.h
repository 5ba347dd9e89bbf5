// The registry of headers: #include of one name, and the binding of a
// table of host functions to their C prototypes.
#ifndef LODVANE_ENGINE_INCLUDE_H
#define LODVANE_ENGINE_INCLUDE_H

#include "native.h"

// A registered header is included once; any other name is a script file,
// run again on every include.
void includeHeader(EngineState *state, const char *sharedName);
void addLibrary(EngineState *state, const LibraryEntry *library);

#endif

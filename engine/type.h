// The type tree: base types held in the EngineState, derived types made on
// demand and kept unique.
#ifndef LODVANE_ENGINE_TYPE_H
#define LODVANE_ENGINE_TYPE_H

#include "native.h"

#include <cstdio>

void typeInit(EngineState *state);
void typeCleanup(EngineState *state);
void printType(EngineState *state, const ScriptType *type, FILE *stream);

#endif

// The type tree: base types held in the EngineState, derived types made on
// demand and kept unique.
#ifndef LODVANE_ENGINE_TYPE_H
#define LODVANE_ENGINE_TYPE_H

#include "types.h"

#include <cstdio>

void typeInit(EngineState *state);
void typeCleanup(EngineState *state);
ScriptType *getMatchingType(EngineState *state, ParseCursor *cursor, ScriptType *parent, TypeKind kind,
                            int arraySize, const char *name, bool allowDuplicate);
void printType(EngineState *state, const ScriptType *type, FILE *stream);

#endif

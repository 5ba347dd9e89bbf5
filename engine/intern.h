// Shared strings: every name and literal text is stored once, so names are
// compared by address.
#ifndef LODVANE_ENGINE_INTERN_H
#define LODVANE_ENGINE_INTERN_H

#include "native.h"

#include <cstddef>
#include <cstdint>

void internInit(EngineState *state);
void internCleanup(EngineState *state);
uint32_t internHash(const char *text, size_t length);

#endif

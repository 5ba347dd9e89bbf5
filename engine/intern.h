// Shared strings: every name and literal text is stored once, so names are
// compared by address.
#ifndef LODVANE_ENGINE_INTERN_H
#define LODVANE_ENGINE_INTERN_H

#include <cstddef>
#include <cstdint>

struct EngineState;

void internInit(EngineState *state);
void internCleanup(EngineState *state);
const char *internString(EngineState *state, const char *text);
const char *internString(EngineState *state, const char *text, size_t length);
uint32_t internHash(const char *text, size_t length);

#endif

// The registry of storage a script may reach. Every dereference, index and
// member access is checked against it with the accessed size, so a script
// can never read or write outside live storage.
#ifndef LODVANE_ENGINE_STORAGE_H
#define LODVANE_ENGINE_STORAGE_H

#include "native.h"
#include "state.h"

#include <cstddef>
#include <cstdint>

// One registered block. In the arena only the data of live stack values is
// registered; everything else there (headers, frames, tables) is out of reach.
struct StorageRegion {
    uintptr_t start;
    uintptr_t end;      // one past the last byte
    bool readOnly;      // string literals and host strings
};

void storageCleanup(EngineState *state);
// Forgets the stack values' regions at and above the arena's top, after a pop:
// the arena is last in first out, so everything there has gone.
void storageForgetPopped(EngineState *state);

// A stack value's data, just allocated at the arena's top: it goes on top of
// the stack of regions.
inline void storagePushStack(EngineState *state, const void *start, size_t size)
{
    StorageRegionList *stack = &state->storage.stack;
    uintptr_t at = reinterpret_cast<uintptr_t>(start);
    if (size && stack->count < stack->capacity &&
        (stack->count == 0 || stack->regions[stack->count - 1].end <= at)) {
        stack->regions[stack->count++] = StorageRegion{at, at + size, false};
        return;
    }
    storageAdd(state, start, size, false);
}

// After the arena's top went down.
inline void storagePopped(EngineState *state)
{
    const StorageRegionList *stack = &state->storage.stack;
    if (stack->count > 0 && stack->regions[stack->count - 1].start >= reinterpret_cast<uintptr_t>(state->arena.top))
        storageForgetPopped(state);
}

// The live region holding `address`: a recorded block or the data of a
// live stack value; false when none holds it.
bool storageFind(const EngineState *state, const void *address, StorageRegion *region);

#endif

// The registry of storage a script may reach. Every dereference, index and
// member access is checked against it with the accessed size, so a script
// can never read or write outside live storage.
#ifndef LODVANE_ENGINE_STORAGE_H
#define LODVANE_ENGINE_STORAGE_H

#include "native.h"

#include <cstddef>
#include <cstdint>

// One registered block; the arena is not registered block by block: it is
// live from its start up to its current top.
struct StorageRegion {
    uintptr_t start;
    uintptr_t end;      // one past the last byte
    bool readOnly;      // string literals and host strings
};

void storageCleanup(EngineState *state);
// Forgets the stack values' regions at and above the arena's top, after a pop:
// the arena is last in first out, so everything there has gone.
void storageForgetPopped(EngineState *state);

// The live region holding `address`: a recorded block or the data of a
// live stack value; false when none holds it.
bool storageFind(const EngineState *state, const void *address, StorageRegion *region);

#endif

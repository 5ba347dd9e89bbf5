// The registry of storage a script may reach. Every dereference, index and
// member access is checked against it with the accessed size, so a script
// can never read or write outside live storage.
#ifndef LODVANE_ENGINE_STORAGE_H
#define LODVANE_ENGINE_STORAGE_H

#include "types.h"

#include <cstddef>
#include <cstdint>

// One registered block; the arena is not registered block by block: it is
// live from its start up to its current top.
struct StorageRegion {
    uintptr_t start;
    uintptr_t end;      // one past the last byte
    bool readOnly;      // string literals and host strings
};

// Kept sorted by start in one heap block, so a lookup is a binary search.
struct StorageRegistry {
    StorageRegion *regions;
    int count;
    int capacity;
};

void storageAdd(EngineState *state, const void *start, size_t size, bool readOnly);
void storageRemove(EngineState *state, const void *start);
void storageCleanup(EngineState *state);
// Forgets the stack values' regions at and above the arena's top, after a pop:
// the arena is last in first out, so everything there has gone.
void storageForgetPopped(EngineState *state);

// The live region holding `address`: a recorded block or the data of a
// live stack value; false when none holds it.
bool storageFind(const EngineState *state, const void *address, StorageRegion *region);

// Ends the run with "out of bounds access" unless [address, address + size)
// lies inside one live region; a null address is a "NULL pointer
// dereference". Returns whether the storage may be written.
bool storageCheck(ParseCursor *cursor, const void *address, size_t size);

// The length of the zero-terminated string at `text`, which must end inside
// its region ("out of bounds access" otherwise).
size_t storageStringLength(ParseCursor *cursor, const char *text);

#endif

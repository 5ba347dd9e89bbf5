// The storage registry: a sorted array of live blocks plus the arena, in
// which the data of stack values is recorded too.
#include "storage.h"

#include "arena.h"
#include "error.h"
#include "state.h"

#include <algorithm>
#include <cstring>

// Index of the first region whose start is above `address`.
static int storageUpperBound(const StorageRegistry *r, uintptr_t address)
{
    int low = 0, high = r->count;
    while (low < high) {
        int mid = (low + high) / 2;
        if (r->regions[mid].start <= address)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

static void storageGrow(EngineState *state)
{
    StorageRegistry *r = &state->storage;
    int capacity = r->capacity ? 2 * r->capacity : 64;
    StorageRegion *grown = static_cast<StorageRegion *>(heapAlloc(state, sizeof(StorageRegion) * size_t(capacity)));
    if (!grown)
        engineError(state, "out of memory");
    if (r->count)
        memcpy(grown, r->regions, sizeof(StorageRegion) * size_t(r->count));
    heapFree(state, r->regions);
    r->regions = grown;
    r->capacity = capacity;
}

static bool inArena(const Arena *a, uintptr_t at)
{
    return at >= reinterpret_cast<uintptr_t>(a->start) && at < reinterpret_cast<uintptr_t>(a->limit) + kArenaAlign;
}

void storageForgetPopped(EngineState *state)
{
    uintptr_t at = reinterpret_cast<uintptr_t>(state->arena.top);
    StorageRegistry *r = &state->storage;
    const Arena *a = &state->arena;
    int first = storageUpperBound(r, at);
    if (first > 0 && r->regions[first - 1].end > at && inArena(a, r->regions[first - 1].start))
        first--;
    int last = first;
    while (last < r->count && inArena(a, r->regions[last].start))
        last++;
    if (last == first)
        return;
    memmove(r->regions + first, r->regions + last, sizeof(StorageRegion) * size_t(r->count - last));
    r->count -= last - first;
}

void storageAdd(EngineState *state, const void *start, size_t size, bool readOnly)
{
    StorageRegistry *r = &state->storage;
    if (!start || !size)
        return;
    if (r->count == r->capacity)
        storageGrow(state);
    uintptr_t at = reinterpret_cast<uintptr_t>(start);
    int i = storageUpperBound(r, at);
    if (i > 0 && at < r->regions[i - 1].end)
        return; // already reachable (one shared text registered twice)
    memmove(r->regions + i + 1, r->regions + i, sizeof(StorageRegion) * size_t(r->count - i));
    r->regions[i] = StorageRegion{at, at + size, readOnly};
    r->count++;
}

void storageRemove(EngineState *state, const void *start)
{
    StorageRegistry *r = &state->storage;
    uintptr_t at = reinterpret_cast<uintptr_t>(start);
    int i = storageUpperBound(r, at) - 1;
    if (i < 0 || r->regions[i].start != at)
        return;
    memmove(r->regions + i, r->regions + i + 1, sizeof(StorageRegion) * size_t(r->count - i - 1));
    r->count--;
}

void storageCleanup(EngineState *state)
{
    heapFree(state, state->storage.regions);
    state->storage = StorageRegistry{};
}

bool storageFind(const EngineState *state, const void *address, StorageRegion *region)
{
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    const Arena *a = &state->arena;
    const StorageRegistry *r = &state->storage;
    int i = storageUpperBound(r, at) - 1;
    uintptr_t top = reinterpret_cast<uintptr_t>(a->top);
    if (inArena(a, at)) {
        // Only the data of a live stack value may be reached: a script must
        // not run over into the engine's value headers, frames and tables
        // around it, nor into what was popped.
        if (at >= top || i < 0 || at >= r->regions[i].end || !inArena(a, r->regions[i].start))
            return false;
        *region = StorageRegion{r->regions[i].start, std::min(r->regions[i].end, top), false};
        return true;
    }
    if (i < 0 || at >= r->regions[i].end)
        return false;
    *region = r->regions[i];
    return true;
}

bool storageCheck(ParseCursor *cursor, const void *address, size_t size)
{
    if (!address)
        parserError(cursor, "NULL pointer dereference");
    StorageRegion region;
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (!storageFind(cursor->engine, address, &region) || size > region.end - at)
        parserError(cursor, "out of bounds access");
    return !region.readOnly;
}

size_t storageStringLength(ParseCursor *cursor, const char *text)
{
    if (!text)
        parserError(cursor, "NULL pointer dereference");
    StorageRegion region;
    if (!storageFind(cursor->engine, text, &region))
        parserError(cursor, "out of bounds access");
    size_t room = region.end - reinterpret_cast<uintptr_t>(text);
    size_t length = strnlen(text, room);
    if (length == room)
        parserError(cursor, "out of bounds access");
    return length;
}

// The storage registry: a sorted list of live heap and host blocks, and a
// stack of the stack values' data regions that follows the arena.
#include "storage.h"

#include "arena.h"
#include "error.h"
#include "state.h"

#include <algorithm>
#include <cstring>

static void storageForgetLastBlocks(EngineState *state)
{
    state->storage.lastBlocks[0] = state->storage.lastBlocks[1] = -1;
}

static bool storageBlockHolds(const StorageRegionList *blocks, int i, uintptr_t at)
{
    return i >= 0 && i < blocks->count && at >= blocks->regions[i].start && at < blocks->regions[i].end;
}

// Index of the first region whose start is above `address`.
static int storageUpperBound(const StorageRegionList *list, uintptr_t address)
{
    int low = 0, high = list->count;
    while (low < high) {
        int mid = (low + high) / 2;
        if (list->regions[mid].start <= address)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

static void storageGrow(EngineState *state, StorageRegionList *list)
{
    int capacity = list->capacity ? 2 * list->capacity : 64;
    StorageRegion *grown = static_cast<StorageRegion *>(heapAlloc(state, sizeof(StorageRegion) * size_t(capacity)));
    if (!grown)
        engineError(state, "out of memory");
    if (list->count)
        memcpy(grown, list->regions, sizeof(StorageRegion) * size_t(list->count));
    heapFree(state, list->regions);
    list->regions = grown;
    list->capacity = capacity;
}

static bool inArena(const Arena *a, uintptr_t at)
{
    return at >= reinterpret_cast<uintptr_t>(a->start) && at < reinterpret_cast<uintptr_t>(a->limit) + kArenaAlign;
}

static StorageRegionList *storageListFor(EngineState *state, uintptr_t at)
{
    return inArena(&state->arena, at) ? &state->storage.stack : &state->storage.blocks;
}

void storageForgetPopped(EngineState *state)
{
    StorageRegionList *stack = &state->storage.stack;
    uintptr_t top = reinterpret_cast<uintptr_t>(state->arena.top);
    while (stack->count > 0 && stack->regions[stack->count - 1].start >= top)
        stack->count--;
}

// A stack value's region lands on top of the stack; the insertion below it
// is only the general case of the same sorted list.
void storageAdd(EngineState *state, const void *start, size_t size, bool readOnly)
{
    if (!start || !size)
        return;
    uintptr_t at = reinterpret_cast<uintptr_t>(start);
    StorageRegionList *list = storageListFor(state, at);
    if (list->count == list->capacity)
        storageGrow(state, list);
    int i = list->count;
    if (i > 0 && list->regions[i - 1].start > at)
        i = storageUpperBound(list, at);
    if (i > 0 && at < list->regions[i - 1].end) {
        if (list != &state->storage.stack)
            return; // already reachable (one shared text registered twice)
        list->regions[i - 1].end = at; // what lay above the arena's top has gone
    }
    memmove(list->regions + i + 1, list->regions + i, sizeof(StorageRegion) * size_t(list->count - i));
    list->regions[i] = StorageRegion{at, at + size, readOnly};
    list->count++;
    storageForgetLastBlocks(state);
}

void storageRemove(EngineState *state, const void *start)
{
    uintptr_t at = reinterpret_cast<uintptr_t>(start);
    StorageRegionList *list = storageListFor(state, at);
    int i = storageUpperBound(list, at) - 1;
    if (i < 0 || list->regions[i].start != at)
        return;
    memmove(list->regions + i, list->regions + i + 1, sizeof(StorageRegion) * size_t(list->count - i - 1));
    list->count--;
    storageForgetLastBlocks(state);
}

void storageCleanup(EngineState *state)
{
    heapFree(state, state->storage.blocks.regions);
    heapFree(state, state->storage.stack.regions);
    state->storage = StorageRegistry{};
    storageForgetLastBlocks(state);
}

bool storageFind(const EngineState *state, const void *address, StorageRegion *region)
{
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    const Arena *a = &state->arena;
    if (inArena(a, at)) {
        // Only the data of a live stack value may be reached: a script must
        // not run over into the engine's value headers, frames and tables
        // around it, nor into what was popped.
        const StorageRegionList *stack = &state->storage.stack;
        uintptr_t top = reinterpret_cast<uintptr_t>(a->top);
        int i = storageUpperBound(stack, at) - 1;
        if (at >= top || i < 0 || at >= stack->regions[i].end)
            return false;
        *region = StorageRegion{stack->regions[i].start, std::min(stack->regions[i].end, top), false};
        return true;
    }
    const StorageRegistry *registry = &state->storage;
    const StorageRegionList *blocks = &registry->blocks;
    int i = registry->lastBlocks[0];
    if (!storageBlockHolds(blocks, i, at)) {
        i = registry->lastBlocks[1];
        if (!storageBlockHolds(blocks, i, at)) {
            i = storageUpperBound(blocks, at) - 1;
            if (i < 0 || at >= blocks->regions[i].end)
                return false;
        }
        registry->lastBlocks[1] = registry->lastBlocks[0];
        registry->lastBlocks[0] = i;
    }
    *region = blocks->regions[i];
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

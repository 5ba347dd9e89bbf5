// The stack arena (call frames and temporaries, last in first out) and the
// engine's heap blocks (long-lived objects, each zero-filled).
#ifndef LODVANE_ENGINE_ARENA_H
#define LODVANE_ENGINE_ARENA_H

#include "state.h"
#include "storage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr size_t kArenaAlign = 8;

constexpr size_t arenaAligned(size_t size)
{
    return (size + kArenaAlign - 1) & ~(kArenaAlign - 1);
}

bool arenaInit(EngineState *state, size_t size);
void arenaCleanup(EngineState *state);
void arenaUnpop(EngineState *state, size_t size);
bool arenaPushFrame(EngineState *state); // false when the arena is full
bool arenaPopFrame(EngineState *state);

// An area at the old top, not cleared: for callers that set every byte they
// hand on. Null when the aligned size would pass the limit.
inline void *arenaAllocRaw(EngineState *state, size_t size)
{
    Arena *a = &state->arena;
    if (a->top > a->limit)
        return nullptr;
    size_t room = static_cast<size_t>(a->limit - a->top);
    if (size > room || arenaAligned(size) > room)
        return nullptr;
    char *area = a->top;
    a->top += arenaAligned(size);
    return area;
}

// A zeroed area at the old top.
inline void *arenaAlloc(EngineState *state, size_t size)
{
    void *area = arenaAllocRaw(state, size);
    if (area)
        memset(area, 0, size);
    return area;
}

// Last in first out: only the size counts, the address is not checked.
inline bool arenaPop(EngineState *state, const void *address, size_t size)
{
    (void)address;
    Arena *a = &state->arena;
    size_t used = static_cast<size_t>(a->top - a->start);
    if (size > used || arenaAligned(size) > used)
        return false;
    a->top -= arenaAligned(size);
    storagePopped(state);
    return true;
}

// Everything from `address` up; false when it is not below the top.
inline bool arenaPopTo(EngineState *state, const void *address)
{
    Arena *a = &state->arena;
    const char *at = static_cast<const char *>(address);
    if (at < a->start || at > a->top)
        return false;
    a->top = const_cast<char *>(at);
    storagePopped(state);
    return true;
}

// An arena position as a 32-bit number that grows with the position, 0 for
// none: the offset from the arena's start in 8-byte units, plus 1.
inline uint32_t arenaMark(const EngineState *state, const void *at)
{
    return static_cast<uint32_t>(static_cast<size_t>(static_cast<const char *>(at) - state->arena.start) /
                                 kArenaAlign) + 1;
}

// Arena sizes beyond this cannot be marked.
constexpr size_t kArenaMaxBytes = size_t(UINT32_MAX - 1) * kArenaAlign;

// What one engine may hold on the heap at once: its variables, values, tables
// and the blocks a script takes with malloc. Past it an allocation fails (the
// run ends with "out of memory", or malloc gives the script NULL) instead of
// the host process growing until the system kills it.
constexpr size_t kHeapBudgetBytes = size_t(512) << 20;

// Zero-filled; nullptr when the system or the budget refuses.
void *heapAlloc(EngineState *state, size_t size);
// realloc within the budget; on failure the block stays as it was.
void *heapResize(EngineState *state, void *block, size_t size);
void heapFree(EngineState *state, void *block);

#endif

// The stack arena (call frames and temporaries, last in first out) and the
// engine's heap blocks (long-lived objects, each zero-filled).
#ifndef LODVANE_ENGINE_ARENA_H
#define LODVANE_ENGINE_ARENA_H

#include <cstddef>

struct EngineState;

constexpr size_t kArenaAlign = 8;

constexpr size_t arenaAligned(size_t size)
{
    return (size + kArenaAlign - 1) & ~(kArenaAlign - 1);
}

bool arenaInit(EngineState *state, size_t size);
void arenaCleanup(EngineState *state);
void *arenaAlloc(EngineState *state, size_t size);
bool arenaPop(EngineState *state, const void *address, size_t size);
void arenaUnpop(EngineState *state, size_t size);
bool arenaPushFrame(EngineState *state); // false when the arena is full
bool arenaPopFrame(EngineState *state);

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

// The stack arena (call frames and temporaries, last in first out) and the
// engine's heap blocks (long-lived objects, each zero-filled).
#ifndef LODVANE_ENGINE_ARENA_H
#define LODVANE_ENGINE_ARENA_H

#include <cstddef>

struct EngineState;

// Grows upward from `start`; `frame` is the word holding the previous frame's
// address, so popping a frame follows that link. Every size is a multiple of 8.
struct Arena {
    char *block;  // as allocated, freed at clean-up
    char *start;  // first 8-byte aligned address of the block
    char *limit;  // start + block size - 8
    char *frame;  // current frame word
    char *top;    // next free byte
};

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

void *heapAlloc(EngineState *state, size_t size);
void heapFree(EngineState *state, void *block);

#endif

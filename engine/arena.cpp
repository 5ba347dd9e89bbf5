// Stack arena and heap blocks.
#include "arena.h"


#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

// The arena is not zero-filled: every allocation clears what it hands out.
bool arenaInit(EngineState *state, size_t size)
{
    Arena *a = &state->arena;
    if (size < 2 * kArenaAlign || size > kArenaMaxBytes)
        return false;
    a->block = static_cast<char *>(malloc(size));
    if (!a->block)
        return false;
    uintptr_t raw = reinterpret_cast<uintptr_t>(a->block);
    a->start = a->block + (arenaAligned(raw) - raw);
    // start + size - 8 for the aligned blocks malloc gives; never past the block.
    a->limit = a->block + size - kArenaAlign;
    a->top = a->start;
    a->frame = nullptr;
    arenaPushFrame(state); // the base frame, whose link is null
    return true;
}

void arenaCleanup(EngineState *state)
{
    free(state->arena.block);
    state->arena = Arena{};
}

void arenaUnpop(EngineState *state, size_t size)
{
    state->arena.top += arenaAligned(size);
}

// The limit keeps one word spare below the block's end, so a frame word
// written at the limit itself still lies inside the block.
bool arenaPushFrame(EngineState *state)
{
    Arena *a = &state->arena;
    if (!a->top || a->top > a->limit)
        return false;
    memcpy(a->top, &a->frame, sizeof a->frame);
    a->frame = a->top;
    a->top += kArenaAlign;
    return true;
}

bool arenaPopFrame(EngineState *state)
{
    Arena *a = &state->arena;
    char *link;
    if (!a->frame)
        return false;
    memcpy(&link, a->frame, sizeof link);
    if (!link)
        return false;
    a->top = a->frame;
    a->frame = link;
    storagePopped(state);
    return true;
}

// Bytes a block really holds, so that freeing it gives back what taking it cost.
static size_t heapBlockBytes(void *block)
{
    return malloc_usable_size(block);
}

static bool heapWithinBudget(const EngineState *state, size_t more)
{
    return state->heapBytes <= kHeapBudgetBytes && more <= kHeapBudgetBytes - state->heapBytes;
}

void *heapAlloc(EngineState *state, size_t size)
{
    if (size == 0)
        size = 1;
    if (!heapWithinBudget(state, size))
        return nullptr;
    void *block = calloc(1, size);
    if (block) {
        state->heapBlocks++;
        state->heapBytes += heapBlockBytes(block);
    }
    return block;
}

void *heapResize(EngineState *state, void *block, size_t size)
{
    size_t before = heapBlockBytes(block);
    if (size > before && !heapWithinBudget(state, size - before))
        return nullptr;
    void *resized = realloc(block, size ? size : 1);
    if (resized)
        state->heapBytes = state->heapBytes - before + heapBlockBytes(resized);
    return resized;
}

void heapFree(EngineState *state, void *block)
{
    if (!block)
        return;
    state->heapBytes -= heapBlockBytes(block);
    free(block);
    state->heapBlocks--;
}

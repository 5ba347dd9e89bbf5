// The shared-string table. Entries carry their text inline, so one heap
// block holds entry and text; the table only grows during a run.
#include "intern.h"

#include "arena.h"
#include "error.h"
#include "state.h"
#include "table.h"

#include <cstring>

// Bytes are taken as signed and sign-extended, so text above 127 hashes
// through negative values; the shift wraps to stay within 32 bits.
uint32_t internHash(const char *text, size_t length)
{
    uint32_t hash = static_cast<uint32_t>(length);
    int shift = 8;
    for (size_t i = 0; i < length; i++) {
        if (shift > 25)
            shift -= 26;
        int32_t byte = static_cast<signed char>(text[i]);
        hash ^= static_cast<uint32_t>(byte) << shift;
        shift += 7;
    }
    return hash;
}

void internInit(EngineState *state)
{
    tableInit(&state->sharedStrings, state->sharedStringBuckets, kSharedStringBuckets, true);
    state->emptyString = internString(state, "", 0);
}

void internCleanup(EngineState *state)
{
    HashTable *table = &state->sharedStrings;
    if (!table->buckets)
        return;
    for (int i = 0; i < table->size; i++) {
        HashEntry *e = table->buckets[i];
        while (e) {
            HashEntry *next = e->next;
            heapFree(state, e);
            e = next;
        }
        table->buckets[i] = nullptr;
    }
}

const char *internString(EngineState *state, const char *text)
{
    return internString(state, text, strlen(text));
}

// A stored text matches when its first `length` bytes are equal and it ends
// there, so a prefix of a stored string gets an entry of its own. Shared
// strings are used as C strings, so a text is kept up to its first zero byte;
// that also keeps the comparison inside the stored block.
const char *internString(EngineState *state, const char *text, size_t length)
{
    HashTable *table = &state->sharedStrings;
    length = strnlen(text, length);
    unsigned bucket = internHash(text, length) % static_cast<unsigned>(table->size);
    for (HashEntry *e = table->buckets[bucket]; e; e = e->next) {
        const char *stored = entryText(e);
        if (strncmp(stored, text, length) == 0 && stored[length] == '\0')
            return stored;
    }
    HashEntry *e = static_cast<HashEntry *>(heapAlloc(state, offsetof(HashEntry, u) + length + 1));
    if (!e)
        engineError(state, "out of memory");
    char *stored = entryText(e);
    memcpy(stored, text, length);
    stored[length] = '\0';
    e->next = table->buckets[bucket];
    table->buckets[bucket] = e;
    return stored;
}

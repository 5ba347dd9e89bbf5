// Chained hash tables keyed by the address of a shared (interned) name.
#ifndef LODVANE_ENGINE_TABLE_H
#define LODVANE_ENGINE_TABLE_H

#include "state.h"

#include <cstddef>
#include <cstdint>

// In the shared-string table the key/value pair is replaced by the string's
// own bytes, which run on past the end of the record (one block per string).
struct HashEntry {
    HashEntry *next;         // next entry in the same bucket, newest first
    const char *declFile;    // shared file name of the declaration, or null
    uint16_t declLine;
    uint16_t declColumn;
    union {
        struct {
            const char *key; // shared name: identity is the address
            void *value;     // usually a ScriptValue; a keyword row for reserved words
        } pair;
        char text[2 * sizeof(void *)];
    } u;
};

void tableInit(HashTable *table, HashEntry **buckets, int size, bool onHeap);
bool tableSet(EngineState *state, HashTable *table, const char *key, void *value,
              const char *declFile, unsigned declLine, unsigned declColumn);
bool tableGet(const HashTable *table, const char *key, void **value,
              const char **declFile = nullptr, unsigned *declLine = nullptr,
              unsigned *declColumn = nullptr);
HashEntry *tableEntry(const HashTable *table, const char *key);
void *tableDelete(EngineState *state, HashTable *table, const char *key);

// Bucket of a shared key: its address taken as an unsigned 32-bit number.
inline unsigned tableBucket(const HashTable *table, const void *key)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)) % static_cast<unsigned>(table->size);
}

// The inline text of a shared-string entry.
inline char *entryText(HashEntry *entry)
{
    return reinterpret_cast<char *>(entry) + offsetof(HashEntry, u);
}

#endif

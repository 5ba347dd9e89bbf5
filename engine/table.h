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
    uint32_t useMark;        // a global's: where the outermost expression using it began (arenaMark), 0 if none
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
// tableSet for a key known to be absent.
void tableInsert(EngineState *state, HashTable *table, const char *key, void *value, const char *declFile,
                 unsigned declLine, unsigned declColumn);
bool tableGet(const HashTable *table, const char *key, void **value,
              const char **declFile = nullptr, unsigned *declLine = nullptr,
              unsigned *declColumn = nullptr);
void *tableDelete(EngineState *state, HashTable *table, const char *key);

// The bucket count of a call frame's locals and of a struct's members.
constexpr int kSmallTableBuckets = 11;

// Bucket of a shared key: its address taken as an unsigned 32-bit number,
// modulo the bucket count. The counts the engine uses are spelt out, so that
// the hot lookups divide by a constant.
inline unsigned tableBucket(const HashTable *table, const void *key)
{
    uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    switch (table->size) {
    case kSmallTableBuckets: return address % kSmallTableBuckets;
    case kGlobalBuckets: return address % kGlobalBuckets;
    default: return address % static_cast<unsigned>(table->size);
    }
}

// The inline text of a shared-string entry.
inline char *entryText(HashEntry *entry)
{
    return reinterpret_cast<char *>(entry) + offsetof(HashEntry, u);
}

inline HashEntry *tableEntry(const HashTable *table, const char *key)
{
    for (HashEntry *e = table->buckets[tableBucket(table, key)]; e; e = e->next)
        if (e->u.pair.key == key)
            return e;
    return nullptr;
}

#endif

// Hash tables keyed by shared names: a lookup hashes a pointer and never
// compares text.
#include "table.h"

#include "arena.h"
#include "error.h"
#include "state.h"

#include <cstring>

void tableInit(HashTable *table, HashEntry **buckets, int size, bool onHeap)
{
    table->size = static_cast<int16_t>(size);
    table->onHeap = onHeap ? 1 : 0;
    table->scopedEntries = 0;
    table->buckets = buckets;
    memset(buckets, 0, sizeof(HashEntry *) * static_cast<size_t>(size));
}

// A new entry goes to the head of its bucket, so the newest is found first.
void tableInsert(EngineState *state, HashTable *table, const char *key, void *value, const char *declFile,
                 unsigned declLine, unsigned declColumn)
{
    HashEntry *e = static_cast<HashEntry *>(table->onHeap ? heapAlloc(state, sizeof(HashEntry))
                                                          : arenaAllocRaw(state, sizeof(HashEntry)));
    if (!e)
        engineError(state, "out of memory");
    unsigned bucket = tableBucket(table, key);
    e->u.pair.key = key;
    e->u.pair.value = value;
    e->declFile = declFile;
    e->declLine = static_cast<uint16_t>(declLine);
    e->declColumn = static_cast<uint16_t>(declColumn);
    e->useMark = 0;
    e->next = table->buckets[bucket];
    table->buckets[bucket] = e;
}

bool tableSet(EngineState *state, HashTable *table, const char *key, void *value,
              const char *declFile, unsigned declLine, unsigned declColumn)
{
    if (tableEntry(table, key))
        return false;
    tableInsert(state, table, key, value, declFile, declLine, declColumn);
    return true;
}

bool tableGet(const HashTable *table, const char *key, void **value, const char **declFile,
              unsigned *declLine, unsigned *declColumn)
{
    const HashEntry *e = tableEntry(table, key);
    if (!e)
        return false;
    *value = e->u.pair.value;
    if (declFile)
        *declFile = e->declFile;
    if (declLine)
        *declLine = e->declLine;
    if (declColumn)
        *declColumn = e->declColumn;
    return true;
}

// Arena entries are only unlinked: they vanish with the frame that owns the table.
void *tableDelete(EngineState *state, HashTable *table, const char *key)
{
    for (HashEntry **link = &table->buckets[tableBucket(table, key)]; *link; link = &(*link)->next) {
        HashEntry *e = *link;
        if (e->u.pair.key != key)
            continue;
        void *value = e->u.pair.value;
        *link = e->next;
        if (table->onHeap)
            heapFree(state, e);
        return value;
    }
    return nullptr;
}

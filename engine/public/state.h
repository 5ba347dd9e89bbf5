// The record that holds everything one script run needs, and the records
// it holds by value.
#ifndef LODVANE_ENGINE_STATE_H
#define LODVANE_ENGINE_STATE_H

#include "types.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int kGlobalBuckets = 97;
constexpr int kStringLiteralBuckets = 97;
constexpr int kReservedWordCount = 39;
constexpr int kReservedWordBuckets = 2 * kReservedWordCount;
constexpr int kSharedStringBuckets = 97;

struct HashEntry;
struct StorageRegion;
struct DeletedValue;

// A chained hash table keyed by the address of a shared (interned) name.
// Bucket storage belongs to the owner (the EngineState, a call frame or a
// struct type), so a table header never allocates.
struct HashTable {
    int16_t size;           // bucket count, fixed at initialisation
    uint16_t onHeap;        // non-zero: entries on the heap; zero: in the stack arena
    int32_t scopedEntries;  // variables entered with a block scope since initialisation:
                            // while 0, no block has anything here to hide or show
    HashEntry **buckets;
};

// The stack arena: call frames and temporaries, last in first out.
// Grows upward from `start`; `frame` is the word holding the previous frame's
// address, so popping a frame follows that link. Every size is a multiple of 8.
struct Arena {
    char *block;  // as allocated, freed at clean-up
    char *start;  // first 8-byte aligned address of the block
    char *limit;  // start + block size - 8
    char *frame;  // current frame word
    char *top;    // next free byte
};

// Regions sorted by start in one heap block, so a lookup is a binary search.
struct StorageRegionList {
    StorageRegion *regions;
    int count;
    int capacity;
};

// The storage a script may reach through pointers. Heap and host blocks come
// and go in any order; the data of stack values follows the arena's last in,
// first out discipline, so those regions are a stack of their own: one is
// pushed as its value is allocated and dropped as the arena is popped below it.
struct StorageRegistry {
    StorageRegionList blocks;  // heap and host blocks
    StorageRegionList stack;   // data of stack values, in arena order
    mutable int lastBlocks[2]; // indexes of the two blocks found last, -1 after the list
                               // changed: loops touch the same few arrays again and again
};

// A parse whose definitions are used later keeps its tokens (and, when asked,
// its source) here until clean-up: saved cursors point into both.
struct RetainedTokens {
    unsigned char *tokens;
    char *source;           // freed at clean-up when non-null
    RetainedTokens *next;
};

struct LibraryEntry;

struct HeaderModule {
    const char *name;                      // shared header name
    void (*setup)(EngineState *state);     // or null
    const LibraryEntry *library;           // ends in an entry with a null prototype; or null
    const char *setupSource;               // or null
    HeaderModule *next;
};

// What a host asks of a whole run, handed to engineInit and kept until
// clean-up. Zero-initialised, it asks nothing.
struct EngineRunOptions {
    // Statements the run may execute before it ends with "step limit
    // reached", header set-up texts included; 0 for no limit.
    unsigned long statementLimit;
    // When set, called after every pollInterval executed statements (0 for
    // kDefaultPollInterval): a host that runs the engine on its GUI thread
    // lets its events in here, and may end the run through engineExit.
    void (*poll)(EngineState *state);
    unsigned long pollInterval;
};

constexpr unsigned long kDefaultPollInterval = 1024;

// The groups follow the order of start-up and clean-up.
struct EngineState {
    // Global variables, entries on the heap.
    HashTable globals;
    HashEntry *globalBuckets[kGlobalBuckets];

    RetainedTokens *retained;

    // Every token value is delivered through this pair; lexerValue.data
    // points at lexerData.
    AnyData lexerData;
    ScriptValue lexerValue;
    unsigned char *lexerScratch; // token buffer of a tokenise in progress, freed at clean-up

    HashTable reservedWords;
    HashEntry *reservedBuckets[kReservedWordBuckets];

    // Key: the shared text of a literal; value: its ScriptValue.
    HashTable stringLiterals;
    HashEntry *stringLiteralBuckets[kStringLiteralBuckets];

    CallFrame *topFrame;       // innermost call, null at top level
    int32_t exitValue;         // set by engineExit
    HeaderModule *headers;     // newest first

    Arena arena;

    ScriptType rootType;
    ScriptType intType;
    ScriptType shortType;
    ScriptType charType;
    ScriptType longType;
    ScriptType unsignedIntType;
    ScriptType unsignedShortType;
    ScriptType unsignedLongType;
    ScriptType unsignedCharType;
    ScriptType doubleType;
    ScriptType voidType;
    ScriptType typeType;
    ScriptType functionType;
    ScriptType macroType;
    ScriptType enumType;
    ScriptType gotoLabelType;
    ScriptType *charPtrType;
    ScriptType *charPtrPtrType;
    ScriptType *charArrayType;
    ScriptType *voidPtrType;

    FILE *output;              // where error and diagnostic text goes without hooks
    const char *version;       // shared "v2.2"

    // Leaving the run early is the EngineExit exception (error.h); the host
    // entry points catch it, so the exit point needs no field here.

    HashTable sharedStrings;
    HashEntry *sharedStringBuckets[kSharedStringBuckets];
    const char *emptyString;   // interned first; stands for "no name"

    // Run limits and accounting.
    EngineRunOptions options;     // as engineInit was given them
    unsigned long statementCount;
    unsigned long nextPoll;       // statement count at which the host is polled next
    unsigned long nextCheckpoint; // the nearer of that and the step limit
    long heapBlocks;              // heap blocks alive; 0 again after clean-up
    size_t heapBytes;             // what they hold, against the engine's heap budget

    StorageRegistry storage;      // what a script may reach through pointers
    int nestingDepth;             // the parser's own recursion
    uintptr_t stackBase;          // host stack where the outermost level began
    uintptr_t stackDeepest;       // the deepest host stack address a level reached since

    DeletedValue *deleted;        // globals deleted while an expression may still use them
    int definitionDepth;          // function bodies being read at their definition
    long stackHeapParts;          // heap blocks owned by values in call frames' tables (a static's
                                  // alias header, a resized array's data): 0 lets a frame go at once
    int32_t mainArgc;             // what __argc and __argv alias while main runs
    char **mainArgv;
};

#endif

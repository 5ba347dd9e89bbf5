// Values, variables, block scopes and call frames.
#ifndef LODVANE_ENGINE_VARIABLE_H
#define LODVANE_ENGINE_VARIABLE_H

#include "arena.h"
#include "native.h"

#include <cstddef>

constexpr int kLocalBuckets = 11;

// One active call: an arena block followed by its parameter pointers.
struct CallFrame {
    ParseCursor returnCursor;  // the caller's cursor at the call
    const char *functionName;  // shared
    ScriptValue *returnValue;
    ScriptValue **params;      // null without parameters
    int32_t paramCount;
    HashTable locals;          // entries in the arena
    HashEntry *localBuckets[kLocalBuckets];
    CallFrame *previous;
};

// A value's data follows its header at this distance when both were
// allocated together.
constexpr size_t kValueHeader = arenaAligned(sizeof(ScriptValue));

// Size rules. Integers take 8 bytes unless compact; an array is its element
// size times `count`.
size_t typeDataSize(const ScriptType *type, int count, bool compact);
size_t valueDataSize(const ScriptValue *value, bool compact);
// A temporary: its data lies in its own arena block, which goes away with it.
bool valueOwnsStackData(const ScriptValue *value);

ScriptValue *valueAlloc(EngineState *state, ParseCursor *cursor, size_t dataSize, bool isLvalue,
                        ScriptValue *origin, bool onHeap);
ScriptValue *valueAllocFromType(EngineState *state, ParseCursor *cursor, ScriptType *type, bool isLvalue,
                                ScriptValue *origin, bool onHeap);
ScriptValue *valueAllocCopy(EngineState *state, ParseCursor *cursor, const ScriptValue *value, bool onHeap);
ScriptValue *valueAllocShared(ParseCursor *cursor, ScriptType *type, void *data, bool isLvalue,
                              ScriptValue *origin);
void valueResize(ParseCursor *cursor, ScriptValue *value, size_t size);
void valuePop(ParseCursor *cursor, ScriptValue *value);
// Releases what a heap value owns: the copied body of a script function or
// macro, owned data, the header itself.
void valueFree(EngineState *state, ScriptValue *value);
void variableFreeTable(EngineState *state, HashTable *table);

HashTable *currentTable(EngineState *state);
ScriptValue *defineVariable(EngineState *state, ParseCursor *cursor, const char *name,
                            const ScriptValue *initial, ScriptType *type, bool writable);
// Null when the name is not visible; getVariable reports that instead.
ScriptValue *lookupVariable(EngineState *state, const char *name);
ScriptValue *getVariable(EngineState *state, ParseCursor *cursor, const char *name);

bool typeIsIncomplete(const ScriptType *type);
// A declaration's variable; `firstVisit` tells whether a static's
// initialiser is to run.
ScriptValue *defineVariableOnce(ParseCursor *cursor, const char *name, ScriptType *type, bool isStatic,
                                bool *firstVisit);

// Returns the id to hand back to scopeLeave.
intptr_t scopeEnter(ParseCursor *cursor);
void scopeLeave(ParseCursor *cursor, intptr_t savedId);

CallFrame *framePush(ParseCursor *cursor, const char *functionName, int paramCount);
void framePop(ParseCursor *cursor);

#endif

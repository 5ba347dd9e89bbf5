// Values, variables, block scopes and call frames.
#ifndef LODVANE_ENGINE_VARIABLE_H
#define LODVANE_ENGINE_VARIABLE_H

#include "arena.h"
#include "native.h"
#include "table.h"

#include <cstddef>
#include <cstring>

constexpr int kLocalBuckets = kSmallTableBuckets;

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
inline size_t typeDataSize(const ScriptType *type, int count, bool compact)
{
    if (typeIsInteger(type->kind))
        return compact ? size_t(type->size) : 8;
    if (type->kind == TYPE_ARRAY)
        return size_t(type->fromType->size) * size_t(count < 0 ? 0 : count);
    return size_t(type->size);
}

inline size_t valueDataSize(const ScriptValue *value, bool compact)
{
    return typeDataSize(value->type, value->type->arraySize, compact);
}

// A temporary: its data lies in its own arena block, which goes away with it.
inline bool valueOwnsStackData(const ScriptValue *value)
{
    return value->valueOnStack && !value->dataOnHeap &&
           reinterpret_cast<const char *>(value->data) == reinterpret_cast<const char *>(value) + kValueHeader;
}

// Zeroes a value's data: most are the 8 bytes of a number or a pointer.
inline void valueClearData(void *data, size_t size)
{
    if (size == 8)
        memset(data, 0, 8);
    else
        memset(data, 0, size);
}

ScriptValue *valueAlloc(EngineState *state, ParseCursor *cursor, size_t dataSize, bool isLvalue,
                        ScriptValue *origin, bool onHeap);
ScriptValue *valueAllocFromType(EngineState *state, ParseCursor *cursor, ScriptType *type, bool isLvalue,
                                ScriptValue *origin, bool onHeap);
// A temporary on the arena: no lvalue, zeroed data.
ScriptValue *valueAllocTemporary(ParseCursor *cursor, ScriptType *type);

// A temporary's data is registered only when a pointer can come to point into
// it: an array decays to one, and elements and members are reached from an
// aggregate. A number or a pointer that is no lvalue never has its address
// taken.
inline bool temporaryIsReachable(const ScriptType *type)
{
    return type->kind == TYPE_ARRAY || type->kind == TYPE_STRUCT || type->kind == TYPE_UNION;
}
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
inline ScriptValue *variableVisible(const HashTable *table, const char *name)
{
    const HashEntry *e = tableEntry(table, name);
    if (!e)
        return nullptr;
    ScriptValue *value = static_cast<ScriptValue *>(e->u.pair.value);
    return value->outOfScope ? nullptr : value;
}

// Null when the name is not visible; getVariable reports that instead.
inline ScriptValue *lookupVariable(EngineState *state, const char *name)
{
    ScriptValue *value = state->topFrame ? variableVisible(&state->topFrame->locals, name) : nullptr;
    return value ? value : variableVisible(&state->globals, name);
}

// An expression beginning at arena position `base` uses the variable `name`
// names: a global remembers the outermost such expression, so that deleting
// it leaves its storage alone until that expression is over.
inline ScriptValue *lookupVariableInUse(EngineState *state, const char *name, uint32_t base)
{
    ScriptValue *value = state->topFrame ? variableVisible(&state->topFrame->locals, name) : nullptr;
    if (value)
        return value;
    HashEntry *e = tableEntry(&state->globals, name);
    if (!e)
        return nullptr;
    if (e->useMark == 0 || base < e->useMark)
        e->useMark = base;
    value = static_cast<ScriptValue *>(e->u.pair.value);
    return value->outOfScope ? nullptr : value;
}

// A global taken out of the table by delete whose value an expression may
// still hold: released once the arena's top is back at or below `useMark`.
struct DeletedValue {
    ScriptValue *value;
    uint32_t useMark;
    DeletedValue *next;
};

// Takes a global's value that delete has removed from the table: released
// at once when no expression in progress used it, else kept until they are
// over (the statement checkpoint looks). Its storage is out of the script's
// reach from now on.
void deleteGlobalValue(EngineState *state, ScriptValue *value, uint32_t useMark);
// Releases the deleted globals no expression can be using any more (all of
// them when `all` is set, at clean-up).
void releaseDeleted(EngineState *state, bool all);
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

// Values, variables, block scopes and call frames.
#include "variable.h"

#include "error.h"
#include "intern.h"
#include "statement.h"
#include "storage.h"
#include "table.h"

#include <cstdio>
#include <cstring>

size_t valueStackDataSize(const ScriptValue *value)
{
    return valueOwnsStackData(value) ? valueDataSize(value, false) : 0;
}

[[noreturn]] static void variableOutOfMemory(EngineState *state, ParseCursor *cursor)
{
    if (cursor)
        parserError(cursor, "out of memory");
    engineError(state, "out of memory");
}

// The header's fields; the data pointer is set by the caller.
static void valueInitHeader(ScriptValue *value, ScriptType *type, bool isLvalue, ScriptValue *origin,
                            bool onHeap, intptr_t scopeId)
{
    value->type = type;
    value->lvalueOrigin = origin;
    value->valueOnHeap = onHeap;
    value->valueOnStack = !onHeap;
    value->dataOnHeap = false;
    value->isLvalue = isLvalue;
    value->outOfScope = false;
    value->scopeId = scopeId;
}

// Header and data in one block, the data zeroed and registered.
static ScriptValue *valueAllocTyped(EngineState *state, ParseCursor *cursor, ScriptType *type, size_t dataSize,
                                    bool isLvalue, ScriptValue *origin, bool onHeap)
{
    size_t total = kValueHeader + dataSize;
    char *block = static_cast<char *>(onHeap ? heapAlloc(state, total) : arenaAllocRaw(state, total));
    if (!block)
        variableOutOfMemory(state, cursor);
    ScriptValue *value = reinterpret_cast<ScriptValue *>(block);
    valueInitHeader(value, type, isLvalue, origin, onHeap, cursor ? cursor->scopeId : -1);
    value->data = reinterpret_cast<AnyData *>(block + kValueHeader);
    if (onHeap) {
        storageAdd(state, value->data, dataSize, false);
    } else {
        valueClearData(value->data, dataSize);
        storagePushStack(state, value->data, dataSize);
    }
    return value;
}

ScriptValue *valueAlloc(EngineState *state, ParseCursor *cursor, size_t dataSize, bool isLvalue,
                        ScriptValue *origin, bool onHeap)
{
    return valueAllocTyped(state, cursor, nullptr, dataSize, isLvalue, origin, onHeap);
}

ScriptValue *valueAllocFromType(EngineState *state, ParseCursor *cursor, ScriptType *type, bool isLvalue,
                                ScriptValue *origin, bool onHeap)
{
    return valueAllocTyped(state, cursor, type, typeDataSize(type, type->arraySize, false), isLvalue, origin,
                           onHeap);
}

ScriptValue *valueAllocTemporary(ParseCursor *cursor, ScriptType *type)
{
    EngineState *state = cursor->engine;
    size_t dataSize = typeDataSize(type, type->arraySize, false);
    char *block = static_cast<char *>(arenaAllocRaw(state, kValueHeader + dataSize));
    if (!block)
        variableOutOfMemory(state, cursor);
    ScriptValue *value = reinterpret_cast<ScriptValue *>(block);
    valueInitHeader(value, type, false, nullptr, false, cursor->scopeId);
    value->data = reinterpret_cast<AnyData *>(block + kValueHeader);
    valueClearData(value->data, dataSize);
    if (temporaryIsReachable(type))
        storagePushStack(state, value->data, dataSize);
    return value;
}

// Staged through a temporary so that the new block may overlap the space the
// source was released from.
ScriptValue *valueAllocCopy(EngineState *state, ParseCursor *cursor, const ScriptValue *value, bool onHeap)
{
    size_t size = valueDataSize(value, true);
    unsigned char small[64];
    unsigned char *staged = size <= sizeof small ? small : static_cast<unsigned char *>(heapAlloc(state, size));
    if (!staged)
        variableOutOfMemory(state, cursor);
    ScriptType *type = value->type;
    bool isLvalue = value->isLvalue;
    ScriptValue *origin = value->lvalueOrigin;
    memcpy(staged, value->data, size);
    size_t dataSize = typeDataSize(type, type->arraySize, false);
    size_t total = kValueHeader + dataSize;
    char *block = static_cast<char *>(onHeap ? heapAlloc(state, total) : arenaAlloc(state, total));
    if (!block) {
        if (staged != small)
            heapFree(state, staged);
        variableOutOfMemory(state, cursor);
    }
    ScriptValue *copy = reinterpret_cast<ScriptValue *>(block);
    valueInitHeader(copy, type, isLvalue, origin, onHeap, cursor ? cursor->scopeId : -1);
    copy->data = reinterpret_cast<AnyData *>(block + kValueHeader);
    memcpy(copy->data, staged, size);
    if (staged != small)
        heapFree(state, staged);
    if (onHeap)
        storageAdd(state, copy->data, dataSize, false);
    else
        storagePushStack(state, copy->data, dataSize);
    return copy;
}

ScriptValue *valueAllocShared(ParseCursor *cursor, ScriptType *type, void *data, bool isLvalue,
                              ScriptValue *origin)
{
    EngineState *state = cursor->engine;
    ScriptValue *value = static_cast<ScriptValue *>(arenaAllocRaw(state, kValueHeader));
    if (!value)
        variableOutOfMemory(state, cursor);
    valueInitHeader(value, type, isLvalue, origin, false, cursor->scopeId);
    value->data = static_cast<AnyData *>(data);
    return value;
}

static void valueReleaseOwnedData(EngineState *state, ScriptValue *value)
{
    if (!value->dataOnHeap)
        return;
    storageRemove(state, value->data);
    heapFree(state, value->data);
    value->dataOnHeap = false;
}

// The old contents are not kept.
void valueResize(ParseCursor *cursor, ScriptValue *value, size_t size)
{
    EngineState *state = cursor->engine;
    bool hadHeapData = value->dataOnHeap;
    valueReleaseOwnedData(state, value);
    void *data = heapAlloc(state, size);
    if (!data)
        parserError(cursor, "out of memory");
    if (value->valueOnStack && !hadHeapData)
        state->stackHeapParts++;
    value->data = static_cast<AnyData *>(data);
    value->dataOnHeap = true;
    storageAdd(state, data, size, false);
}

void valuePop(ParseCursor *cursor, ScriptValue *value)
{
    if (!arenaPop(cursor->engine, value, kValueHeader + valueStackDataSize(value)))
        parserError(cursor, "stack underrun");
}

static bool valueDataFollowsHeader(const ScriptValue *value)
{
    return reinterpret_cast<const char *>(value->data) == reinterpret_cast<const char *>(value) + kValueHeader;
}

void valueFree(EngineState *state, ScriptValue *value)
{
    if (!value || !(value->valueOnHeap || value->dataOnHeap))
        return;
    if (value->type && value->data) {
        if (value->type->kind == TYPE_FUNCTION && !value->data->function.native)
            heapFree(state, const_cast<unsigned char *>(value->data->function.body.pos));
        else if (value->type->kind == TYPE_MACRO)
            heapFree(state, const_cast<unsigned char *>(value->data->macro.body.pos));
    }
    valueReleaseOwnedData(state, value);
    if (value->valueOnHeap) {
        if (valueDataFollowsHeader(value))
            storageRemove(state, value->data);
        heapFree(state, value);
    }
}

void deleteGlobalValue(EngineState *state, ScriptValue *value, uint32_t useMark)
{
    if (useMark == 0 || arenaMark(state, state->arena.top) <= useMark) {
        valueFree(state, value);
        return;
    }
    if (value->dataOnHeap || (value->valueOnHeap && valueDataFollowsHeader(value)))
        storageRemove(state, value->data);
    DeletedValue *node = static_cast<DeletedValue *>(heapAlloc(state, sizeof(DeletedValue)));
    if (!node) {
        engineError(state, "out of memory");
    }
    node->value = value;
    node->useMark = useMark;
    node->next = state->deleted;
    state->deleted = node;
    scheduleCheckpoint(state); // statements look for the moment it can go
}

void releaseDeleted(EngineState *state, bool all)
{
    uint32_t top = arenaMark(state, state->arena.top);
    for (DeletedValue **link = &state->deleted; *link;) {
        DeletedValue *node = *link;
        if (!all && top > node->useMark) {
            link = &node->next;
            continue;
        }
        *link = node->next;
        valueFree(state, node->value);
        heapFree(state, node);
    }
}

// What a local gives up with its frame: only heap parts need freeing, the
// rest goes with the arena.
static bool valueHasHeapParts(const ScriptValue *value)
{
    return value && (value->valueOnHeap || value->dataOnHeap);
}

static void variableFreeValue(EngineState *state, const HashTable *table, ScriptValue *value)
{
    if (!table->onHeap && valueHasHeapParts(value))
        state->stackHeapParts--;
    valueFree(state, value);
}

void variableFreeTable(EngineState *state, HashTable *table)
{
    if (!table->buckets)
        return;
    if (!table->onHeap && state->stackHeapParts == 0) {
        memset(table->buckets, 0, sizeof(HashEntry *) * size_t(table->size));
        table->scopedEntries = 0;
        return;
    }
    for (int i = 0; i < table->size; i++) {
        HashEntry *e = table->buckets[i];
        while (e) {
            HashEntry *next = e->next;
            variableFreeValue(state, table, static_cast<ScriptValue *>(e->u.pair.value));
            if (table->onHeap)
                heapFree(state, e);
            e = next;
        }
        table->buckets[i] = nullptr;
    }
    table->scopedEntries = 0;
}

HashTable *currentTable(EngineState *state)
{
    return state->topFrame ? &state->topFrame->locals : &state->globals;
}

static void variableTableSet(EngineState *state, HashTable *table, const char *name, ScriptValue *value,
                             const ParseCursor *cursor)
{
    tableSet(state, table, name, value, cursor ? cursor->file : nullptr, cursor ? cursor->line : 0,
             cursor ? cursor->column : 0);
    if (value->scopeId != -1)
        table->scopedEntries++;
    if (!table->onHeap && valueHasHeapParts(value))
        state->stackHeapParts++;
}

// A hidden entry of a block that has ended gives way to the new definition
// (sibling blocks may each declare the same name); a visible one is an error.
static void variableEnter(EngineState *state, ParseCursor *cursor, HashTable *table, const char *name,
                          ScriptValue *value)
{
    HashEntry *old = tableEntry(table, name);
    if (old) {
        ScriptValue *hidden = static_cast<ScriptValue *>(old->u.pair.value);
        if (!hidden || !hidden->outOfScope) {
            if (cursor)
                parserError(cursor, "'%s' is already defined", name);
            engineError(state, "'%s' is already defined", name);
        }
        variableFreeValue(state, table, static_cast<ScriptValue *>(tableDelete(state, table, name)));
    }
    variableTableSet(state, table, name, value, cursor);
}

ScriptValue *defineVariable(EngineState *state, ParseCursor *cursor, const char *name,
                            const ScriptValue *initial, ScriptType *type, bool writable)
{
    HashTable *table = currentTable(state);
    HashEntry *old = tableEntry(table, name);
    if (old && !static_cast<ScriptValue *>(old->u.pair.value)->outOfScope)
        parserError(cursor, "'%s' is already defined", name);
    bool onHeap = state->topFrame == nullptr;
    ScriptValue *value = initial ? valueAllocCopy(state, cursor, initial, onHeap)
                                 : valueAllocFromType(state, cursor, type, writable, nullptr, onHeap);
    value->type = initial ? initial->type : type;
    value->isLvalue = writable;
    value->lvalueOrigin = nullptr;
    value->scopeId = cursor ? cursor->scopeId : -1;
    variableEnter(state, cursor, table, name, value);
    return value;
}

ScriptValue *defineGlobalValue(EngineState *state, ParseCursor *cursor, const char *name,
                               ScriptType *type, void *address, bool writable)
{
    const char *shared = internString(state, name);
    ScriptValue *value = static_cast<ScriptValue *>(heapAlloc(state, sizeof(ScriptValue)));
    if (!value)
        variableOutOfMemory(state, cursor);
    value->type = type;
    value->data = static_cast<AnyData *>(address);
    value->valueOnHeap = true;
    value->isLvalue = writable;
    value->scopeId = cursor ? cursor->scopeId : -1;
    HashTable *table = currentTable(state);
    if (tableEntry(table, shared) &&
        !static_cast<ScriptValue *>(tableEntry(table, shared)->u.pair.value)->outOfScope) {
        heapFree(state, value);
        if (cursor)
            parserError(cursor, "'%s' is already defined", shared);
        engineError(state, "'%s' is already defined", shared);
    }
    // Host storage stays valid for the whole run; storage the engine
    // already knows (a static local's data) is registered once.
    StorageRegion region;
    if (address && !storageFind(state, address, &region))
        storageAdd(state, address, typeDataSize(type, type->arraySize, true), !writable);
    variableEnter(state, cursor, table, shared, value);
    return value;
}

bool isDefined(EngineState *state, const char *name)
{
    return lookupVariable(state, name) != nullptr;
}

ScriptValue *getVariable(EngineState *state, ParseCursor *cursor, const char *name)
{
    ScriptValue *value = lookupVariable(state, name);
    if (value)
        return value;
    if (tableEntry(currentTable(state), name))
        parserError(cursor, "'%s' is out of scope", name);
    parserError(cursor, "'%s' is undefined", name);
}

bool typeIsIncomplete(const ScriptType *type)
{
    while (type->kind == TYPE_ARRAY)
        type = type->fromType;
    return (type->kind == TYPE_STRUCT || type->kind == TYPE_UNION) && !type->members;
}

// "/file/function/name": one global per static local, whatever the frame.
static const char *variableStaticKey(ParseCursor *cursor, const char *name)
{
    char key[256];
    size_t used = 0;
    auto append = [&](const char *text, size_t limit) {
        size_t length = strlen(text);
        if (length > limit || used + length + 1 > sizeof key)
            return;
        memcpy(key + used, text, length);
        used += length;
    };
    append("/", 1);
    append(cursor->file ? cursor->file : "", 254);
    append("/", 1);
    if (cursor->engine->topFrame)
        append(cursor->engine->topFrame->functionName, sizeof key);
    append("/", 1);
    append(name, sizeof key);
    return internString(cursor->engine, key, used);
}

// A declaration read again (a loop body, a block entered once more) finds
// its own entry, recognised by the position it was declared at.
static ScriptValue *variableRevisit(ParseCursor *cursor, const char *name)
{
    const char *file;
    unsigned line, column;
    void *found;
    if (!cursor->line || !tableGet(currentTable(cursor->engine), name, &found, &file, &line, &column))
        return nullptr;
    if (file != cursor->file || line != cursor->line || column != cursor->column)
        return nullptr;
    ScriptValue *value = static_cast<ScriptValue *>(found);
    value->outOfScope = false;
    return value;
}

ScriptValue *defineVariableOnce(ParseCursor *cursor, const char *name, ScriptType *type, bool isStatic,
                                bool *firstVisit)
{
    EngineState *state = cursor->engine;
    *firstVisit = false;
    if (typeIsIncomplete(type))
        parserError(cursor, "type '%t' isn't defined", type);
    if (ScriptValue *again = variableRevisit(cursor, name))
        return again;
    if (!isStatic) {
        *firstVisit = true;
        return defineVariable(state, cursor, name, nullptr, type, true);
    }
    const char *key = variableStaticKey(cursor, name);
    void *found;
    if (!tableGet(&state->globals, key, &found)) {
        ScriptValue *stored = valueAllocFromType(state, cursor, type, true, nullptr, true);
        variableTableSet(state, &state->globals, key, stored, cursor);
        found = stored;
        *firstVisit = true;
    }
    return defineGlobalValue(state, cursor, name, type, static_cast<ScriptValue *>(found)->data, true);
}

static void scopeMark(EngineState *state, intptr_t id, bool hidden)
{
    HashTable *table = currentTable(state);
    if (table->scopedEntries == 0)
        return;
    for (int i = 0; i < table->size; i++)
        for (HashEntry *e = table->buckets[i]; e; e = e->next) {
            ScriptValue *value = static_cast<ScriptValue *>(e->u.pair.value);
            if (value && value->scopeId == id)
                value->outOfScope = hidden;
        }
}

// A block's id is the address of its position in the token stream: unique
// among live streams, the same on every entry, and never -1.
intptr_t scopeEnter(ParseCursor *cursor)
{
    intptr_t saved = cursor->scopeId;
    if (saved == -1)
        return saved;
    cursor->scopeId = reinterpret_cast<intptr_t>(cursor->pos);
    scopeMark(cursor->engine, cursor->scopeId, false);
    return saved;
}

void scopeLeave(ParseCursor *cursor, intptr_t savedId)
{
    if (cursor->scopeId == -1)
        return;
    scopeMark(cursor->engine, cursor->scopeId, true);
    cursor->scopeId = savedId;
}

CallFrame *framePush(ParseCursor *cursor, const char *functionName, int paramCount)
{
    EngineState *state = cursor->engine;
    if (!arenaPushFrame(state))
        parserError(cursor, "out of memory");
    size_t count = paramCount > 0 ? size_t(paramCount) : 0;
    CallFrame *frame = static_cast<CallFrame *>(arenaAllocRaw(state, sizeof(CallFrame) + count * sizeof(ScriptValue *)));
    if (!frame)
        parserError(cursor, "out of memory");
    frame->returnCursor = *cursor;
    frame->functionName = functionName;
    frame->returnValue = nullptr;
    frame->params = count ? reinterpret_cast<ScriptValue **>(frame + 1) : nullptr;
    if (count)
        memset(frame->params, 0, count * sizeof(ScriptValue *));
    frame->paramCount = paramCount;
    frame->locals.size = kLocalBuckets;
    frame->locals.onHeap = 0;
    frame->locals.scopedEntries = 0;
    frame->locals.buckets = frame->localBuckets;
    memset(frame->localBuckets, 0, sizeof frame->localBuckets);
    frame->previous = state->topFrame;
    state->topFrame = frame;
    return frame;
}

// Locals live in the arena, but a static's alias header and a resized
// array's data are heap blocks: they go with the frame.
void framePop(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    CallFrame *frame = state->topFrame;
    if (!frame)
        parserError(cursor, "stack is empty - can't go back");
    if (state->stackHeapParts)
        variableFreeTable(state, &frame->locals);
    *cursor = frame->returnCursor;
    state->topFrame = frame->previous;
    arenaPopFrame(state);
}

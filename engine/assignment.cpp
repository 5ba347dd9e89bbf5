// Assignment, and the coercions of a value to int, unsigned and double.
#include "expression.h"

#include "evaluator.h"
#include "state.h"
#include "storage.h"
#include "type.h"

#include <cstring>

/* ---- coercions ----------------------------------------------------------- */

static int32_t loadInteger(const void *at, TypeKind kind)
{
    switch (kind) {
    case TYPE_INT: case TYPE_LONG: return load<int32_t>(at);
    case TYPE_UNSIGNED_INT: case TYPE_UNSIGNED_LONG: return static_cast<int32_t>(load<uint32_t>(at));
    case TYPE_SHORT: return load<int16_t>(at);
    case TYPE_CHAR: return load<int8_t>(at);
    case TYPE_UNSIGNED_SHORT: return load<uint16_t>(at);
    case TYPE_UNSIGNED_CHAR: return load<uint8_t>(at);
    default: return 0;
    }
}

static int64_t doubleToInt64(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return INT64_MAX;
    if (d <= -9223372036854775808.0)
        return INT64_MIN;
    return static_cast<int64_t>(d);
}

int32_t coerceInteger(const ScriptValue *value)
{
    TypeKind kind = value->type->kind;
    if (typeIsInteger(kind))
        return loadInteger(value->data, kind);
    if (kind == TYPE_POINTER)
        return static_cast<int32_t>(static_cast<uint32_t>(loadPointer(value)));
    if (kind == TYPE_DOUBLE)
        return doubleToInt32(load<double>(value->data));
    return 0;
}

uint32_t coerceUnsigned(const ScriptValue *value)
{
    if (value->type->kind == TYPE_DOUBLE)
        return static_cast<uint32_t>(static_cast<uint64_t>(doubleToInt64(load<double>(value->data))));
    return static_cast<uint32_t>(coerceInteger(value));
}

double coerceDouble(const ScriptValue *value)
{
    TypeKind kind = value->type->kind;
    if (kind == TYPE_DOUBLE)
        return load<double>(value->data);
    if (kind == TYPE_UNSIGNED_INT || kind == TYPE_UNSIGNED_LONG)
        return static_cast<double>(static_cast<uint32_t>(loadInteger(value->data, kind)));
    if (typeIsInteger(kind))
        return loadInteger(value->data, kind);
    return 0.0;
}

/* ---- assignment ---------------------------------------------------------- */

struct AssignContext {
    ParseCursor *cursor;
    const char *functionName;
    int argNumber;
};

[[noreturn]] static void assignTypes(const AssignContext &c, const char *format, const ScriptType *t1,
                                     const ScriptType *t2)
{
    assignError(c.cursor, format, t1, t2, 0, 0, c.functionName, c.argNumber);
}

static void assignPointer(const AssignContext &c, ScriptValue *dest, ScriptValue *source, bool coercion)
{
    EngineState *state = c.cursor->engine;
    ScriptType *dt = dest->type, *st = source->type;
    TypeKind sk = st->kind;
    bool voidDest = dt == state->voidPtrType;
    uintptr_t address;
    if (sk == TYPE_POINTER && (st == dt || st == state->voidPtrType || voidDest))
        address = loadPointer(source);
    else if (sk == TYPE_ARRAY && (st->fromType == dt->fromType || voidDest || coercion))
        address = reinterpret_cast<uintptr_t>(source->data); // an array decays to its first element
    else if (sk == TYPE_POINTER && st->fromType->kind == TYPE_ARRAY && st->fromType->fromType == dt->fromType)
        address = loadPointer(source);
    else if (typeIsNumeric(sk) && coerceDouble(source) == 0.0)
        address = 0;
    else if (coercion && typeIsNumeric(sk))
        address = coerceUnsigned(source);
    else if (coercion && sk == TYPE_POINTER)
        address = loadPointer(source);
    else
        assignTypes(c, "%t from %t", dt, st);
    store(dest->data, reinterpret_cast<void *>(address));
}

// An unsized array variable takes its size from what is assigned to it; the
// variable the value came from gets the new storage.
static void assignResizeArray(const AssignContext &c, ScriptValue *dest, ScriptType *type)
{
    ScriptValue *holder = dest->lvalueOrigin ? dest->lvalueOrigin : dest;
    valueResize(c.cursor, holder, typeDataSize(type, type->arraySize, false));
    holder->type = dest->type = type;
    dest->data = holder->data;
}

// The string and its terminator, the rest of the array zero-filled; a string
// longer than the array is cut without terminator.
static void assignString(const AssignContext &c, ScriptValue *dest, ScriptValue *source)
{
    EngineState *state = c.cursor->engine;
    const char *text = reinterpret_cast<const char *>(loadPointer(source));
    if (dest->type->arraySize == 0) {
        size_t length = storageStringLength(c.cursor, text);
        if (length + 1 > size_t(INT32_MAX))
            parserError(c.cursor, "out of memory");
        assignResizeArray(c, dest, getMatchingType(state, c.cursor, &state->charType, TYPE_ARRAY,
                                                   int(length + 1), state->emptyString, true));
    }
    size_t size = size_t(dest->type->size);
    StorageRegion region;
    if (!text)
        parserError(c.cursor, "NULL pointer dereference");
    if (!storageFind(state, text, &region))
        parserError(c.cursor, "out of bounds access");
    size_t room = region.end - reinterpret_cast<uintptr_t>(text);
    size_t length = strnlen(text, room < size ? room : size);
    if (length == room && room < size)
        parserError(c.cursor, "out of bounds access");
    memmove(dest->data, text, length);
    memset(reinterpret_cast<char *>(dest->data) + length, 0, size - length);
}

static void assignArray(const AssignContext &c, ScriptValue *dest, ScriptValue *source)
{
    ScriptType *dt = dest->type, *st = source->type;
    if (st->kind == TYPE_ARRAY && dt->arraySize == 0 && st->fromType == dt->fromType) {
        size_t size = valueDataSize(source, true);
        HeapTemp staged{c.cursor->engine};
        staged.block = heapAlloc(c.cursor->engine, size ? size : 1);
        if (!staged.block)
            parserError(c.cursor, "out of memory");
        memcpy(staged.block, source->data, size);
        assignResizeArray(c, dest, st);
        memcpy(dest->data, staged.block, size);
        return;
    }
    if (dt->fromType->kind == TYPE_CHAR && st->kind == TYPE_POINTER && st->fromType->kind == TYPE_CHAR) {
        assignString(c, dest, source);
        return;
    }
    if (st != dt) {
        if (st->kind == TYPE_ARRAY && st->fromType == dt->fromType)
            assignError(c.cursor, "from an array of size %d to one of size %d", nullptr, nullptr, st->arraySize,
                        dt->arraySize, c.functionName, c.argNumber);
        assignTypes(c, "%t from %t", dt, st);
    }
    memmove(dest->data, source->data, size_t(dt->size));
}

void assign(ParseCursor *cursor, ScriptValue *dest, ScriptValue *source, bool force, const char *functionName,
            int argNumber, bool allowPointerCoercion)
{
    TypeKind dk = dest->type->kind, sk = source->type->kind;
    if (dk == sk && (dk == TYPE_INT || dk == TYPE_LONG) && (force || dest->isLvalue)) {
        memcpy(dest->data, source->data, sizeof(int32_t)); // the commonest: an int into an int
        return;
    }
    AssignContext c{cursor, functionName, argNumber};
    if (!force && !dest->isLvalue)
        assignError(cursor, "not an lvalue", nullptr, nullptr, 0, 0, functionName, argNumber);
    if (typeIsNumeric(dk) && !typeIsNumeric(sk) && !(allowPointerCoercion && sk == TYPE_POINTER))
        assignTypes(c, "%t from %t", dest->type, source->type);
    switch (dk) {
    case TYPE_INT: case TYPE_LONG: case TYPE_SHORT: case TYPE_CHAR:
        storeInteger(dest->data, dk, coerceInteger(source));
        break;
    case TYPE_UNSIGNED_INT: case TYPE_UNSIGNED_LONG: case TYPE_UNSIGNED_SHORT: case TYPE_UNSIGNED_CHAR:
        storeInteger(dest->data, dk, static_cast<int32_t>(coerceUnsigned(source)));
        break;
    case TYPE_DOUBLE:
        store(dest->data, coerceDouble(source));
        break;
    case TYPE_POINTER:
        assignPointer(c, dest, source, allowPointerCoercion);
        break;
    case TYPE_ARRAY:
        assignArray(c, dest, source);
        break;
    case TYPE_STRUCT: case TYPE_UNION:
        if (source->type != dest->type)
            assignTypes(c, "%t from %t", dest->type, source->type);
        memmove(dest->data, source->data, size_t(dest->type->size));
        break;
    default:
        assignTypes(c, "%t", dest->type, nullptr);
    }
}

// Base types and the unique derived-type tree.
#include "type.h"

#include "arena.h"
#include "error.h"
#include "output.h"
#include "state.h"
#include "table.h"

struct BaseTypeRow {
    ScriptType EngineState::*field;
    TypeKind kind;
    int size;
    int alignment;
};

// Sizes and alignments of this platform.
static const BaseTypeRow kBaseTypes[] = {
    {&EngineState::intType, TYPE_INT, 4, 4},
    {&EngineState::shortType, TYPE_SHORT, 2, 2},
    {&EngineState::charType, TYPE_CHAR, 1, 1},
    {&EngineState::longType, TYPE_LONG, 4, 4},
    {&EngineState::unsignedIntType, TYPE_UNSIGNED_INT, 4, 4},
    {&EngineState::unsignedShortType, TYPE_UNSIGNED_SHORT, 2, 2},
    {&EngineState::unsignedLongType, TYPE_UNSIGNED_LONG, 4, 4},
    {&EngineState::unsignedCharType, TYPE_UNSIGNED_CHAR, 1, 1},
    {&EngineState::doubleType, TYPE_DOUBLE, 8, 8},
    {&EngineState::voidType, TYPE_VOID, 0, 1},
    {&EngineState::typeType, TYPE_TYPE, 8, 8},
    {&EngineState::functionType, TYPE_FUNCTION, 4, 4},
    {&EngineState::macroType, TYPE_MACRO, 4, 4},
    {&EngineState::enumType, TYPE_ENUM, 4, 4},
    {&EngineState::gotoLabelType, TYPE_GOTO_LABEL, 0, 1},
};

static void typeSetBase(EngineState *state, ScriptType *type, TypeKind kind, int size, int alignment)
{
    *type = ScriptType{};
    type->kind = kind;
    type->size = size;
    type->alignment = alignment;
    type->name = state->emptyString;
}

void typeInit(EngineState *state)
{
    typeSetBase(state, &state->rootType, TYPE_VOID, 0, 0);
    for (const BaseTypeRow &row : kBaseTypes)
        typeSetBase(state, &(state->*row.field), row.kind, row.size, row.alignment);
    state->charPtrType = getMatchingType(state, nullptr, &state->charType, TYPE_POINTER, 0,
                                         state->emptyString, true);
    state->charPtrPtrType = getMatchingType(state, nullptr, state->charPtrType, TYPE_POINTER, 0,
                                            state->emptyString, true);
    state->charArrayType = getMatchingType(state, nullptr, &state->charType, TYPE_ARRAY, 0,
                                           state->emptyString, true);
    state->voidPtrType = getMatchingType(state, nullptr, &state->voidType, TYPE_POINTER, 0,
                                         state->emptyString, true);
    // The shared char array is the type of string literals: one byte, so
    // that it is never mistaken for an empty object.
    state->charArrayType->size = 1;
}

// A member's value is one heap block holding its offset.
static void typeFreeMembers(EngineState *state, ScriptType *type)
{
    HashTable *table = type->members;
    if (!table)
        return;
    for (int i = 0; i < table->size; i++)
        for (HashEntry *e = table->buckets[i], *next; e; e = next) {
            next = e->next;
            heapFree(state, e->u.pair.value);
            heapFree(state, e);
        }
    heapFree(state, table);
    type->members = nullptr;
}

// Derived types are freed depth first; the types held inside the EngineState
// only lose their lists.
static void typeFreeDerived(EngineState *state, ScriptType *type)
{
    ScriptType *child = type->derived;
    while (child) {
        ScriptType *next = child->next;
        typeFreeDerived(state, child);
        typeFreeMembers(state, child);
        if (child->onHeap)
            heapFree(state, child);
        child = next;
    }
    type->derived = nullptr;
}

void typeCleanup(EngineState *state)
{
    typeFreeDerived(state, &state->rootType);
    for (const BaseTypeRow &row : kBaseTypes)
        typeFreeDerived(state, &(state->*row.field));
    state->charPtrType = state->charPtrPtrType = state->charArrayType = state->voidPtrType = nullptr;
}

static void typeLayout(ScriptType *type, const ScriptType *parent, TypeKind kind, int arraySize)
{
    switch (kind) {
    case TYPE_POINTER:
        type->size = type->alignment = 8;
        break;
    case TYPE_ARRAY:
        type->size = parent->size * arraySize;
        type->alignment = parent->alignment;
        break;
    case TYPE_ENUM:
        type->size = type->alignment = 4;
        break;
    default:
        type->size = type->alignment = 0;
        break;
    }
}

ScriptType *getMatchingType(EngineState *state, ParseCursor *cursor, ScriptType *parent, TypeKind kind,
                            int arraySize, const char *name, bool allowDuplicate)
{
    for (ScriptType *t = parent->derived; t; t = t->next) {
        if (t->kind != kind || t->arraySize != arraySize || t->name != name)
            continue;
        if (!allowDuplicate) {
            if (cursor)
                parserError(cursor, "data type '%s' is already defined", name);
            engineError(state, "data type '%s' is already defined", name);
        }
        return t;
    }
    ScriptType *t = static_cast<ScriptType *>(heapAlloc(state, sizeof(ScriptType)));
    if (!t) {
        if (cursor)
            parserError(cursor, "out of memory");
        engineError(state, "out of memory");
    }
    t->kind = kind;
    t->arraySize = arraySize;
    t->name = name;
    t->fromType = parent;
    t->onHeap = true;
    typeLayout(t, parent, kind, arraySize);
    t->next = parent->derived;
    parent->derived = t;
    return t;
}

// Words in TypeKind order up to TYPE_MACRO.
static const char *const kKindWords[] = {
    "void", "int", "short", "char", "long", "unsigned int", "unsigned short",
    "unsigned char", "unsigned long", "double", "function", "macro",
};

void printType(EngineState *state, const ScriptType *type, FILE *stream)
{
    (void)state;
    switch (type->kind) {
    case TYPE_POINTER:
        printType(state, type->fromType, stream);
        hostPutChar('*', stream);
        break;
    case TYPE_ARRAY: {
        // C order: the element type, then the dimensions from the outermost.
        const ScriptType *element = type;
        while (element->kind == TYPE_ARRAY)
            element = element->fromType;
        printType(state, element, stream);
        for (const ScriptType *t = type; t->kind == TYPE_ARRAY; t = t->fromType) {
            hostPutChar('[', stream);
            if (t->arraySize)
                hostPutInt(t->arraySize, stream);
            hostPutChar(']', stream);
        }
        break;
    }
    case TYPE_STRUCT:
        hostPutString("struct ", stream);
        hostPutString(type->name, stream);
        break;
    case TYPE_UNION:
        hostPutString("union ", stream);
        hostPutString(type->name, stream);
        break;
    case TYPE_ENUM:
        hostPutString("enum ", stream);
        hostPutString(type->name, stream);
        break;
    case TYPE_GOTO_LABEL:
        hostPutString("goto label ", stream);
        break;
    case TYPE_TYPE:
        hostPutString("type ", stream);
        break;
    default:
        hostPutString(kKindWords[type->kind], stream);
        break;
    }
}

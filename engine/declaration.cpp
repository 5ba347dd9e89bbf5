// Type declarations and declarations of variables.
#include "declaration.h"

#include "arena.h"
#include "error.h"
#include "expression.h"
#include "intern.h"
#include "lexer.h"
#include "state.h"
#include "table.h"
#include "type.h"
#include "variable.h"

#include <cstring>

// Names of anonymous structs and enums: "^s0001", "^s0002" ... counted for
// the whole process, so they stay distinct across runs.
static char structCounter[] = "^s0000";
static char enumCounter[] = "^e0000";

static const char *declGeneratedName(EngineState *state, char *counter)
{
    for (int i = 5; i >= 2; i--) {
        if (counter[i] != '9') {
            counter[i]++;
            break;
        }
        counter[i] = '0';
    }
    return internString(state, counter);
}

static TokenKind declPeek(ParseCursor *cursor, ScriptValue **value = nullptr)
{
    return getToken(cursor, value, false);
}

static ScriptValue *declTypedef(EngineState *state, const char *name)
{
    ScriptValue *value = lookupVariable(state, name);
    return value && value->type->kind == TYPE_TYPE ? value : nullptr;
}

bool startsType(ParseCursor *cursor)
{
    TokenKind token = declPeek(cursor);
    if (token >= TK_INT && token <= TK_UNSIGNED)
        return true;
    return token == TK_IDENTIFIER && declTypedef(cursor->engine, tokenName(cursor->pos)); // a peek stops at the record
}

constexpr int kMemberBuckets = kSmallTableBuckets;

static void declAttachMembers(EngineState *state, ParseCursor *cursor, ScriptType *type)
{
    size_t size = sizeof(HashTable) + sizeof(HashEntry *) * kMemberBuckets;
    HashTable *table = static_cast<HashTable *>(heapAlloc(state, size));
    if (!table)
        parserError(cursor, "out of memory");
    tableInit(table, reinterpret_cast<HashEntry **>(table + 1), kMemberBuckets, true);
    type->members = table;
}

static int declAlignUp(int size, int alignment)
{
    return (size + alignment - 1) / alignment * alignment;
}

// member: type declarator ';' -- the member's value holds its offset
static void declMember(ParseCursor *cursor, ScriptType *owner, int *size)
{
    EngineState *state = cursor->engine;
    ScriptType *type;
    const char *name;
    bool isStatic;
    parseType(cursor, &type, &name, &isStatic);
    if (!type || name == state->emptyString)
        parserError(cursor, "invalid type in struct");
    if (typeIsIncomplete(type) || type == owner)
        parserError(cursor, "type '%t' isn't defined", type);
    int alignment = type->alignment > 0 ? type->alignment : 1;
    int offset = owner->kind == TYPE_UNION ? 0 : declAlignUp(*size, alignment);
    ScriptValue *member = static_cast<ScriptValue *>(heapAlloc(state, kValueHeader + 8));
    if (!member)
        parserError(cursor, "out of memory");
    member->type = type;
    member->data = reinterpret_cast<AnyData *>(reinterpret_cast<char *>(member) + kValueHeader);
    member->data->i = offset;
    member->valueOnHeap = true;
    member->scopeId = -1;
    if (!tableSet(state, owner->members, name, member, cursor->file, cursor->line, cursor->column)) {
        heapFree(state, member);
        parserError(cursor, "member '%s' already defined", name);
    }
    *size = owner->kind == TYPE_UNION ? (type->size > *size ? type->size : *size) : offset + type->size;
    if (alignment > owner->alignment)
        owner->alignment = alignment;
    expectToken(cursor, TK_SEMICOLON, "semicolon expected");
}

// struct-or-union: ( struct | union ) [tag] [ '{' { member } '}' ]
static ScriptType *declStruct(ParseCursor *cursor, TypeKind kind)
{
    EngineState *state = cursor->engine;
    ScriptValue *value;
    const char *name;
    if (declPeek(cursor, &value) == TK_IDENTIFIER) {
        name = static_cast<const char *>(value->data->ptr);
        getToken(cursor, nullptr, true);
    } else {
        name = declGeneratedName(state, structCounter);
    }
    ScriptType *type = getMatchingType(state, cursor, &state->rootType, kind, 0, name, true);
    if (declPeek(cursor) != TK_LEFT_BRACE)
        return type;
    if (type->members)
        parserError(cursor, "data type '%t' is already defined", type);
    if (state->topFrame)
        parserError(cursor, "struct/union definitions can only be globals");
    getToken(cursor, nullptr, true);
    declAttachMembers(state, cursor, type);
    int size = 0;
    type->alignment = 1;
    while (declPeek(cursor) != TK_RIGHT_BRACE) {
        if (declPeek(cursor) == TK_EOF || declPeek(cursor) == TK_END_OF_FUNCTION)
            parserError(cursor, "'}' expected");
        declMember(cursor, type, &size);
    }
    getToken(cursor, nullptr, true);
    type->size = declAlignUp(size, type->alignment);
    return type;
}

static ScriptType *declFindEnum(EngineState *state, const char *name)
{
    for (ScriptType *t = state->rootType.derived; t; t = t->next)
        if (t->kind == TYPE_ENUM && t->name == name)
            return t;
    return nullptr;
}

// enumerator: name [ '=' constant ] -- a read-only global int
static int32_t declEnumerator(ParseCursor *cursor, int32_t next)
{
    EngineState *state = cursor->engine;
    ScriptValue *value;
    if (getToken(cursor, &value, true) != TK_IDENTIFIER)
        parserError(cursor, "identifier expected");
    const char *name = static_cast<const char *>(value->data->ptr);
    if (declPeek(cursor) == TK_ASSIGN) {
        getToken(cursor, nullptr, true);
        ExecMode mode = cursor->mode;
        cursor->mode = MODE_RUN;
        next = parseIntExpression(cursor);
        cursor->mode = mode;
    }
    ScriptValue *constant = defineVariable(state, cursor, name, nullptr, &state->intType, false);
    memcpy(constant->data, &next, sizeof next);
    return next;
}

// enum: enum [tag] [ '{' enumerator { ',' enumerator } '}' ] -- declares int
static ScriptType *declEnum(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    ScriptValue *value;
    const char *name;
    if (declPeek(cursor, &value) == TK_IDENTIFIER) {
        name = static_cast<const char *>(value->data->ptr);
        getToken(cursor, nullptr, true);
    } else {
        name = declGeneratedName(state, enumCounter);
    }
    bool body = declPeek(cursor) == TK_LEFT_BRACE;
    ScriptType *existing = declFindEnum(state, name);
    if (!body) {
        if (!existing)
            parserError(cursor, "enum '%s' isn't defined", name);
        return &state->intType;
    }
    if (existing)
        parserError(cursor, "data type '%s' is already defined", name);
    getMatchingType(state, cursor, &state->rootType, TYPE_ENUM, 0, name, true);
    if (state->topFrame)
        parserError(cursor, "enum definitions can only be globals");
    getToken(cursor, nullptr, true);
    for (int32_t next = 0;; next++) {
        next = declEnumerator(cursor, next);
        TokenKind token = getToken(cursor, nullptr, true);
        if (token == TK_RIGHT_BRACE)
            break;
        if (token != TK_COMMA)
            parserError(cursor, "comma expected");
    }
    return &state->intType;
}

// The base-type words after an optional signed or unsigned.
static ScriptType *declBaseWord(EngineState *state, TokenKind token, bool isUnsigned)
{
    switch (token) {
    case TK_INT: return isUnsigned ? &state->unsignedIntType : &state->intType;
    case TK_CHAR: return isUnsigned ? &state->unsignedCharType : &state->charType;
    case TK_LONG: return isUnsigned ? &state->unsignedLongType : &state->longType;
    case TK_SHORT: return isUnsigned ? &state->unsignedShortType : &state->shortType;
    default: return nullptr;
    }
}

void parseTypeFront(ParseCursor *cursor, ScriptType **type, bool *isStatic)
{
    EngineState *state = cursor->engine;
    *type = nullptr;
    *isStatic = false;
    for (;;) {
        ScriptValue *value;
        ParseCursor before = *cursor;
        TokenKind token = getToken(cursor, &value, true);
        switch (token) {
        case TK_STATIC: *isStatic = true; continue;
        case TK_AUTO: case TK_REGISTER: case TK_EXTERN: continue;
        case TK_SIGNED: case TK_UNSIGNED: {
            bool isUnsigned = token == TK_UNSIGNED;
            ScriptType *word = declBaseWord(state, declPeek(cursor), isUnsigned);
            if (word)
                getToken(cursor, nullptr, true);
            *type = word ? word : (isUnsigned ? &state->unsignedIntType : &state->intType);
            return;
        }
        case TK_INT: case TK_CHAR: case TK_LONG: case TK_SHORT:
            *type = declBaseWord(state, token, false);
            return;
        case TK_FLOAT: case TK_DOUBLE: *type = &state->doubleType; return;
        case TK_VOID: *type = &state->voidType; return;
        case TK_ENUM: *type = declEnum(cursor); return;
        case TK_STRUCT: *type = declStruct(cursor, TYPE_STRUCT); return;
        case TK_UNION: *type = declStruct(cursor, TYPE_UNION); return;
        case TK_IDENTIFIER: {
            const char *name = static_cast<const char *>(value->data->ptr);
            ScriptValue *named = getVariable(state, cursor, name);
            // An ordinary variable in a type position is no type.
            if (named->type->kind != TYPE_TYPE)
                parserError(cursor, "bad type declaration");
            memcpy(type, named->data, sizeof *type);
            return;
        }
        default:
            *cursor = before;
            return;
        }
    }
}

// array-suffixes: { '[' [constant] ']' } -- the size is evaluated even while
// skipping, since the type must be known; a[2][3] is 2 arrays of 3
static ScriptType *declArraySuffixes(ParseCursor *cursor, ScriptType *element)
{
    if (declPeek(cursor) != TK_LEFT_SQUARE)
        return element;
    getToken(cursor, nullptr, true);
    int32_t count = 0;
    if (declPeek(cursor) == TK_RIGHT_SQUARE) {
        getToken(cursor, nullptr, true);
    } else {
        ExecMode mode = cursor->mode;
        cursor->mode = MODE_RUN;
        count = parseIntExpression(cursor);
        cursor->mode = mode;
        expectToken(cursor, TK_RIGHT_SQUARE, "']' expected");
        if (count < 0)
            parserError(cursor, "bad type declaration");
    }
    ScriptType *inner = declArraySuffixes(cursor, element);
    if (int64_t(inner->size) * count > INT32_MAX)
        parserError(cursor, "out of memory");
    return getMatchingType(cursor->engine, cursor, inner, TYPE_ARRAY, count, cursor->engine->emptyString, true);
}

void parseDeclarator(ParseCursor *cursor, ScriptType *front, ScriptType **type, const char **name)
{
    EngineState *state = cursor->engine;
    *type = front;
    *name = state->emptyString;
    for (;;) {
        ScriptValue *value;
        ParseCursor before = *cursor;
        TokenKind token = getToken(cursor, &value, true);
        if (token == TK_ASTERISK) {
            if (!*type)
                parserError(cursor, "bad type declaration");
            *type = getMatchingType(state, cursor, *type, TYPE_POINTER, 0, state->emptyString, true);
        } else if (token == TK_OPEN_BRACKET) {
            if (*type)
                parserError(cursor, "bad type declaration");
            parseDeclarator(cursor, nullptr, type, name);
            expectToken(cursor, TK_CLOSE_BRACKET, "')' expected");
            return;
        } else if (token == TK_IDENTIFIER) {
            if (!*type)
                parserError(cursor, "bad type declaration");
            *name = static_cast<const char *>(value->data->ptr);
            *type = declArraySuffixes(cursor, *type);
            return;
        } else {
            *cursor = before;
            return;
        }
    }
}

void parseType(ParseCursor *cursor, ScriptType **type, const char **name, bool *isStatic)
{
    ScriptType *front;
    parseTypeFront(cursor, &front, isStatic);
    parseDeclarator(cursor, front, type, name);
}

ScriptType *createOpaqueStruct(EngineState *state, ParseCursor *cursor, const char *name, int size)
{
    ScriptType *type = getMatchingType(state, cursor, &state->rootType, TYPE_STRUCT, 0, name, false);
    declAttachMembers(state, cursor, type);
    type->size = size;
    type->alignment = 0;
    return type;
}

// The element an expression of a flat initialiser list fills: array layers
// are descended, their counts multiplied, down to a non-array or to a row of
// char that a string constant fills whole.
static ScriptType *declFlatElement(ScriptType *array, bool stringFollows, int64_t *total)
{
    ScriptType *element = array;
    *total = 1;
    while (element->kind == TYPE_ARRAY && !(stringFollows && element->fromType->kind == TYPE_CHAR)) {
        *total *= element->arraySize;
        element = element->fromType;
    }
    return element;
}

[[noreturn]] static void declNotAnArray(ParseCursor *cursor, const ScriptType *type)
{
    assignError(cursor, "%t from array initializer", type, nullptr, 0, 0, nullptr, 0);
}

// One expression of an initialiser list, assigned to the element at `at`.
static void declInitElement(ParseCursor *cursor, ScriptType *element, void *at, ScriptValue *origin)
{
    ScriptValue *target = valueAllocShared(cursor, element, at, true, origin);
    ScriptValue *value;
    if (!parseExpression(cursor, &value))
        parserError(cursor, "expression expected");
    assign(cursor, target, value, false, nullptr, 0, false);
    valuePop(cursor, value);
    valuePop(cursor, target);
}

// array-initialiser: '{' [ initialiser { ',' initialiser } [','] ] '}' with
// the '{' already read. Fills `array` at `data` when run; returns the number
// of initialisers at this level (a nested list counts as one).
static int declArrayList(ParseCursor *cursor, ScriptType *array, char *data, ScriptValue *origin, bool run)
{
    NestingGuard guard(cursor);
    int count = 0;
    while (declPeek(cursor) != TK_RIGHT_BRACE) {
        if (declPeek(cursor) == TK_LEFT_BRACE) {
            getToken(cursor, nullptr, true);
            ScriptType *row = run ? array->fromType : nullptr;
            if (run && row->kind != TYPE_ARRAY)
                declNotAnArray(cursor, row);
            if (run && count >= array->arraySize)
                parserError(cursor, "too many array elements");
            declArrayList(cursor, row, run ? data + int64_t(count) * row->size : nullptr, origin, run);
        } else if (run) {
            int64_t total;
            ScriptType *element = declFlatElement(array, declPeek(cursor) == TK_STRING_CONSTANT, &total);
            if (count >= total)
                parserError(cursor, "too many array elements");
            declInitElement(cursor, element, data + int64_t(count) * element->size, origin);
        } else {
            ScriptValue *ignored;
            if (!parseExpression(cursor, &ignored))
                parserError(cursor, "expression expected");
        }
        count++;
        TokenKind token = declPeek(cursor);
        if (token == TK_COMMA)
            getToken(cursor, nullptr, true);
        else if (token != TK_RIGHT_BRACE)
            parserError(cursor, "comma expected");
    }
    getToken(cursor, nullptr, true);
    return count;
}

// The list is counted first, on a copy of the cursor, so that an unsized
// array can take its size before it is filled.
static void declArrayInitialiser(ParseCursor *cursor, ScriptValue *variable)
{
    EngineState *state = cursor->engine;
    ParseCursor counter = *cursor;
    counter.mode = MODE_SKIP;
    int count = declArrayList(&counter, nullptr, nullptr, nullptr, false);
    ScriptType *type = variable->type;
    if (type->kind != TYPE_ARRAY)
        declNotAnArray(cursor, type);
    if (type->arraySize == 0) {
        type = getMatchingType(state, cursor, type->fromType, TYPE_ARRAY, count, state->emptyString, true);
        if (int64_t(type->fromType->size) * count > INT32_MAX)
            parserError(cursor, "out of memory");
        valueResize(cursor, variable, typeDataSize(type, type->arraySize, false));
        variable->type = type;
    }
    declArrayList(cursor, type, reinterpret_cast<char *>(variable->data), variable, true);
}

// initialiser: array-initialiser | expression, assigned to the variable
// without force; read without effect unless `run`
static void declInitialiser(ParseCursor *cursor, ScriptValue *variable, bool run)
{
    ExecMode mode = cursor->mode;
    if (!run && cursor->mode == MODE_RUN)
        cursor->mode = MODE_SKIP;
    if (declPeek(cursor) == TK_LEFT_BRACE) {
        getToken(cursor, nullptr, true);
        if (cursor->mode == MODE_RUN)
            declArrayInitialiser(cursor, variable);
        else
            declArrayList(cursor, nullptr, nullptr, nullptr, false);
        cursor->mode = mode;
        return;
    }
    ScriptValue *value;
    if (!parseExpression(cursor, &value))
        parserError(cursor, "expression expected");
    if (cursor->mode == MODE_RUN) {
        assign(cursor, variable, value, false, nullptr, 0, false);
        valuePop(cursor, value);
    }
    cursor->mode = mode;
}

bool parseDeclaration(ParseCursor *cursor, ScriptType **returnType, const char **name)
{
    EngineState *state = cursor->engine;
    TokenKind first = declPeek(cursor);
    bool nameOptional = first == TK_VOID || first == TK_ENUM || first == TK_STRUCT || first == TK_UNION;
    ScriptType *front;
    bool isStatic;
    parseTypeFront(cursor, &front, &isStatic);
    for (;;) {
        ScriptType *type;
        parseDeclarator(cursor, front, &type, name);
        if (*name == state->emptyString) {
            if (!nameOptional)
                parserError(cursor, "identifier expected");
        } else if (declPeek(cursor) == TK_OPEN_BRACKET) {
            *returnType = type;
            return false;
        } else {
            if (type->kind == TYPE_VOID)
                parserError(cursor, "can't define a void variable");
            bool firstVisit = false;
            ScriptValue *variable = nullptr;
            if (cursor->mode == MODE_RUN || cursor->mode == MODE_GOTO)
                variable = defineVariableOnce(cursor, *name, type, isStatic, &firstVisit);
            if (declPeek(cursor) == TK_ASSIGN) {
                getToken(cursor, nullptr, true);
                declInitialiser(cursor, variable, variable && (firstVisit || !isStatic));
            }
        }
        nameOptional = false;
        if (declPeek(cursor) != TK_COMMA)
            return true;
        getToken(cursor, nullptr, true);
    }
}

// The expression evaluator. Values and operators are nodes on the arena;
// each operator is applied as soon as precedence allows, its operands are
// released and its result takes their place.
#include "expression.h"

#include "arena.h"
#include "declaration.h"
#include "error.h"
#include "lexer.h"
#include "state.h"
#include "statement.h"
#include "storage.h"
#include "type.h"
#include "variable.h"

#include <cmath>
#include <cstring>

enum Order : uint8_t { ORDER_VALUE, ORDER_PREFIX, ORDER_INFIX, ORDER_POSTFIX };

struct ExprNode {
    ExprNode *next;      // the node below
    ScriptValue *value;  // null for an operator
    int32_t precedence;  // bracket base included
    TokenKind op;
    Order order;
};

struct Precedence {
    uint8_t prefix, postfix, infix; // 0: not allowed in that position
};

// Indexed by TokenKind from TK_NONE to TK_CLOSE_BRACKET: keep in step with token.h.
static const Precedence kPrecedence[] = {
    {0, 0, 0}, {0, 0, 0},                                               // none ,
    {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2},   // = += -= *= /= %=
    {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2},              // <<= >>= &= |= ^=
    {0, 0, 3}, {0, 0, 3}, {0, 0, 4}, {0, 0, 5},                         // ? : || &&
    {0, 0, 6}, {0, 0, 7}, {14, 0, 8},                                   // | ^ &
    {0, 0, 9}, {0, 0, 9}, {0, 0, 10}, {0, 0, 10}, {0, 0, 10}, {0, 0, 10}, // == != < > <= >=
    {0, 0, 11}, {0, 0, 11}, {14, 0, 12}, {14, 0, 12},                   // << >> + -
    {14, 0, 13}, {0, 0, 13}, {0, 0, 13},                                // * / %
    {14, 15, 0}, {14, 15, 0},                                           // ++ --
    {14, 0, 0}, {14, 0, 0}, {14, 0, 0}, {14, 0, 0},                     // ! ~ sizeof cast
    {0, 0, 15}, {0, 15, 0}, {0, 0, 15}, {0, 0, 15},                     // [ ] . ->
    {15, 0, 0}, {0, 15, 0},                                             // ( )
};
static_assert(sizeof kPrecedence / sizeof kPrecedence[0] == TK_CLOSE_BRACKET + 1,
              "one precedence row per operator token");

constexpr int32_t kBracketStep = 20;
constexpr int32_t kAssignPrecedence = 2;
constexpr int32_t kPrefixPrecedence = 14;
constexpr int32_t kPostfixPrecedence = 15;

// One expression being read.
struct Expr {
    ParseCursor *cursor;
    EngineState *state;
    ExprNode *top;
    int32_t bracketBase;
    int ternaryDepth;
    ExprNode *shortCircuit; // a decided && or || whose right operand makes no calls
    bool run;
};

// What an operator leaves: a new value holding `small` or a copy of
// `copyFrom`, or a header sharing existing storage.
struct ExprResult {
    ScriptType *type = nullptr;
    AnyData small{};
    void *shared = nullptr;
    const void *copyFrom = nullptr;
    bool isLvalue = false;
    ScriptValue *origin = nullptr;
};

// A heap block that goes away however the scope is left.
struct HeapTemp {
    EngineState *state;
    void *block = nullptr;
    ~HeapTemp() { heapFree(state, block); }
};

/* ---- loads, stores and coercions ---------------------------------------- */

// Storage reached through a pointer need not be aligned for its type, so
// every datum is moved with memcpy.
template <typename T>
static T load(const void *at)
{
    T value;
    memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
static void store(void *at, T value)
{
    memcpy(at, &value, sizeof value);
}

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

// 32 bits for int, long and their unsigned forms, 16 for the shorts, 8 for the chars.
static void storeInteger(void *at, TypeKind kind, int32_t value)
{
    switch (kind) {
    case TYPE_SHORT: case TYPE_UNSIGNED_SHORT: store(at, static_cast<uint16_t>(value)); break;
    case TYPE_CHAR: case TYPE_UNSIGNED_CHAR: store(at, static_cast<uint8_t>(value)); break;
    default: store(at, static_cast<uint32_t>(value)); break;
    }
}

static uintptr_t loadPointer(const ScriptValue *value)
{
    return reinterpret_cast<uintptr_t>(load<void *>(value->data));
}

// Out-of-range doubles saturate; NaN becomes 0.
static int32_t doubleToInt32(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 2147483647.0)
        return INT32_MAX;
    if (d <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(d);
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

static size_t compactSize(const ScriptType *type)
{
    return typeDataSize(type, type->arraySize, true);
}

static ScriptType *pointerTo(EngineState *state, ParseCursor *cursor, ScriptType *type)
{
    return getMatchingType(state, cursor, type, TYPE_POINTER, 0, state->emptyString, true);
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
    AssignContext c{cursor, functionName, argNumber};
    if (!force && !dest->isLvalue)
        assignError(cursor, "not an lvalue", nullptr, nullptr, 0, 0, functionName, argNumber);
    TypeKind dk = dest->type->kind, sk = source->type->kind;
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

/* ---- the node stack ------------------------------------------------------ */

static ExprNode *exprPushNode(Expr *e, TokenKind op, Order order, int32_t precedence)
{
    ExprNode *node = static_cast<ExprNode *>(arenaAlloc(e->state, sizeof(ExprNode)));
    if (!node)
        parserError(e->cursor, "out of memory");
    node->next = e->top;
    node->op = op;
    node->order = order;
    node->precedence = precedence;
    e->top = node;
    return node;
}

// Releases everything from `address` up.
static void exprPopTo(ParseCursor *cursor, const void *address)
{
    EngineState *state = cursor->engine;
    size_t size = size_t(state->arena.top - static_cast<const char *>(address));
    if (!arenaPop(state, address, size))
        parserError(cursor, "stack underrun");
}

static ScriptValue *exprPushResult(Expr *e, const ExprResult &r)
{
    ExprNode *node = exprPushNode(e, TK_NONE, ORDER_VALUE, 0);
    ScriptValue *value;
    if (r.shared) {
        value = valueAllocShared(e->cursor, r.type, r.shared, r.isLvalue, r.origin);
    } else {
        value = valueAllocFromType(e->state, e->cursor, r.type, r.isLvalue, r.origin, false);
        size_t size = compactSize(r.type);
        if (r.copyFrom)
            memcpy(value->data, r.copyFrom, size);
        else
            memcpy(value->data, &r.small, size < sizeof r.small ? size : sizeof r.small);
    }
    node->value = value;
    return value;
}

// The operands from `lowest` up give way to the result; a copy is staged
// first because the result is written where the operands were.
static void exprReplace(Expr *e, ExprNode *lowest, ExprResult &r)
{
    HeapTemp staged{e->state};
    if (r.copyFrom) {
        size_t size = compactSize(r.type);
        if (size <= sizeof r.small) {
            memcpy(&r.small, r.copyFrom, size);
        } else {
            staged.block = heapAlloc(e->state, size);
            if (!staged.block)
                parserError(e->cursor, "out of memory");
            memcpy(staged.block, r.copyFrom, size);
        }
        r.copyFrom = staged.block;
    }
    e->top = lowest->next;
    exprPopTo(e->cursor, lowest);
    exprPushResult(e, r);
}

static ExprResult intResult(Expr *e, int32_t value)
{
    ExprResult r;
    r.type = &e->state->intType;
    r.small.i = value;
    return r;
}

static ExprResult doubleResult(Expr *e, double value)
{
    ExprResult r;
    r.type = &e->state->doubleType;
    r.small.d = value;
    return r;
}

static ExprResult pointerResult(ScriptType *type, uintptr_t address)
{
    ExprResult r;
    r.type = type;
    r.small.ptr = reinterpret_cast<void *>(address);
    return r;
}

static ExprResult copyResult(const ScriptValue *value)
{
    ExprResult r;
    r.type = value->type;
    r.copyFrom = value->data;
    return r;
}

// Storage inside a temporary goes away with it: what is taken from inside
// a temporary (an element, a member) is a copy.
static ExprResult elementResult(const ScriptValue *base, bool inside, ScriptType *type, void *at, bool isLvalue)
{
    ExprResult r;
    r.type = type;
    if (inside && valueOwnsStackData(base)) {
        r.copyFrom = at;
    } else {
        r.shared = at;
        r.isLvalue = isLvalue;
        r.origin = base->lvalueOrigin;
    }
    return r;
}

static void exprPushInt(Expr *e, int32_t value)
{
    exprPushResult(e, intResult(e, value));
}

/* ---- operators ----------------------------------------------------------- */

[[noreturn]] static void exprInvalid(Expr *e)
{
    parserError(e->cursor, "invalid operation");
}

static void exprRequireLvalue(Expr *e, const ScriptValue *value)
{
    if (!value->isLvalue)
        parserError(e->cursor, "can't assign to this");
}

static void exprRequireNonNull(Expr *e, uintptr_t address)
{
    if (!address)
        parserError(e->cursor, "invalid use of a NULL pointer");
}

// The operator a compound assignment applies before it stores.
static TokenKind exprBaseOperator(TokenKind op)
{
    switch (op) {
    case TK_ADD_ASSIGN: return TK_PLUS;
    case TK_SUBTRACT_ASSIGN: return TK_MINUS;
    case TK_MULTIPLY_ASSIGN: return TK_ASTERISK;
    case TK_DIVIDE_ASSIGN: return TK_SLASH;
    case TK_MODULUS_ASSIGN: return TK_MODULUS;
    case TK_SHIFT_LEFT_ASSIGN: return TK_SHIFT_LEFT;
    case TK_SHIFT_RIGHT_ASSIGN: return TK_SHIFT_RIGHT;
    case TK_AND_ASSIGN: return TK_AMPERSAND;
    case TK_OR_ASSIGN: return TK_BITWISE_OR;
    case TK_XOR_ASSIGN: return TK_BITWISE_XOR;
    default: return op;
    }
}

static bool exprIsAssignment(TokenKind op)
{
    return op >= TK_ASSIGN && op <= TK_XOR_ASSIGN;
}

static ExprResult exprDouble(Expr *e, TokenKind op, ScriptValue *left, ScriptValue *right)
{
    double a = coerceDouble(left), b = coerceDouble(right), result;
    switch (exprBaseOperator(op)) {
    case TK_ASSIGN: result = b; break;
    case TK_PLUS: result = a + b; break;
    case TK_MINUS: result = a - b; break;
    case TK_ASTERISK: result = a * b; break;
    case TK_SLASH: result = a / b; break;
    case TK_EQUAL: return intResult(e, a == b);
    case TK_NOT_EQUAL: return intResult(e, a != b);
    case TK_LESS_THAN: return intResult(e, a < b);
    case TK_GREATER_THAN: return intResult(e, a > b);
    case TK_LESS_EQUAL: return intResult(e, a <= b);
    case TK_GREATER_EQUAL: return intResult(e, a >= b);
    default: exprInvalid(e);
    }
    if (!exprIsAssignment(op))
        return doubleResult(e, result);
    if (op == TK_MODULUS_ASSIGN || op > TK_DIVIDE_ASSIGN)
        exprInvalid(e);
    exprRequireLvalue(e, left);
    if (left->type->kind == TYPE_DOUBLE) {
        store(left->data, result);
        return doubleResult(e, result);
    }
    int32_t truncated = doubleToInt32(result);
    storeInteger(left->data, left->type->kind, truncated);
    return intResult(e, truncated);
}

// Signed 32-bit with wrap-around; unsigned types are compared and divided
// as signed.
static ExprResult exprInteger(Expr *e, TokenKind op, ScriptValue *left, ScriptValue *right)
{
    int32_t a = coerceInteger(left), b = coerceInteger(right);
    uint32_t ua = uint32_t(a), ub = uint32_t(b);
    int32_t result;
    switch (exprBaseOperator(op)) {
    case TK_ASSIGN: result = b; break;
    case TK_PLUS: result = int32_t(ua + ub); break;
    case TK_MINUS: result = int32_t(ua - ub); break;
    case TK_ASTERISK: result = int32_t(ua * ub); break;
    case TK_SLASH: case TK_MODULUS:
        if (b == 0)
            parserError(e->cursor, "division by zero");
        if (a == INT32_MIN && b == -1)
            exprInvalid(e);
        result = exprBaseOperator(op) == TK_SLASH ? a / b : a % b;
        break;
    case TK_SHIFT_LEFT: result = int32_t(ua << (ub & 31)); break;
    case TK_SHIFT_RIGHT: result = a >> (ub & 31); break;
    case TK_AMPERSAND: result = a & b; break;
    case TK_BITWISE_OR: result = a | b; break;
    case TK_BITWISE_XOR: result = a ^ b; break;
    case TK_LOGICAL_OR: result = a || b; break;
    case TK_LOGICAL_AND: result = a && b; break;
    case TK_EQUAL: result = a == b; break;
    case TK_NOT_EQUAL: result = a != b; break;
    case TK_LESS_THAN: result = a < b; break;
    case TK_GREATER_THAN: result = a > b; break;
    case TK_LESS_EQUAL: result = a <= b; break;
    case TK_GREATER_EQUAL: result = a >= b; break;
    default: exprInvalid(e);
    }
    if (exprIsAssignment(op)) {
        exprRequireLvalue(e, left);
        storeInteger(left->data, left->type->kind, result);
    }
    return intResult(e, result);
}

static size_t pointedSize(const ScriptType *pointer)
{
    return size_t(pointer->fromType->size);
}

static ExprResult exprPointerNumber(Expr *e, TokenKind op, ScriptValue *left, ScriptValue *right)
{
    uintptr_t p = loadPointer(left);
    int32_t n = coerceInteger(right);
    uintptr_t moved = p + uintptr_t(intptr_t(n) * intptr_t(pointedSize(left->type)));
    switch (op) {
    case TK_EQUAL: case TK_NOT_EQUAL:
        if (n != 0)
            exprInvalid(e);
        return intResult(e, (p == 0) == (op == TK_EQUAL));
    case TK_PLUS: case TK_MINUS:
        exprRequireNonNull(e, p);
        if (op == TK_MINUS)
            moved = p - uintptr_t(intptr_t(n) * intptr_t(pointedSize(left->type)));
        return pointerResult(left->type, moved);
    case TK_ASSIGN:
        if (n != 0)
            exprInvalid(e);
        exprRequireLvalue(e, left);
        store(left->data, static_cast<void *>(nullptr));
        return pointerResult(left->type, 0);
    case TK_ADD_ASSIGN: case TK_SUBTRACT_ASSIGN:
        exprRequireNonNull(e, p);
        exprRequireLvalue(e, left);
        if (op == TK_SUBTRACT_ASSIGN)
            moved = p - uintptr_t(intptr_t(n) * intptr_t(pointedSize(left->type)));
        store(left->data, reinterpret_cast<void *>(moved));
        return pointerResult(left->type, moved);
    default:
        exprInvalid(e);
    }
}

static ExprResult exprAssignValue(Expr *e, ScriptValue *left, ScriptValue *right)
{
    assign(e->cursor, left, right, false, nullptr, 0, false);
    ExprResult r;
    r.type = left->type;
    r.shared = left->data;
    r.isLvalue = left->isLvalue;
    r.origin = left->lvalueOrigin;
    return r;
}

static ExprResult exprPointerPointer(Expr *e, TokenKind op, ScriptValue *left, ScriptValue *right)
{
    uintptr_t a = loadPointer(left), b = loadPointer(right);
    switch (op) {
    case TK_ASSIGN: return exprAssignValue(e, left, right);
    case TK_EQUAL: return intResult(e, a == b);
    case TK_NOT_EQUAL: return intResult(e, a != b);
    case TK_MINUS: return intResult(e, int32_t(uint32_t(a - b))); // in bytes, not elements
    default: exprInvalid(e);
    }
}

// A pointer is checked against the storage it points into, an array index
// against the array's own element count.
static ExprResult exprIndex(Expr *e, ScriptValue *left, ScriptValue *right)
{
    if (!typeIsNumeric(right->type->kind))
        parserError(e->cursor, "array index must be an integer");
    int64_t index = coerceInteger(right);
    ScriptType *type = left->type;
    if (type->kind != TYPE_POINTER && type->kind != TYPE_ARRAY)
        parserError(e->cursor, "this %t is not an array", type);
    ScriptType *element = type->fromType;
    uintptr_t base = type->kind == TYPE_POINTER ? loadPointer(left) : reinterpret_cast<uintptr_t>(left->data);
    if (!base)
        parserError(e->cursor, "NULL pointer dereference");
    if (type->kind == TYPE_ARRAY && type->arraySize > 0 && (index < 0 || index >= type->arraySize))
        parserError(e->cursor, "out of bounds access");
    uintptr_t at = base + uintptr_t(index * int64_t(element->size));
    bool writable = storageCheck(e->cursor, reinterpret_cast<void *>(at), compactSize(element));
    return elementResult(left, type->kind == TYPE_ARRAY, element, reinterpret_cast<void *>(at),
                         left->isLvalue && writable);
}

// A new value of the cast type, assigned with force and pointer coercion.
static void exprCast(Expr *e, ExprNode *lowest, ScriptValue *left, ScriptValue *right)
{
    ScriptType *type = load<ScriptType *>(left->data);
    ExprResult r;
    r.type = type;
    if (type->kind == TYPE_ARRAY && type->arraySize == 0)
        exprInvalid(e);
    if (type->kind != TYPE_VOID) {
        size_t size = typeDataSize(type, type->arraySize, false);
        HeapTemp staged{e->state};
        ScriptValue temporary{};
        temporary.type = type;
        if (size <= sizeof r.small) {
            temporary.data = &r.small;
        } else {
            staged.block = heapAlloc(e->state, size);
            if (!staged.block)
                parserError(e->cursor, "out of memory");
            temporary.data = static_cast<AnyData *>(staged.block);
            r.copyFrom = staged.block;
        }
        assign(e->cursor, &temporary, right, true, nullptr, 0, true);
        exprReplace(e, lowest, r);
        return;
    }
    exprReplace(e, lowest, r);
}

static void exprInfix(Expr *e, ExprNode *opNode)
{
    ExprNode *lowest = opNode->next;
    ScriptValue *left = lowest->value, *right = e->top->value;
    TokenKind op = opNode->op;
    TypeKind lk = left->type->kind, rk = right->type->kind;
    ExprResult r;
    if (op == TK_LEFT_SQUARE) {
        r = exprIndex(e, left, right);
    } else if (op == TK_QUESTION_MARK) {
        if (!typeIsNumeric(lk))
            parserError(e->cursor, "first argument to '?' should be a number");
        if (coerceDouble(left) != 0.0)
            r = copyResult(right);
        else
            r.type = &e->state->voidType; // the marker ':' looks for
    } else if (op == TK_COLON) {
        r = copyResult(lk == TYPE_VOID ? right : left);
    } else if (op == TK_CAST) {
        exprCast(e, lowest, left, right);
        return;
    } else if (typeIsNumeric(lk) && typeIsNumeric(rk) && (lk == TYPE_DOUBLE || rk == TYPE_DOUBLE)) {
        r = exprDouble(e, op, left, right);
    } else if (typeIsNumeric(lk) && typeIsNumeric(rk)) {
        r = exprInteger(e, op, left, right);
    } else if (lk == TYPE_POINTER && typeIsNumeric(rk)) {
        r = exprPointerNumber(e, op, left, right);
    } else if (lk == TYPE_POINTER && rk == TYPE_POINTER) {
        r = exprPointerPointer(e, op, left, right);
    } else if (op == TK_ASSIGN) {
        r = exprAssignValue(e, left, right);
    } else {
        exprInvalid(e);
    }
    exprReplace(e, lowest, r);
}

// The storage a pointer (or an array's first element) designates.
static uintptr_t exprDereference(Expr *e, const ScriptValue *value, ScriptType **type)
{
    if (value->type->kind == TYPE_POINTER) {
        *type = value->type->fromType;
        return loadPointer(value);
    }
    if (value->type->kind == TYPE_ARRAY) {
        *type = value->type->fromType;
        return reinterpret_cast<uintptr_t>(value->data);
    }
    exprInvalid(e);
}

static ExprResult exprStep(Expr *e, TokenKind op, ScriptValue *value, bool postfix)
{
    TypeKind kind = value->type->kind;
    int step = op == TK_INCREMENT ? 1 : -1;
    if (kind == TYPE_DOUBLE) {
        exprRequireLvalue(e, value);
        double old = load<double>(value->data);
        store(value->data, old + step);
        return doubleResult(e, postfix ? old : old + step);
    }
    if (typeIsInteger(kind)) {
        exprRequireLvalue(e, value);
        int32_t old = coerceInteger(value);
        storeInteger(value->data, kind, int32_t(uint32_t(old) + uint32_t(step)));
        return intResult(e, postfix ? old : coerceInteger(value));
    }
    uintptr_t p = loadPointer(value);
    exprRequireNonNull(e, p);
    exprRequireLvalue(e, value);
    uintptr_t moved = p + uintptr_t(intptr_t(step) * intptr_t(pointedSize(value->type)));
    store(value->data, reinterpret_cast<void *>(moved));
    return pointerResult(value->type, postfix ? p : moved);
}

static ExprResult exprPrefixNumber(Expr *e, TokenKind op, ScriptValue *value)
{
    if (value->type->kind == TYPE_DOUBLE) {
        double d = load<double>(value->data);
        switch (op) {
        case TK_PLUS: return doubleResult(e, d);
        case TK_MINUS: return doubleResult(e, -d);
        case TK_LOGICAL_NOT: return doubleResult(e, d == 0.0 ? 1.0 : 0.0);
        default: exprInvalid(e);
        }
    }
    int32_t n = coerceInteger(value);
    switch (op) {
    case TK_PLUS: return intResult(e, n);
    case TK_MINUS: return intResult(e, int32_t(0u - uint32_t(n)));
    case TK_LOGICAL_NOT: return intResult(e, !n);
    case TK_BITWISE_NOT: return intResult(e, ~n);
    default: exprInvalid(e);
    }
}

static void exprPrefix(Expr *e, ExprNode *opNode)
{
    ScriptValue *value = e->top->value;
    TokenKind op = opNode->op;
    TypeKind kind = value->type->kind;
    ExprResult r;
    if (op == TK_AMPERSAND) {
        if (!value->isLvalue)
            parserError(e->cursor, "can't get the address of this");
        r = pointerResult(pointerTo(e->state, e->cursor, value->type), reinterpret_cast<uintptr_t>(value->data));
    } else if (op == TK_ASTERISK) {
        ScriptType *type;
        uintptr_t at = exprDereference(e, value, &type);
        bool writable = storageCheck(e->cursor, reinterpret_cast<void *>(at), compactSize(type));
        bool inside = value->type->kind == TYPE_ARRAY;
        r = elementResult(value, inside, type, reinterpret_cast<void *>(at), writable);
        if (!inside)
            r.origin = nullptr;
    } else if (op == TK_SIZEOF) {
        ScriptType *type = kind == TYPE_TYPE ? load<ScriptType *>(value->data) : value->type;
        r = intResult(e, int32_t(compactSize(type)));
    } else if (op == TK_INCREMENT || op == TK_DECREMENT) {
        if (!typeIsNumeric(kind) && kind != TYPE_POINTER)
            exprInvalid(e);
        r = exprStep(e, op, value, false);
    } else if (typeIsNumeric(kind)) {
        r = exprPrefixNumber(e, op, value);
    } else if (kind == TYPE_POINTER) {
        exprRequireNonNull(e, loadPointer(value));
        exprRequireLvalue(e, value);
        exprInvalid(e);
    } else {
        exprInvalid(e);
    }
    exprReplace(e, opNode, r);
}

static void exprPostfix(Expr *e, ExprNode *opNode)
{
    ScriptValue *value = opNode->next->value;
    TypeKind kind = value->type->kind;
    if (!typeIsNumeric(kind) && kind != TYPE_POINTER)
        exprInvalid(e);
    ExprResult r = exprStep(e, opNode->op, value, true);
    exprReplace(e, opNode->next, r);
}

static void exprApply(Expr *e, ExprNode *opNode)
{
    if (!e->run) {
        ExprNode *lowest = opNode->order == ORDER_PREFIX ? opNode : opNode->next;
        e->top = lowest->next;
        exprPopTo(e->cursor, lowest);
        exprPushInt(e, 0);
        return;
    }
    switch (opNode->order) {
    case ORDER_PREFIX: exprPrefix(e, opNode); break;
    case ORDER_POSTFIX: exprPostfix(e, opNode); break;
    default: exprInfix(e, opNode); break;
    }
}

// Applies operators from the top while their precedence is at least `precedence`.
static void exprCollapse(Expr *e, int32_t precedence)
{
    for (;;) {
        ExprNode *top = e->top;
        if (!top)
            return;
        ExprNode *op = top->value ? top->next : top;
        if (!op || op->value || op->precedence < precedence)
            return;
        bool valueAbove = top != op;
        bool valueBelow = op->next && op->next->value;
        if ((op->order == ORDER_PREFIX && !valueAbove) || (op->order == ORDER_POSTFIX && (valueAbove || !valueBelow)) ||
            (op->order == ORDER_INFIX && (!valueAbove || !valueBelow)))
            return;
        if (op == e->shortCircuit)
            e->shortCircuit = nullptr;
        exprApply(e, op);
    }
}

/* ---- member access, variables, calls ------------------------------------ */

// member: ( '.' | '->' ) name
static void exprMember(Expr *e, TokenKind op)
{
    ScriptValue *nameValue;
    const char *text = op == TK_DOT ? "." : "->";
    if (getToken(e->cursor, &nameValue, true) != TK_IDENTIFIER)
        parserError(e->cursor, "need an structure or union member after '%s'", text);
    const char *name = static_cast<const char *>(nameValue->data->ptr);
    if (!e->run)
        return;
    ScriptValue *value = e->top->value;
    ScriptType *type = value->type;
    uintptr_t base = reinterpret_cast<uintptr_t>(value->data);
    if (op == TK_ARROW)
        base = exprDereference(e, value, &type);
    if (!base)
        parserError(e->cursor, "NULL pointer dereference");
    if (type->kind != TYPE_STRUCT && type->kind != TYPE_UNION)
        parserError(e->cursor, "can't use '%s' on something that's not a struct or union %s : it's a %t", text,
                    op == TK_ARROW ? "pointer" : "", value->type);
    void *found;
    if (!type->members || !tableGet(type->members, name, &found))
        parserError(e->cursor, "doesn't have a member called '%s'", name);
    ScriptValue *member = static_cast<ScriptValue *>(found);
    uintptr_t at = base + uintptr_t(load<int32_t>(member->data));
    bool writable = true;
    if (op == TK_ARROW)
        writable = storageCheck(e->cursor, reinterpret_cast<void *>(at), compactSize(member->type));
    bool inside = op == TK_DOT || value->type->kind == TYPE_ARRAY;
    ExprResult r = elementResult(value, inside, member->type, reinterpret_cast<void *>(at),
                                 op == TK_ARROW ? writable : value->isLvalue);
    if (op == TK_ARROW && !inside)
        r.origin = nullptr;
    exprReplace(e, e->top, r);
}

// The value of an expression parsed elsewhere (a macro body) becomes a node.
static void exprAdoptValue(Expr *e, ExprNode *node, ScriptValue *value)
{
    node->value = value;
    e->top = node;
}

static void exprMacroBody(Expr *e, const ScriptValue *macro, const char *name, ScriptValue **result)
{
    const MacroDef *def = &macro->data->macro;
    if (!def->body.pos)
        parserError(e->cursor, "'%s' is undefined", name);
    ParseCursor body = def->body;
    body.mode = MODE_RUN;
    if (!parseExpression(&body, result) || getToken(&body, nullptr, false) != TK_END_OF_FUNCTION)
        parserError(&body, "expression expected");
}

static void exprVariable(Expr *e, const char *name)
{
    ScriptValue *variable = getVariable(e->state, e->cursor, name);
    TypeKind kind = variable->type->kind;
    if (kind == TYPE_MACRO) {
        if (variable->data->macro.paramCount > 0)
            parserError(e->cursor, "macro arguments missing");
        ExprNode *node = exprPushNode(e, TK_NONE, ORDER_VALUE, 0);
        ScriptValue *result;
        exprMacroBody(e, variable, name, &result);
        exprAdoptValue(e, node, result);
        return;
    }
    if (kind == TYPE_VOID)
        parserError(e->cursor, "a void value isn't much use here");
    ExprResult r;
    r.type = variable->type;
    r.shared = variable->data;
    r.isLvalue = variable->isLvalue;
    r.origin = variable;
    exprPushResult(e, r);
}

// The arguments of a call not made: read without effect.
static void exprSkipArguments(ParseCursor *cursor)
{
    ExecMode mode = cursor->mode;
    if (mode == MODE_RUN)
        cursor->mode = MODE_SKIP;
    if (getToken(cursor, nullptr, false) == TK_CLOSE_BRACKET) {
        getToken(cursor, nullptr, true);
    } else {
        for (;;) {
            ScriptValue *ignored;
            if (!parseExpression(cursor, &ignored))
                parserError(cursor, "expression expected");
            TokenKind token = getToken(cursor, nullptr, true);
            if (token == TK_CLOSE_BRACKET)
                break;
            if (token != TK_COMMA)
                parserError(cursor, "comma expected");
        }
    }
    cursor->mode = mode;
}

// arguments: '(' [ expression { ',' expression } ] ')' -- the opening bracket
// is already read. Fixed arguments are converted into their parameter values;
// the others stay on the arena, each behind the one before.
static int32_t exprArguments(Expr *e, const char *name, const FunctionDef *def, ScriptValue **params)
{
    ParseCursor *cursor = e->cursor;
    int32_t count = 0;
    if (getToken(cursor, nullptr, false) == TK_CLOSE_BRACKET) {
        getToken(cursor, nullptr, true);
    } else {
        for (;; count++) {
            ScriptValue *param = nullptr;
            if (count < def->paramCount)
                param = params[count] = valueAllocFromType(e->state, cursor, def->paramTypes[count], true, nullptr, false);
            else if (!def->variadic)
                parserError(cursor, "too many arguments to %s()", name);
            ScriptValue *argument;
            if (!parseExpression(cursor, &argument))
                parserError(cursor, "expression expected");
            if (param) {
                assign(cursor, param, argument, true, name, count + 1, false);
                exprPopTo(cursor, argument);
            }
            TokenKind token = getToken(cursor, nullptr, true);
            if (token == TK_CLOSE_BRACKET) {
                count++;
                break;
            }
            if (token != TK_COMMA)
                parserError(cursor, "comma expected");
        }
    }
    if (count < def->paramCount)
        parserError(cursor, "not enough arguments to '%s'", name);
    return count;
}

static void exprRunBody(Expr *e, const char *name, const FunctionDef *def, ScriptValue *result,
                        ScriptValue **params, int32_t count)
{
    ParseCursor *cursor = e->cursor;
    if (!def->body.pos)
        parserError(cursor, "'%s' is undefined", name);
    ParseCursor body = def->body;
    body.mode = MODE_RUN;
    CallFrame *frame = framePush(cursor, name, count);
    frame->returnValue = result;
    for (int32_t i = 0; i < count; i++)
        frame->params[i] = params[i];
    for (int32_t i = 0; i < def->paramCount; i++) {
        ScriptValue *local = defineVariable(e->state, &body, def->paramNames[i], params[i], def->paramTypes[i], true);
        local->scopeId = -1; // parameters never go out of scope
    }
    if (parseStatement(&body, true) != STATEMENT_OK)
        parserError(&body, "function body expected");
    if (body.mode == MODE_GOTO)
        parserError(&body, "couldn't find goto label '%s'", body.gotoLabel);
    if (body.mode != MODE_RETURN && def->returnType->kind != TYPE_VOID)
        parserError(&body, "no value returned from a function returning %t", def->returnType);
    framePop(cursor);
}

static void exprMacroCall(Expr *e, const ScriptValue *macro, const char *name)
{
    ParseCursor *cursor = e->cursor;
    const MacroDef *def = &macro->data->macro;
    ExprNode *node = exprPushNode(e, TK_NONE, ORDER_VALUE, 0);
    ScriptValue *result = valueAllocFromType(e->state, cursor, &e->state->doubleType, false, nullptr, false);
    node->value = result;
    char *mark = e->state->arena.top;
    size_t slots = def->paramCount > 0 ? size_t(def->paramCount) : 1;
    ScriptValue **arguments = static_cast<ScriptValue **>(arenaAlloc(e->state, slots * sizeof(ScriptValue *)));
    if (!arguments)
        parserError(cursor, "out of memory");
    int32_t count = 0;
    if (getToken(cursor, nullptr, false) == TK_CLOSE_BRACKET) {
        getToken(cursor, nullptr, true);
    } else {
        for (;;) {
            if (count >= def->paramCount)
                parserError(cursor, "too many arguments to %s()", name);
            if (!parseExpression(cursor, &arguments[count]))
                parserError(cursor, "expression expected");
            count++;
            TokenKind token = getToken(cursor, nullptr, true);
            if (token == TK_CLOSE_BRACKET)
                break;
            if (token != TK_COMMA)
                parserError(cursor, "comma expected");
        }
    }
    if (count < def->paramCount)
        parserError(cursor, "not enough arguments to '%s'", name);
    if (!def->body.pos)
        parserError(cursor, "'%s' is undefined", name);
    framePush(cursor, name, count);
    for (int32_t i = 0; i < count; i++)
        defineVariable(e->state, cursor, def->paramNames[i], arguments[i], arguments[i]->type, true);
    ScriptValue *value;
    exprMacroBody(e, macro, name, &value);
    assign(cursor, result, value, true, nullptr, 0, false);
    framePop(cursor);
    exprPopTo(cursor, mark);
}

// call: name '(' arguments ')' -- the name is read, the bracket is next
static void exprCall(Expr *e, const char *name)
{
    ParseCursor *cursor = e->cursor;
    getToken(cursor, nullptr, true);
    if (!e->run || e->shortCircuit) {
        exprPushInt(e, 0);
        exprSkipArguments(cursor);
        return;
    }
    ScriptValue *function = getVariable(e->state, cursor, name);
    if (function->type->kind == TYPE_MACRO) {
        exprMacroCall(e, function, name);
        return;
    }
    if (function->type->kind != TYPE_FUNCTION)
        parserError(cursor, "%t is not a function - can't call", function->type);
    const FunctionDef *def = &function->data->function;
    ExprNode *node = exprPushNode(e, TK_NONE, ORDER_VALUE, 0);
    ScriptValue *result = valueAllocFromType(e->state, cursor, def->returnType, false, nullptr, false);
    node->value = result;
    if (!arenaPushFrame(e->state))
        parserError(cursor, "out of memory");
    size_t slots = def->paramCount > 0 ? size_t(def->paramCount) : 1;
    ScriptValue **params = static_cast<ScriptValue **>(arenaAlloc(e->state, slots * sizeof(ScriptValue *)));
    if (!params)
        parserError(cursor, "out of memory");
    int32_t count = exprArguments(e, name, def, params);
    if (def->native)
        def->native(cursor, result, params, count);
    else
        exprRunBody(e, name, def, result, params, count);
    arenaPopFrame(e->state);
}

static void exprPushType(Expr *e)
{
    ScriptType *type;
    const char *name;
    bool isStatic;
    parseType(e->cursor, &type, &name, &isStatic);
    if (!type || name != e->state->emptyString)
        parserError(e->cursor, "bad type declaration");
    ExprResult r;
    r.type = &e->state->typeType;
    r.small.type = type;
    exprPushResult(e, r);
}

static void exprPushConstant(Expr *e, ScriptValue *token)
{
    ExprResult r;
    r.type = token->type;
    memcpy(&r.small, token->data, compactSize(token->type));
    exprPushResult(e, r);
}

/* ---- the main loop ------------------------------------------------------- */

static bool exprIsSizeofOnTop(const Expr *e)
{
    return e->top && !e->top->value && e->top->op == TK_SIZEOF;
}

// cast: '(' type ')' -- an infix operator between the type and its operand
static void exprCastOperator(Expr *e)
{
    ParseCursor *cursor = e->cursor;
    ScriptType *type;
    const char *name;
    bool isStatic;
    parseType(cursor, &type, &name, &isStatic);
    if (!type || name != e->state->emptyString)
        parserError(cursor, "bad type declaration");
    expectToken(cursor, TK_CLOSE_BRACKET, "brackets not closed");
    exprCollapse(e, e->bracketBase + kPrefixPrecedence + 1);
    ExprResult r;
    r.type = &e->state->typeType;
    r.small.type = type;
    exprPushResult(e, r);
    exprPushNode(e, TK_CAST, ORDER_INFIX, e->bracketBase + kPrefixPrecedence);
}

static void exprPrefixOperator(Expr *e, TokenKind token)
{
    ParseCursor *cursor = e->cursor;
    int32_t precedence = kPrecedence[token].prefix;
    if (!precedence)
        parserError(cursor, "operator not expected here");
    if (token == TK_OPEN_BRACKET) {
        if (startsType(cursor) && !exprIsSizeofOnTop(e))
            exprCastOperator(e);
        else
            e->bracketBase += kBracketStep;
        return;
    }
    // - -x and **p apply the inner operator first.
    TokenKind next = getToken(cursor, nullptr, false);
    if (next <= TK_CLOSE_BRACKET && kPrecedence[next].prefix == precedence)
        precedence--;
    exprCollapse(e, e->bracketBase + precedence);
    exprPushNode(e, token, ORDER_PREFIX, e->bracketBase + precedence);
}

static void exprInfixOperator(Expr *e, TokenKind token)
{
    int32_t precedence = kPrecedence[token].infix;
    if (!precedence)
        parserError(e->cursor, "operator not expected here");
    precedence += e->bracketBase;
    bool rightToLeft = kPrecedence[token].infix == kAssignPrecedence;
    exprCollapse(e, rightToLeft ? precedence + 1 : precedence);
    if (token == TK_DOT || token == TK_ARROW) {
        exprMember(e, token);
        return;
    }
    bool decided = false;
    if (e->run && !e->shortCircuit && e->top && e->top->value &&
        (token == TK_LOGICAL_OR || token == TK_LOGICAL_AND) && typeIsNumeric(e->top->value->type->kind)) {
        bool zero = coerceDouble(e->top->value) == 0.0;
        decided = token == TK_LOGICAL_OR ? !zero : zero;
    }
    ExprNode *node = exprPushNode(e, token, ORDER_INFIX, precedence);
    if (decided)
        e->shortCircuit = node;
    if (token == TK_QUESTION_MARK)
        e->ternaryDepth++;
    else if (token == TK_COLON)
        e->ternaryDepth--;
    else if (token == TK_LEFT_SQUARE)
        e->bracketBase += kBracketStep;
}

// Returns whether the next token is expected in prefix position.
static bool exprOperator(Expr *e, TokenKind token, bool prefixExpected)
{
    if (prefixExpected) {
        exprPrefixOperator(e, token);
        return true;
    }
    if (token == TK_CLOSE_BRACKET || token == TK_RIGHT_SQUARE) {
        exprCollapse(e, e->bracketBase);
        e->bracketBase -= kBracketStep;
        return false;
    }
    if (kPrecedence[token].postfix) {
        exprCollapse(e, e->bracketBase + kPostfixPrecedence);
        exprPushNode(e, token, ORDER_POSTFIX, e->bracketBase + kPostfixPrecedence);
        return false;
    }
    exprInfixOperator(e, token);
    return token != TK_DOT && token != TK_ARROW;
}

static void exprIdentifier(Expr *e, const char *name, bool prefixExpected, const ParseCursor &before)
{
    ScriptValue *named = lookupVariable(e->state, name);
    if (named && named->type->kind == TYPE_TYPE) {
        if (!prefixExpected)
            parserError(e->cursor, "type not expected here");
        *e->cursor = before;
        exprPushType(e);
        return;
    }
    if (!prefixExpected)
        parserError(e->cursor, "identifier not expected here");
    if (getToken(e->cursor, nullptr, false) == TK_OPEN_BRACKET)
        exprCall(e, name);
    else if (e->run)
        exprVariable(e, name);
    else
        exprPushInt(e, 0);
}

// The result moves down to where the expression began, without its node.
static ScriptValue *exprFinish(Expr *e, char *base)
{
    if (!e->top || !e->top->value || e->top->next)
        parserError(e->cursor, "invalid expression");
    ScriptValue *value = e->top->value;
    ExprResult r;
    r.type = value->type;
    if (valueOwnsStackData(value)) {
        r.copyFrom = value->data;
    } else {
        r.shared = value->data;
        r.isLvalue = value->isLvalue;
        r.origin = value->lvalueOrigin;
    }
    HeapTemp staged{e->state};
    size_t size = compactSize(r.type);
    if (r.copyFrom && size > sizeof r.small) {
        staged.block = heapAlloc(e->state, size);
        if (!staged.block)
            parserError(e->cursor, "out of memory");
        memcpy(staged.block, r.copyFrom, size);
        r.copyFrom = staged.block;
    } else if (r.copyFrom) {
        memcpy(&r.small, r.copyFrom, size);
        r.copyFrom = nullptr;
    }
    exprPopTo(e->cursor, base);
    ScriptValue *result;
    if (r.shared) {
        result = valueAllocShared(e->cursor, r.type, r.shared, r.isLvalue, r.origin);
    } else {
        result = valueAllocFromType(e->state, e->cursor, r.type, false, nullptr, false);
        memcpy(result->data, r.copyFrom ? r.copyFrom : static_cast<const void *>(&r.small), size);
    }
    return result;
}

bool parseExpression(ParseCursor *cursor, ScriptValue **result)
{
    NestingGuard guard(cursor);
    EngineState *state = cursor->engine;
    Expr e{cursor, state, nullptr, 0, 0, nullptr, cursor->mode == MODE_RUN};
    char *base = state->arena.top;
    bool prefixExpected = true, found = false;
    for (;;) {
        ParseCursor before = *cursor;
        ScriptValue *value;
        TokenKind token = getToken(cursor, &value, true);
        if (token >= TK_ASSIGN && token <= TK_CLOSE_BRACKET) {
            bool closing = token == TK_CLOSE_BRACKET || token == TK_RIGHT_SQUARE;
            if ((token == TK_COLON && e.ternaryDepth == 0) || (closing && e.bracketBase == 0)) {
                *cursor = before;
                break;
            }
            prefixExpected = exprOperator(&e, token, prefixExpected);
        } else if (token == TK_IDENTIFIER) {
            exprIdentifier(&e, static_cast<const char *>(value->data->ptr), prefixExpected, before);
            prefixExpected = false;
        } else if (token >= TK_INT_CONSTANT && token <= TK_CHAR_CONSTANT) {
            if (!prefixExpected)
                parserError(cursor, "value not expected here");
            exprPushConstant(&e, value);
            prefixExpected = false;
        } else if (token >= TK_INT && token <= TK_UNSIGNED) {
            if (!prefixExpected)
                parserError(cursor, "type not expected here");
            *cursor = before;
            exprPushType(&e);
            prefixExpected = false;
        } else {
            *cursor = before;
            break;
        }
        found = true;
    }
    if (!found)
        return false;
    if (e.bracketBase > 0)
        parserError(cursor, "brackets not closed");
    exprCollapse(&e, 0);
    if (!e.run) {
        exprPopTo(cursor, base);
        *result = nullptr;
        return true;
    }
    *result = exprFinish(&e, base);
    return true;
}

int32_t parseIntExpression(ParseCursor *cursor)
{
    ScriptValue *value;
    if (!parseExpression(cursor, &value))
        parserError(cursor, "expression expected");
    if (cursor->mode != MODE_RUN)
        return 0;
    if (!typeIsNumeric(value->type->kind))
        parserError(cursor, "integer value expected instead of %t", value->type);
    int32_t result = coerceInteger(value);
    valuePop(cursor, value);
    return result;
}

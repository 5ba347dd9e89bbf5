// What the pieces of the expression evaluator share: the node stack, the
// record an operator leaves, and loads and stores of unaligned data.
#ifndef LODVANE_ENGINE_EVALUATOR_H
#define LODVANE_ENGINE_EVALUATOR_H

#include "arena.h"
#include "error.h"
#include "state.h"
#include "storage.h"
#include "token.h"
#include "types.h"
#include "variable.h"

#include <cmath>
#include <cstdint>
#include <cstring>

enum Order : uint8_t { ORDER_VALUE, ORDER_PREFIX, ORDER_INFIX, ORDER_POSTFIX };

// A value node is one arena block: the node, the value's header right
// behind it, then the value's own data (none when it shares storage).
struct ExprNode {
    ExprNode *next;      // the node below
    ScriptValue *value;  // null for an operator
    int32_t precedence;  // bracket base included
    TokenKind op;
    Order order;
};

constexpr size_t kExprNodeBytes = arenaAligned(sizeof(ExprNode));

// One expression being read.
struct Expr {
    ParseCursor *cursor;
    EngineState *state;
    uint32_t base;      // arenaMark of where the expression began
    ExprNode *top;
    int32_t bracketBase;
    int ternaryDepth;
    ExprNode *shortCircuit; // a decided && or || whose right operand makes no calls
    bool run;
};

// The data of a result small enough to travel by value.
union SmallData {
    int32_t i;
    uint32_t u;
    double d;
    void *ptr;
    ScriptType *type;
    unsigned char bytes[8];
};

// What an operator leaves: a new value holding `small` or a copy of
// `copyFrom`, or a header sharing existing storage.
struct ExprResult {
    ScriptType *type = nullptr;
    SmallData small{};
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

// Storage reached through a pointer need not be aligned for its type, so
// every datum is moved with memcpy.
template <typename T>
T load(const void *at)
{
    T value;
    memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void store(void *at, T value)
{
    memcpy(at, &value, sizeof value);
}

// 32 bits for int, long and their unsigned forms, 16 for the shorts, 8 for the chars.
inline void storeInteger(void *at, TypeKind kind, int32_t value)
{
    switch (kind) {
    case TYPE_SHORT: case TYPE_UNSIGNED_SHORT: store(at, static_cast<uint16_t>(value)); break;
    case TYPE_CHAR: case TYPE_UNSIGNED_CHAR: store(at, static_cast<uint8_t>(value)); break;
    default: store(at, static_cast<uint32_t>(value)); break;
    }
}

// The kinds that make C's arithmetic unsigned: char and short promote to int.
inline bool typeIsUnsignedWide(TypeKind kind)
{
    return kind == TYPE_UNSIGNED_INT || kind == TYPE_UNSIGNED_LONG;
}

// coerceInteger, with the 32-bit kinds, the commonest, read here.
inline int32_t exprInteger32(const ScriptValue *value)
{
    TypeKind kind = value->type->kind;
    if (kind == TYPE_INT || kind == TYPE_LONG || kind == TYPE_UNSIGNED_INT || kind == TYPE_UNSIGNED_LONG) {
        int32_t n;
        memcpy(&n, value->data, sizeof n);
        return n;
    }
    return coerceInteger(value);
}

inline uintptr_t loadPointer(const ScriptValue *value)
{
    return reinterpret_cast<uintptr_t>(load<void *>(value->data));
}

// Out-of-range doubles saturate; NaN becomes 0.
inline int32_t doubleToInt32(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 2147483647.0)
        return INT32_MAX;
    if (d <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(d);
}

// memcpy of at most 8 bytes, with the usual sizes spelt out so that none of
// them becomes a call.
inline void copySmall(void *to, const void *from, size_t size)
{
    switch (size) {
    case 8: memcpy(to, from, 8); break;
    case 4: memcpy(to, from, 4); break;
    case 1: memcpy(to, from, 1); break;
    case 2: memcpy(to, from, 2); break;
    default: memcpy(to, from, size); break;
    }
}

inline size_t compactSize(const ScriptType *type)
{
    return typeDataSize(type, type->arraySize, true);
}

/* ---- the node stack ------------------------------------------------------ */

inline ExprNode *exprPushNode(Expr *e, TokenKind op, Order order, int32_t precedence)
{
    ExprNode *node = static_cast<ExprNode *>(arenaAllocRaw(e->state, kExprNodeBytes));
    if (!node)
        parserError(e->cursor, "out of memory");
    node->next = e->top;
    node->value = nullptr;
    node->op = op;
    node->order = order;
    node->precedence = precedence;
    e->top = node;
    return node;
}

// Releases everything from `address` up.
inline void exprPopTo(ParseCursor *cursor, const void *address)
{
    if (!arenaPopTo(cursor->engine, address))
        parserError(cursor, "stack underrun");
}

ScriptValue *exprPushResult(Expr *e, const ExprResult &r);
void exprReplace(Expr *e, ExprNode *lowest, ExprResult &r);
// exprReplace for a number or a pointer held in `small`.
void exprReplaceNumber(Expr *e, ExprNode *lowest, ScriptType *type, SmallData small);
// A new value node of `type` whose data, zeroed, is the value's own.
ScriptValue *exprPushValue(Expr *e, ScriptType *type);

inline ExprResult intResult(Expr *e, int32_t value)
{
    ExprResult r;
    r.type = &e->state->intType;
    r.small.i = value;
    return r;
}

// Also the placeholder an operator or a call leaves when read without running.
inline void exprPushInt(Expr *e, int32_t value)
{
    exprPushResult(e, intResult(e, value));
}

/* ---- operators (operator.cpp) ------------------------------------------- */

// The operator an expression stack would apply next, if its precedence is
// at least `precedence`.
inline ExprNode *exprCollapsible(const Expr *e, int32_t precedence)
{
    ExprNode *top = e->top;
    if (!top)
        return nullptr;
    ExprNode *op = top->value ? top->next : top;
    if (!op || op->value || op->precedence < precedence)
        return nullptr;
    return op;
}

void exprCollapseFrom(Expr *e, int32_t precedence);

// Applies operators from the top while their precedence is at least `precedence`.
inline void exprCollapse(Expr *e, int32_t precedence)
{
    if (exprCollapsible(e, precedence))
        exprCollapseFrom(e, precedence);
}

void exprMember(Expr *e, TokenKind op);

/* ---- calls and macros (call.cpp) ---------------------------------------- */

void exprMacroBody(Expr *e, const ScriptValue *macro, const char *name, ScriptValue **result);
// `function` is what the name stands for, or null when nothing visible does.
void exprCall(Expr *e, const char *name, ScriptValue *function);

#endif

// Operator evaluation: arithmetic, comparison, pointers, indexing, casts and member access.
#include "evaluator.h"

#include "expression.h"
#include "lexer.h"
#include "state.h"
#include "storage.h"
#include "table.h"
#include "type.h"

#include <cstring>

static ScriptType *pointerTo(EngineState *state, ParseCursor *cursor, ScriptType *type)
{
    return getMatchingType(state, cursor, type, TYPE_POINTER, 0, state->emptyString, true);
}

/* ---- results ------------------------------------------------------------ */

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

static ScriptType *integerType(Expr *e, bool isUnsigned)
{
    return isUnsigned ? &e->state->unsignedIntType : &e->state->intType;
}

static ExprResult integerResult(Expr *e, int32_t value, bool isUnsigned)
{
    ExprResult r = intResult(e, value);
    r.type = integerType(e, isUnsigned);
    return r;
}

// 32 bits with wrap-around, signed or unsigned as C's usual conversions make
// it: unsigned when either operand is an unsigned int or unsigned long, char
// and short promoting to int. A shift takes its left operand's type. An
// assignment's value has its target's signedness.
static ScriptType *exprInteger(Expr *e, TokenKind op, ScriptValue *left, ScriptValue *right, int32_t *value)
{
    int32_t a = exprInteger32(left), b = exprInteger32(right);
    uint32_t ua = uint32_t(a), ub = uint32_t(b);
    TokenKind base = exprBaseOperator(op);
    bool leftUnsigned = typeIsUnsignedWide(left->type->kind);
    bool isUnsigned = leftUnsigned || typeIsUnsignedWide(right->type->kind);
    int32_t result;
    switch (base) {
    case TK_ASSIGN: result = b; break;
    case TK_PLUS: result = int32_t(ua + ub); break;
    case TK_MINUS: result = int32_t(ua - ub); break;
    case TK_ASTERISK: result = int32_t(ua * ub); break;
    case TK_SLASH: case TK_MODULUS:
        if (b == 0)
            parserError(e->cursor, "division by zero");
        if (isUnsigned) {
            result = int32_t(base == TK_SLASH ? ua / ub : ua % ub);
            break;
        }
        if (a == INT32_MIN && b == -1)
            exprInvalid(e);
        result = base == TK_SLASH ? a / b : a % b;
        break;
    case TK_SHIFT_LEFT: result = int32_t(ua << (ub & 31)); isUnsigned = leftUnsigned; break;
    case TK_SHIFT_RIGHT:
        result = leftUnsigned ? int32_t(ua >> (ub & 31)) : a >> (ub & 31);
        isUnsigned = leftUnsigned;
        break;
    case TK_AMPERSAND: result = a & b; break;
    case TK_BITWISE_OR: result = a | b; break;
    case TK_BITWISE_XOR: result = a ^ b; break;
    case TK_LOGICAL_OR: result = a || b; isUnsigned = false; break;
    case TK_LOGICAL_AND: result = a && b; isUnsigned = false; break;
    case TK_EQUAL: result = a == b; isUnsigned = false; break;
    case TK_NOT_EQUAL: result = a != b; isUnsigned = false; break;
    case TK_LESS_THAN: result = isUnsigned ? ua < ub : a < b; isUnsigned = false; break;
    case TK_GREATER_THAN: result = isUnsigned ? ua > ub : a > b; isUnsigned = false; break;
    case TK_LESS_EQUAL: result = isUnsigned ? ua <= ub : a <= b; isUnsigned = false; break;
    case TK_GREATER_EQUAL: result = isUnsigned ? ua >= ub : a >= b; isUnsigned = false; break;
    default: exprInvalid(e);
    }
    if (exprIsAssignment(op)) {
        exprRequireLvalue(e, left);
        storeInteger(left->data, left->type->kind, result);
        isUnsigned = leftUnsigned;
    }
    *value = result;
    return integerType(e, isUnsigned);
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
    int64_t index = exprInteger32(right);
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
            temporary.data = reinterpret_cast<AnyData *>(&r.small);
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
        SmallData result{};
        ScriptType *type = exprInteger(e, op, left, right, &result.i);
        exprReplaceNumber(e, lowest, type, result);
        return;
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
        return integerResult(e, postfix ? old : coerceInteger(value), typeIsUnsignedWide(kind));
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
    bool isUnsigned = typeIsUnsignedWide(value->type->kind);
    switch (op) {
    case TK_PLUS: return integerResult(e, n, isUnsigned);
    case TK_MINUS: return integerResult(e, int32_t(0u - uint32_t(n)), isUnsigned);
    case TK_LOGICAL_NOT: return intResult(e, !n);
    case TK_BITWISE_NOT: return integerResult(e, ~n, isUnsigned);
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

void exprCollapseFrom(Expr *e, int32_t precedence)
{
    for (;;) {
        ExprNode *op = exprCollapsible(e, precedence);
        if (!op)
            return;
        ExprNode *top = e->top;
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

/* ---- member access ------------------------------------------------------- */

// member: ( '.' | '->' ) name
void exprMember(Expr *e, TokenKind op)
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

// The expression reader: the operator-precedence loop, the node stack and the operands.
#include "expression.h"

#include "declaration.h"
#include "evaluator.h"
#include "lexer.h"
#include "state.h"

#include <cstring>

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

/* ---- the node stack ------------------------------------------------------ */

// Every value node has room for a number or a pointer behind its header,
// so that an operator can leave its result in the node of its lowest operand.
constexpr size_t kNodeScalarBytes = 8;

// A value node whose data, `dataSize` bytes right behind the header, is left
// for the caller to fill.
static ScriptValue *exprValueNode(Expr *e, ScriptType *type, size_t dataSize)
{
    size_t room = dataSize < kNodeScalarBytes ? kNodeScalarBytes : dataSize;
    char *block = static_cast<char *>(arenaAllocRaw(e->state, kExprNodeBytes + kValueHeader + room));
    if (!block)
        parserError(e->cursor, "out of memory");
    ExprNode *node = reinterpret_cast<ExprNode *>(block);
    ScriptValue *value = reinterpret_cast<ScriptValue *>(block + kExprNodeBytes);
    node->next = e->top;
    node->value = value;
    node->precedence = 0;
    node->op = TK_NONE;
    node->order = ORDER_VALUE;
    e->top = node;
    value->type = type;
    value->data = reinterpret_cast<AnyData *>(block + kExprNodeBytes + kValueHeader);
    value->lvalueOrigin = nullptr;
    value->valueOnHeap = false;
    value->valueOnStack = true;
    value->dataOnHeap = false;
    value->isLvalue = false;
    value->outOfScope = false;
    value->scopeId = e->cursor->scopeId;
    return value;
}

// A value node sharing storage it does not own.
static ScriptValue *exprValueNodeShared(Expr *e, ScriptType *type, void *data)
{
    ScriptValue *value = exprValueNode(e, type, 0);
    value->data = static_cast<AnyData *>(data);
    return value;
}

ScriptValue *exprPushValue(Expr *e, ScriptType *type)
{
    size_t dataSize = typeDataSize(type, type->arraySize, false);
    ScriptValue *value = exprValueNode(e, type, dataSize);
    valueClearData(value->data, dataSize);
    if (temporaryIsReachable(type))
        storagePushStack(e->state, value->data, dataSize);
    return value;
}

ScriptValue *exprPushResult(Expr *e, const ExprResult &r)
{
    if (r.shared) {
        ScriptValue *value = exprValueNodeShared(e, r.type, r.shared);
        value->isLvalue = r.isLvalue;
        value->lvalueOrigin = r.origin;
        return value;
    }
    size_t dataSize = typeDataSize(r.type, r.type->arraySize, false);
    ScriptValue *value = exprValueNode(e, r.type, dataSize);
    char *data = reinterpret_cast<char *>(value->data);
    size_t filled = sizeof r.small;
    if (r.copyFrom) {
        filled = compactSize(r.type);
        memcpy(data, r.copyFrom, filled);
    } else if (dataSize >= sizeof r.small) {
        // The bytes of `small` past the type's compact size are zero.
        memcpy(data, &r.small, sizeof r.small);
    } else {
        memcpy(data, &r.small, dataSize);
    }
    if (dataSize > filled)
        memset(data + filled, 0, dataSize - filled);
    if (temporaryIsReachable(r.type))
        storagePushStack(e->state, data, dataSize);
    return value;
}

// A result that is a number, a pointer or a header sharing storage takes
// over the node of its lowest operand where it stands, when that is a value
// node of its own block whose data no pointer may reach.
static bool exprReplaceInPlace(Expr *e, ExprNode *lowest, const ExprResult &r)
{
    char *block = reinterpret_cast<char *>(lowest);
    ScriptValue *value = lowest->value;
    if (value != reinterpret_cast<ScriptValue *>(block + kExprNodeBytes) || temporaryIsReachable(r.type) ||
        (valueOwnsStackData(value) && temporaryIsReachable(value->type)))
        return false;
    char *data = block + kExprNodeBytes + kValueHeader;
    exprPopTo(e->cursor, data + kNodeScalarBytes);
    e->top = lowest;
    value->type = r.type;
    value->lvalueOrigin = r.origin;
    value->dataOnHeap = false;
    value->isLvalue = r.isLvalue;
    if (r.shared) {
        value->data = static_cast<AnyData *>(r.shared);
    } else {
        value->data = reinterpret_cast<AnyData *>(data);
        memcpy(data, &r.small, sizeof r.small); // zero past the type's compact size
    }
    return true;
}

void exprReplaceNumber(Expr *e, ExprNode *lowest, ScriptType *type, SmallData small)
{
    char *block = reinterpret_cast<char *>(lowest);
    ScriptValue *value = lowest->value;
    if (value != reinterpret_cast<ScriptValue *>(block + kExprNodeBytes) ||
        (valueOwnsStackData(value) && temporaryIsReachable(value->type))) {
        ExprResult r;
        r.type = type;
        r.small = small;
        exprReplace(e, lowest, r);
        return;
    }
    char *data = block + kExprNodeBytes + kValueHeader;
    exprPopTo(e->cursor, data + kNodeScalarBytes);
    e->top = lowest;
    value->type = type;
    value->data = reinterpret_cast<AnyData *>(data);
    value->lvalueOrigin = nullptr;
    value->dataOnHeap = false;
    value->isLvalue = false;
    memcpy(data, &small, sizeof small);
}

// The operands from `lowest` up give way to the result; a copy is staged
// first because the result is written where the operands were.
void exprReplace(Expr *e, ExprNode *lowest, ExprResult &r)
{
    if (!r.copyFrom) {
        if (exprReplaceInPlace(e, lowest, r))
            return;
        e->top = lowest->next;
        exprPopTo(e->cursor, lowest);
        exprPushResult(e, r);
        return;
    }
    HeapTemp staged{e->state};
    size_t size = compactSize(r.type);
    if (size <= sizeof r.small) {
        memcpy(&r.small, r.copyFrom, size);
        r.copyFrom = nullptr;
    } else {
        staged.block = heapAlloc(e->state, size);
        if (!staged.block)
            parserError(e->cursor, "out of memory");
        memcpy(staged.block, r.copyFrom, size);
        r.copyFrom = staged.block;
    }
    e->top = lowest->next;
    exprPopTo(e->cursor, lowest);
    exprPushResult(e, r);
}

/* ---- operands ------------------------------------------------------------ */

// `variable` is what the name stands for, or null when nothing visible does.
static void exprVariable(Expr *e, const char *name, ScriptValue *variable)
{
    if (!variable)
        variable = getVariable(e->state, e->cursor, name);
    TypeKind kind = variable->type->kind;
    if (kind == TYPE_MACRO) {
        if (variable->data->macro.paramCount > 0)
            parserError(e->cursor, "macro arguments missing");
        ExprNode *node = exprPushNode(e, TK_NONE, ORDER_VALUE, 0);
        ScriptValue *result;
        exprMacroBody(e, variable, name, &result);
        node->value = result; // the body's value becomes the node's
        e->top = node;
        return;
    }
    if (kind == TYPE_VOID)
        parserError(e->cursor, "a void value isn't much use here");
    ScriptValue *value = exprValueNodeShared(e, variable->type, variable->data);
    value->isLvalue = variable->isLvalue;
    value->lvalueOrigin = variable;
}

static void exprPushTypeValue(Expr *e, ScriptType *type)
{
    ExprResult r;
    r.type = &e->state->typeType;
    r.small.type = type;
    exprPushResult(e, r);
}

static void exprPushType(Expr *e)
{
    ScriptType *type;
    const char *name;
    bool isStatic;
    parseType(e->cursor, &type, &name, &isStatic);
    if (!type || name != e->state->emptyString)
        parserError(e->cursor, "bad type declaration");
    exprPushTypeValue(e, type);
}

// A constant's value, straight from its record's payload.
static void exprPushConstant(Expr *e, TokenKind token, const unsigned char *record)
{
    const unsigned char *payload = record + kTokenHeaderBytes;
    EngineState *state = e->state;
    ExprResult r;
    switch (token) {
    case TK_INT_CONSTANT: r.type = &state->longType; memcpy(&r.small.i, payload, 4); break;
    case TK_UNSIGNED_CONSTANT: r.type = &state->unsignedIntType; memcpy(&r.small.u, payload, 4); break;
    case TK_FP_CONSTANT: r.type = &state->doubleType; memcpy(&r.small.d, payload, 8); break;
    case TK_STRING_CONSTANT: r.type = state->charPtrType; r.small.ptr = const_cast<char *>(tokenName(record)); break;
    default: r.type = &state->charType; r.small.bytes[0] = payload[0]; break;
    }
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
    exprPushTypeValue(e, type);
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

// The name is looked up once: it may be a typedef, a function or a variable.
static void exprIdentifier(Expr *e, const char *name, bool prefixExpected, const TokenMark &before)
{
    ScriptValue *named = lookupVariableInUse(e->state, name, e->base);
    if (named && named->type->kind == TYPE_TYPE) {
        if (!prefixExpected)
            parserError(e->cursor, "type not expected here");
        tokenReturn(e->cursor, before);
        exprPushType(e);
        return;
    }
    if (!prefixExpected)
        parserError(e->cursor, "identifier not expected here");
    if (getToken(e->cursor, nullptr, false) == TK_OPEN_BRACKET)
        exprCall(e, name, named);
    else if (e->run)
        exprVariable(e, name, named);
    else
        exprPushInt(e, 0);
}

// Reads the expression and applies every operator; in run mode the one value
// left is on top of the node stack. False when no expression was found.
static bool exprEvaluate(Expr *e)
{
    ParseCursor *cursor = e->cursor;
    bool prefixExpected = true, found = false;
    for (;;) {
        TokenMark before = tokenMark(cursor);
        const unsigned char *record;
        TokenKind token = nextToken(cursor, &record);
        if (token >= TK_ASSIGN && token <= TK_CLOSE_BRACKET) {
            bool closing = token == TK_CLOSE_BRACKET || token == TK_RIGHT_SQUARE;
            if ((token == TK_COLON && e->ternaryDepth == 0) || (closing && e->bracketBase == 0)) {
                tokenReturn(cursor, before);
                break;
            }
            prefixExpected = exprOperator(e, token, prefixExpected);
        } else if (token == TK_IDENTIFIER) {
            exprIdentifier(e, tokenName(record), prefixExpected, before);
            prefixExpected = false;
        } else if (tokenIsConstant(token)) {
            if (!prefixExpected)
                parserError(cursor, "value not expected here");
            exprPushConstant(e, token, record);
            prefixExpected = false;
        } else if (token >= TK_INT && token <= TK_UNSIGNED) {
            if (!prefixExpected)
                parserError(cursor, "type not expected here");
            tokenReturn(cursor, before);
            exprPushType(e);
            prefixExpected = false;
        } else {
            tokenReturn(cursor, before);
            break;
        }
        found = true;
    }
    if (!found)
        return false;
    if (e->bracketBase > 0)
        parserError(cursor, "brackets not closed");
    exprCollapse(e, 0);
    if (e->run && (!e->top || !e->top->value || e->top->next))
        parserError(cursor, "invalid expression");
    return true;
}

// The result moves down to where the expression began, without its node.
static ScriptValue *exprFinish(Expr *e, char *base)
{
    ScriptValue *value = e->top->value;
    ScriptType *type = value->type;
    if (!valueOwnsStackData(value)) {
        void *shared = value->data;
        bool isLvalue = value->isLvalue;
        ScriptValue *origin = value->lvalueOrigin;
        exprPopTo(e->cursor, base);
        return valueAllocShared(e->cursor, type, shared, isLvalue, origin);
    }
    size_t size = compactSize(type);
    if (size <= sizeof(SmallData)) {
        SmallData small;
        copySmall(&small, value->data, size);
        exprPopTo(e->cursor, base);
        ScriptValue *result = valueAllocTemporary(e->cursor, type);
        copySmall(result->data, &small, size);
        return result;
    }
    HeapTemp staged{e->state};
    staged.block = heapAlloc(e->state, size);
    if (!staged.block)
        parserError(e->cursor, "out of memory");
    memcpy(staged.block, value->data, size);
    exprPopTo(e->cursor, base);
    ScriptValue *result = valueAllocTemporary(e->cursor, type);
    memcpy(result->data, staged.block, size);
    return result;
}

// One expression read from a cursor: in run mode its value stays on top of
// the node stack until dropped with everything the expression pushed.
struct ExprReading {
    NestingGuard guard;
    char *base;
    Expr e;

    explicit ExprReading(ParseCursor *cursor)
        : guard(cursor), base(cursor->engine->arena.top),
          e{cursor, cursor->engine, arenaMark(cursor->engine, base), nullptr, 0, 0, nullptr, cursor->mode == MODE_RUN}
    {
    }
    bool read() { return exprEvaluate(&e); }
    const ScriptValue *value() const { return e.top->value; }
    void drop() { exprPopTo(e.cursor, base); }
};

bool parseExpression(ParseCursor *cursor, ScriptValue **result)
{
    ExprReading reading(cursor);
    if (!reading.read())
        return false;
    if (!reading.e.run) {
        reading.drop();
        *result = nullptr;
        return true;
    }
    *result = exprFinish(&reading.e, reading.base);
    return true;
}

bool parseExpressionDiscard(ParseCursor *cursor)
{
    ExprReading reading(cursor);
    if (!reading.read())
        return false;
    reading.drop();
    return true;
}

bool parseExpressionInto(ParseCursor *cursor, ScriptValue *dest, bool force, const char *functionName,
                         int argNumber)
{
    ExprReading reading(cursor);
    if (!reading.read())
        return false;
    if (reading.e.run)
        assign(cursor, dest, reading.e.top->value, force, functionName, argNumber, false);
    reading.drop();
    return true;
}

int32_t parseIntExpression(ParseCursor *cursor)
{
    ExprReading reading(cursor);
    if (!reading.read())
        parserError(cursor, "expression expected");
    if (!reading.e.run) {
        reading.drop();
        return 0;
    }
    const ScriptValue *value = reading.value();
    if (!typeIsNumeric(value->type->kind))
        parserError(cursor, "integer value expected instead of %t", value->type);
    int32_t result = coerceInteger(value);
    reading.drop();
    return result;
}

// Calls of script functions, host functions and macros, and macro expansion.
#include "evaluator.h"

#include "expression.h"
#include "lexer.h"
#include "state.h"
#include "statement.h"
#include "table.h"

// A macro's body evaluated where the macro stands.
void exprMacroBody(Expr *e, const ScriptValue *macro, const char *name, ScriptValue **result)
{
    const MacroDef *def = &macro->data->macro;
    if (!def->body.pos)
        parserError(e->cursor, "'%s' is undefined", name);
    ParseCursor body = def->body;
    body.mode = MODE_RUN;
    if (!parseExpression(&body, result) || getToken(&body, nullptr, false) != TK_END_OF_FUNCTION)
        parserError(&body, "expression expected");
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
            if (param ? !parseExpressionInto(cursor, param, true, name, count + 1)
                      : !parseExpression(cursor, &argument))
                parserError(cursor, "expression expected");
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

// The parameter values the arguments were assigned to become the function's
// locals as they are: each is already a fresh value of its parameter's type
// holding a copy of its argument, and lives on the arena until the call ends.
static void exprDefineParameters(EngineState *state, ParseCursor *body, const FunctionDef *def, ScriptValue **params)
{
    HashTable *locals = &state->topFrame->locals;
    for (int32_t i = 0; i < def->paramCount; i++) {
        ScriptValue *param = params[i];
        param->isLvalue = true;
        param->lvalueOrigin = nullptr;
        param->scopeId = -1; // parameters never go out of scope
        if (i > 0 && tableEntry(locals, def->paramNames[i]))
            parserError(body, "'%s' is already defined", def->paramNames[i]);
        tableInsert(state, locals, def->paramNames[i], param, body->file, body->line, body->column);
    }
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
    for (int32_t i = 0; i < def->paramCount; i++)
        frame->params[i] = params[i]; // the ones behind them have no slot of their own
    exprDefineParameters(e->state, &body, def, params);
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
void exprCall(Expr *e, const char *name, ScriptValue *function)
{
    ParseCursor *cursor = e->cursor;
    getToken(cursor, nullptr, true);
    if (!e->run || e->shortCircuit) {
        exprPushInt(e, 0);
        exprSkipArguments(cursor);
        return;
    }
    if (!function)
        function = getVariable(e->state, cursor, name);
    if (function->type->kind == TYPE_MACRO) {
        exprMacroCall(e, function, name);
        return;
    }
    if (function->type->kind != TYPE_FUNCTION)
        parserError(cursor, "%t is not a function - can't call", function->type);
    const FunctionDef *def = &function->data->function;
    ScriptValue *result = exprPushValue(e, def->returnType);
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

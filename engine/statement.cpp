// Statements: blocks, declarations, expression statements and return.
#include "statement.h"

#include "declaration.h"
#include "error.h"
#include "expression.h"
#include "lexer.h"
#include "state.h"
#include "variable.h"

static TokenKind stmtPeek(ParseCursor *cursor, ScriptValue **value = nullptr)
{
    return getToken(cursor, value, false);
}

ExecMode parseBlock(ParseCursor *cursor, bool absorbBrace, bool condition)
{
    intptr_t saved = scopeEnter(cursor);
    if (absorbBrace && getToken(cursor, nullptr, true) != TK_LEFT_BRACE)
        parserError(cursor, "'{' expected");
    ExecMode mode = cursor->mode;
    bool run = mode != MODE_SKIP && condition;
    if (!run)
        cursor->mode = MODE_SKIP;
    while (parseStatement(cursor, true) == STATEMENT_OK) {
    }
    if (!run)
        cursor->mode = mode;
    if (getToken(cursor, nullptr, true) != TK_RIGHT_BRACE)
        parserError(cursor, "'}' expected");
    scopeLeave(cursor, saved);
    return cursor->mode;
}

// return: 'return' [ expression ]
static void stmtReturn(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    CallFrame *frame = state->topFrame;
    bool hasValue = stmtPeek(cursor) != TK_SEMICOLON;
    if (cursor->mode != MODE_RUN) {
        ScriptValue *ignored;
        if (hasValue)
            parseExpression(cursor, &ignored);
        return;
    }
    bool wantsValue = !frame || frame->returnValue->type->kind != TYPE_VOID;
    if (wantsValue && !hasValue)
        parserError(cursor, "value required in return");
    if (!wantsValue && hasValue)
        parserError(cursor, "value in return from a void function");
    if (hasValue) {
        ScriptValue *value;
        if (!parseExpression(cursor, &value))
            parserError(cursor, "value required in return");
        if (!frame)
            engineExit(state, coerceInteger(value));
        assign(cursor, frame->returnValue, value, true, nullptr, 0, false);
        valuePop(cursor, value);
    }
    cursor->mode = MODE_RETURN;
}

static bool stmtIsTypedef(ParseCursor *cursor, ScriptValue *token)
{
    ScriptValue *named = lookupVariable(cursor->engine, static_cast<const char *>(token->data->ptr));
    return named && named->type->kind == TYPE_TYPE;
}

StatementResult parseStatement(ParseCursor *cursor, bool checkSemicolon)
{
    NestingGuard guard(cursor);
    ParseCursor before = *cursor;
    ScriptValue *value;
    TokenKind token = getToken(cursor, &value, true);
    switch (token) {
    case TK_EOF:
    case TK_END_OF_FUNCTION:
        *cursor = before;
        return STATEMENT_EOF;
    case TK_SEMICOLON:
        return STATEMENT_OK;
    case TK_LEFT_BRACE:
        *cursor = before;
        parseBlock(cursor, true, true);
        return STATEMENT_OK;
    case TK_RETURN:
        stmtReturn(cursor);
        break;
    case TK_IDENTIFIER:
        *cursor = before;
        if (stmtIsTypedef(cursor, value))
            goto declaration;
        goto expression;
    case TK_AMPERSAND: case TK_ASTERISK: case TK_INCREMENT: case TK_DECREMENT: case TK_OPEN_BRACKET:
        *cursor = before;
    expression: {
        ScriptValue *result;
        parseExpression(cursor, &result);
        if (cursor->mode == MODE_RUN)
            valuePop(cursor, result);
        break;
    }
    default:
        if (token < TK_INT || token > TK_UNSIGNED) {
            *cursor = before;
            return STATEMENT_ERROR;
        }
        *cursor = before;
    declaration: {
        ScriptType *returnType;
        const char *name;
        if (!parseDeclaration(cursor, &returnType, &name)) {
            *cursor = before;
            return STATEMENT_ERROR;
        }
        break;
    }
    }
    if (checkSemicolon && getToken(cursor, nullptr, true) != TK_SEMICOLON)
        parserError(cursor, "';' expected");
    return STATEMENT_OK;
}

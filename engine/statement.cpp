// Statements: executed as they are read, or stepped over, according to the
// cursor's mode. Loops re-read their condition and body by moving the cursor
// back; break, continue, return and goto change the mode so that the rest of
// a body is read without effect.
#include "statement.h"

#include "declaration.h"
#include "include.h"
#include "error.h"
#include "expression.h"
#include "function.h"
#include "lexer.h"
#include "state.h"
#include "table.h"
#include "variable.h"

static TokenKind stmtPeek(ParseCursor *cursor, ScriptValue **value = nullptr)
{
    return getToken(cursor, value, false);
}

// Moves to a remembered position without touching the mode, the labels
// sought or the scope.
static void stmtGoTo(ParseCursor *cursor, const TokenMark &mark)
{
    tokenReturn(cursor, mark);
}

// The report points at the token that cannot start a statement.
static void stmtRequire(ParseCursor *cursor, StatementResult result)
{
    if (result == STATEMENT_OK)
        return;
    stmtPeek(cursor);
    parserError(cursor, "statement expected");
}

StatementResult parseStatementMaybeRun(ParseCursor *cursor, bool condition, bool checkSemicolon)
{
    if (cursor->mode == MODE_SKIP || condition)
        return parseStatement(cursor, checkSemicolon);
    ExecMode mode = cursor->mode;
    cursor->mode = MODE_SKIP;
    StatementResult result = parseStatement(cursor, checkSemicolon);
    cursor->mode = mode;
    return result;
}

ExecMode parseBlock(ParseCursor *cursor, bool absorbBrace, bool condition)
{
    intptr_t saved = scopeEnter(cursor);
    if (absorbBrace)
        expectToken(cursor, TK_LEFT_BRACE, "'{' expected");
    ExecMode mode = cursor->mode;
    bool run = mode != MODE_SKIP && condition;
    if (!run)
        cursor->mode = MODE_SKIP;
    while (parseStatement(cursor, true) == STATEMENT_OK) {
    }
    if (!run)
        cursor->mode = mode;
    expectToken(cursor, TK_RIGHT_BRACE, "'}' expected");
    scopeLeave(cursor, saved);
    return cursor->mode;
}

// '(' expression ')'
static int32_t stmtCondition(ParseCursor *cursor)
{
    expectToken(cursor, TK_OPEN_BRACKET, "'(' expected");
    int32_t value = parseIntExpression(cursor);
    expectToken(cursor, TK_CLOSE_BRACKET, "')' expected");
    return value;
}

// if: 'if' '(' expression ')' statement [ 'else' statement ]
static void stmtIf(ParseCursor *cursor)
{
    bool condition = stmtCondition(cursor) != 0;
    stmtRequire(cursor, parseStatementMaybeRun(cursor, condition, true));
    if (stmtPeek(cursor) == TK_ELSE) {
        getToken(cursor, nullptr, true);
        stmtRequire(cursor, parseStatementMaybeRun(cursor, !condition, true));
    }
}

// A loop's body has ended: a continue is spent, the loop goes on.
static void stmtEndPass(ParseCursor *cursor, ExecMode loopMode)
{
    if (cursor->mode == MODE_CONTINUE)
        cursor->mode = loopMode;
}

// A loop has ended: a break is spent.
static void stmtEndLoop(ParseCursor *cursor, ExecMode loopMode)
{
    if (cursor->mode == MODE_BREAK)
        cursor->mode = loopMode;
}

// while: 'while' '(' expression ')' statement
static void stmtWhile(ParseCursor *cursor)
{
    ExecMode loopMode = cursor->mode;
    expectToken(cursor, TK_OPEN_BRACKET, "'(' expected");
    TokenMark condition = tokenMark(cursor);
    for (;;) {
        stmtGoTo(cursor, condition);
        bool holds = parseIntExpression(cursor) != 0;
        expectToken(cursor, TK_CLOSE_BRACKET, "')' expected");
        stmtRequire(cursor, parseStatementMaybeRun(cursor, holds, true));
        stmtEndPass(cursor, loopMode);
        if (cursor->mode != MODE_RUN || !holds)
            break;
    }
    stmtEndLoop(cursor, loopMode);
}

// do: 'do' statement 'while' '(' expression ')'
static void stmtDo(ParseCursor *cursor)
{
    ExecMode loopMode = cursor->mode;
    TokenMark body = tokenMark(cursor);
    for (;;) {
        stmtGoTo(cursor, body);
        stmtRequire(cursor, parseStatement(cursor, true));
        stmtEndPass(cursor, loopMode);
        expectToken(cursor, TK_WHILE, "'while' expected");
        bool holds = stmtCondition(cursor) != 0;
        if (!holds || cursor->mode != MODE_RUN)
            break;
    }
    stmtEndLoop(cursor, loopMode);
}

// for: 'for' '(' statement [expression] ';' [expression] ')' statement
static void stmtFor(ParseCursor *cursor)
{
    ExecMode loopMode = cursor->mode;
    intptr_t savedScope = scopeEnter(cursor);
    expectToken(cursor, TK_OPEN_BRACKET, "'(' expected");
    stmtRequire(cursor, parseStatement(cursor, true));
    TokenMark condition = tokenMark(cursor);
    bool hasCondition = stmtPeek(cursor) != TK_SEMICOLON;
    bool holds = !hasCondition || parseIntExpression(cursor) != 0;
    expectToken(cursor, TK_SEMICOLON, "';' expected");
    TokenMark step = tokenMark(cursor);
    ExecMode mode = cursor->mode;
    cursor->mode = MODE_SKIP;
    parseExpressionDiscard(cursor);
    cursor->mode = mode;
    expectToken(cursor, TK_CLOSE_BRACKET, "')' expected");
    TokenMark body = tokenMark(cursor);
    stmtRequire(cursor, parseStatementMaybeRun(cursor, holds, true));
    if (cursor->mode == MODE_CONTINUE && loopMode == MODE_RUN)
        cursor->mode = MODE_RUN;
    TokenMark after = tokenMark(cursor);
    while (holds && cursor->mode == MODE_RUN) {
        stmtGoTo(cursor, step);
        parseExpressionDiscard(cursor);
        stmtGoTo(cursor, condition);
        if (hasCondition && parseIntExpression(cursor) == 0)
            break;
        stmtGoTo(cursor, body);
        stmtRequire(cursor, parseStatement(cursor, true));
        if (cursor->mode == MODE_CONTINUE)
            cursor->mode = MODE_RUN;
    }
    if (cursor->mode == MODE_BREAK && loopMode == MODE_RUN)
        cursor->mode = MODE_RUN;
    stmtGoTo(cursor, after);
    scopeLeave(cursor, savedScope);
}

// switch: 'switch' '(' expression ')' '{' { statement } '}'
// Only a switch reached in run mode searches its cases. Reached in any other
// mode its body is read in that mode, so that a "case 0:" or "default:" can
// never run code that was not meant to run; a goto search may still find a
// label inside it.
static void stmtSwitch(ParseCursor *cursor)
{
    int32_t value = stmtCondition(cursor);
    if (stmtPeek(cursor) != TK_LEFT_BRACE)
        parserError(cursor, "'{' expected");
    ExecMode mode = cursor->mode;
    int32_t searchLabel = cursor->searchLabel;
    if (mode == MODE_RUN) {
        cursor->searchLabel = value;
        cursor->mode = MODE_CASE_SEARCH;
        parseBlock(cursor, true, true);
        if (cursor->mode != MODE_RETURN)
            cursor->mode = mode;
    } else if (mode == MODE_GOTO) {
        parseBlock(cursor, true, true);
        if (cursor->mode != MODE_GOTO && cursor->mode != MODE_RETURN)
            cursor->mode = MODE_RUN; // the label was inside: a break or continue ends here
    } else {
        parseBlock(cursor, true, false);
    }
    cursor->searchLabel = searchLabel;
}

// case: 'case' expression ':'
static void stmtCase(ParseCursor *cursor)
{
    bool searching = cursor->mode == MODE_CASE_SEARCH;
    if (searching)
        cursor->mode = MODE_RUN;
    int32_t value = parseIntExpression(cursor);
    if (searching)
        cursor->mode = value == cursor->searchLabel ? MODE_RUN : MODE_CASE_SEARCH;
    expectToken(cursor, TK_COLON, "':' expected");
}

// default: 'default' ':' -- taken where it stands
static void stmtDefault(ParseCursor *cursor)
{
    expectToken(cursor, TK_COLON, "':' expected");
    if (cursor->mode == MODE_CASE_SEARCH)
        cursor->mode = MODE_RUN;
}

// goto: 'goto' name -- the label is searched forward
static void stmtGoto(ParseCursor *cursor)
{
    ScriptValue *value;
    if (getToken(cursor, &value, true) != TK_IDENTIFIER)
        parserError(cursor, "identifier expected");
    if (cursor->mode != MODE_RUN)
        return;
    cursor->gotoLabel = static_cast<const char *>(value->data->ptr);
    cursor->mode = MODE_GOTO;
}

// return: 'return' [ expression ]
static void stmtReturn(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    CallFrame *frame = state->topFrame;
    bool hasValue = stmtPeek(cursor) != TK_SEMICOLON;
    if (cursor->mode != MODE_RUN) {
        if (hasValue)
            parseExpressionDiscard(cursor);
        return;
    }
    bool wantsValue = !frame || frame->returnValue->type->kind != TYPE_VOID;
    if (wantsValue && !hasValue)
        parserError(cursor, "value required in return");
    if (!wantsValue && hasValue)
        parserError(cursor, "value in return from a void function");
    if (hasValue && !frame) {
        ScriptValue *value;
        if (!parseExpression(cursor, &value))
            parserError(cursor, "value required in return");
        engineExit(state, coerceInteger(value));
    }
    if (hasValue && !parseExpressionInto(cursor, frame->returnValue, true, nullptr, 0))
        parserError(cursor, "value required in return");
    cursor->mode = MODE_RETURN;
}

// typedef: 'typedef' type declarator
static void stmtTypedef(ParseCursor *cursor)
{
    ScriptType *type;
    const char *name;
    bool isStatic;
    parseType(cursor, &type, &name, &isStatic);
    if (!type || name == cursor->engine->emptyString)
        parserError(cursor, "identifier expected");
    if (cursor->mode != MODE_RUN)
        return;
    bool firstVisit;
    ScriptValue *named = defineVariableOnce(cursor, name, &cursor->engine->typeType, false, &firstVisit);
    named->data->type = type;
    named->isLvalue = false;
}

// #include: '#include' string -- whatever the mode
static void stmtInclude(ParseCursor *cursor)
{
    ScriptValue *value;
    if (getToken(cursor, &value, true) != TK_STRING_CONSTANT)
        parserError(cursor, "\"filename.h\" expected");
    includeHeader(cursor->engine, static_cast<const char *>(value->data->ptr));
}

// delete: 'delete' name -- removes a global, in a function too. An
// expression further up may still be using it (a function deleting a global
// its caller's expression has read, or deleting itself while it runs): its
// value then stays until those expressions are over, out of reach of the
// script's pointers and names.
static void stmtDelete(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    ScriptValue *value;
    if (getToken(cursor, &value, true) != TK_IDENTIFIER)
        parserError(cursor, "identifier expected");
    if (cursor->mode != MODE_RUN)
        return;
    const char *name = static_cast<const char *>(value->data->ptr);
    HashEntry *entry = tableEntry(&state->globals, name);
    if (!entry)
        parserError(cursor, "'%s' is not defined", name);
    uint32_t useMark = entry->useMark;
    deleteGlobalValue(state, static_cast<ScriptValue *>(tableDelete(state, &state->globals, name)), useMark);
}

// A label is a name nobody defined, followed by ':'; the cursor is on the name.
static bool stmtLabel(ParseCursor *cursor, const char *name)
{
    TokenMark at = tokenMark(cursor);
    getToken(cursor, nullptr, true);
    if (getToken(cursor, nullptr, true) != TK_COLON) {
        tokenReturn(cursor, at);
        return false;
    }
    if (cursor->mode == MODE_GOTO && cursor->gotoLabel == name)
        cursor->mode = MODE_RUN;
    return true;
}

static void stmtExpression(ParseCursor *cursor)
{
    parseExpressionDiscard(cursor);
}

// declaration, or a function definition when '(' follows the name; returns
// whether a semicolon ends the statement
static bool stmtDeclaration(ParseCursor *cursor)
{
    ScriptType *returnType;
    const char *name;
    if (parseDeclaration(cursor, &returnType, &name))
        return true;
    parseFunctionDefinition(cursor, returnType, name);
    return false;
}

void scheduleCheckpoint(EngineState *state)
{
    const EngineRunOptions &options = state->options;
    unsigned long next = ~0UL;
    if (options.statementLimit)
        next = options.statementLimit + 1;
    if (options.poll && state->nextPoll < next)
        next = state->nextPoll;
    if (state->deleted)
        next = state->statementCount + 1; // every statement, until they are released
    state->nextCheckpoint = next;
}

// A bounded run ends here once it has executed its statements, a host that
// asked to be polled is called from here, and deleted globals that no
// expression uses any more are released here.
static void stmtCheckpoint(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    const EngineRunOptions &options = state->options;
    if (state->deleted) {
        releaseDeleted(state, false);
        scheduleCheckpoint(state);
    }
    if (options.statementLimit && state->statementCount > options.statementLimit)
        parserError(cursor, "step limit reached");
    if (options.poll && state->statementCount >= state->nextPoll) {
        state->nextPoll = state->statementCount + (options.pollInterval ? options.pollInterval : kDefaultPollInterval);
        scheduleCheckpoint(state);
        options.poll(state);
    }
}

static inline void stmtCount(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    if (++state->statementCount >= state->nextCheckpoint)
        stmtCheckpoint(cursor);
}

// The one big dispatch: every statement by its first token. Statements that
// end without a semicolon return from their case; the others break.
StatementResult parseStatement(ParseCursor *cursor, bool checkSemicolon)
{
    NestingGuard guard(cursor);
    if (cursor->mode == MODE_RUN)
        stmtCount(cursor);
    TokenMark before = tokenMark(cursor);
    const unsigned char *record;
    TokenKind token = nextToken(cursor, &record);
    switch (token) {
    case TK_EOF:
    case TK_END_OF_FUNCTION:
        tokenReturn(cursor, before);
        return STATEMENT_EOF;
    case TK_SEMICOLON:
        return STATEMENT_OK;
    case TK_LEFT_BRACE:
        tokenReturn(cursor, before);
        parseBlock(cursor, true, true);
        return STATEMENT_OK;
    case TK_IF: stmtIf(cursor); return STATEMENT_OK;
    case TK_WHILE: stmtWhile(cursor); return STATEMENT_OK;
    case TK_FOR: stmtFor(cursor); return STATEMENT_OK;
    case TK_SWITCH: stmtSwitch(cursor); return STATEMENT_OK;
    case TK_CASE: stmtCase(cursor); return STATEMENT_OK;
    case TK_DEFAULT: stmtDefault(cursor); return STATEMENT_OK;
    case TK_HASH_DEFINE: parseMacroDefinition(cursor); return STATEMENT_OK;
    case TK_HASH_INCLUDE: stmtInclude(cursor); return STATEMENT_OK;
    case TK_DO: stmtDo(cursor); break;
    case TK_RETURN: stmtReturn(cursor); break;
    case TK_GOTO: stmtGoto(cursor); break;
    case TK_TYPEDEF: stmtTypedef(cursor); break;
    case TK_DELETE: stmtDelete(cursor); break;
    case TK_CONTINUE:
        if (cursor->mode == MODE_RUN)
            cursor->mode = MODE_CONTINUE;
        break;
    case TK_BREAK:
        if (cursor->mode == MODE_RUN)
            cursor->mode = MODE_BREAK;
        break;
    case TK_IDENTIFIER: {
        const char *name = tokenName(record);
        tokenReturn(cursor, before);
        ScriptValue *named = lookupVariable(cursor->engine, name);
        if (!named && stmtLabel(cursor, name))
            return STATEMENT_OK;
        if (!named || named->type->kind != TYPE_TYPE) {
            stmtExpression(cursor);
            break;
        }
        if (!stmtDeclaration(cursor))
            return STATEMENT_OK;
        break;
    }
    case TK_AMPERSAND: case TK_ASTERISK: case TK_INCREMENT: case TK_DECREMENT: case TK_OPEN_BRACKET:
        tokenReturn(cursor, before);
        stmtExpression(cursor);
        break;
    default:
        tokenReturn(cursor, before);
        if (token < TK_INT || token > TK_UNSIGNED)
            return STATEMENT_ERROR;
        if (!stmtDeclaration(cursor))
            return STATEMENT_OK;
        break;
    }
    if (checkSemicolon)
        expectToken(cursor, TK_SEMICOLON, "';' expected");
    return STATEMENT_OK;
}

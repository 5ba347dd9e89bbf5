// Function and macro definitions. A body is read once where it stands, in
// skip mode, and its tokens are copied into a stream of its own, so that a
// call runs it from there whatever happens to the text it came from.
#include "function.h"

#include "arena.h"
#include "declaration.h"
#include "error.h"
#include "intern.h"
#include "lexer.h"
#include "state.h"
#include "statement.h"
#include "table.h"
#include "type.h"
#include "variable.h"

#include <cstring>

static TokenKind fnPeek(ParseCursor *cursor)
{
    return getToken(cursor, nullptr, false);
}

// Commas + 1 up to the closing bracket, on a copy of the cursor; 0 for an
// empty list.
static int fnCountParameters(const ParseCursor *cursor)
{
    ParseCursor scan = *cursor;
    if (getToken(&scan, nullptr, true) == TK_CLOSE_BRACKET)
        return 0;
    int count = 1, depth = 0;
    for (;;) {
        TokenKind token = getToken(&scan, nullptr, true);
        if (token == TK_EOF || token == TK_END_OF_FUNCTION || token == TK_LEFT_BRACE || token == TK_SEMICOLON)
            return count;
        if (token == TK_OPEN_BRACKET || token == TK_LEFT_SQUARE)
            depth++;
        else if ((token == TK_CLOSE_BRACKET || token == TK_RIGHT_SQUARE) && depth > 0)
            depth--;
        else if (token == TK_CLOSE_BRACKET)
            return count;
        else if (token == TK_COMMA && depth == 0)
            count++;
    }
}

struct Parameters {
    int count;
    bool variadic;
    ScriptType *types[kMaxParameters];
    const char *names[kMaxParameters];
};

// A parameter declared as an array is a pointer to its element, as in C:
// the function works on the caller's array, not on a copy.
static ScriptType *fnParameterType(ParseCursor *cursor, ScriptType *type)
{
    if (type->kind != TYPE_ARRAY)
        return type;
    return getMatchingType(cursor->engine, cursor, type->fromType, TYPE_POINTER, 0, cursor->engine->emptyString,
                           true);
}

// '(' [ parameter { ',' parameter } [ ',' '...' ] ] ')'
static void fnParameters(ParseCursor *cursor, Parameters *params)
{
    getToken(cursor, nullptr, true);
    int listed = fnCountParameters(cursor);
    if (listed > kMaxParameters)
        parserError(cursor, "too many parameters (%d allowed)", kMaxParameters);
    params->count = 0;
    params->variadic = false;
    for (int i = 0; i < listed; i++) {
        if (i == listed - 1 && fnPeek(cursor) == TK_ELLIPSIS) {
            getToken(cursor, nullptr, true);
            params->variadic = true;
            break;
        }
        ScriptType *type;
        const char *name;
        bool isStatic;
        parseType(cursor, &type, &name, &isStatic);
        if (!type)
            parserError(cursor, "bad parameter");
        if (type->kind != TYPE_VOID) {
            params->types[params->count] = fnParameterType(cursor, type);
            params->names[params->count] = name;
            params->count++;
        }
        if (i < listed - 1 && getToken(cursor, nullptr, true) != TK_COMMA)
            parserError(cursor, "comma expected");
    }
    expectToken(cursor, TK_CLOSE_BRACKET, "bad parameter");
}

static void fnCheckMain(ParseCursor *cursor, ScriptType *returnType, const Parameters *params)
{
    if (returnType->kind != TYPE_INT && returnType->kind != TYPE_VOID)
        parserError(cursor, "main() should return an int or void");
    bool none = params->count == 0;
    bool two = params->count == 2 && params->types[0]->kind == TYPE_INT;
    if (!none && !two)
        parserError(cursor, "bad parameters to main()");
}

// body: a statement read in skip mode, then copied; null for a prototype
static unsigned char *fnBody(ParseCursor *cursor, ParseCursor *bodyCursor)
{
    EngineState *state = cursor->engine;
    TokenKind token = fnPeek(cursor);
    if (token == TK_SEMICOLON) {
        getToken(cursor, nullptr, true);
        return nullptr;
    }
    if (token != TK_LEFT_BRACE)
        parserError(cursor, "bad function definition");
    *bodyCursor = *cursor;
    ExecMode mode = cursor->mode;
    cursor->mode = MODE_SKIP;
    state->definitionDepth++;
    StatementResult result = parseStatement(cursor, true);
    state->definitionDepth--;
    cursor->mode = mode;
    if (result != STATEMENT_OK)
        parserError(cursor, "function definition expected");
    unsigned char *tokens = copyTokens(bodyCursor, cursor);
    bodyCursor->pos = tokens;
    return tokens;
}

// A definition with a body replaces a prototype of the same name; two bodies
// are an error.
static void fnReplacePrototype(ParseCursor *cursor, const char *name, unsigned char *tokens)
{
    EngineState *state = cursor->engine;
    HashEntry *entry = tableEntry(&state->globals, name);
    if (!entry || !tokens)
        return;
    ScriptValue *old = static_cast<ScriptValue *>(entry->u.pair.value);
    if (old->type->kind != TYPE_FUNCTION || old->data->function.body.pos) {
        heapFree(state, tokens);
        parserError(cursor, "'%s' is already defined", name);
    }
    valueFree(state, static_cast<ScriptValue *>(tableDelete(state, &state->globals, name)));
}

// The record and its two parameter arrays in one heap block.
static ScriptValue *fnNewValue(ParseCursor *cursor, ScriptType *returnType, const Parameters *params,
                               const ParseCursor *body, unsigned char *tokens)
{
    EngineState *state = cursor->engine;
    size_t count = size_t(params->count);
    size_t size = kValueHeader + sizeof(FunctionDef) + count * (sizeof(ScriptType *) + sizeof(char *));
    ScriptValue *value = static_cast<ScriptValue *>(heapAlloc(state, size));
    if (!value) {
        heapFree(state, tokens);
        parserError(cursor, "out of memory");
    }
    value->type = &state->functionType;
    value->data = reinterpret_cast<AnyData *>(reinterpret_cast<char *>(value) + kValueHeader);
    value->valueOnHeap = true;
    value->scopeId = -1;
    FunctionDef *def = &value->data->function;
    def->returnType = returnType;
    def->paramCount = params->count;
    def->variadic = params->variadic;
    def->paramTypes = reinterpret_cast<ScriptType **>(def + 1);
    def->paramNames = static_cast<const char **>(static_cast<void *>(def->paramTypes + count));
    memcpy(def->paramTypes, params->types, count * sizeof(ScriptType *));
    memcpy(def->paramNames, params->names, count * sizeof(char *));
    if (tokens)
        def->body = *body;
    return value;
}

ScriptValue *parseFunctionDefinition(ParseCursor *cursor, ScriptType *returnType, const char *name)
{
    EngineState *state = cursor->engine;
    if (state->topFrame || state->definitionDepth)
        parserError(cursor, "nested function definitions are not allowed");
    Parameters params;
    fnParameters(cursor, &params);
    if (name == internString(state, "main"))
        fnCheckMain(cursor, returnType, &params);
    ParseCursor body{};
    unsigned char *tokens = fnBody(cursor, &body);
    fnReplacePrototype(cursor, name, tokens);
    ScriptValue *value = fnNewValue(cursor, returnType, &params, &body, tokens);
    if (!tableSet(state, &state->globals, name, value, cursor->file, cursor->line, cursor->column)) {
        valueFree(state, value);
        parserError(cursor, "'%s' is already defined", name);
    }
    return value;
}

// A macro's parameters stay on the line of its #define.
static TokenKind macroToken(ParseCursor *cursor, ScriptValue **value)
{
    TokenKind raw = peekRawToken(cursor);
    if (raw == TK_END_OF_LINE || raw == TK_EOF || raw == TK_END_OF_FUNCTION)
        parserError(cursor, "close bracket expected");
    return getToken(cursor, value, true);
}

// [ name { ',' name } ] ')' right after the macro's open bracket
static int macroParameters(ParseCursor *cursor, const char **names)
{
    ScriptValue *value;
    int count = 0;
    if (fnPeek(cursor) == TK_CLOSE_BRACKET) {
        getToken(cursor, nullptr, true);
        return 0;
    }
    for (;;) {
        if (macroToken(cursor, &value) != TK_IDENTIFIER)
            parserError(cursor, "identifier expected");
        if (count == kMaxParameters)
            parserError(cursor, "too many parameters (%d allowed)", kMaxParameters);
        names[count++] = static_cast<const char *>(value->data->ptr);
        TokenKind token = macroToken(cursor, nullptr);
        if (token == TK_CLOSE_BRACKET)
            return count;
        if (token != TK_COMMA)
            parserError(cursor, "comma expected");
    }
}

// A #define read again (a function body calling it on every call) is the
// same definition; any other second definition is an error.
static bool macroSeenHere(EngineState *state, const char *name, const ParseCursor *at)
{
    const char *file;
    unsigned line, column;
    void *found;
    return tableGet(&state->globals, name, &found, &file, &line, &column) && file == at->file &&
           line == at->line && column == at->column;
}

void parseMacroDefinition(ParseCursor *cursor)
{
    EngineState *state = cursor->engine;
    ScriptValue *value;
    if (getToken(cursor, &value, true) != TK_IDENTIFIER)
        parserError(cursor, "identifier expected");
    const char *name = static_cast<const char *>(value->data->ptr);
    ParseCursor at = *cursor;
    const char *names[kMaxParameters];
    int count = 0;
    if (peekRawToken(cursor) == TK_OPEN_MACRO_BRACKET) {
        getRawToken(cursor, nullptr, true);
        count = macroParameters(cursor, names);
    }
    ParseCursor start = *cursor;
    skipToEndOfLine(cursor);
    if (macroSeenHere(state, name, &at))
        return;
    unsigned char *tokens = copyTokens(&start, cursor);
    size_t size = kValueHeader + sizeof(MacroDef) + size_t(count) * sizeof(char *);
    ScriptValue *macro = static_cast<ScriptValue *>(heapAlloc(state, size));
    if (!macro) {
        heapFree(state, tokens);
        parserError(cursor, "out of memory");
    }
    macro->type = &state->macroType;
    macro->data = reinterpret_cast<AnyData *>(reinterpret_cast<char *>(macro) + kValueHeader);
    macro->valueOnHeap = true;
    macro->scopeId = -1;
    MacroDef *def = &macro->data->macro;
    def->paramCount = count;
    def->paramNames = reinterpret_cast<const char **>(def + 1);
    memcpy(def->paramNames, names, size_t(count) * sizeof(char *));
    def->body = start;
    def->body.pos = tokens;
    if (!tableSet(state, &state->globals, name, macro, at.file, at.line, at.column)) {
        valueFree(state, macro);
        parserError(&at, "'%s' is already defined", name);
    }
}

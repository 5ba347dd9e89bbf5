// The token reader: walks a token stream for the parser and applies the
// conditional directives each time it reads past them.
#include "lexer.h"

#include "arena.h"
#include "error.h"
#include "state.h"
#include "table.h"

#include <cstring>

void initCursor(ParseCursor *cursor, EngineState *state, const char *source,
                const unsigned char *tokens, const char *file, bool run)
{
    *cursor = ParseCursor{};
    cursor->engine = state;
    cursor->pos = tokens;
    cursor->file = file;
    cursor->line = 1;
    cursor->column = 0;
    cursor->mode = run ? MODE_RUN : MODE_SKIP;
    cursor->searchLabel = 0;
    cursor->gotoLabel = nullptr;
    cursor->source = source;
    cursor->ifLevel = cursor->evaluateToLevel = 0;
    cursor->scopeId = 0; // any id but -1: top-level blocks get scopes of their own
}

static const void *readAddress(const unsigned char *payload)
{
    uint64_t address;
    memcpy(&address, payload, 8);
    return reinterpret_cast<const void *>(static_cast<uintptr_t>(address));
}

// The record's flags stay as engine start-up cleared them: nobody writes them.
ScriptValue *tokenValue(EngineState *state, TokenKind token, const unsigned char *payload)
{
    ScriptValue *value = &state->lexerValue;
    AnyData *data = &state->lexerData;
    switch (token) {
    case TK_IDENTIFIER:
        value->type = nullptr;
        data->ptr = const_cast<void *>(readAddress(payload));
        break;
    case TK_INT_CONSTANT:
        value->type = &state->longType;
        memcpy(&data->l, payload, 4);
        break;
    case TK_UNSIGNED_CONSTANT:
        value->type = &state->unsignedIntType;
        memcpy(&data->u, payload, 4);
        break;
    case TK_FP_CONSTANT:
        value->type = &state->doubleType;
        memcpy(&data->d, payload, 8);
        break;
    case TK_STRING_CONSTANT:
        value->type = state->charPtrType;
        data->ptr = const_cast<void *>(readAddress(payload));
        break;
    case TK_CHAR_CONSTANT:
        value->type = &state->charType;
        data->c = static_cast<char>(payload[0]);
        break;
    default:
        break;
    }
    return value;
}

TokenKind peekRawToken(const ParseCursor *cursor)
{
    return static_cast<TokenKind>(cursor->pos[0]);
}

// A stream ends in end of file, a copied body in end of function: the reader
// never moves past either.
TokenKind getRawToken(ParseCursor *cursor, ScriptValue **value, bool advance)
{
    while (cursor->pos[0] == TK_END_OF_LINE) {
        cursor->line++;
        cursor->pos += kTokenHeaderBytes;
    }
    TokenKind token = static_cast<TokenKind>(cursor->pos[0]);
    cursor->column = cursor->pos[1];
    if (value)
        *value = tokenValue(cursor->engine, token, cursor->pos + kTokenHeaderBytes);
    if (advance && token != TK_EOF && token != TK_END_OF_FUNCTION)
        cursor->pos += kTokenHeaderBytes + tokenPayloadSize(token);
    return token;
}

void skipToEndOfLine(ParseCursor *cursor)
{
    for (TokenKind t = peekRawToken(cursor); t != TK_END_OF_LINE && t != TK_EOF && t != TK_END_OF_FUNCTION;
         t = peekRawToken(cursor))
        getRawToken(cursor, nullptr, true);
}

// The constant of an #if: an integer or character constant, or a global
// macro whose body starts with one.
static int32_t readerIfValue(ParseCursor *cursor, TokenKind token, ScriptValue *value)
{
    if (token == TK_IDENTIFIER) {
        const char *name = static_cast<const char *>(value->data->ptr);
        void *found;
        if (!tableGet(&cursor->engine->globals, name, &found))
            parserError(cursor, "'%s' is undefined", name);
        ScriptValue *macro = static_cast<ScriptValue *>(found);
        if (!macro || macro->type->kind != TYPE_MACRO || !macro->data->macro.body.pos)
            parserError(cursor, "value expected");
        ParseCursor body = macro->data->macro.body;
        token = getRawToken(&body, &value, false);
    }
    if (token == TK_INT_CONSTANT || token == TK_UNSIGNED_CONSTANT)
        return value->data->l;
    if (token == TK_CHAR_CONSTANT)
        return value->data->c;
    parserError(cursor, "value expected");
}

// The constant is read in a skipped branch too, but only evaluated in a
// taken one: a name that a false branch may not define is no error there.
static void readerIf(ParseCursor *cursor)
{
    ScriptValue *value;
    TokenKind token = getRawToken(cursor, &value, true);
    if (cursor->evaluateToLevel == cursor->ifLevel && readerIfValue(cursor, token, value) != 0)
        cursor->evaluateToLevel++;
    cursor->ifLevel++;
}

static void readerIfdef(ParseCursor *cursor, bool wanted)
{
    ScriptValue *value;
    if (getRawToken(cursor, &value, true) != TK_IDENTIFIER)
        parserError(cursor, "identifier expected");
    const char *name = static_cast<const char *>(value->data->ptr);
    if (cursor->evaluateToLevel == cursor->ifLevel && !!tableEntry(&cursor->engine->globals, name) == wanted)
        cursor->evaluateToLevel++;
    cursor->ifLevel++;
}

static void readerElse(ParseCursor *cursor)
{
    if (cursor->evaluateToLevel + 1 == cursor->ifLevel) {
        cursor->evaluateToLevel++;
    } else if (cursor->evaluateToLevel == cursor->ifLevel) {
        if (cursor->ifLevel == 0)
            parserError(cursor, "#else without #if");
        cursor->evaluateToLevel--;
    }
}

static void readerEndif(ParseCursor *cursor)
{
    if (cursor->ifLevel == 0)
        parserError(cursor, "#endif without #if");
    cursor->ifLevel--;
    if (cursor->evaluateToLevel > cursor->ifLevel)
        cursor->evaluateToLevel = cursor->ifLevel;
}

TokenKind getTokenApart(ParseCursor *cursor, ScriptValue **value, bool advance)
{
    for (;;) {
        TokenKind token = getRawToken(cursor, value, false);
        bool directive = token >= TK_HASH_IF && token <= TK_HASH_ENDIF;
        bool end = token == TK_EOF || token == TK_END_OF_FUNCTION;
        if (!directive && (cursor->evaluateToLevel >= cursor->ifLevel || end)) {
            if (advance)
                getRawToken(cursor, nullptr, true);
            return token;
        }
        getRawToken(cursor, nullptr, true);
        switch (token) {
        case TK_HASH_IF: readerIf(cursor); break;
        case TK_HASH_IFDEF: readerIfdef(cursor, true); break;
        case TK_HASH_IFNDEF: readerIfdef(cursor, false); break;
        case TK_HASH_ELSE: readerElse(cursor); break;
        case TK_HASH_ENDIF: readerEndif(cursor); break;
        default: break; // a token of a branch not taken
        }
    }
}

unsigned char *copyTokens(const ParseCursor *start, const ParseCursor *end)
{
    EngineState *state = start->engine;
    size_t length = end->pos > start->pos ? static_cast<size_t>(end->pos - start->pos) : 0;
    unsigned char *copy = static_cast<unsigned char *>(heapAlloc(state, length + 2));
    if (!copy) {
        ParseCursor at = *end;
        parserError(&at, "out of memory");
    }
    memcpy(copy, start->pos, length);
    copy[length] = TK_END_OF_FUNCTION;
    copy[length + 1] = 0;
    return copy;
}

// The lexer turns a whole source text into a token stream once; the token
// reader walks that stream as often as the parser needs.
#ifndef LODVANE_ENGINE_LEXER_H
#define LODVANE_ENGINE_LEXER_H

#include "error.h"
#include "token.h"
#include "types.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

void lexerInit(EngineState *state);
void lexerCleanup(EngineState *state);

// A heap block in stream format ending in an end-of-file record.
unsigned char *tokenise(EngineState *state, const char *file, const char *source, size_t length,
                        size_t *streamLength = nullptr);

void initCursor(ParseCursor *cursor, EngineState *state, const char *source,
                const unsigned char *tokens, const char *file, bool run);
TokenKind getRawToken(ParseCursor *cursor, ScriptValue **value, bool advance);
TokenKind peekRawToken(const ParseCursor *cursor);

// Fills the state's lexer value record with the payload of a value token.
ScriptValue *tokenValue(EngineState *state, TokenKind token, const unsigned char *payload);
// getToken where a line end, a conditional directive or a branch not taken
// lies ahead.
TokenKind getTokenApart(ParseCursor *cursor, ScriptValue **value, bool advance);

static_assert(offsetof(ParseCursor, column) == offsetof(ParseCursor, line) + sizeof(uint16_t),
              "the line and the column are one word");

// The column of the token just read. Line and column are stored as one word:
// marks read them as one, and reading a word right after storing only part
// of it stalls the processor until the store has gone through.
inline void cursorSetColumn(ParseCursor *cursor, unsigned column)
{
    uint16_t both[2] = {cursor->line, static_cast<uint16_t>(column)};
    memcpy(&cursor->line, both, sizeof both);
}

// Steps over the end-of-line records at the cursor, counting the lines, as
// every reading of a token does; returns the record reached.
inline const unsigned char *tokenSkipLines(ParseCursor *cursor)
{
    const unsigned char *at = cursor->pos;
    if (at[0] != TK_END_OF_LINE)
        return at;
    do {
        cursor->line++;
        at += kTokenHeaderBytes;
    } while (at[0] == TK_END_OF_LINE);
    cursor->pos = at;
    return at;
}

// The next token after the conditional directives; with `advance` clear it
// only peeks. The common case, an ordinary token in a branch being taken,
// is read here.
inline TokenKind getToken(ParseCursor *cursor, ScriptValue **value, bool advance)
{
    const unsigned char *at = tokenSkipLines(cursor);
    TokenKind token = static_cast<TokenKind>(at[0]);
    unsigned bytes = kTokenRecordSizes.bytes[token];
    if (bytes == 0 || cursor->evaluateToLevel < cursor->ifLevel)
        return getTokenApart(cursor, value, advance);
    cursorSetColumn(cursor, at[1]);
    if (value)
        *value = tokenValue(cursor->engine, token, at + kTokenHeaderBytes);
    if (advance)
        cursor->pos = at + bytes;
    return token;
}

// getToken advancing, which also gives the token's record in the stream, so
// that its payload is read from there (tokenName, tokenConstant) instead of
// through the lexer value record.
inline TokenKind nextToken(ParseCursor *cursor, const unsigned char **record)
{
    const unsigned char *at = tokenSkipLines(cursor);
    TokenKind token = static_cast<TokenKind>(at[0]);
    unsigned bytes = kTokenRecordSizes.bytes[token];
    if (bytes == 0 || cursor->evaluateToLevel < cursor->ifLevel) {
        token = getTokenApart(cursor, nullptr, false);
        *record = cursor->pos;
        getRawToken(cursor, nullptr, true);
        return token;
    }
    cursorSetColumn(cursor, at[1]);
    *record = at;
    cursor->pos = at + bytes;
    return token;
}

// The shared name of an identifier's record.
inline const char *tokenName(const unsigned char *record)
{
    uint64_t address;
    memcpy(&address, record + kTokenHeaderBytes, 8);
    return reinterpret_cast<const char *>(static_cast<uintptr_t>(address));
}

// A position to return to: where the cursor is in the stream and in the
// conditional directives, without its mode, labels or scope.
struct TokenMark {
    const unsigned char *pos;
    uint16_t line;
    uint16_t column;
    uint16_t ifLevel;
    uint16_t evaluateToLevel;
};

inline TokenMark tokenMark(const ParseCursor *cursor)
{
    return TokenMark{cursor->pos, cursor->line, cursor->column, cursor->ifLevel, cursor->evaluateToLevel};
}

inline void tokenReturn(ParseCursor *cursor, const TokenMark &mark)
{
    cursor->pos = mark.pos;
    uint16_t both[2] = {mark.line, mark.column};
    memcpy(&cursor->line, both, sizeof both);
    cursor->ifLevel = mark.ifLevel;
    cursor->evaluateToLevel = mark.evaluateToLevel;
}
void skipToEndOfLine(ParseCursor *cursor);
unsigned char *copyTokens(const ParseCursor *start, const ParseCursor *end);

// Reads the next token; the run ends with `message` unless it is `token`.
inline void expectToken(ParseCursor *cursor, TokenKind token, const char *message)
{
    if (getToken(cursor, nullptr, true) != token)
        parserError(cursor, message);
}

#endif

// The lexer turns a whole source text into a token stream once; the token
// reader walks that stream as often as the parser needs.
#ifndef LODVANE_ENGINE_LEXER_H
#define LODVANE_ENGINE_LEXER_H

#include "error.h"
#include "token.h"
#include "types.h"

#include <cstddef>

void lexerInit(EngineState *state);
void lexerCleanup(EngineState *state);

// A heap block in stream format ending in an end-of-file record.
unsigned char *tokenise(EngineState *state, const char *file, const char *source, size_t length,
                        size_t *streamLength = nullptr);

void initCursor(ParseCursor *cursor, EngineState *state, const char *source,
                const unsigned char *tokens, const char *file, bool run);
TokenKind getRawToken(ParseCursor *cursor, ScriptValue **value, bool advance);
TokenKind getToken(ParseCursor *cursor, ScriptValue **value, bool advance);
TokenKind peekRawToken(const ParseCursor *cursor);
void skipToEndOfLine(ParseCursor *cursor);
unsigned char *copyTokens(const ParseCursor *start, const ParseCursor *end);

// Reads the next token; the run ends with `message` unless it is `token`.
inline void expectToken(ParseCursor *cursor, TokenKind token, const char *message)
{
    if (getToken(cursor, nullptr, true) != token)
        parserError(cursor, message);
}

#endif

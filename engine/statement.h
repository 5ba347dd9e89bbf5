// The statement parser: executes statements as it reads them, or steps over
// them, according to the cursor's mode.
#ifndef LODVANE_ENGINE_STATEMENT_H
#define LODVANE_ENGINE_STATEMENT_H

#include "types.h"

enum StatementResult : uint8_t {
    STATEMENT_EOF,
    STATEMENT_ERROR,  // the token cannot start a statement; the cursor is put back
    STATEMENT_OK
};

StatementResult parseStatement(ParseCursor *cursor, bool checkSemicolon);
// Sets the statement count at which the step limit or the host's poll is
// next due; each statement then costs one comparison until then.
void scheduleCheckpoint(EngineState *state);
// The statement in skip mode when the mode is not skip and the condition is
// false; the mode is restored afterwards.
StatementResult parseStatementMaybeRun(ParseCursor *cursor, bool condition, bool checkSemicolon);
// '{' { statement } '}' in a scope of its own; returns the mode afterwards.
ExecMode parseBlock(ParseCursor *cursor, bool absorbBrace, bool condition);

#endif

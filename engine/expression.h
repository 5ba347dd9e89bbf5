// The expression evaluator: an operator-precedence loop over a stack of
// values and operators kept in the arena, evaluating as it reads.
#ifndef LODVANE_ENGINE_EXPRESSION_H
#define LODVANE_ENGINE_EXPRESSION_H

#include "native.h"

// In run mode the result is left on the arena for the caller to pop; in
// other modes nothing is left. False when no expression was found.
bool parseExpression(ParseCursor *cursor, ScriptValue **result);
// "expression expected" when there is none; 0 outside run mode.
int32_t parseIntExpression(ParseCursor *cursor);
// An expression whose value is not wanted: evaluated in run mode, then
// dropped. False when no expression was found.
bool parseExpressionDiscard(ParseCursor *cursor);
// An expression whose value goes straight into `dest` (assign's rules) and
// is then dropped; outside run mode it is only read. False when no
// expression was found.
bool parseExpressionInto(ParseCursor *cursor, ScriptValue *dest, bool force, const char *functionName,
                         int argNumber);

void assign(ParseCursor *cursor, ScriptValue *dest, ScriptValue *source, bool force, const char *functionName,
            int argNumber, bool allowPointerCoercion);

#endif

// Definitions of script functions, library prototypes and macros.
#ifndef LODVANE_ENGINE_FUNCTION_H
#define LODVANE_ENGINE_FUNCTION_H

#include "types.h"

constexpr int kMaxParameters = 16;

// parameters [ ';' | body ] -- the cursor is on the '(' after the name.
// Returns the global function value (a prototype when no body follows).
ScriptValue *parseFunctionDefinition(ParseCursor *cursor, ScriptType *returnType, const char *name);

// '#define' name [ '(' name { ',' name } ')' ] rest-of-line -- the directive
// is already read.
void parseMacroDefinition(ParseCursor *cursor);

#endif

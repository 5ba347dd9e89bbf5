// Type declarations: the declarator grammar, struct, union and enum
// definitions, and declarations of variables.
#ifndef LODVANE_ENGINE_DECLARATION_H
#define LODVANE_ENGINE_DECLARATION_H

#include "native.h"

#include <cstddef>

// storage class and base type; *type is null (and nothing is read) when the
// next token does not start a type
void parseTypeFront(ParseCursor *cursor, ScriptType **type, bool *isStatic);
// { '*' } ( '(' declarator ')' | name { '[' [constant] ']' } )
void parseDeclarator(ParseCursor *cursor, ScriptType *front, ScriptType **type, const char **name);
// front part and declarator
void parseType(ParseCursor *cursor, ScriptType **type, const char **name, bool *isStatic);
// Whether the next token starts a type: a type word or a typedef name.
bool startsType(ParseCursor *cursor);

// type declarator [= initialiser] { , declarator [= initialiser] }
// Returns false, with the cursor on the '(', when a function definition
// follows a declarator; *returnType and *name then describe it.
bool parseDeclaration(ParseCursor *cursor, ScriptType **returnType, const char **name);

#endif

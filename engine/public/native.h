// What a library function written for the host needs: the binding of a
// NativeFunction to a C prototype, the values it is handed, and the engine
// calls it may make. Errors leave the run; they never return to the caller.
#ifndef LODVANE_ENGINE_NATIVE_H
#define LODVANE_ENGINE_NATIVE_H

#include "state.h"

#include <cstddef>
#include <cstdint>

// A host function bound to a C prototype; a table of them ends in an entry
// whose prototype is null.
struct LibraryEntry {
    NativeFunction function;
    const char *prototype;
};

/* ---- leaving the run ----------------------------------------------------- */

[[noreturn]] void engineExit(EngineState *state, int32_t value);
// The location report of the calling statement, then the message.
[[noreturn]] void parserError(ParseCursor *cursor, const char *format, ...);
[[noreturn]] void engineError(EngineState *state, const char *format, ...);

/* ---- values -------------------------------------------------------------- */

int32_t coerceInteger(const ScriptValue *value);
uint32_t coerceUnsigned(const ScriptValue *value);
double coerceDouble(const ScriptValue *value);

// Bytes of data in the value's own arena block: 0 for a header that points
// at storage it does not own (a shared value), so that the arguments behind
// the last fixed one can be found from each other.
size_t valueStackDataSize(const ScriptValue *value);

/* ---- storage a script may reach ------------------------------------------ */

// Host storage becomes reachable through the script's pointers until removed.
void storageAdd(EngineState *state, const void *start, size_t size, bool readOnly);
void storageRemove(EngineState *state, const void *start);

// Ends the run with "out of bounds access" unless [address, address + size)
// lies inside one live region; a null address is a "NULL pointer
// dereference". Returns whether the storage may be written.
bool storageCheck(ParseCursor *cursor, const void *address, size_t size);

// The length of the zero-terminated string at `text`, which must end inside
// its region ("out of bounds access" otherwise).
size_t storageStringLength(ParseCursor *cursor, const char *text);

/* ---- names, globals and types -------------------------------------------- */

const char *internString(EngineState *state, const char *text);
const char *internString(EngineState *state, const char *text, size_t length);

// A global at a host address that must stay valid for the whole run.
ScriptValue *defineGlobalValue(EngineState *state, ParseCursor *cursor, const char *name,
                               ScriptType *type, void *address, bool writable);
bool isDefined(EngineState *state, const char *name);

ScriptType *getMatchingType(EngineState *state, ParseCursor *cursor, ScriptType *parent, TypeKind kind,
                            int arraySize, const char *name, bool allowDuplicate);
// A struct type with the given size and no visible members, for host objects.
ScriptType *createOpaqueStruct(EngineState *state, ParseCursor *cursor, const char *name, int size);

#endif

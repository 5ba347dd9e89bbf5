// The record model shared by every part of the engine: types, values,
// function and macro definitions and the parse cursor.
#ifndef LODVANE_ENGINE_TYPES_H
#define LODVANE_ENGINE_TYPES_H

#include <cstdint>

struct EngineState;
struct HashTable;
struct ScriptType;
struct ScriptValue;
struct CallFrame;

// The integer kinds run from TYPE_INT to TYPE_UNSIGNED_LONG; the numeric
// kinds are those and TYPE_DOUBLE.
enum TypeKind : uint8_t {
    TYPE_VOID,
    TYPE_INT,
    TYPE_SHORT,
    TYPE_CHAR,
    TYPE_LONG,
    TYPE_UNSIGNED_INT,
    TYPE_UNSIGNED_SHORT,
    TYPE_UNSIGNED_CHAR,
    TYPE_UNSIGNED_LONG,
    TYPE_DOUBLE,
    TYPE_FUNCTION,
    TYPE_MACRO,
    TYPE_POINTER,
    TYPE_ARRAY,
    TYPE_STRUCT,
    TYPE_UNION,
    TYPE_ENUM,
    TYPE_GOTO_LABEL,
    TYPE_TYPE
};

inline bool typeIsInteger(TypeKind kind) { return kind >= TYPE_INT && kind <= TYPE_UNSIGNED_LONG; }
inline bool typeIsNumeric(TypeKind kind) { return kind >= TYPE_INT && kind <= TYPE_DOUBLE; }

// Types form a tree of unique records: two types are the same exactly when
// they are the same record. Pointer and array types hang below their
// from-type; tags and base types below the root.
struct ScriptType {
    TypeKind kind;
    int arraySize;           // element count of an array, 0 when unsized or not an array
    int size;                // bytes of one datum
    int alignment;
    const char *name;        // shared tag or generated name; the empty string otherwise
    ScriptType *fromType;    // pointed-to or element type; the root for tags
    ScriptType *derived;     // head of the types derived from this one
    ScriptType *next;        // sibling in the parent's derived list
    HashTable *members;      // struct/union members; null while only declared
    bool onHeap;             // made during the run, freed at clean-up
};

enum ExecMode : uint8_t {
    MODE_RUN,          // statements and expressions take effect
    MODE_SKIP,         // read without effect
    MODE_RETURN,       // a return was executed
    MODE_CASE_SEARCH,  // looking for the matching case of a switch
    MODE_BREAK,
    MODE_CONTINUE,
    MODE_GOTO          // looking for the label in gotoLabel
};

// A plain record: copying it saves a position, assigning it back returns there.
struct ParseCursor {
    EngineState *engine;
    const unsigned char *pos; // current token record
    const char *file;         // shared file name
    uint16_t line;
    uint16_t column;
    ExecMode mode;
    int32_t searchLabel;      // case value sought by a switch
    const char *gotoLabel;    // shared label name sought by a goto
    const char *source;       // zero-terminated source text, for error lines; may be null
    uint16_t ifLevel;         // open #if directives
    uint16_t evaluateToLevel; // #if levels whose branch is being taken
    intptr_t scopeId;         // block scope, -1 for none
};

// A host function bound to a prototype: (calling statement's cursor, result,
// fixed arguments, argument count including those behind the last fixed one).
typedef void (*NativeFunction)(ParseCursor *, ScriptValue *, ScriptValue **, int32_t);

// A script function's body and its parameters; the two arrays follow the
// record in the same heap block.
struct FunctionDef {
    ScriptType *returnType;
    int32_t paramCount;
    bool variadic;
    ScriptType **paramTypes;
    const char **paramNames;
    NativeFunction native;    // null for a script function
    ParseCursor body;         // body.pos is null for a prototype without body
};

struct MacroDef {
    int32_t paramCount;
    const char **paramNames;  // follows the record
    ParseCursor body;         // position in the macro's own copied tokens
};

// The storage a value points at. Integers get 8 bytes so that they can be
// read at any integer width; inside arrays and structs each element takes
// exactly its type's size.
union AnyData {
    char c;
    short s;
    int32_t i;
    int32_t l;
    uint32_t u;
    unsigned char uc;
    unsigned short us;
    double d;
    void *ptr;
    ScriptType *type;
    FunctionDef function;
    MacroDef macro;
    unsigned char bytes[8];
};

struct ScriptValue {
    ScriptType *type;
    AnyData *data;
    ScriptValue *lvalueOrigin; // the value whose storage this one refers into
    bool valueOnHeap;          // header (and data, when allocated together) is a heap block
    bool valueOnStack;         // header (and data) is in the stack arena
    bool dataOnHeap;           // data is a separate heap block owned by this value
    bool isLvalue;
    bool outOfScope;           // its block has ended; hidden from lookup
    intptr_t scopeId;          // block the variable was defined in, -1 for none
};

#endif

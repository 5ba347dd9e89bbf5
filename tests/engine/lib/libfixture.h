// Brings the standard headers into a state the way an include does: the
// set-up function, the set-up source's typedefs, then each prototype bound
// to its native function.
#ifndef LODVANE_TESTS_LIBFIXTURE_H
#define LODVANE_TESTS_LIBFIXTURE_H

#include "scriptfixture.h"

#include "lib/library.h"

#include <QList>

// Typedef names as a typedef statement leaves them: a read-only global of
// kind type whose datum is the named type.
inline void defineTypedef(EngineState *st, const char *name, ScriptType *type)
{
    static ScriptType *slots[16];
    static int used;
    ScriptType **slot = &slots[used++ % 16];
    *slot = type;
    defineGlobalValue(st, nullptr, name, &st->typeType, slot, false);
}

inline ScriptType *structType(EngineState *st, const char *tag)
{
    return getMatchingType(st, nullptr, &st->rootType, TYPE_STRUCT, 0, internString(st, tag), true);
}

// return-type name '(' [ type { ',' type } [ ',' '...' ] ] ')' ';'
inline void bindLibrary(EngineState *st, const LibraryEntry *table)
{
    for (; table->prototype; table++) {
        const unsigned char *tokens = retainTokens(st, table->prototype);
        ParseCursor cursor;
        initCursor(&cursor, st, scriptSources().last().constData(), tokens, internString(st, "c library"), true);
        ScriptType *returnType;
        const char *name;
        bool isStatic;
        parseType(&cursor, &returnType, &name, &isStatic);
        getToken(&cursor, nullptr, true);
        QList<ParamSpec> params;
        bool variadic = false;
        while (getToken(&cursor, nullptr, false) != TK_CLOSE_BRACKET) {
            if (getToken(&cursor, nullptr, false) == TK_ELLIPSIS) {
                getToken(&cursor, nullptr, true);
                variadic = true;
                continue;
            }
            ScriptType *type;
            const char *paramName;
            parseType(&cursor, &type, &paramName, &isStatic);
            params.append({type, "p"});
            if (getToken(&cursor, nullptr, false) == TK_COMMA)
                getToken(&cursor, nullptr, true);
        }
        defineFunction(st, name, returnType, params, variadic, table->function);
    }
}

// Every standard header, as including them all makes them visible.
inline bool includeStandardLibrary(EngineState *st)
{
    return engineProtectedCall(st, [&] {
        errnoSetup(st);
        stdboolSetup(st);
        defineTypedef(st, "bool", &st->intType);
        stdioSetup(st);
        defineTypedef(st, "va_list", structType(st, "__va_listStruct"));
        defineTypedef(st, "FILE", structType(st, "__FILEStruct"));
        stdlibSetup(st);
        stringSetup(st);
        mathSetup(st);
        timeSetup(st);
        defineTypedef(st, "time_t", &st->intType);
        defineTypedef(st, "clock_t", &st->intType);
        for (const LibraryEntry *table : {ctypeLibrary, mathLibrary, stdioLibrary, stdlibLibrary, stringLibrary, timeLibrary})
            bindLibrary(st, table);
    });
}

#endif

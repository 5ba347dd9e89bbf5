// The registry of headers, #include, and the binding of host functions to
// C prototypes.
#include "include.h"

#include "arena.h"
#include "declaration.h"
#include "engine.h"
#include "error.h"
#include "function.h"
#include "intern.h"
#include "lexer.h"
#include "run.h"
#include "variable.h"

#include <cstring>

static void includeAddHeader(EngineState *state, const char *name, void (*setup)(EngineState *),
                             const LibraryEntry *library, const char *setupSource)
{
    const char *shared = internString(state, name);
    HeaderModule *module = static_cast<HeaderModule *>(heapAlloc(state, sizeof(HeaderModule)));
    if (!module)
        engineError(state, "out of memory");
    module->name = shared;
    module->setup = setup;
    module->library = library;
    module->setupSource = setupSource;
    module->next = state->headers;
    state->headers = module;
}

bool registerHeader(EngineState *state, const char *name, void (*setup)(EngineState *),
                    const LibraryEntry *library, const char *setupSource)
{
    return engineProtectedCall(state, [&] { includeAddHeader(state, name, setup, library, setupSource); });
}

static HeaderModule *includeFind(EngineState *state, const char *sharedName)
{
    for (HeaderModule *module = state->headers; module; module = module->next)
        if (module->name == sharedName)
            return module;
    return nullptr;
}

// A void variable of a header's name marks it as included.
void includeHeader(EngineState *state, const char *sharedName)
{
    HeaderModule *module = includeFind(state, sharedName);
    if (!module) {
        runFile(state, sharedName);
        return;
    }
    if (isDefined(state, sharedName))
        return;
    defineVariable(state, nullptr, sharedName, nullptr, &state->voidType, false);
    if (module->setup)
        module->setup(state);
    if (module->setupSource)
        runText(state, sharedName, module->setupSource, strlen(module->setupSource), TEXT_DISCARD);
    if (module->library)
        addLibrary(state, module->library);
}

bool includeAllHeaders(EngineState *state)
{
    return engineProtectedCall(state, [&] {
        for (HeaderModule *module = state->headers; module; module = module->next)
            includeHeader(state, module->name);
    });
}

// type name '(' parameters ')' ';' -- entered as a prototype whose calls
// go to the host function
static void includeBind(EngineState *state, const char *file, const LibraryEntry *entry)
{
    RetainedTokens *node = retainTokens(state, nullptr);
    node->tokens = tokenise(state, file, entry->prototype, strlen(entry->prototype));
    ParseCursor cursor;
    initCursor(&cursor, state, entry->prototype, node->tokens, file, true);
    ScriptType *type;
    const char *name;
    bool isStatic;
    parseType(&cursor, &type, &name, &isStatic);
    if (!type || name == state->emptyString || getToken(&cursor, nullptr, false) != TK_OPEN_BRACKET)
        parserError(&cursor, "bad function definition");
    ScriptValue *function = parseFunctionDefinition(&cursor, type, name);
    if (function->data->function.body.pos)
        parserError(&cursor, "bad function definition");
    function->data->function.native = entry->function;
    releaseTokens(state, node);
}

void addLibrary(EngineState *state, const LibraryEntry *library)
{
    const char *file = internString(state, "c library");
    for (const LibraryEntry *entry = library; entry->prototype; entry++)
        includeBind(state, file, entry);
}

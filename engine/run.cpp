// Parsing texts and files, and calling main.
#include "run.h"

#include "arena.h"
#include "engine.h"
#include "error.h"
#include "intern.h"
#include "lexer.h"
#include "statement.h"
#include "storage.h"
#include "table.h"
#include "variable.h"

#include <cstring>
#include <sys/stat.h>

RetainedTokens *retainTokens(EngineState *state, char *source)
{
    RetainedTokens *node = static_cast<RetainedTokens *>(heapAlloc(state, sizeof(RetainedTokens)));
    if (!node) {
        heapFree(state, source);
        engineError(state, "out of memory");
    }
    node->source = source;
    node->next = state->retained;
    state->retained = node;
    return node;
}

void releaseTokens(EngineState *state, RetainedTokens *node)
{
    for (RetainedTokens **link = &state->retained; *link; link = &(*link)->next) {
        if (*link == node) {
            *link = node->next;
            heapFree(state, node->tokens);
            heapFree(state, node);
            return;
        }
    }
}

void runText(EngineState *state, const char *fileName, const char *source, size_t length, TextKeeping keeping)
{
    const char *file = internString(state, fileName);
    char *owned = keeping == TEXT_KEEP_TOKENS_AND_SOURCE ? const_cast<char *>(source) : nullptr;
    RetainedTokens *node = retainTokens(state, owned);
    node->tokens = tokenise(state, file, source, length);
    ParseCursor cursor;
    initCursor(&cursor, state, source, node->tokens, file, true);
    StatementResult result;
    while ((result = parseStatement(&cursor, true)) == STATEMENT_OK) {
    }
    if (result == STATEMENT_ERROR) {
        getToken(&cursor, nullptr, false); // the report points at the token
        parserError(&cursor, "parse error");
    }
    if (keeping == TEXT_DISCARD)
        releaseTokens(state, node);
}

bool engineParse(EngineState *state, const char *fileName, const char *source, size_t length)
{
    return engineProtectedCall(state, [&] { runText(state, fileName, source, length, TEXT_KEEP_TOKENS); });
}

// A "#!" first line reads as blank, so that a script can be made executable.
static void runBlankInterpreterLine(char *text)
{
    if (text[0] != '#' || text[1] != '!')
        return;
    for (char *p = text; *p && *p != '\n' && *p != '\r'; p++)
        *p = ' ';
}

void runFile(EngineState *state, const char *fileName)
{
    struct stat info;
    if (stat(fileName, &info) != 0)
        engineError(state, "can't read file %s\n", fileName);
    size_t size = size_t(info.st_size);
    char *text = static_cast<char *>(heapAlloc(state, size + 1));
    if (!text)
        engineError(state, "out of memory\n");
    FILE *file = fopen(fileName, "r");
    if (!file) {
        heapFree(state, text);
        engineError(state, "can't read file %s\n", fileName);
    }
    size_t read = fread(text, 1, size, file);
    fclose(file);
    if (read == 0) {
        heapFree(state, text);
        engineError(state, "can't read file %s\n", fileName);
    }
    text[read] = '\0';
    runBlankInterpreterLine(text);
    runText(state, fileName, text, read, TEXT_KEEP_TOKENS_AND_SOURCE);
}

bool engineParseFile(EngineState *state, const char *fileName)
{
    return engineProtectedCall(state, [&] { runFile(state, fileName); });
}

// The host's argument vector becomes reachable for the script's pointers.
static void runRegisterArguments(EngineState *state, int argc, char **argv)
{
    storageAdd(state, argv, sizeof(char *) * size_t(argc + 1), false);
    for (int i = 0; i < argc; i++)
        storageAdd(state, argv[i], strlen(argv[i]) + 1, false);
}

static void runMain(EngineState *state, int argc, char **argv)
{
    void *found;
    if (!tableGet(&state->globals, internString(state, "main"), &found))
        engineError(state, "main() is not defined");
    ScriptValue *main = static_cast<ScriptValue *>(found);
    if (main->type->kind != TYPE_FUNCTION)
        engineError(state, "main is not a function - can't call it");
    const FunctionDef *def = &main->data->function;
    bool withArguments = def->paramCount > 0;
    bool returnsValue = def->returnType->kind != TYPE_VOID;
    if (withArguments) {
        state->mainArgc = argc;
        state->mainArgv = argv;
        runRegisterArguments(state, argc, argv);
        defineGlobalValue(state, nullptr, "__argc", &state->intType, &state->mainArgc, false);
        defineGlobalValue(state, nullptr, "__argv", state->charPtrPtrType, &state->mainArgv, false);
    }
    if (returnsValue)
        defineGlobalValue(state, nullptr, "__exit_value", &state->intType, &state->exitValue, true);
    static const char *const kStartup[2][2] = {
        {"main();", "main(__argc,__argv);"},
        {"__exit_value = main();", "__exit_value = main(__argc,__argv);"},
    };
    const char *text = kStartup[returnsValue][withArguments];
    runText(state, "startup", text, strlen(text), TEXT_DISCARD);
}

bool engineCallMain(EngineState *state, int argc, char **argv)
{
    return engineProtectedCall(state, [&] { runMain(state, argc, argv); });
}

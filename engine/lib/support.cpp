// What the standard headers share: argument access, checked storage, and the
// per-run records of script heap blocks and open files.
#include "library.h"

#include "arena.h"
#include "error.h"
#include "expression.h"
#include "intern.h"
#include "state.h"
#include "storage.h"
#include "variable.h"

#include <cstdlib>
#include <cstring>

int32_t argInt(ScriptValue **args, int index) { return coerceInteger(args[index]); }
double argDouble(ScriptValue **args, int index) { return coerceDouble(args[index]); }

void *argPointer(ScriptValue **args, int index)
{
    const ScriptValue *value = args[index];
    if (value->type->kind == TYPE_ARRAY)
        return value->data;
    void *pointer;
    memcpy(&pointer, value->data, sizeof pointer);
    return pointer;
}

void resultInt(ScriptValue *result, int32_t value) { memcpy(result->data, &value, sizeof value); }
void resultDouble(ScriptValue *result, double value) { memcpy(result->data, &value, sizeof value); }
void resultPointer(ScriptValue *result, const void *value) { memcpy(result->data, &value, sizeof value); }

ScriptValue *nextArgument(const ScriptValue *previous)
{
    const char *at = reinterpret_cast<const char *>(previous);
    return reinterpret_cast<ScriptValue *>(const_cast<char *>(at) +
                                           arenaAligned(kValueHeader + valueStackDataSize(previous)));
}

void defineIntConstant(EngineState *state, const char *name, int32_t *storage)
{
    defineGlobalValue(state, nullptr, name, &state->intType, storage, false);
}

static int32_t nullValue = 0;

void defineNullOnce(EngineState *state)
{
    if (!isDefined(state, internString(state, "NULL")))
        defineIntConstant(state, "NULL", &nullValue);
}

/* ---- checked access ----------------------------------------------------- */

void checkRead(ParseCursor *cursor, const void *address, size_t size)
{
    if (size)
        storageCheck(cursor, address, size);
}

void checkWrite(ParseCursor *cursor, void *address, size_t size)
{
    if (size && !storageCheck(cursor, address, size))
        parserError(cursor, "out of bounds access");
}

size_t checkString(ParseCursor *cursor, const char *text)
{
    return storageStringLength(cursor, text);
}

size_t storageRoom(ParseCursor *cursor, const void *address, bool write)
{
    if (!address)
        parserError(cursor, "NULL pointer dereference");
    StorageRegion region;
    if (!storageFind(cursor->engine, address, &region) || (write && region.readOnly))
        parserError(cursor, "out of bounds access");
    return region.end - reinterpret_cast<uintptr_t>(address);
}

void exposeHostBlock(EngineState *state, const void *block, size_t size)
{
    if (!block)
        return;
    // The host reuses its static buffers with texts of other lengths.
    storageRemove(state, block);
    storageAdd(state, block, size, true);
}

const char *exposeHostText(EngineState *state, const char *text)
{
    if (text)
        exposeHostBlock(state, text, strlen(text) + 1);
    return text;
}

/* ---- per-run records ---------------------------------------------------- */

struct ScriptBlock {
    void *start;
    ScriptBlock *next;
};

struct ScriptFile {
    FILE *file;
    ScriptFile *next;
};

// One per engine state that used the library; engine states live on one
// thread, so a plain list serves.
struct LibraryRun {
    EngineState *state;
    ScriptBlock *blocks;
    ScriptFile *files;
    char *strtokNext;
    const void *hostTm;
    LibraryRun *next;
};

static LibraryRun *runs;

static LibraryRun *libraryRun(EngineState *state)
{
    for (LibraryRun *run = runs; run; run = run->next)
        if (run->state == state)
            return run;
    LibraryRun *run = static_cast<LibraryRun *>(heapAlloc(state, sizeof(LibraryRun)));
    if (!run)
        engineError(state, "out of memory");
    run->state = state;
    run->next = runs;
    runs = run;
    return run;
}

void releaseStandardLibrary(EngineState *state)
{
    for (LibraryRun **link = &runs; *link; link = &(*link)->next) {
        LibraryRun *run = *link;
        if (run->state != state)
            continue;
        *link = run->next;
        while (ScriptFile *f = run->files) {
            run->files = f->next;
            fclose(f->file);
            heapFree(state, f);
        }
        while (ScriptBlock *b = run->blocks) {
            run->blocks = b->next;
            storageRemove(state, b->start);
            heapFree(state, b->start);
            heapFree(state, b);
        }
        heapFree(state, run);
        return;
    }
}

bool isStandardStream(const void *file)
{
    return file == stdin || file == stdout || file == stderr;
}

FILE *checkFile(ParseCursor *cursor, const void *file)
{
    if (!file)
        parserError(cursor, "NULL pointer dereference");
    if (isStandardStream(file))
        return static_cast<FILE *>(const_cast<void *>(file));
    for (ScriptFile *f = libraryRun(cursor->engine)->files; f; f = f->next)
        if (f->file == file)
            return f->file;
    parserError(cursor, "invalid FILE pointer");
}

void rememberFile(EngineState *state, FILE *file)
{
    if (!file)
        return;
    LibraryRun *run = libraryRun(state);
    ScriptFile *node = static_cast<ScriptFile *>(heapAlloc(state, sizeof(ScriptFile)));
    if (!node) {
        fclose(file);
        engineError(state, "out of memory");
    }
    node->file = file;
    node->next = run->files;
    run->files = node;
}

void forgetFile(EngineState *state, FILE *file)
{
    for (ScriptFile **link = &libraryRun(state)->files; *link; link = &(*link)->next) {
        if ((*link)->file == file) {
            ScriptFile *node = *link;
            *link = node->next;
            heapFree(state, node);
            return;
        }
    }
}

void *scriptAlloc(EngineState *state, size_t size)
{
    LibraryRun *run = libraryRun(state);
    ScriptBlock *node = static_cast<ScriptBlock *>(heapAlloc(state, sizeof(ScriptBlock)));
    if (!node)
        return nullptr;
    // Zero-filled, so a script never sees what the host heap held before.
    node->start = heapAlloc(state, size);
    if (!node->start) {
        heapFree(state, node);
        return nullptr;
    }
    storageAdd(state, node->start, size, false);
    node->next = run->blocks;
    run->blocks = node;
    return node->start;
}

static ScriptBlock **scriptBlockLink(ParseCursor *cursor, void *block)
{
    for (ScriptBlock **link = &libraryRun(cursor->engine)->blocks; *link; link = &(*link)->next)
        if ((*link)->start == block)
            return link;
    parserError(cursor, "invalid pointer");
}

void scriptFree(ParseCursor *cursor, void *block)
{
    if (!block)
        return;
    ScriptBlock **link = scriptBlockLink(cursor, block);
    ScriptBlock *node = *link;
    *link = node->next;
    storageRemove(cursor->engine, block);
    heapFree(cursor->engine, block);
    heapFree(cursor->engine, node);
}

void *scriptRealloc(ParseCursor *cursor, void *block, size_t size)
{
    if (!block)
        return scriptAlloc(cursor->engine, size);
    ScriptBlock *node = *scriptBlockLink(cursor, block);
    if (size == 0) {
        scriptFree(cursor, block);
        return nullptr;
    }
    StorageRegion region;
    size_t old = storageFind(cursor->engine, block, &region) ? region.end - region.start : 0;
    // The old address is dropped before realloc: afterwards it may not even be
    // compared. A failed realloc leaves the block where it was.
    storageRemove(cursor->engine, block);
    void *grown = heapResize(cursor->engine, block, size);
    if (!grown) {
        storageAdd(cursor->engine, block, old, false);
        return nullptr;
    }
    if (size > old)
        memset(static_cast<char *>(grown) + old, 0, size - old);
    node->start = grown;
    storageAdd(cursor->engine, grown, size, false);
    return grown;
}

char **strtokPosition(EngineState *state) { return &libraryRun(state)->strtokNext; }

void rememberHostTm(EngineState *state, const void *tm) { libraryRun(state)->hostTm = tm; }
const void *hostTm(EngineState *state) { return libraryRun(state)->hostTm; }

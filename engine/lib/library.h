// The standard headers scripts see, and what their functions share: reading
// arguments, storing results, and the per-run records (script heap blocks,
// files the scripts opened) that make every pointer a script hands over
// checkable before the host touches it.
#ifndef LODVANE_ENGINE_LIB_LIBRARY_H
#define LODVANE_ENGINE_LIB_LIBRARY_H

#include "native.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// In their start-up order, by engineInit.
void registerStandardHeaders(EngineState *state);
// Closes the files and frees the heap blocks a run left behind.
void releaseStandardLibrary(EngineState *state);

extern const LibraryEntry stdioLibrary[];
extern const LibraryEntry mathLibrary[];
extern const LibraryEntry stringLibrary[];
extern const LibraryEntry stdlibLibrary[];
extern const LibraryEntry timeLibrary[];
extern const LibraryEntry ctypeLibrary[];

void stdioSetup(EngineState *state);
void mathSetup(EngineState *state);
void stringSetup(EngineState *state);
void stdlibSetup(EngineState *state);
void timeSetup(EngineState *state);
void errnoSetup(EngineState *state);
void stdboolSetup(EngineState *state);

extern const char *const kStdioSetupSource;
extern const char *const kStdboolSetupSource;
extern const char *const kTimeSetupSource;

/* ---- arguments and results ---------------------------------------------- */

int32_t argInt(ScriptValue **args, int index);
double argDouble(ScriptValue **args, int index);
void *argPointer(ScriptValue **args, int index);
void resultInt(ScriptValue *result, int32_t value);
void resultDouble(ScriptValue *result, double value);
void resultPointer(ScriptValue *result, const void *value);

// The argument behind `previous` among those beyond the last fixed one.
ScriptValue *nextArgument(const ScriptValue *previous);

// A read-only int constant held in host storage that lives for the run.
void defineIntConstant(EngineState *state, const char *name, int32_t *storage);
// NULL is defined by whichever of stdio.h, string.h and stdlib.h comes first.
void defineNullOnce(EngineState *state);

/* ---- checked access ----------------------------------------------------- */

// Ends the run with "out of bounds access" unless `size` bytes at `address`
// are live storage (writable, when asked); a size of 0 checks nothing.
void checkRead(ParseCursor *cursor, const void *address, size_t size);
void checkWrite(ParseCursor *cursor, void *address, size_t size);
// A string whose NUL lies inside its storage; its length.
size_t checkString(ParseCursor *cursor, const char *text);
// Bytes of storage from `address` to the end of its live region; the run
// ends unless there is at least one (and it is writable, when asked).
size_t storageRoom(ParseCursor *cursor, const void *address, bool write);
// Makes a text the host library keeps (strerror, getenv, ctime) readable by
// the script, read-only, for the length it has now.
const char *exposeHostText(EngineState *state, const char *text);
void exposeHostBlock(EngineState *state, const void *block, size_t size);

/* ---- per-run records ---------------------------------------------------- */

// A FILE the run may use: the standard streams or one it opened and has not
// closed; anything else ends the run.
FILE *checkFile(ParseCursor *cursor, const void *file);
bool isStandardStream(const void *file);
void rememberFile(EngineState *state, FILE *file);
void forgetFile(EngineState *state, FILE *file);

void *scriptAlloc(EngineState *state, size_t size);
// Null pointer: nothing. Anything but a live block: "invalid pointer".
void scriptFree(ParseCursor *cursor, void *block);
void *scriptRealloc(ParseCursor *cursor, void *block, size_t size);

// strtok's position, kept per run so a later call is checked like any other.
char **strtokPosition(EngineState *state);

// The struct tm the host handed out last (gmtime and localtime share it).
void rememberHostTm(EngineState *state, const void *tm);
const void *hostTm(EngineState *state);

/* ---- formatted input and output ----------------------------------------- */

// The last fixed argument (the format) and how many follow it.
struct StdVarArgs {
    ScriptValue *format;
    int32_t count;
};

// Where formatted output goes: hooks or a FILE, else a character array.
struct OutputSink {
    FILE *file;
    char *target;
    int32_t room;     // places left counting the NUL; negative: no limit but the storage
    int32_t count;    // characters produced so far
    char *limit;      // end of the target's storage
};

int32_t formatOutput(ParseCursor *cursor, OutputSink *sink, const char *format, const StdVarArgs *args);
int32_t formatInput(ParseCursor *cursor, FILE *file, const char *source, const char *format,
                    const StdVarArgs *args);

constexpr int kScanfMaxTargets = 10;
constexpr int kGetsMax = 255;

#endif

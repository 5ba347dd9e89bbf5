// "stdio.h": files, characters, and the printf and scanf families. Every FILE
// a script passes must be a standard stream or one it opened; every buffer
// is checked for the bytes the host will touch.
#include "library.h"

#include "declaration.h"
#include "error.h"
#include "intern.h"
#include "state.h"
#include "type.h"
#include "variable.h"

#include <cstring>

const char *const kStdioSetupSource = "typedef struct __va_listStruct va_list; typedef struct __FILEStruct FILE;";

namespace {

FILE *fileArg(ParseCursor *cursor, ScriptValue **args, int index)
{
    return checkFile(cursor, argPointer(args, index));
}

const char *stringArg(ParseCursor *cursor, ScriptValue **args, int index)
{
    const char *text = static_cast<const char *>(argPointer(args, index));
    checkString(cursor, text);
    return text;
}

// size * count bytes, or the end of the run when that cannot be stored.
size_t blockBytes(ParseCursor *cursor, int32_t size, int32_t count)
{
    if (size <= 0 || count <= 0)
        return 0;
    uint64_t bytes = uint64_t(size) * uint64_t(count);
    if (bytes > SIZE_MAX / 2)
        parserError(cursor, "out of bounds access");
    return size_t(bytes);
}

void stdFopen(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *name = stringArg(c, a, 0), *mode = stringArg(c, a, 1);
    FILE *file = fopen(name, mode);
    rememberFile(c->engine, file);
    resultPointer(r, file);
}

// The standard streams belong to the host process: a script may not close
// or redirect them.
void stdFreopen(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *name = argPointer(a, 0) ? stringArg(c, a, 0) : nullptr;
    const char *mode = stringArg(c, a, 1);
    FILE *file = fileArg(c, a, 2);
    if (isStandardStream(file)) {
        resultPointer(r, nullptr);
        return;
    }
    forgetFile(c->engine, file);
    FILE *reopened = freopen(name, mode, file);
    rememberFile(c->engine, reopened);
    resultPointer(r, reopened);
}

void stdFclose(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    FILE *file = fileArg(c, a, 0);
    if (isStandardStream(file)) {
        resultInt(r, EOF);
        return;
    }
    forgetFile(c->engine, file);
    resultInt(r, fclose(file));
}

void stdFread(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    void *buffer = argPointer(a, 0);
    int32_t size = argInt(a, 1), count = argInt(a, 2);
    FILE *file = fileArg(c, a, 3);
    checkWrite(c, buffer, blockBytes(c, size, count));
    resultInt(r, size > 0 && count > 0 ? int32_t(fread(buffer, size_t(size), size_t(count), file)) : 0);
}

void stdFwrite(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    void *buffer = argPointer(a, 0);
    int32_t size = argInt(a, 1), count = argInt(a, 2);
    FILE *file = fileArg(c, a, 3);
    checkRead(c, buffer, blockBytes(c, size, count));
    resultInt(r, size > 0 && count > 0 ? int32_t(fwrite(buffer, size_t(size), size_t(count), file)) : 0);
}

void stdFgetc(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, fgetc(fileArg(c, a, 0))); }

void stdFgets(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *buffer = static_cast<char *>(argPointer(a, 0));
    int32_t size = argInt(a, 1);
    FILE *file = fileArg(c, a, 2);
    if (size <= 0) {
        resultPointer(r, nullptr);
        return;
    }
    checkWrite(c, buffer, size_t(size));
    resultPointer(r, fgets(buffer, size, file));
}

void stdFputc(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, fputc(argInt(a, 0), fileArg(c, a, 1))); }
void stdFputs(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, fputs(stringArg(c, a, 0), fileArg(c, a, 1))); }
void stdRemove(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, remove(stringArg(c, a, 0))); }
void stdRename(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, rename(stringArg(c, a, 0), stringArg(c, a, 1))); }
void stdRewind(ParseCursor *c, ScriptValue *, ScriptValue **a, int32_t) { rewind(fileArg(c, a, 0)); }

void stdTmpfile(ParseCursor *c, ScriptValue *r, ScriptValue **, int32_t)
{
    FILE *file = tmpfile();
    rememberFile(c->engine, file);
    resultPointer(r, file);
}

void stdClearerr(ParseCursor *c, ScriptValue *, ScriptValue **a, int32_t) { clearerr(fileArg(c, a, 0)); }
void stdFeof(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, feof(fileArg(c, a, 0))); }
void stdFerror(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, ferror(fileArg(c, a, 0))); }
void stdFileno(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, fileno(fileArg(c, a, 0))); }

// fflush(NULL) flushes every stream, as the host's does.
void stdFflush(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultInt(r, fflush(argPointer(a, 0) ? fileArg(c, a, 0) : nullptr));
}

// A script's position is an int: the offset ftell gives.
void stdFgetpos(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    FILE *file = fileArg(c, a, 0);
    void *position = argPointer(a, 1);
    checkWrite(c, position, sizeof(int32_t));
    long offset = ftell(file);
    int32_t stored = int32_t(offset);
    if (offset >= 0)
        memcpy(position, &stored, sizeof stored);
    resultInt(r, offset < 0 ? -1 : 0);
}

void stdFsetpos(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    FILE *file = fileArg(c, a, 0);
    void *position = argPointer(a, 1);
    checkRead(c, position, sizeof(int32_t));
    int32_t offset;
    memcpy(&offset, position, sizeof offset);
    resultInt(r, fseek(file, offset, SEEK_SET));
}

void stdFtell(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, int32_t(ftell(fileArg(c, a, 0)))); }

void stdFseek(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultInt(r, fseek(fileArg(c, a, 0), argInt(a, 1), argInt(a, 2)));
}

void stdPerror(ParseCursor *c, ScriptValue *, ScriptValue **a, int32_t)
{
    perror(argPointer(a, 0) ? stringArg(c, a, 0) : nullptr);
}

void stdPutc(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, putc(argInt(a, 0), fileArg(c, a, 1))); }
void stdPutchar(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, putchar(argInt(a, 0))); }

// The host would keep using a script's buffer after the call, when the
// script's storage may be gone: the host's own buffer is used instead. The
// modes are the script's constants, not the host's.
int hostBufferMode(int32_t mode)
{
    switch (mode) {
    case 0: return _IOFBF;
    case 64: return _IOLBF;
    case 4: return _IONBF;
    default: return -1;
    }
}

void stdSetbuf(ParseCursor *c, ScriptValue *, ScriptValue **a, int32_t)
{
    FILE *file = fileArg(c, a, 0);
    setvbuf(file, nullptr, argPointer(a, 1) ? _IOFBF : _IONBF, BUFSIZ);
}

void stdSetvbuf(ParseCursor *c, ScriptValue *, ScriptValue **a, int32_t)
{
    FILE *file = fileArg(c, a, 0);
    int mode = hostBufferMode(argInt(a, 2));
    int32_t size = argInt(a, 3);
    if (mode >= 0)
        setvbuf(file, nullptr, mode, size > 0 ? size_t(size) : BUFSIZ);
}

void stdUngetc(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, ungetc(argInt(a, 0), fileArg(c, a, 1))); }
void stdPuts(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, puts(stringArg(c, a, 0))); }

// One line of standard input, at most what the buffer holds (and never more
// than GETS_MAX places), without its line feed.
void stdGets(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *buffer = static_cast<char *>(argPointer(a, 0));
    size_t room = storageRoom(c, buffer, true);
    int size = room < size_t(kGetsMax) ? int(room) : kGetsMax;
    if (!fgets(buffer, size, stdin)) {
        resultPointer(r, nullptr);
        return;
    }
    char *feed = strchr(buffer, '\n');
    if (feed)
        *feed = 0;
    resultPointer(r, buffer);
}

void stdGetchar(ParseCursor *, ScriptValue *r, ScriptValue **, int32_t) { resultInt(r, getchar()); }

/* ---- the printf and scanf families --------------------------------------- */

const char *formatArg(ParseCursor *cursor, ScriptValue **args, int index)
{
    const char *format = static_cast<const char *>(argPointer(args, index));
    if (format)
        checkString(cursor, format);
    return format;
}

// The arguments behind the format of a plain (not v-) call.
StdVarArgs followingArgs(ScriptValue **args, int formatIndex, int32_t count)
{
    return StdVarArgs{args[formatIndex], count - formatIndex - 1};
}

// Scripts have no way to start a va_list, so the only one that can be
// trusted is an empty one; any other value would send the host through an
// address the script made up.
StdVarArgs vaListArgs(ParseCursor *cursor, ScriptValue **args, int index)
{
    void *block;
    memcpy(&block, args[index]->data, sizeof block);
    if (block)
        parserError(cursor, "invalid va_list");
    return StdVarArgs{args[index - 1], 0};
}

OutputSink fileSink(FILE *file) { return OutputSink{file, nullptr, -1, 0, nullptr}; }

// An array target: bounded by n places (negative: by its storage alone).
OutputSink arraySink(ParseCursor *cursor, void *target, int32_t room)
{
    char *at = static_cast<char *>(target);
    if (room == 0)
        return OutputSink{nullptr, at, 0, 0, at};
    size_t storage = storageRoom(cursor, at, true);
    return OutputSink{nullptr, at, room, 0, at + storage};
}

void stdPrintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t n)
{
    OutputSink sink = fileSink(stdout);
    StdVarArgs rest = followingArgs(a, 0, n);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 0), &rest));
}

void stdFprintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t n)
{
    OutputSink sink = fileSink(fileArg(c, a, 0));
    StdVarArgs rest = followingArgs(a, 1, n);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 1), &rest));
}

void stdSprintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t n)
{
    OutputSink sink = arraySink(c, argPointer(a, 0), -1);
    StdVarArgs rest = followingArgs(a, 1, n);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 1), &rest));
}

void stdSnprintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t n)
{
    OutputSink sink = arraySink(c, argPointer(a, 0), argInt(a, 1));
    StdVarArgs rest = followingArgs(a, 2, n);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 2), &rest));
}

void stdScanf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t n)
{
    StdVarArgs rest = followingArgs(a, 0, n);
    resultInt(r, formatInput(c, stdin, nullptr, stringArg(c, a, 0), &rest));
}

void stdFscanf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t n)
{
    FILE *file = fileArg(c, a, 0);
    StdVarArgs rest = followingArgs(a, 1, n);
    resultInt(r, formatInput(c, file, nullptr, stringArg(c, a, 1), &rest));
}

void stdSscanf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t n)
{
    const char *source = stringArg(c, a, 0);
    StdVarArgs rest = followingArgs(a, 1, n);
    resultInt(r, formatInput(c, nullptr, source, stringArg(c, a, 1), &rest));
}

void stdVprintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    OutputSink sink = fileSink(stdout);
    StdVarArgs rest = vaListArgs(c, a, 1);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 0), &rest));
}

void stdVfprintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    OutputSink sink = fileSink(fileArg(c, a, 0));
    StdVarArgs rest = vaListArgs(c, a, 2);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 1), &rest));
}

void stdVsprintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    OutputSink sink = arraySink(c, argPointer(a, 0), -1);
    StdVarArgs rest = vaListArgs(c, a, 2);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 1), &rest));
}

void stdVsnprintf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    OutputSink sink = arraySink(c, argPointer(a, 0), argInt(a, 1));
    StdVarArgs rest = vaListArgs(c, a, 3);
    resultInt(r, formatOutput(c, &sink, formatArg(c, a, 2), &rest));
}

void stdVscanf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    StdVarArgs rest = vaListArgs(c, a, 1);
    resultInt(r, formatInput(c, stdin, nullptr, stringArg(c, a, 0), &rest));
}

void stdVfscanf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    FILE *file = fileArg(c, a, 0);
    StdVarArgs rest = vaListArgs(c, a, 2);
    resultInt(r, formatInput(c, file, nullptr, stringArg(c, a, 1), &rest));
}

void stdVsscanf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *source = stringArg(c, a, 0);
    StdVarArgs rest = vaListArgs(c, a, 2);
    resultInt(r, formatInput(c, nullptr, source, stringArg(c, a, 1), &rest));
}

int32_t eofValue = EOF, seekSet = 0, seekCur = 1, seekEnd = 2, bufferSize = 512, filenameMax = 260,
        fullBuffering = 0, lineBuffering = 64, noBuffering = 4, tmpnamLength = 260, getsMax = kGetsMax;
FILE *standardStreams[3];

} // namespace

const LibraryEntry stdioLibrary[] = {
    {stdFopen, "FILE *fopen(char *, char *);"},
    {stdFreopen, "FILE *freopen(char *, char *, FILE *);"},
    {stdFclose, "int fclose(FILE *);"},
    {stdFread, "int fread(void *, int, int, FILE *);"},
    {stdFwrite, "int fwrite(void *, int, int, FILE *);"},
    {stdFgetc, "int fgetc(FILE *);"},
    {stdFgetc, "int getc(FILE *);"},
    {stdFgets, "char *fgets(char *, int, FILE *);"},
    {stdFputc, "int fputc(int, FILE *);"},
    {stdFputs, "int fputs(char *, FILE *);"},
    {stdRemove, "int remove(char *);"},
    {stdRename, "int rename(char *, char *);"},
    {stdRewind, "void rewind(FILE *);"},
    {stdTmpfile, "FILE *tmpfile();"},
    {stdClearerr, "void clearerr(FILE *);"},
    {stdFeof, "int feof(FILE *);"},
    {stdFerror, "int ferror(FILE *);"},
    {stdFileno, "int fileno(FILE *);"},
    {stdFflush, "int fflush(FILE *);"},
    {stdFgetpos, "int fgetpos(FILE *, int *);"},
    {stdFsetpos, "int fsetpos(FILE *, int *);"},
    {stdFtell, "int ftell(FILE *);"},
    {stdFseek, "int fseek(FILE *, int, int);"},
    {stdPerror, "void perror(char *);"},
    {stdPutc, "int putc(int, FILE *);"},
    {stdPutchar, "int putchar(int);"},
    {stdPutchar, "int fputchar(int);"},
    {stdSetbuf, "void setbuf(FILE *, char *);"},
    {stdSetvbuf, "void setvbuf(FILE *, char *, int, int);"},
    {stdUngetc, "int ungetc(int, FILE *);"},
    {stdPuts, "int puts(char *);"},
    {stdGets, "char *gets(char *);"},
    {stdGetchar, "int getchar();"},
    {stdPrintf, "int printf(char *, ...);"},
    {stdFprintf, "int fprintf(FILE *, char *, ...);"},
    {stdSprintf, "int sprintf(char *, char *, ...);"},
    {stdSnprintf, "int snprintf(char *, int, char *, ...);"},
    {stdScanf, "int scanf(char *, ...);"},
    {stdFscanf, "int fscanf(FILE *, char *, ...);"},
    {stdSscanf, "int sscanf(char *, char *, ...);"},
    {stdVprintf, "int vprintf(char *, va_list);"},
    {stdVfprintf, "int vfprintf(FILE *, char *, va_list);"},
    {stdVsprintf, "int vsprintf(char *, char *, va_list);"},
    {stdVsnprintf, "int vsnprintf(char *, int, char *, va_list);"},
    {stdVscanf, "int vscanf(char *, va_list);"},
    {stdVfscanf, "int vfscanf(FILE *, char *, va_list);"},
    {stdVsscanf, "int vsscanf(char *, char *, va_list);"},
    {nullptr, nullptr}};

void stdioSetup(EngineState *state)
{
    createOpaqueStruct(state, nullptr, internString(state, "__va_listStruct"), 8);
    ScriptType *file = createOpaqueStruct(state, nullptr, internString(state, "__FILEStruct"), 8);
    ScriptType *filePointer = getMatchingType(state, nullptr, file, TYPE_POINTER, 0, state->emptyString, true);
    static const struct { const char *name; int32_t *value; } constants[] = {
        {"EOF", &eofValue}, {"SEEK_SET", &seekSet}, {"SEEK_CUR", &seekCur}, {"SEEK_END", &seekEnd},
        {"BUFSIZ", &bufferSize}, {"FILENAME_MAX", &filenameMax}, {"_IOFBF", &fullBuffering},
        {"_IOLBF", &lineBuffering}, {"_IONBF", &noBuffering}, {"L_tmpnam", &tmpnamLength},
        {"GETS_MAX", &getsMax}};
    for (const auto &constant : constants)
        defineIntConstant(state, constant.name, constant.value);
    standardStreams[0] = stdin;
    standardStreams[1] = stdout;
    standardStreams[2] = stderr;
    static const char *const names[3] = {"stdin", "stdout", "stderr"};
    for (int i = 0; i < 3; i++)
        defineGlobalValue(state, nullptr, names[i], filePointer, &standardStreams[i], false);
    defineNullOnce(state);
}

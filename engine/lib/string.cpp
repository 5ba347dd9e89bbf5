// "string.h". Every length is taken from checked storage before the host
// reads or writes: a string must end inside its storage and a destination
// must hold the whole result.
#include "library.h"

#include "error.h"
#include "state.h"

#include <cstring>

namespace {

char *charArg(ScriptValue **a, int index) { return static_cast<char *>(argPointer(a, index)); }

// A script's negative count would be a huge size_t to the host.
size_t countArg(ParseCursor *c, ScriptValue **a, int index)
{
    int32_t n = argInt(a, index);
    if (n < 0)
        parserError(c, "out of bounds access");
    return size_t(n);
}

// The length of `text` when at most `limit` bytes are looked at: a text
// may end at the limit without a NUL, never at the end of its storage.
size_t boundedLength(ParseCursor *c, const char *text, size_t limit)
{
    if (limit == 0)
        return 0;
    size_t room = storageRoom(c, text, false);
    size_t length = strnlen(text, room < limit ? room : limit);
    if (length == room && room < limit)
        parserError(c, "out of bounds access");
    return length;
}

void strMemcpy(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    void *to = argPointer(a, 0), *from = argPointer(a, 1);
    size_t n = countArg(c, a, 2);
    checkWrite(c, to, n);
    checkRead(c, from, n);
    if (n)
        memmove(to, from, n); // overlapping script buffers must not make the host misbehave
    resultPointer(r, to);
}

void strMemchr(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const void *block = argPointer(a, 0);
    size_t n = countArg(c, a, 2);
    checkRead(c, block, n);
    resultPointer(r, n ? memchr(block, argInt(a, 1), n) : nullptr);
}

void strMemcmp(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const void *left = argPointer(a, 0), *right = argPointer(a, 1);
    size_t n = countArg(c, a, 2);
    checkRead(c, left, n);
    checkRead(c, right, n);
    resultInt(r, n ? memcmp(left, right, n) : 0);
}

void strMemset(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    void *to = argPointer(a, 0);
    size_t n = countArg(c, a, 2);
    checkWrite(c, to, n);
    if (n)
        memset(to, argInt(a, 1), n);
    resultPointer(r, to);
}

void strStrcat(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *to = charArg(a, 0);
    const char *from = charArg(a, 1);
    size_t have = checkString(c, to), add = checkString(c, from);
    checkWrite(c, to, have + add + 1);
    memmove(to + have, from, add + 1);
    resultPointer(r, to);
}

void strStrncat(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *to = charArg(a, 0);
    const char *from = charArg(a, 1);
    size_t n = countArg(c, a, 2);
    size_t have = checkString(c, to), add = boundedLength(c, from, n);
    checkWrite(c, to, have + add + 1);
    memmove(to + have, from, add);
    to[have + add] = 0;
    resultPointer(r, to);
}

void strStrchr(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = charArg(a, 0);
    checkString(c, text);
    resultPointer(r, strchr(text, argInt(a, 1)));
}

void strStrrchr(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = charArg(a, 0);
    checkString(c, text);
    resultPointer(r, strrchr(text, argInt(a, 1)));
}

// Bytes compare as unsigned; the result is exactly -1, 0 or 1.
void strStrcmp(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const unsigned char *left = reinterpret_cast<unsigned char *>(charArg(a, 0));
    const unsigned char *right = reinterpret_cast<unsigned char *>(charArg(a, 1));
    checkString(c, reinterpret_cast<const char *>(left));
    checkString(c, reinterpret_cast<const char *>(right));
    while (*left && *left == *right) {
        left++;
        right++;
    }
    resultInt(r, *left < *right ? -1 : *left > *right ? 1 : 0);
}

void strStrncmp(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *left = charArg(a, 0), *right = charArg(a, 1);
    size_t n = countArg(c, a, 2);
    size_t leftLength = boundedLength(c, left, n), rightLength = boundedLength(c, right, n);
    size_t reach = (leftLength < rightLength ? leftLength : rightLength) + 1;
    resultInt(r, strncmp(left, right, reach < n ? reach : n));
}

void strStrcoll(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *left = charArg(a, 0), *right = charArg(a, 1);
    checkString(c, left);
    checkString(c, right);
    resultInt(r, strcoll(left, right));
}

void strStrcpy(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *to = charArg(a, 0);
    const char *from = charArg(a, 1);
    size_t length = checkString(c, from);
    checkWrite(c, to, length + 1);
    memmove(to, from, length + 1);
    resultPointer(r, to);
}

void strStrncpy(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *to = charArg(a, 0);
    const char *from = charArg(a, 1);
    size_t n = countArg(c, a, 2);
    size_t length = boundedLength(c, from, n);
    checkWrite(c, to, n);
    memmove(to, from, length);
    if (n > length)
        memset(to + length, 0, n - length);
    resultPointer(r, to);
}

void strStrerror(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultPointer(r, exposeHostText(c->engine, strerror(argInt(a, 0))));
}

void strStrlen(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultInt(r, int32_t(checkString(c, charArg(a, 0))));
}

template <size_t (*f)(const char *, const char *)>
void spanOf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = charArg(a, 0), *set = charArg(a, 1);
    checkString(c, text);
    checkString(c, set);
    resultInt(r, int32_t(f(text, set)));
}

size_t hostStrspn(const char *s, const char *set) { return strspn(s, set); }
size_t hostStrcspn(const char *s, const char *set) { return strcspn(s, set); }

void strStrpbrk(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = charArg(a, 0), *set = charArg(a, 1);
    checkString(c, text);
    checkString(c, set);
    resultPointer(r, strpbrk(text, set));
}

void strStrstr(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    const char *text = charArg(a, 0), *part = charArg(a, 1);
    checkString(c, text);
    checkString(c, part);
    resultPointer(r, strstr(text, part));
}

// The position between calls is the library's own, so that a later call is
// checked against storage that may have gone since.
void strStrtok(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char **next = strtokPosition(c->engine);
    char *text = charArg(a, 0);
    const char *set = charArg(a, 1);
    checkString(c, set);
    if (!text)
        text = *next;
    if (!text) {
        resultPointer(r, nullptr);
        return;
    }
    size_t length = checkString(c, text);
    checkWrite(c, text, length + 1);
    text += strspn(text, set);
    if (!*text) {
        *next = nullptr;
        resultPointer(r, nullptr);
        return;
    }
    char *end = text + strcspn(text, set);
    if (*end) {
        *end = 0;
        *next = end + 1;
    } else {
        *next = nullptr;
    }
    resultPointer(r, text);
}

void strStrxfrm(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    char *to = charArg(a, 0);
    const char *from = charArg(a, 1);
    size_t n = countArg(c, a, 2);
    checkString(c, from);
    checkWrite(c, to, n);
    resultInt(r, int32_t(strxfrm(n ? to : nullptr, from, n)));
}

} // namespace

const LibraryEntry stringLibrary[] = {
    {strMemcpy, "void *memcpy(void *,void *,int);"},
    {strMemcpy, "void *memmove(void *,void *,int);"},
    {strMemchr, "void *memchr(char *,int,int);"},
    {strMemcmp, "int memcmp(void *,void *,int);"},
    {strMemset, "void *memset(void *,int,int);"},
    {strStrcat, "char *strcat(char *,char *);"},
    {strStrncat, "char *strncat(char *,char *,int);"},
    {strStrchr, "char *strchr(char *,int);"},
    {strStrrchr, "char *strrchr(char *,int);"},
    {strStrcmp, "int strcmp(char *,char *);"},
    {strStrncmp, "int strncmp(char *,char *,int);"},
    {strStrcoll, "int strcoll(char *,char *);"},
    {strStrcpy, "char *strcpy(char *,char *);"},
    {strStrncpy, "char *strncpy(char *,char *,int);"},
    {strStrerror, "char *strerror(int);"},
    {strStrlen, "int strlen(char *);"},
    {spanOf<hostStrspn>, "int strspn(char *,char *);"},
    {spanOf<hostStrcspn>, "int strcspn(char *,char *);"},
    {strStrpbrk, "char *strpbrk(char *,char *);"},
    {strStrstr, "char *strstr(char *,char *);"},
    {strStrtok, "char *strtok(char *,char *);"},
    {strStrxfrm, "int strxfrm(char *,char *,int);"},
    {nullptr, nullptr}};

void stringSetup(EngineState *state) { defineNullOnce(state); }

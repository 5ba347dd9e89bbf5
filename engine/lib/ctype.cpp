// "ctype.h": classification in the "C" locale whatever locale the host
// process runs in, and safe for any int (the host's tables are indexed only
// by EOF and unsigned char values).
#include "library.h"

#include <cctype>

namespace {

// Outside ASCII nothing belongs to a class in the "C" locale.
template <int (*f)(int)>
void classify(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t c = argInt(a, 0);
    resultInt(r, c >= 0 && c < 128 ? f(c) : 0);
}

int hostIsalnum(int c) { return isalnum(c); }
int hostIsalpha(int c) { return isalpha(c); }
int blank(int c) { return c == ' ' || c == '\t'; }
int hostIscntrl(int c) { return iscntrl(c); }
int hostIsdigit(int c) { return isdigit(c); }
int hostIsgraph(int c) { return isgraph(c); }
int hostIslower(int c) { return islower(c); }
int hostIsprint(int c) { return isprint(c); }
int hostIspunct(int c) { return ispunct(c); }
int hostIsspace(int c) { return isspace(c); }
int hostIsupper(int c) { return isupper(c); }
int hostIsxdigit(int c) { return isxdigit(c); }

void ctypeTolower(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t c = argInt(a, 0);
    resultInt(r, c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

void ctypeToupper(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    int32_t c = argInt(a, 0);
    resultInt(r, c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

void ctypeIsascii(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultInt(r, uint32_t(argInt(a, 0)) < 128 ? 1 : 0);
}

void ctypeToascii(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t) { resultInt(r, argInt(a, 0) & 0x7f); }

} // namespace

const LibraryEntry ctypeLibrary[] = {
    {classify<hostIsalnum>, "int isalnum(int);"},
    {classify<hostIsalpha>, "int isalpha(int);"},
    {classify<blank>, "int isblank(int);"},
    {classify<hostIscntrl>, "int iscntrl(int);"},
    {classify<hostIsdigit>, "int isdigit(int);"},
    {classify<hostIsgraph>, "int isgraph(int);"},
    {classify<hostIslower>, "int islower(int);"},
    {classify<hostIsprint>, "int isprint(int);"},
    {classify<hostIspunct>, "int ispunct(int);"},
    {classify<hostIsspace>, "int isspace(int);"},
    {classify<hostIsupper>, "int isupper(int);"},
    {classify<hostIsxdigit>, "int isxdigit(int);"},
    {ctypeTolower, "int tolower(int);"},
    {ctypeToupper, "int toupper(int);"},
    {ctypeIsascii, "int isascii(int);"},
    {ctypeToascii, "int toascii(int);"},
    {nullptr, nullptr}};

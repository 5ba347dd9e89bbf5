// The printf engine and the scanf bridge. Each printf conversion is parsed
// and handed to the host formatter with exactly the argument type its length
// letters call for; each scanf target is checked for the bytes the host will
// store through it before the host sees it.
#include "library.h"

#include "arena.h"
#include "error.h"
#include "expression.h"
#include "output.h"
#include "state.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

namespace {

constexpr int kConversionMax = 80;   // characters collected for one conversion
constexpr size_t kHookScratch = 1024; // one conversion's text on its way to the hooks

enum ConversionClass { CLASS_NONE, CLASS_INTEGER, CLASS_FLOATING, CLASS_STRING, CLASS_POINTER,
                       CLASS_PERCENT, CLASS_ERRNO, CLASS_COUNT };

ConversionClass classify(char c)
{
    switch (c) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': case 'a': case 'A': case 'c':
        return CLASS_INTEGER;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
        return CLASS_FLOATING;
    case 's': return CLASS_STRING;
    case 'p': return CLASS_POINTER;
    case '%': return CLASS_PERCENT;
    case 'm': return CLASS_ERRNO;
    case 'n': return CLASS_COUNT;
    default: return CLASS_NONE;
    }
}

// The argument a conversion hands the host, typed as its letters demand.
enum HostKind { HOST_INT, HOST_LONG, HOST_LONG_LONG, HOST_INTMAX, HOST_SIZE, HOST_PTRDIFF,
                HOST_DOUBLE, HOST_LONG_DOUBLE, HOST_STRING, HOST_POINTER };

struct HostArgument {
    HostKind kind;
    int64_t integer;
    double floating;
    const void *pointer;
};

int hostPrint(FILE *file, char *buffer, size_t size, const char *conversion, ...)
{
    va_list args;
    va_start(args, conversion);
    int length = file ? vfprintf(file, conversion, args) : vsnprintf(buffer, size, conversion, args);
    va_end(args);
    return length;
}

int hostFormat(FILE *file, char *buffer, size_t size, const char *conversion, const HostArgument &a)
{
    switch (a.kind) {
    case HOST_INT: return hostPrint(file, buffer, size, conversion, static_cast<int>(a.integer));
    case HOST_LONG: return hostPrint(file, buffer, size, conversion, static_cast<long>(a.integer));
    case HOST_LONG_LONG: return hostPrint(file, buffer, size, conversion, static_cast<long long>(a.integer));
    case HOST_INTMAX: return hostPrint(file, buffer, size, conversion, static_cast<intmax_t>(a.integer));
    case HOST_SIZE: return hostPrint(file, buffer, size, conversion, static_cast<ssize_t>(a.integer));
    case HOST_PTRDIFF: return hostPrint(file, buffer, size, conversion, static_cast<ptrdiff_t>(a.integer));
    case HOST_DOUBLE: return hostPrint(file, buffer, size, conversion, a.floating);
    case HOST_LONG_DOUBLE: return hostPrint(file, buffer, size, conversion, static_cast<long double>(a.floating));
    case HOST_STRING: return hostPrint(file, buffer, size, conversion, static_cast<const char *>(a.pointer));
    case HOST_POINTER: return hostPrint(file, buffer, size, conversion, a.pointer);
    }
    return 0;
}

struct ArgumentWalk {
    ScriptValue *at;
    int32_t left;
};

ScriptValue *takeArgument(ArgumentWalk *walk)
{
    if (walk->left <= 0)
        return nullptr;
    walk->at = nextArgument(walk->at);
    walk->left--;
    return walk->at;
}

/* ---- emitting ----------------------------------------------------------- */

bool toHooks(const OutputSink *sink) { return !sink->target && outputHooksInstalled(); }

void emitChar(ParseCursor *cursor, OutputSink *sink, char c)
{
    if (toHooks(sink)) {
        hostPutChar(static_cast<unsigned char>(c), sink->file);
    } else if (sink->file) {
        putc(c, sink->file);
    } else {
        if (sink->room >= 0 && sink->room <= 1)
            return;
        if (sink->target >= sink->limit)
            parserError(cursor, "out of bounds access");
        *sink->target++ = c;
        if (sink->room > 0)
            sink->room--;
    }
    sink->count++;
}

void emitText(ParseCursor *cursor, OutputSink *sink, const char *text, size_t length)
{
    if (toHooks(sink)) {
        hostPutString(text, sink->file);
        sink->count += int32_t(strnlen(text, length));
        return;
    }
    if (sink->file) {
        fwrite(text, 1, length, sink->file);
        sink->count += int32_t(length);
        return;
    }
    for (size_t i = 0; i < length; i++)
        emitChar(cursor, sink, text[i]);
}

// Keeps a heap scratch buffer for the one conversion that needs it, also
// when the run leaves through an error.
struct Scratch {
    EngineState *state;
    char *block = nullptr;
    ~Scratch() { heapFree(state, block); }
};

void emitConversion(ParseCursor *cursor, OutputSink *sink, const char *conversion, const HostArgument &a)
{
    if (sink->file && !toHooks(sink)) {
        int length = hostFormat(sink->file, nullptr, 0, conversion, a);
        if (length > 0)
            sink->count += length;
        return;
    }
    char small[kHookScratch];
    int length = hostFormat(nullptr, small, sizeof small, conversion, a);
    if (length < 0)
        return;
    if (toHooks(sink) || size_t(length) < sizeof small) {
        size_t kept = size_t(length) < sizeof small ? size_t(length) : sizeof small - 1;
        emitText(cursor, sink, small, kept);
        return;
    }
    // Longer than the scratch buffer and going into an array: the array's
    // storage and room bound what is worth formatting.
    size_t want = size_t(length);
    size_t storage = size_t(sink->limit - sink->target);
    if (want > storage)
        want = storage + 1; // one too many, so the overflow is reported where it happens
    if (sink->room >= 0 && want > size_t(sink->room))
        want = size_t(sink->room);
    Scratch scratch{cursor->engine};
    scratch.block = static_cast<char *>(heapAlloc(cursor->engine, want + 1));
    if (!scratch.block)
        parserError(cursor, "out of memory");
    hostFormat(nullptr, scratch.block, want + 1, conversion, a);
    emitText(cursor, sink, scratch.block, want);
}

/* ---- one conversion ----------------------------------------------------- */

// A conversion taken apart: flags, width, precision, length letters, letter.
struct Conversion {
    char flags[kConversionMax + 1];
    long width = -1;
    long precision = -1;
    char length[3] = {0, 0, 0};
    char letter = 0;
    bool valid = true;
    bool missingStar = false;
};

long takeStarArgument(ArgumentWalk *walk, Conversion *c)
{
    ScriptValue *value = takeArgument(walk);
    if (!value || !typeIsNumeric(value->type->kind)) {
        c->missingStar = true;
        return 0;
    }
    return coerceInteger(value);
}

long readNumber(const char **p)
{
    long n = 0;
    while (**p >= '0' && **p <= '9') {
        if (n < 100000000)
            n = n * 10 + (**p - '0');
        (*p)++;
    }
    return n;
}

// The collected text: '%' flags [width|'*'] ['.' [precision|'*']] length letter.
// A '*' takes the next argument as an int.
Conversion parseConversion(const char *text, ArgumentWalk *walk)
{
    Conversion c;
    const char *p = text + 1;
    size_t f = 0;
    while (*p && strchr("-+ #0'I", *p))
        c.flags[f++] = *p++;
    c.flags[f] = 0;
    if (*p == '*') {
        p++;
        c.width = takeStarArgument(walk, &c);
        if (c.width < 0) {
            c.flags[f++] = '-';
            c.flags[f] = 0;
            c.width = -c.width;
        }
    } else if (*p >= '0' && *p <= '9') {
        c.width = readNumber(&p);
    }
    if (*p == '.') {
        p++;
        if (*p == '*') {
            p++;
            c.precision = takeStarArgument(walk, &c);
            if (c.precision < 0)
                c.precision = -1;
        } else {
            c.precision = readNumber(&p);
        }
    }
    size_t l = 0;
    while (*p && strchr("hlLqjzt", *p)) {
        if (l < 2)
            c.length[l] = *p;
        l++;
        p++;
    }
    if (l > 2)
        c.valid = false;
    else if (l == 2 && c.length[0] != c.length[1])
        c.length[0] = c.length[1] = 0;
    c.letter = *p;
    if (!*p || p[1])
        c.valid = false; // stray characters ('$', unknown letters) the host would act on
    return c;
}

// The host kind for a conversion's length letters; unknown pairs lose their
// letters so that the host never reads an argument it was not given.
HostKind integerKind(Conversion *c)
{
    const char *l = c->length;
    if (c->letter == 'a' || c->letter == 'A') {
        bool isLong = !strcmp(l, "L");
        if (!isLong)
            c->length[0] = 0;
        return isLong ? HOST_LONG_DOUBLE : HOST_DOUBLE;
    }
    if (c->letter != 'c') {
        if (!strcmp(l, "l")) return HOST_LONG;
        if (!strcmp(l, "ll") || !strcmp(l, "q")) { strcpy(c->length, "ll"); return HOST_LONG_LONG; }
        if (!strcmp(l, "j")) return HOST_INTMAX;
        if (!strcmp(l, "z")) return HOST_SIZE;
        if (!strcmp(l, "t")) return HOST_PTRDIFF;
        if (!strcmp(l, "h") || !strcmp(l, "hh")) return HOST_INT;
    }
    c->length[0] = 0;
    return HOST_INT;
}

void buildConversion(const Conversion &c, char *out, size_t size)
{
    char width[24] = "", precision[24] = "";
    if (c.width >= 0)
        snprintf(width, sizeof width, "%ld", c.width);
    if (c.precision >= 0)
        snprintf(precision, sizeof precision, ".%ld", c.precision);
    snprintf(out, size, "%%%s%s%s%s%c", c.flags, width, precision, c.length, c.letter);
}

// What a string conversion prints: the text a pointer names or a char
// array holds, which must end inside its storage.
const char *stringArgument(ParseCursor *cursor, const ScriptValue *value)
{
    if (value->type->kind == TYPE_ARRAY) {
        const char *text = reinterpret_cast<const char *>(value->data);
        int size = value->type->arraySize;
        if (size > 0) {
            checkRead(cursor, text, size_t(size) * size_t(value->type->fromType->size));
            if (!memchr(text, 0, size_t(size)))
                parserError(cursor, "out of bounds access");
        } else {
            checkString(cursor, text);
        }
        return text;
    }
    const char *text;
    memcpy(&text, value->data, sizeof text);
    if (!text)
        return "(null)";
    checkString(cursor, text);
    return text;
}

// Whether `value` suits the class; fills the host argument when it does.
bool hostArgument(ParseCursor *cursor, ConversionClass cls, Conversion *c, const ScriptValue *value,
                  HostArgument *a)
{
    TypeKind kind = value->type->kind;
    switch (cls) {
    case CLASS_INTEGER: {
        if (!typeIsNumeric(kind))
            return false;
        a->kind = integerKind(c);
        int32_t v = coerceInteger(value);
        bool isUnsigned = strchr("ouxX", c->letter) != nullptr;
        a->integer = isUnsigned ? int64_t(uint32_t(v)) : int64_t(v);
        a->floating = double(v);
        return true;
    }
    case CLASS_FLOATING:
        if (!typeIsNumeric(kind))
            return false;
        a->kind = !strcmp(c->length, "L") ? HOST_LONG_DOUBLE : HOST_DOUBLE;
        if (a->kind == HOST_DOUBLE)
            c->length[0] = 0;
        a->floating = coerceDouble(value);
        return true;
    case CLASS_STRING:
        if (kind == TYPE_ARRAY ? value->type->fromType->kind != TYPE_CHAR : kind != TYPE_POINTER)
            return false;
        a->kind = HOST_STRING;
        a->pointer = stringArgument(cursor, value);
        c->length[0] = 0;
        return true;
    case CLASS_POINTER:
        if (kind != TYPE_POINTER && kind != TYPE_ARRAY)
            return false;
        a->kind = HOST_POINTER;
        if (kind == TYPE_ARRAY)
            a->pointer = value->data;
        else
            memcpy(&a->pointer, value->data, sizeof a->pointer);
        c->length[0] = 0;
        return true;
    default:
        return false;
    }
}

// %n: the count goes into the first element of an int array, or the int a
// pointer names; any other argument takes nothing.
void storeCount(ParseCursor *cursor, const OutputSink *sink, const ScriptValue *value)
{
    const ScriptType *type = value->type;
    if ((type->kind != TYPE_ARRAY && type->kind != TYPE_POINTER) || type->fromType->kind != TYPE_INT)
        return;
    void *at = value->data;
    if (type->kind == TYPE_POINTER)
        memcpy(&at, value->data, sizeof at);
    checkWrite(cursor, at, sizeof(int32_t));
    memcpy(at, &sink->count, sizeof(int32_t));
}

void convert(ParseCursor *cursor, OutputSink *sink, const char *text, ConversionClass cls, ArgumentWalk *walk)
{
    static const char kMissing[] = "XXX";
    if (cls == CLASS_PERCENT) {
        emitChar(cursor, sink, '%');
        return;
    }
    if (cls == CLASS_ERRNO) {
        const char *message = strerror(errno);
        emitText(cursor, sink, message, strlen(message));
        return;
    }
    Conversion c = parseConversion(text, walk);
    ScriptValue *value = takeArgument(walk);
    if (cls == CLASS_COUNT) {
        if (value)
            storeCount(cursor, sink, value);
        return;
    }
    HostArgument a{};
    if (!value || c.missingStar || !c.valid || !hostArgument(cursor, cls, &c, value, &a)) {
        emitText(cursor, sink, kMissing, sizeof kMissing - 1);
        return;
    }
    char conversion[3 * kConversionMax];
    buildConversion(c, conversion, sizeof conversion);
    emitConversion(cursor, sink, conversion, a);
}

} // namespace

int32_t formatOutput(ParseCursor *cursor, OutputSink *sink, const char *format, const StdVarArgs *args)
{
    if (!format)
        format = "[null format]\n";
    ArgumentWalk walk{args->format, args->count};
    for (const char *p = format; *p; p++) {
        if (*p != '%') {
            emitChar(cursor, sink, *p);
            continue;
        }
        char text[kConversionMax + 1] = "%";
        int collected = 1;
        ConversionClass cls = CLASS_NONE;
        while (cls == CLASS_NONE && collected < kConversionMax && p[1]) {
            text[collected++] = *++p;
            text[collected] = 0;
            cls = classify(*p);
        }
        if (cls != CLASS_NONE) {
            convert(cursor, sink, text, cls, &walk);
        } else if (collected >= kConversionMax) {
            takeArgument(&walk);
        } else {
            emitText(cursor, sink, text, size_t(collected)); // the format ended inside a conversion
        }
    }
    if (sink->target && !sink->file && (sink->room < 0 || sink->room >= 1)) {
        if (sink->target >= sink->limit)
            parserError(cursor, "out of bounds access");
        *sink->target = 0;
    }
    return sink->count;
}

/* ---- formatted input ---------------------------------------------------- */

namespace {

struct ScanTarget {
    void *address;
    size_t room;     // writable bytes from the address
};

// Bytes the host stores through the target of one conversion.
size_t scanStoreSize(const char *length, char letter, long width)
{
    switch (letter) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': case 'n':
        if (!strcmp(length, "hh")) return 1;
        if (!strcmp(length, "h")) return 2;
        if (!*length) return sizeof(int);
        return sizeof(long long);
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        if (!strcmp(length, "l")) return sizeof(double);
        if (!strcmp(length, "L")) return sizeof(long double);
        return sizeof(float);
    case 'p': return sizeof(void *);
    case 'c': return width > 0 ? size_t(width) : 1;
    default: return size_t(width) + 1; // s and [: the text and its NUL
    }
}

[[noreturn]] void badScanFormat(ParseCursor *cursor)
{
    parserError(cursor, "bad scanf() format");
}

// Copies one conversion (after its '%') into `out`, giving every s and [
// conversion a width that fits its target, and checks the target; returns
// the format position after the conversion.
const char *scanConversion(ParseCursor *cursor, const char *p, char **out, const ScanTarget *targets,
                           int count, int *used)
{
    bool suppress = *p == '*';
    if (suppress)
        *(*out)++ = *p++;
    long width = -1;
    const char *digits = p;
    if (*p >= '0' && *p <= '9')
        width = readNumber(&p);
    if (*p == '$' || *p == 'm')
        badScanFormat(cursor);
    char length[3] = {0, 0, 0};
    size_t l = 0;
    while (*p && strchr("hlLqjzt", *p)) {
        if (l >= 2)
            badScanFormat(cursor);
        length[l++] = *p++;
    }
    char letter = *p;
    if (!letter)
        badScanFormat(cursor);
    if (l && strchr("sc[", letter))
        badScanFormat(cursor); // wide characters would take four bytes a place
    if (!strchr("diouxXneEfFgGaApcs[", letter))
        badScanFormat(cursor);
    if (suppress && letter == 'n')
        badScanFormat(cursor);
    const ScanTarget *target = nullptr;
    if (!suppress) {
        if (*used >= count)
            parserError(cursor, "not enough arguments to scanf()");
        target = &targets[(*used)++];
    }
    if (target && (letter == 's' || letter == '[') && width < 0) {
        if (target->room < 2)
            parserError(cursor, "out of bounds access");
        width = long(target->room - 1);
        *out += sprintf(*out, "%ld", width);
    } else {
        memcpy(*out, digits, size_t(p - digits - long(l)));
        *out += p - digits - long(l);
    }
    memcpy(*out, length, l);
    *out += l;
    *(*out)++ = *p++;
    if (letter == '[') {
        if (*p == '^')
            *(*out)++ = *p++;
        if (*p == ']')
            *(*out)++ = *p++;
        while (*p && *p != ']')
            *(*out)++ = *p++;
        if (!*p)
            badScanFormat(cursor);
        *(*out)++ = *p++;
    }
    if (target && scanStoreSize(length, letter, width) > target->room)
        parserError(cursor, "out of bounds access");
    return p;
}

} // namespace

int32_t formatInput(ParseCursor *cursor, FILE *file, const char *source, const char *format,
                    const StdVarArgs *args)
{
    if (args->count > kScanfMaxTargets)
        parserError(cursor, "too many arguments to scanf() - %d max", kScanfMaxTargets);
    ScanTarget targets[kScanfMaxTargets] = {};
    ArgumentWalk walk{args->format, args->count};
    for (int i = 0; i < args->count; i++) {
        ScriptValue *value = takeArgument(&walk);
        TypeKind kind = value->type->kind;
        if (kind == TYPE_ARRAY)
            targets[i].address = value->data;
        else if (kind == TYPE_POINTER)
            memcpy(&targets[i].address, value->data, sizeof(void *));
        else
            parserError(cursor, "non-pointer argument to scanf() - argument %d after format", i + 1);
        targets[i].room = storageRoom(cursor, targets[i].address, true);
    }
    size_t length = checkString(cursor, format);
    Scratch rewritten{cursor->engine};
    // Each conversion may gain a width of at most 20 digits.
    rewritten.block = static_cast<char *>(heapAlloc(cursor->engine, length + 21 * (length / 2 + 1) + 1));
    if (!rewritten.block)
        parserError(cursor, "out of memory");
    char *out = rewritten.block;
    int used = 0;
    for (const char *p = format; *p;) {
        *out++ = *p;
        if (*p++ != '%')
            continue;
        if (*p == '%') {
            *out++ = *p++;
            continue;
        }
        p = scanConversion(cursor, p, &out, targets, args->count, &used);
    }
    *out = 0;
    void *t[kScanfMaxTargets];
    for (int i = 0; i < kScanfMaxTargets; i++)
        t[i] = targets[i].address;
    const char *f = rewritten.block;
    if (source)
        return sscanf(source, f, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
    return fscanf(file, f, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
}

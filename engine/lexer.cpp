// The scanner: source text to token stream, one token per call.
#include "lexer.h"

#include "arena.h"
#include "error.h"
#include "intern.h"
#include "state.h"
#include "table.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum LexMode : uint8_t {
    LEX_NORMAL,
    LEX_INCLUDE,      // after #include: <...> is a string
    LEX_DEFINE,       // after #define
    LEX_DEFINE_SPACE, // after #define and white space
    LEX_DEFINE_NAME   // after #define, white space and the name: ( opens the parameters
};

struct Lexer {
    EngineState *state;
    const char *pos;
    const char *end;     // end of the text or its first zero byte
    const char *source;
    const char *file;    // shared
    unsigned line;       // from 1
    unsigned column;     // 1 on the first line, 0 after each newline
    LexMode mode;
    int pendingEols;     // newlines met inside comments and literals, still to be returned
    unsigned char *out;  // the state's scratch buffer
    size_t length;
    size_t capacity;
};

union LexValue {
    const char *text;    // shared name or literal text
    int32_t integer;
    double real;
    char character;
};

struct ReservedWord {
    const char *word;
    TokenKind token;
};

static const ReservedWord kReservedWords[kReservedWordCount] = {
    {"#define", TK_HASH_DEFINE}, {"#else", TK_HASH_ELSE},     {"#endif", TK_HASH_ENDIF},
    {"#if", TK_HASH_IF},         {"#ifdef", TK_HASH_IFDEF},   {"#ifndef", TK_HASH_IFNDEF},
    {"#include", TK_HASH_INCLUDE}, {"auto", TK_AUTO},         {"break", TK_BREAK},
    {"case", TK_CASE},           {"char", TK_CHAR},           {"continue", TK_CONTINUE},
    {"default", TK_DEFAULT},     {"delete", TK_DELETE},       {"do", TK_DO},
    {"double", TK_DOUBLE},       {"else", TK_ELSE},           {"enum", TK_ENUM},
    {"extern", TK_EXTERN},       {"float", TK_FLOAT},         {"for", TK_FOR},
    {"goto", TK_GOTO},           {"if", TK_IF},               {"int", TK_INT},
    {"long", TK_LONG},           {"new", TK_NEW},             {"register", TK_REGISTER},
    {"return", TK_RETURN},       {"short", TK_SHORT},         {"signed", TK_SIGNED},
    {"sizeof", TK_SIZEOF},       {"static", TK_STATIC},       {"struct", TK_STRUCT},
    {"switch", TK_SWITCH},       {"typedef", TK_TYPEDEF},     {"union", TK_UNION},
    {"unsigned", TK_UNSIGNED},   {"void", TK_VOID},           {"while", TK_WHILE},
};

void lexerInit(EngineState *state)
{
    tableInit(&state->reservedWords, state->reservedBuckets, kReservedWordBuckets, true);
    for (const ReservedWord &row : kReservedWords)
        tableSet(state, &state->reservedWords, internString(state, row.word),
                 const_cast<ReservedWord *>(&row), nullptr, 0, 0);
    state->lexerValue.data = &state->lexerData;
}

void lexerCleanup(EngineState *state)
{
    if (state->reservedWords.buckets)
        for (const ReservedWord &row : kReservedWords)
            tableDelete(state, &state->reservedWords, internString(state, row.word));
    heapFree(state, state->lexerScratch);
    state->lexerScratch = nullptr;
}

[[noreturn]] static void lexError(Lexer *lx, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    errorReportAt(lx->state, lx->source, lx->end, lx->file, lx->line, lx->column, format, args);
    va_end(args);
    engineExit(lx->state, 1);
}

// Classification of the "C" locale, on bytes taken as unsigned.
static bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
static bool isDigit(int c) { return c >= '0' && c <= '9'; }
static bool isAlpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static bool isAlnum(int c) { return isAlpha(c) || isDigit(c); }

static int lexChar(const Lexer *lx, size_t ahead)
{
    return lx->pos + ahead < lx->end ? static_cast<unsigned char>(lx->pos[ahead]) : 0;
}

static bool lexAccept(Lexer *lx, int c)
{
    if (lexChar(lx, 0) != c)
        return false;
    lx->pos++;
    lx->column++;
    return true;
}

// Moves over consumed literal text: every newline in it is a new line whose
// end-of-line token is still owed to the stream.
static void lexConsume(Lexer *lx, const char *to)
{
    for (; lx->pos < to; lx->pos++) {
        if (*lx->pos == '\n') {
            lx->line++;
            lx->column = 0;
            lx->pendingEols++;
        } else {
            lx->column++;
        }
    }
}

static int digitValue(int c, int base)
{
    int decimals = base < 10 ? base : 10;
    if (c >= '0' && c < '0' + decimals)
        return c - '0';
    if (base > 10 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base > 10 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A decimal floating constant goes through the C library's correctly rounded
// conversion. The digits are handed over without a decimal point (the
// fraction moves into the exponent), so the host's locale cannot change them.
static double lexDecimal(Lexer *lx, const char *whole, const char *wholeEnd, const char *fraction,
                         const char *fractionEnd, long long exponent)
{
    size_t wholeLength = static_cast<size_t>(wholeEnd - whole);
    size_t fractionLength = static_cast<size_t>(fractionEnd - fraction);
    size_t size = wholeLength + fractionLength + 32;
    char *text = static_cast<char *>(arenaAlloc(lx->state, size));
    if (!text)
        lexError(lx, "out of memory");
    memcpy(text, whole, wholeLength);
    memcpy(text + wholeLength, fraction, fractionLength);
    snprintf(text + wholeLength + fractionLength, 32, "e%lld",
             exponent - static_cast<long long>(fractionLength));
    double value = strtod(text, nullptr);
    arenaPop(lx->state, text, size);
    return value;
}

// Exponents beyond this already give infinity or zero in every base.
constexpr long long kExponentCap = 100000;

// number: [0x|0b|0] digits [u][l] [. digits] [e [-] digits] [f]
static TokenKind lexNumber(Lexer *lx, LexValue *v)
{
    const char *start = lx->pos;
    int base = 10;
    if (lexChar(lx, 0) == '0') {
        int next = lexChar(lx, 1);
        if (next == 'x' || next == 'X')
            base = 16, lx->pos += 2;
        else if (next == 'b' || next == 'B')
            base = 2, lx->pos += 2;
        else if (next != '.')
            base = 8;
    }
    uint32_t whole = 0;
    double real = 0;
    const char *digits = lx->pos;
    for (int d; (d = digitValue(lexChar(lx, 0), base)) >= 0; lx->pos++) {
        whole = whole * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
        real = real * base + d;
    }
    const char *digitsEnd = lx->pos;
    // As in C: a u suffix, or a hexadecimal, octal or binary constant too big
    // for int, makes the constant unsigned.
    bool isUnsigned = base != 10 && whole > uint32_t(INT32_MAX);
    if (lexChar(lx, 0) == 'u' || lexChar(lx, 0) == 'U') {
        lx->pos++;
        isUnsigned = true;
    }
    if (lexChar(lx, 0) == 'l' || lexChar(lx, 0) == 'L')
        lx->pos++;
    int c = lexChar(lx, 0);
    if (c != '.' && c != 'e' && c != 'E') {
        lx->column += static_cast<unsigned>(lx->pos - start);
        v->integer = static_cast<int32_t>(whole);
        return isUnsigned ? TK_UNSIGNED_CONSTANT : TK_INT_CONSTANT;
    }
    const char *fraction = lx->pos, *fractionEnd = lx->pos;
    if (c == '.') {
        lx->pos++;
        fraction = lx->pos;
        double scale = 1;
        for (int d; (d = digitValue(lexChar(lx, 0), base)) >= 0; lx->pos++)
            real += d * (scale /= base);
        fractionEnd = lx->pos;
    }
    long long exponent = 0;
    if (lexChar(lx, 0) == 'e' || lexChar(lx, 0) == 'E') {
        lx->pos++;
        bool negative = lexChar(lx, 0) == '-';
        lx->pos += negative;
        for (int d; (d = digitValue(lexChar(lx, 0), base)) >= 0; lx->pos++)
            if (exponent < kExponentCap)
                exponent = exponent * base + d;
        if (negative)
            exponent = -exponent;
    }
    if (lexChar(lx, 0) == 'f' || lexChar(lx, 0) == 'F')
        lx->pos++;
    lx->column += static_cast<unsigned>(lx->pos - start);
    if (base == 10)
        v->real = lexDecimal(lx, digits, digitsEnd, fraction, fractionEnd, exponent);
    else
        v->real = real * pow(base, static_cast<double>(exponent));
    return TK_FP_CONSTANT;
}

// One character of a literal, escapes taken; -1 at the end of the text.
// Backslash-newline pairs in front of it are continuations and vanish.
static int lexUnescape(const char **at, const char *end)
{
    const char *p = *at;
    for (;;) {
        if (end - p >= 2 && p[0] == '\\' && p[1] == '\n')
            p += 2;
        else if (end - p >= 3 && p[0] == '\\' && p[1] == '\r' && p[2] == '\n')
            p += 3;
        else
            break;
    }
    if (p >= end) {
        *at = p;
        return -1;
    }
    int c = static_cast<unsigned char>(*p++);
    if (c == '\\') {
        c = p < end ? static_cast<unsigned char>(*p++) : '\\';
        switch (c) {
        case 'a': c = 7; break;
        case 'b': c = 8; break;
        case 'f': c = 12; break;
        case 'n': c = 10; break;
        case 'r': c = 13; break;
        case 't': c = 9; break;
        case 'v': c = 11; break;
        case '0': case '1': case '2': case '3':
            c -= '0';
            for (int i = 0; i < 2 && p < end && *p >= '0' && *p <= '7'; i++)
                c = c * 8 + (*p++ - '0');
            break;
        case 'x':
            c = 0;
            for (int i = 0, d; i < 2 && p < end && (d = digitValue(static_cast<unsigned char>(*p), 16)) >= 0; i++, p++)
                c = c * 16 + d;
            break;
        default:
            break;
        }
    }
    *at = p;
    return c;
}

// The literal table keeps one value per distinct text, so identical
// literals share one storage.
static void lexEnterLiteral(Lexer *lx, const char *text)
{
    EngineState *state = lx->state;
    if (tableEntry(&state->stringLiterals, text))
        return;
    tableSet(state, &state->stringLiterals, text, nullptr, nullptr, 0, 0);
    ScriptValue *value = static_cast<ScriptValue *>(heapAlloc(state, sizeof(ScriptValue)));
    if (!value)
        lexError(lx, "out of memory");
    value->type = state->charArrayType;
    value->data = reinterpret_cast<AnyData *>(const_cast<char *>(text));
    value->valueOnHeap = true;
    value->scopeId = -1;
    tableEntry(&state->stringLiterals, text)->u.pair.value = value;
    // Literals are shared by every use of the same text: scripts may read
    // them through pointers but never write.
    storageAdd(state, text, strlen(text) + 1, true);
}

// string: text up to an unescaped `close` (or the end of the text)
static TokenKind lexString(Lexer *lx, char close, LexValue *v)
{
    const char *start = lx->pos;
    const char *p = start;
    while (p < lx->end && *p != close)
        p += (*p == '\\' && lx->end - p >= 2) ? 2 : 1;
    size_t room = static_cast<size_t>(p - start) + 1;
    char *text = static_cast<char *>(arenaAlloc(lx->state, room));
    if (!text)
        lexError(lx, "out of memory");
    size_t length = 0;
    for (const char *q = start; q < p;) {
        int c = lexUnescape(&q, p);
        if (c >= 0)
            text[length++] = static_cast<char>(c);
    }
    v->text = internString(lx->state, text, length);
    arenaPop(lx->state, text, room);
    lexEnterLiteral(lx, v->text);
    lexConsume(lx, p < lx->end ? p + 1 : p);
    return TK_STRING_CONSTANT;
}

// character: one (escaped) character and the closing quote
static TokenKind lexCharacter(Lexer *lx, LexValue *v)
{
    const char *p = lx->pos;
    int c = lexUnescape(&p, lx->end);
    v->character = static_cast<char>(c < 0 ? 0 : c);
    lexConsume(lx, p);
    if (lx->pos < lx->end && *lx->pos != '\'')
        lexError(lx, "expected \"'\"");
    lexConsume(lx, lx->pos < lx->end ? lx->pos + 1 : lx->pos);
    return TK_CHAR_CONSTANT;
}

// word: [A-Za-z_#][A-Za-z0-9_]*, a reserved word or an identifier
static TokenKind lexWord(Lexer *lx, LexValue *v)
{
    const char *start = lx->pos++;
    while (isAlnum(lexChar(lx, 0)) || lexChar(lx, 0) == '_')
        lx->pos++;
    lx->column += static_cast<unsigned>(lx->pos - start);
    const char *name = internString(lx->state, start, static_cast<size_t>(lx->pos - start));
    void *row;
    if (tableGet(&lx->state->reservedWords, name, &row)) {
        TokenKind token = static_cast<const ReservedWord *>(row)->token;
        if (token == TK_HASH_DEFINE)
            lx->mode = LEX_DEFINE;
        else if (token == TK_HASH_INCLUDE)
            lx->mode = LEX_INCLUDE;
        return token;
    }
    if (lx->mode == LEX_DEFINE_SPACE)
        lx->mode = LEX_DEFINE_NAME;
    v->text = name;
    return TK_IDENTIFIER;
}

static void lexLineComment(Lexer *lx)
{
    while (lx->pos < lx->end && *lx->pos != '\n')
        lx->pos++, lx->column++;
}

// Ends past the first */ after the opening /*, so /*/ does not close it.
static void lexBlockComment(Lexer *lx)
{
    const char *p = lx->pos;
    while (p < lx->end && !(p[0] == '*' && lx->end - p >= 2 && p[1] == '/'))
        p++;
    lexConsume(lx, p < lx->end ? p + 2 : p);
    lx->mode = LEX_NORMAL;
}

// One operator or punctuator, a literal, or TK_NONE after a comment.
static TokenKind lexOperator(Lexer *lx, LexValue *v)
{
    int c = lexChar(lx, 0);
    lx->pos++;
    lx->column++;
    switch (c) {
    case '!': return lexAccept(lx, '=') ? TK_NOT_EQUAL : TK_LOGICAL_NOT;
    case '"': return lexString(lx, '"', v);
    case '%': return lexAccept(lx, '=') ? TK_MODULUS_ASSIGN : TK_MODULUS;
    case '&': return lexAccept(lx, '&') ? TK_LOGICAL_AND : lexAccept(lx, '=') ? TK_AND_ASSIGN : TK_AMPERSAND;
    case '\'': return lexCharacter(lx, v);
    case '(': {
        TokenKind token = lx->mode == LEX_DEFINE_NAME ? TK_OPEN_MACRO_BRACKET : TK_OPEN_BRACKET;
        lx->mode = LEX_NORMAL;
        return token;
    }
    case ')': return TK_CLOSE_BRACKET;
    case '*': return lexAccept(lx, '=') ? TK_MULTIPLY_ASSIGN : TK_ASTERISK;
    case '+': return lexAccept(lx, '+') ? TK_INCREMENT : lexAccept(lx, '=') ? TK_ADD_ASSIGN : TK_PLUS;
    case ',': return TK_COMMA;
    case '-':
        return lexAccept(lx, '-') ? TK_DECREMENT
             : lexAccept(lx, '=') ? TK_SUBTRACT_ASSIGN
             : lexAccept(lx, '>') ? TK_ARROW
                                  : TK_MINUS;
    case '.':
        if (lexChar(lx, 0) == '.' && lexChar(lx, 1) == '.') {
            lx->pos += 2;
            lx->column += 2;
            return TK_ELLIPSIS;
        }
        return TK_DOT;
    case '/':
        if (lexAccept(lx, '/')) {
            lexLineComment(lx);
            return TK_NONE;
        }
        if (lexAccept(lx, '*')) {
            lexBlockComment(lx);
            return TK_NONE;
        }
        return lexAccept(lx, '=') ? TK_DIVIDE_ASSIGN : TK_SLASH;
    case ':': return TK_COLON;
    case ';': return TK_SEMICOLON;
    case '<':
        if (lx->mode == LEX_INCLUDE)
            return lexString(lx, '>', v);
        if (lexAccept(lx, '='))
            return TK_LESS_EQUAL;
        if (lexAccept(lx, '<'))
            return lexAccept(lx, '=') ? TK_SHIFT_LEFT_ASSIGN : TK_SHIFT_LEFT;
        return TK_LESS_THAN;
    case '=': return lexAccept(lx, '=') ? TK_EQUAL : TK_ASSIGN;
    case '>':
        if (lexAccept(lx, '='))
            return TK_GREATER_EQUAL;
        if (lexAccept(lx, '>'))
            return lexAccept(lx, '=') ? TK_SHIFT_RIGHT_ASSIGN : TK_SHIFT_RIGHT;
        return TK_GREATER_THAN;
    case '?': return TK_QUESTION_MARK;
    case '[': return TK_LEFT_SQUARE;
    case ']': return TK_RIGHT_SQUARE;
    case '^': return lexAccept(lx, '=') ? TK_XOR_ASSIGN : TK_BITWISE_XOR;
    case '{': return TK_LEFT_BRACE;
    case '|': return lexAccept(lx, '|') ? TK_LOGICAL_OR : lexAccept(lx, '=') ? TK_OR_ASSIGN : TK_BITWISE_OR;
    case '}': return TK_RIGHT_BRACE;
    case '~': return TK_BITWISE_NOT;
    default:
        lexError(lx, "illegal character '%c'", c);
    }
}

static TokenKind lexScan(Lexer *lx, LexValue *v)
{
    for (;;) {
        if (lx->pendingEols > 0) {
            lx->pendingEols--;
            return TK_END_OF_LINE;
        }
        int c = lexChar(lx, 0);
        if (c == '\n') {
            lx->pos++;
            lx->line++;
            lx->column = 0;
            lx->mode = LEX_NORMAL;
            return TK_END_OF_LINE;
        }
        if (isSpace(c)) {
            lx->pos++;
            lx->column++;
            if (lx->mode == LEX_DEFINE || lx->mode == LEX_DEFINE_SPACE)
                lx->mode = LEX_DEFINE_SPACE;
            else if (lx->mode == LEX_DEFINE_NAME)
                lx->mode = LEX_NORMAL;
            continue;
        }
        if (c == 0)
            return TK_EOF;
        if (isAlpha(c) || c == '_' || c == '#')
            return lexWord(lx, v);
        // After the name of a #define only a ( right behind it opens parameters.
        bool afterName = lx->mode == LEX_DEFINE_NAME;
        TokenKind token = isDigit(c) ? lexNumber(lx, v) : lexOperator(lx, v);
        if (afterName && lx->mode == LEX_DEFINE_NAME)
            lx->mode = LEX_NORMAL;
        if (token != TK_NONE)
            return token;
    }
}

// The stream grows as needed: a record can take ten times its source text
// (a one-character name is a ten-byte record).
static void lexReserve(Lexer *lx, size_t bytes)
{
    if (lx->capacity - lx->length >= bytes)
        return;
    size_t capacity = lx->capacity * 2 + bytes;
    unsigned char *grown = static_cast<unsigned char *>(heapAlloc(lx->state, capacity));
    if (!grown)
        lexError(lx, "out of memory");
    memcpy(grown, lx->out, lx->length);
    heapFree(lx->state, lx->out);
    lx->out = lx->state->lexerScratch = grown;
    lx->capacity = capacity;
}

static void lexEmit(Lexer *lx, TokenKind token, unsigned column, const LexValue &v)
{
    lexReserve(lx, kTokenMaxRecordBytes);
    unsigned char *p = lx->out + lx->length;
    p[0] = token;
    p[1] = static_cast<unsigned char>(column & 0xFF);
    uint64_t address;
    switch (token) {
    case TK_IDENTIFIER:
    case TK_STRING_CONSTANT:
        address = reinterpret_cast<uintptr_t>(v.text);
        memcpy(p + 2, &address, 8);
        break;
    case TK_INT_CONSTANT:
    case TK_UNSIGNED_CONSTANT:
        memcpy(p + 2, &v.integer, 4);
        break;
    case TK_FP_CONSTANT:
        memcpy(p + 2, &v.real, 8);
        break;
    case TK_CHAR_CONSTANT:
        p[2] = static_cast<unsigned char>(v.character);
        break;
    default:
        break;
    }
    lx->length += kTokenHeaderBytes + tokenPayloadSize(token);
}

unsigned char *tokenise(EngineState *state, const char *file, const char *source, size_t length,
                        size_t *streamLength)
{
    Lexer lx{};
    lx.state = state;
    lx.pos = lx.source = source;
    lx.end = source + strnlen(source, length);
    lx.file = file;
    lx.line = 1;
    lx.column = 1;
    lx.mode = LEX_NORMAL;
    heapFree(state, state->lexerScratch); // left by a run that ended inside the lexer
    lx.capacity = length * 4 + 16;
    lx.out = state->lexerScratch = static_cast<unsigned char *>(heapAlloc(state, lx.capacity));
    if (!lx.out)
        lexError(&lx, "out of memory");
    unsigned column = 0; // the first token's column byte is 0
    TokenKind token;
    do {
        LexValue v{};
        token = lexScan(&lx, &v);
        lexEmit(&lx, token, column, v);
        column = lx.column;
    } while (token != TK_EOF);
    unsigned char *stream = static_cast<unsigned char *>(heapAlloc(state, lx.length));
    if (!stream)
        lexError(&lx, "out of memory");
    memcpy(stream, lx.out, lx.length);
    heapFree(state, lx.out);
    state->lexerScratch = nullptr;
    if (streamLength)
        *streamLength = lx.length;
    return stream;
}

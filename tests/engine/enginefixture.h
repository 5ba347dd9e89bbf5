// Helpers shared by the engine tests: a fresh engine state for every test,
// captured engine output, a decoder that turns a token stream back into
// readable text, and drivers that run declarations, statements and
// expressions on a state (texts are tokenised under the name "test.c" and
// kept until clean-up, results come back as readable text).
#ifndef LODVANE_TESTS_ENGINEFIXTURE_H
#define LODVANE_TESTS_ENGINEFIXTURE_H

#include "engine.h"
#include "arena.h"
#include "declaration.h"
#include "error.h"
#include "expression.h"
#include "intern.h"
#include "lexer.h"
#include "run.h"
#include "statement.h"
#include "table.h"
#include "type.h"
#include "variable.h"

#include <QByteArray>
#include <QList>
#include <QtTest>

#include <cstring>

// Compares identity: QCOMPARE on two char pointers would compare their text.
inline const void *addressOf(const void *p) { return p; }

// What the output hooks received since the last reset.
inline QByteArray &capturedOutput()
{
    static QByteArray text;
    return text;
}

inline void captureChar(int c) { capturedOutput().append(static_cast<char>(c)); }
inline void captureString(const char *s) { capturedOutput().append(s); }

inline void captureOutput()
{
    capturedOutput().clear();
    setOutputHooks(captureChar, captureString);
}

// The texts the state's tokens and cursors refer to, alive until clean-up.
inline QList<QByteArray> &scriptSources()
{
    static QList<QByteArray> sources;
    return sources;
}

// Every test function gets a fresh state with its output captured; clean-up
// must then find every heap block the test left behind.
class EngineTest : public QObject
{
    Q_OBJECT

protected:
    EngineState st;

protected slots:
    void init()
    {
        captureOutput();
        QVERIFY(engineInit(&st, kEngineStackBytes, nullptr));
    }
    void cleanup()
    {
        engineCleanup(&st);
        scriptSources().clear();
        QCOMPARE(st.heapBlocks, 0L);
    }
};

// sum(count, ...): the arguments behind the last fixed one follow each other
// on the arena, each (header and its stack data) aligned to 8 further on.
inline void nativeSum(ParseCursor *, ScriptValue *result, ScriptValue **args, int32_t count)
{
    ScriptValue *at = args[0];
    int32_t sum = 0;
    for (int32_t i = 1; i < count; i++) {
        at = reinterpret_cast<ScriptValue *>(reinterpret_cast<char *>(at) +
                                             arenaAligned(kValueHeader + valueStackDataSize(at)));
        sum += coerceInteger(at);
    }
    memcpy(result->data, &sum, sizeof sum);
}

// Spelling of every token kind without a payload, by number.
inline const char *tokenSpelling(int kind)
{
    static const char *const spelling[TK_COUNT] = {
        "<none>", ",", "=", "+=", "-=", "*=", "/=", "%=", "<<=", ">>=", "&=", "|=", "^=", "?", ":",
        "||", "&&", "|", "^", "&", "==", "!=", "<", ">", "<=", ">=", "<<", ">>", "+", "-", "*", "/",
        "%", "++", "--", "!", "~", "sizeof", "<cast>", "[", "]", ".", "->", "(", ")", "<id>", "<int>",
        "<fp>", "<str>", "<char>", ";", "...", "{", "}", "int", "char", "float", "double", "void",
        "enum", "long", "signed", "short", "static", "auto", "register", "extern", "struct", "union",
        "unsigned", "typedef", "continue", "do", "else", "for", "goto", "if", "while", "break",
        "switch", "case", "default", "return", "#define", "#include", "#if", "#ifdef", "#ifndef",
        "#else", "#endif", "new", "delete", "M(", "EOF", "NL", "EOFN", "<uint>"};
    return kind >= 0 && kind < TK_COUNT ? spelling[kind] : "<bad>";
}

inline QByteArray fpText(double value) { return "f" + QByteArray::number(value, 'g', 17); }

// A value as it lies in a token payload or a script value, unaligned.
template <typename T> T storedAs(const void *at)
{
    T value;
    memcpy(&value, at, sizeof value);
    return value;
}

// Records separated by blanks: names as they are, integers as #n (unsigned
// ones as #nu), doubles as fN, strings in double quotes, characters as cN
// (the byte as unsigned). The final end of file is left out; a record running past `length` or a stream
// not ending exactly at its end-of-file record decodes as "<overrun>".
inline QByteArray decodeStream(const unsigned char *stream, size_t length, QByteArray *columns = nullptr)
{
    QByteArray text;
    size_t at = 0;
    while (at + 2 <= length) {
        int kind = stream[at];
        const unsigned char *payload = stream + at + 2;
        size_t next = at + 2 + tokenPayloadSize(static_cast<uint8_t>(kind));
        if (next > length)
            return "<overrun>";
        if (columns)
            *columns += (columns->isEmpty() ? "" : " ") + QByteArray::number(stream[at + 1]);
        if (kind == TK_EOF)
            return next == length ? text.trimmed() : QByteArray("<overrun>");
        QByteArray word;
        auto address = [payload] { return reinterpret_cast<const char *>(uintptr_t(storedAs<uint64_t>(payload))); };
        switch (kind) {
        case TK_IDENTIFIER: word = address(); break;
        case TK_STRING_CONSTANT: word = '"' + QByteArray(address()) + '"'; break;
        case TK_INT_CONSTANT: word = "#" + QByteArray::number(storedAs<int32_t>(payload)); break;
        case TK_UNSIGNED_CONSTANT: word = "#" + QByteArray::number(storedAs<uint32_t>(payload)) + "u"; break;
        case TK_FP_CONSTANT: word = fpText(storedAs<double>(payload)); break;
        case TK_CHAR_CONSTANT: word = "c" + QByteArray::number(payload[0]); break;
        default: word = tokenSpelling(kind); break;
        }
        text += word + ' ';
        at = next;
    }
    return "<overrun>";
}

// Tokenises `source` in a fresh run step; on an error exit returns the
// captured report prefixed with "error: ".
inline QByteArray tokeniseText(EngineState *state, const QByteArray &source, QByteArray *columns = nullptr)
{
    unsigned char *stream = nullptr;
    size_t length = 0;
    capturedOutput().clear();
    const char *file = internString(state, "test.c");
    if (!engineProtectedCall(state, [&] { stream = tokenise(state, file, source.constData(), size_t(source.size()), &length); }))
        return "error: " + capturedOutput();
    QByteArray text = decodeStream(stream, length, columns);
    heapFree(state, stream);
    return text;
}

// The last line of the captured report: "file:line:column message".
inline QByteArray lastReportLine()
{
    QByteArray text = capturedOutput().trimmed();
    int cut = text.lastIndexOf('\n');
    return "error: " + (cut < 0 ? text : text.mid(cut + 1));
}

// Statements run as the top level of a text named "test.c"; "" or the
// error line.
inline QByteArray runStatements(EngineState *st, const QByteArray &text)
{
    capturedOutput().clear();
    scriptSources().append(text);
    const QByteArray &kept = scriptSources().last();
    if (engineProtectedCall(st, [&] { runText(st, "test.c", kept.constData(), size_t(kept.size()), TEXT_KEEP_TOKENS); }))
        return QByteArray();
    return lastReportLine();
}

// What the statements printed, or "error: " and the report's message
// without its location.
inline QByteArray runOutput(EngineState *st, const QByteArray &statements)
{
    QByteArray error = runStatements(st, statements);
    return error.isEmpty() ? capturedOutput() : "error: " + error.mid(error.indexOf(' ', 7) + 1);
}

// One expression in run mode at top level as "type value": integers in
// decimal, doubles to 17 digits, pointers as null or ptr, anything else by
// its type alone. The arena must be back where it was afterwards; the
// tokens hang on the state as a parse whose definitions are used later
// leaves them.
inline QByteArray evaluate(EngineState *st, const QByteArray &text)
{
    capturedOutput().clear();
    scriptSources().append(text);
    const QByteArray &kept = scriptSources().last();
    QByteArray result;
    char *top = st->arena.top;
    bool ok = engineProtectedCall(st, [&] {
        const char *file = internString(st, "test.c");
        RetainedTokens *node = retainTokens(st, nullptr);
        node->tokens = tokenise(st, file, kept.constData(), size_t(kept.size()));
        ParseCursor cursor;
        initCursor(&cursor, st, kept.constData(), node->tokens, file, true);
        ScriptValue *value;
        if (!parseExpression(&cursor, &value))
            parserError(&cursor, "expression expected");
        printType(st, value->type, st->output);
        TypeKind kind = value->type->kind;
        if (typeIsInteger(kind))
            result = ' ' + QByteArray::number(coerceInteger(value));
        else if (kind == TYPE_DOUBLE)
            result = ' ' + QByteArray::number(coerceDouble(value), 'g', 17);
        else if (kind == TYPE_POINTER)
            result = storedAs<void *>(value->data) ? " ptr" : " null";
        result.prepend(capturedOutput());
        valuePop(&cursor, value);
        if (getToken(&cursor, nullptr, false) != TK_EOF)
            parserError(&cursor, "end expected");
    });
    if (!ok)
        return lastReportLine();
    if (st->arena.top != top)
        return "arena not released";
    return result;
}

#endif

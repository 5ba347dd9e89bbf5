// Drives declarations, statements and expressions on an engine state until
// whole scripts can be run: texts are tokenised under the name "test.c" and
// kept until clean-up, results come back as readable text.
#ifndef LODVANE_TESTS_SCRIPTFIXTURE_H
#define LODVANE_TESTS_SCRIPTFIXTURE_H

#include "enginefixture.h"

#include "declaration.h"
#include "expression.h"
#include "run.h"
#include "statement.h"
#include "type.h"

// A run-mode cursor at the start of `text`, kept as "test.c"; its tokens
// hang on the state as a parse whose definitions are used later leaves them.
inline ParseCursor cursorOn(EngineState *st, const QByteArray &text)
{
    scriptSources().append(text);
    const QByteArray &kept = scriptSources().last();
    const char *file = internString(st, "test.c");
    RetainedTokens *node = retainTokens(st, nullptr);
    node->tokens = tokenise(st, file, kept.constData(), size_t(kept.size()));
    ParseCursor cursor;
    initCursor(&cursor, st, kept.constData(), node->tokens, file, true);
    return cursor;
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

inline QByteArray typeText(EngineState *st, const ScriptType *type)
{
    capturedOutput().clear();
    printType(st, type, st->output);
    return capturedOutput();
}

// "type value": integers in decimal, doubles to 17 digits, pointers as null
// or ptr, anything else by its type alone.
inline QByteArray valueText(EngineState *st, const ScriptValue *value)
{
    QByteArray text = typeText(st, value->type);
    TypeKind kind = value->type->kind;
    if (typeIsInteger(kind))
        return text + ' ' + QByteArray::number(coerceInteger(value));
    if (kind == TYPE_DOUBLE)
        return text + ' ' + QByteArray::number(coerceDouble(value), 'g', 17);
    if (kind == TYPE_POINTER) {
        void *p;
        memcpy(&p, value->data, sizeof p);
        return text + (p ? " ptr" : " null");
    }
    return text;
}

// One expression in run mode at top level; the arena must be back where it
// was afterwards.
inline QByteArray evaluate(EngineState *st, const QByteArray &text)
{
    capturedOutput().clear();
    QByteArray result;
    char *top = st->arena.top;
    bool ok = engineProtectedCall(st, [&] {
        ParseCursor cursor = cursorOn(st, text);
        ScriptValue *value;
        if (!parseExpression(&cursor, &value))
            parserError(&cursor, "expression expected");
        QByteArray printed = valueText(st, value);
        valuePop(&cursor, value);
        if (getToken(&cursor, nullptr, false) != TK_EOF)
            parserError(&cursor, "end expected");
        result = printed;
    });
    if (!ok)
        return lastReportLine();
    if (st->arena.top != top)
        return "arena not released";
    return result;
}

#endif

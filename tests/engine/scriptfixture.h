// Drives declarations, statements and expressions on an engine state until
// whole scripts can be run: texts are tokenised under the name "test.c" and
// kept until clean-up, results come back as readable text.
#ifndef LODVANE_TESTS_SCRIPTFIXTURE_H
#define LODVANE_TESTS_SCRIPTFIXTURE_H

#include "enginefixture.h"

#include "declaration.h"
#include "expression.h"
#include "statement.h"
#include "type.h"
#include "variable.h"

#include <QByteArray>
#include <QList>

#include <cmath>

// The texts the state's cursors refer to, alive until clean-up.
inline QList<QByteArray> &scriptSources()
{
    static QList<QByteArray> sources;
    return sources;
}

// Tokenises `text` and hangs the tokens on the state, as a parse whose
// definitions are used later does.
inline const unsigned char *retainTokens(EngineState *st, const QByteArray &text)
{
    scriptSources().append(text);
    const QByteArray &kept = scriptSources().last();
    unsigned char *tokens = tokenise(st, internString(st, "test.c"), kept.constData(), size_t(kept.size()));
    RetainedTokens *node = static_cast<RetainedTokens *>(heapAlloc(st, sizeof(RetainedTokens)));
    node->tokens = tokens;
    node->next = st->retained;
    st->retained = node;
    return tokens;
}

// A run-mode cursor at the start of `text`, kept as "test.c".
inline ParseCursor cursorOn(EngineState *st, const QByteArray &text)
{
    ParseCursor cursor;
    initCursor(&cursor, st, nullptr, retainTokens(st, text), internString(st, "test.c"), true);
    cursor.source = scriptSources().last().constData();
    return cursor;
}

// The last line of the captured report: "file:line:column message".
inline QByteArray lastReportLine()
{
    QByteArray text = capturedOutput().trimmed();
    int cut = text.lastIndexOf('\n');
    return "error: " + (cut < 0 ? text : text.mid(cut + 1));
}

// Statements at top level; "" or the error line.
inline QByteArray runStatements(EngineState *st, const QByteArray &text)
{
    capturedOutput().clear();
    bool ok = engineProtectedCall(st, [&] {
        ParseCursor cursor = cursorOn(st, text);
        StatementResult result;
        while ((result = parseStatement(&cursor, true)) == STATEMENT_OK) {
        }
        if (result == STATEMENT_ERROR)
            parserError(&cursor, "parse error");
    });
    return ok ? QByteArray() : lastReportLine();
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

struct ParamSpec {
    ScriptType *type;
    const char *name;
};

// A function value as a definition or a library binding makes it: the
// record, then the parameter types and names in the same heap block.
inline void defineFunction(EngineState *st, const char *name, ScriptType *returnType,
                           const QList<ParamSpec> &params, bool variadic, NativeFunction native,
                           const QByteArray &body = QByteArray())
{
    size_t count = size_t(params.size());
    size_t size = kValueHeader + sizeof(FunctionDef) + count * (sizeof(ScriptType *) + sizeof(char *));
    ScriptValue *value = static_cast<ScriptValue *>(heapAlloc(st, size));
    value->type = &st->functionType;
    value->data = reinterpret_cast<AnyData *>(reinterpret_cast<char *>(value) + kValueHeader);
    value->valueOnHeap = true;
    value->scopeId = -1;
    FunctionDef *def = &value->data->function;
    def->returnType = returnType;
    def->paramCount = int32_t(count);
    def->variadic = variadic;
    def->paramTypes = reinterpret_cast<ScriptType **>(def + 1);
    def->paramNames = reinterpret_cast<const char **>(reinterpret_cast<char *>(def->paramTypes + count));
    for (size_t i = 0; i < count; i++) {
        def->paramTypes[i] = params[int(i)].type;
        def->paramNames[i] = internString(st, params[int(i)].name);
    }
    def->native = native;
    if (!body.isEmpty()) {
        scriptSources().append(body);
        const QByteArray &kept = scriptSources().last();
        unsigned char *tokens = tokenise(st, internString(st, "body.c"), kept.constData(), size_t(kept.size()));
        initCursor(&def->body, st, kept.constData(), tokens, internString(st, "body.c"), false);
    }
    tableSet(st, &st->globals, internString(st, name), value, nullptr, 0, 0);
}

#endif

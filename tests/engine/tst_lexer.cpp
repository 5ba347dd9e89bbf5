// The lexer and the token reader, checked by decoding the token stream.
#include "enginefixture.h"

#include <QtTest>

#include <cmath>

class TestLexer : public QObject
{
    Q_OBJECT

private:
    EngineState st;
    QByteArray readAll(const QByteArray &source, bool conditional);
    void defineMacro(const char *name, const char *body);
    void defineInt(const char *name);

private slots:
    void init();
    void cleanup();

    void tokens_data();
    void tokens();
    void numbers_data();
    void numbers();
    void escapes_data();
    void escapes();
    void identicalLiteralsShareStorage();
    void includeModeStrings();
    void columns_data();
    void columns();
    void errorExitMidwayLeaksNothing();
    void denseShortTokensFitTheStream();

    void rawReaderCountsLinesAndStops();
    void readerDeliversValues();
    void skipToEndOfLine();
    void copiedBodyEndsInEndOfFunction();

    void conditionals_data();
    void conditionals();
    void conditionalErrors_data();
    void conditionalErrors();
};

void TestLexer::init()
{
    captureOutput();
    QVERIFY(engineInit(&st, kEngineStackBytes));
}

void TestLexer::cleanup()
{
    engineCleanup(&st);
    QCOMPARE(st.heapBlocks, 0L);
}

void TestLexer::tokens_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("operators, longest match") << QByteArray("<<= >>= << >> <= >= < > == = != ! && &= & || |= | ^= ^ ~")
        << QByteArray("<<= >>= << >> <= >= < > == = != ! && &= & || |= | ^= ^ ~");
    QTest::newRow("arithmetic") << QByteArray("a+=b++-c--->d*=*e/=f%=g%h-=i") << QByteArray("a += b ++ - c -- -> d *= * e /= f %= g % h -= i");
    QTest::newRow("arrow and minus") << QByteArray("p->x - -y") << QByteArray("p -> x - - y");
    QTest::newRow("punctuation") << QByteArray("f(a[1], b.c) ? {x} : y; ...") << QByteArray("f ( a [ #1 ] , b . c ) ? { x } : y ; ...");
    QTest::newRow("two dots are two dots") << QByteArray("a..b") << QByteArray("a . . b");
    QTest::newRow("dot before digits") << QByteArray(".5") << QByteArray(". #5");
    QTest::newRow("all reserved words")
        << QByteArray("#define #else #endif #if #ifdef #ifndef #include auto break case char continue default delete do "
                      "double else enum extern float for goto if int long new register return short signed sizeof "
                      "static struct switch typedef union unsigned void while")
        << QByteArray("#define #else #endif #if #ifdef #ifndef #include auto break case char continue default delete do "
                      "double else enum extern float for goto if int long new register return short signed sizeof "
                      "static struct switch typedef union unsigned void while");
    QTest::newRow("words are whole words") << QByteArray("integer int_ _int while2 #defined") << QByteArray("integer int_ _int while2 #defined");
    QTest::newRow("hash alone is a name") << QByteArray("a##b") << QByteArray("a # #b");
    QTest::newRow("newlines") << QByteArray("a\n\nb\r\n") << QByteArray("a NL NL b NL");
    QTest::newRow("line comment") << QByteArray("a // b c\nd") << QByteArray("a NL d");
    QTest::newRow("block comment keeps its lines") << QByteArray("a /* x\ny\nz */ b") << QByteArray("a NL NL b");
    QTest::newRow("slash star slash is no end") << QByteArray("/*/ x */ y") << QByteArray("y");
    QTest::newRow("unterminated block comment") << QByteArray("a /* rest\nof text") << QByteArray("a NL");
    QTest::newRow("unterminated string") << QByteArray("s = \"rest of\ntext") << QByteArray("s = \"rest of\ntext\" NL");
    QTest::newRow("zero byte ends the text") << QByteArray("a b\0c d", 7) << QByteArray("a b");
    QTest::newRow("define with parameters") << QByteArray("#define F(x) x\nF (y)") << QByteArray("#define F M( x ) x NL F ( y )");
    QTest::newRow("define without parameters") << QByteArray("#define F (x)") << QByteArray("#define F ( x )");
    QTest::newRow("define, bracket after another token") << QByteArray("#define F+(x)") << QByteArray("#define F + ( x )");
    QTest::newRow("define, comment ends the name") << QByteArray("#define F/**/(x)") << QByteArray("#define F ( x )");
    QTest::newRow("define mode ends at the line") << QByteArray("#define\nF(x)") << QByteArray("#define NL F ( x )");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("white space only") << QByteArray(" \t\v\f\r ") << QByteArray("");
}

void TestLexer::tokens()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, decoded);
    QCOMPARE(tokeniseText(&st, source), decoded);
}

void TestLexer::numbers_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("hex") << QByteArray("0x1F 0XaB") << QByteArray("#31 #171");
    QTest::newRow("binary") << QByteArray("0b101 0B11") << QByteArray("#5 #3");
    QTest::newRow("octal") << QByteArray("017 0") << QByteArray("#15 #0");
    QTest::newRow("08 is two numbers") << QByteArray("08") << QByteArray("#0 #8");
    QTest::newRow("binary stops at 2") << QByteArray("0b12") << QByteArray("#1 #2");
    QTest::newRow("bare 0x") << QByteArray("0x;") << QByteArray("#0 ;");
    QTest::newRow("suffixes") << QByteArray("10u 10L 10ul 10UL") << QByteArray("#10 #10 #10 #10");
    QTest::newRow("lu is not a suffix pair") << QByteArray("10lu") << QByteArray("#10 u");
    QTest::newRow("32-bit wrap") << QByteArray("4294967297 2147483648 0xFFFFFFFF") << QByteArray("#1 #-2147483648 #-1");
    QTest::newRow("fraction and exponent") << QByteArray("1.5e-2") << fpText(0.015);
    QTest::newRow("plus ends the exponent") << QByteArray("1e+2") << fpText(1) + " + #2";
    QTest::newRow("exponent without digits") << QByteArray("12e- 3.") << fpText(12) + " " + fpText(3);
    QTest::newRow("float suffix") << QByteArray("2.5f 1e3F") << fpText(2.5) + " " + fpText(1000);
    QTest::newRow("suffix before the point") << QByteArray("1ul.5") << fpText(1.5);
    QTest::newRow("large whole part") << QByteArray("4294967297.5") << fpText(4294967297.5);
    QTest::newRow("correctly rounded") << QByteArray("0.1 0.30000000000000004 2.2250738585072014e-308")
        << fpText(0.1) + " " + fpText(0.30000000000000004) + " " + fpText(2.2250738585072014e-308);
    QTest::newRow("long fraction") << QByteArray("3.14159265358979323846264338327950288") << fpText(3.14159265358979323846);
    QTest::newRow("leading zero then point") << QByteArray("0.5 00.5") << fpText(0.5) + " " + fpText(0.625); // 00.5 is octal
    QTest::newRow("overflow to infinity") << QByteArray("1e400 1e-400") << fpText(HUGE_VAL) + " " + fpText(0);
    QTest::newRow("huge exponent digits") << QByteArray("1e99999999999999999999") << fpText(HUGE_VAL);
    QTest::newRow("octal fraction") << QByteArray("017.4") << fpText(15.5);
    QTest::newRow("hex fraction") << QByteArray("0x1.8") << fpText(1.5);
    QTest::newRow("octal exponent") << QByteArray("01e2") << fpText(64);
    QTest::newRow("hex e is a digit") << QByteArray("0x1e2") << QByteArray("#482");
    QTest::newRow("binary point past 32 bits") << QByteArray("0b100000000000000000000000000000000.1") << fpText(4294967296.5);
}

void TestLexer::numbers()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, decoded);
    QCOMPARE(tokeniseText(&st, source), decoded);
}

void TestLexer::escapes_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("hex character") << QByteArray("'\\x41'") << QByteArray("c65");
    QTest::newRow("octal character") << QByteArray("'\\101'") << QByteArray("c65");
    QTest::newRow("unknown escape") << QByteArray("'\\q'") << QByteArray("c113");
    QTest::newRow("named escapes") << QByteArray("'\\a' '\\b' '\\f' '\\n' '\\r' '\\t' '\\v'")
                                   << QByteArray("c7 c8 c12 c10 c13 c9 c11");
    QTest::newRow("quotes and backslash") << QByteArray("'\\'' '\\\"' '\\\\' '\"'") << QByteArray("c39 c34 c92 c34");
    QTest::newRow("zero and the largest octal") << QByteArray("'\\0' '\\377'") << QByteArray("c0 c255");
    QTest::newRow("octal 4 to 7 are plain") << QByteArray("'\\4'") << QByteArray("c52");
    QTest::newRow("hex without digits") << QByteArray("'\\x'") << QByteArray("c0");
    QTest::newRow("hex takes two digits") << QByteArray("\"\\x4142\"") << QByteArray("\"A42\"");
    QTest::newRow("octal takes three digits") << QByteArray("\"\\1234\"") << QByteArray("\"S4\"");
    QTest::newRow("continuation in a string") << QByteArray("\"ab\\\ncd\" x") << QByteArray("\"abcd\" NL x");
    QTest::newRow("continuation with carriage return") << QByteArray("\"ab\\\r\ncd\" x") << QByteArray("\"abcd\" NL x");
    QTest::newRow("escaped quote inside") << QByteArray("\"say \\\"hi\\\"\"") << QByteArray("\"say \"hi\"\"");
    QTest::newRow("backslash at the very end") << QByteArray("\"ab\\") << QByteArray("\"ab\\\"");
    QTest::newRow("character at the end of the text") << QByteArray("'x") << QByteArray("c120");
    QTest::newRow("lone quote at the end") << QByteArray("'") << QByteArray("c0");
    QTest::newRow("empty string") << QByteArray("\"\"") << QByteArray("\"\"");
}

void TestLexer::escapes()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, decoded);
    QCOMPARE(tokeniseText(&st, source), decoded);
}

void TestLexer::identicalLiteralsShareStorage()
{
    unsigned char *stream = nullptr;
    QCOMPARE(tokeniseText(&st, "\"abc\" \"abd\" \"a\\x62c\"", nullptr, &stream), QByteArray("\"abc\" \"abd\" \"abc\""));
    const char *first = streamAddress(stream + 2);
    const char *second = streamAddress(stream + 12);
    const char *third = streamAddress(stream + 22);
    QCOMPARE(addressOf(first), addressOf(third));
    QVERIFY(first != second);
    QCOMPARE(addressOf(first), addressOf(internString(&st, "abc")));
    void *found = nullptr;
    QVERIFY(tableGet(&st.stringLiterals, first, &found));
    ScriptValue *literal = static_cast<ScriptValue *>(found);
    QCOMPARE(literal->type, st.charArrayType);
    QCOMPARE(addressOf(literal->data), addressOf(first));
    QVERIFY(literal->valueOnHeap);
    QVERIFY(!literal->isLvalue);
    heapFree(&st, stream);
    // A second tokenise of the same text reuses the literal's entry.
    QCOMPARE(tokeniseText(&st, "\"abc\""), QByteArray("\"abc\""));
    QVERIFY(tableGet(&st.stringLiterals, first, &found));
    QCOMPARE(static_cast<ScriptValue *>(found), literal);
}

void TestLexer::includeModeStrings()
{
    unsigned char *stream = nullptr;
    QCOMPARE(tokeniseText(&st, "#include <stdio.h>\n#include \"stdio.h\"\na < b > c", nullptr, &stream),
             QByteArray("#include \"stdio.h\" NL #include \"stdio.h\" NL a < b > c"));
    QCOMPARE(addressOf(streamAddress(stream + 4)), addressOf(streamAddress(stream + 18)));
    heapFree(&st, stream);
    QCOMPARE(tokeniseText(&st, "#include <a\\>b> x"), QByteArray("#include \"a>b\" x"));
    QCOMPARE(tokeniseText(&st, "#include <unterminated"), QByteArray("#include \"unterminated\""));
}

void TestLexer::columns_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("columns");
    // Each token carries the column where the previous one ended; the first
    // line counts from 1, the others from 0.
    QTest::newRow("first line") << QByteArray("int x = 5;") << QByteArray("0 4 6 8 10 11");
    QTest::newRow("second line") << QByteArray("a\n  bb c") << QByteArray("0 2 0 4 6");
    QTest::newRow("wraps at 256") << QByteArray(300, 'n') + ";" << QByteArray("0 45 46");
    QTest::newRow("after a string") << QByteArray("s=\"a\\tb\" ;") << QByteArray("0 2 3 9 11");
    QTest::newRow("after a continued string") << QByteArray("\"a\\\nbc\" x") << QByteArray("0 3 3 5");
}

void TestLexer::columns()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, columns);
    QByteArray found;
    tokeniseText(&st, source, &found);
    QCOMPARE(found, columns);
}

void TestLexer::errorExitMidwayLeaksNothing()
{
    // Literals, names and a grown stream buffer exist when the error strikes;
    // cleanup() then checks that clean-up found every block.
    QByteArray source;
    for (int i = 0; i < 2000; i++)
        source += "v" + QByteArray::number(i) + "=\"lit" + QByteArray::number(i) + "\";";
    source += "\n@";
    QByteArray result = tokeniseText(&st, source);
    QVERIFY(result.startsWith("error: "));
    QVERIFY(result.endsWith("test.c:2:1 illegal character '@'\n"));
    QVERIFY(st.lexerScratch);
    // The state is still good for another tokenise, which drops the old scratch.
    QCOMPARE(tokeniseText(&st, "ok"), QByteArray("ok"));
    QVERIFY(!st.lexerScratch);
    QVERIFY(tokeniseText(&st, "x\n'ab").startsWith("error: "));
}

void TestLexer::denseShortTokensFitTheStream()
{
    // One-byte names take ten bytes each: far beyond four times the text.
    QByteArray hashes(3000, '#');
    size_t length = 0;
    unsigned char *stream = nullptr;
    QVERIFY(engineProtectedCall(&st, [&] { stream = tokenise(&st, st.emptyString, hashes.constData(), size_t(hashes.size()), &length); }));
    QCOMPARE(length, size_t(3000 * 10 + 2));
    QCOMPARE(decodeStream(stream, length).count('#'), 3000);
    heapFree(&st, stream);
    QByteArray dense;
    for (int i = 0; i < 5000; i++)
        dense += "a;";
    QCOMPARE(tokeniseText(&st, dense).size(), 5000 * 4 - 1);
}

void TestLexer::rawReaderCountsLinesAndStops()
{
    const char *text = "a\n\n/* x\n */ b";
    unsigned char *stream = nullptr;
    QVERIFY(engineProtectedCall(&st, [&] { stream = tokenise(&st, st.emptyString, text, strlen(text)); }));
    ParseCursor c;
    initCursor(&c, &st, text, stream, st.emptyString, true);
    QCOMPARE(c.line, uint16_t(1));
    QCOMPARE(c.mode, MODE_RUN);
    QCOMPARE(c.evaluateToLevel, uint16_t(0));
    QCOMPARE(getRawToken(&c, nullptr, true), TK_IDENTIFIER);
    QCOMPARE(peekRawToken(&c), TK_END_OF_LINE);
    QCOMPARE(getRawToken(&c, nullptr, false), TK_IDENTIFIER); // peeking still passes the line ends
    QCOMPARE(c.line, uint16_t(4));
    QCOMPARE(getRawToken(&c, nullptr, false), TK_IDENTIFIER);
    QCOMPARE(c.line, uint16_t(4));
    QCOMPARE(c.column, uint16_t(3));
    QCOMPARE(getRawToken(&c, nullptr, true), TK_IDENTIFIER);
    const unsigned char *end = c.pos;
    QCOMPARE(getRawToken(&c, nullptr, true), TK_EOF);
    QCOMPARE(getRawToken(&c, nullptr, true), TK_EOF);
    QCOMPARE(c.pos, end);
    ParseCursor skipped;
    initCursor(&skipped, &st, text, stream, st.emptyString, false);
    QCOMPARE(skipped.mode, MODE_SKIP);
    heapFree(&st, stream);
}

void TestLexer::readerDeliversValues()
{
    const char *text = "name 42 2.5 \"str\" 'c' +";
    unsigned char *stream = nullptr;
    QVERIFY(engineProtectedCall(&st, [&] { stream = tokenise(&st, st.emptyString, text, strlen(text)); }));
    ParseCursor c;
    initCursor(&c, &st, text, stream, st.emptyString, true);
    ScriptValue *v = nullptr;
    QCOMPARE(getToken(&c, &v, true), TK_IDENTIFIER);
    QCOMPARE(v, &st.lexerValue);
    QVERIFY(!v->type);
    QCOMPARE(addressOf(v->data->ptr), addressOf(internString(&st, "name")));
    QCOMPARE(getToken(&c, &v, true), TK_INT_CONSTANT);
    QCOMPARE(v->type, &st.longType);
    QCOMPARE(v->data->l, 42);
    QCOMPARE(getToken(&c, &v, true), TK_FP_CONSTANT);
    QCOMPARE(v->type, &st.doubleType);
    QCOMPARE(v->data->d, 2.5);
    QCOMPARE(getToken(&c, &v, true), TK_STRING_CONSTANT);
    QCOMPARE(v->type, st.charPtrType);
    QCOMPARE(addressOf(v->data->ptr), addressOf(internString(&st, "str")));
    QCOMPARE(getToken(&c, &v, true), TK_CHAR_CONSTANT);
    QCOMPARE(v->type, &st.charType);
    QCOMPARE(v->data->c, 'c');
    QVERIFY(!v->isLvalue && !v->valueOnHeap && !v->valueOnStack && !v->dataOnHeap);
    QCOMPARE(getToken(&c, nullptr, false), TK_PLUS);
    QCOMPARE(getToken(&c, nullptr, true), TK_PLUS);
    QCOMPARE(getToken(&c, nullptr, true), TK_EOF);
    heapFree(&st, stream);
}

void TestLexer::skipToEndOfLine()
{
    const char *text = "#define X 1 + 2\nnext";
    unsigned char *stream = nullptr;
    QVERIFY(engineProtectedCall(&st, [&] { stream = tokenise(&st, st.emptyString, text, strlen(text)); }));
    ParseCursor c;
    initCursor(&c, &st, text, stream, st.emptyString, true);
    QCOMPARE(getRawToken(&c, nullptr, true), TK_HASH_DEFINE);
    ::skipToEndOfLine(&c);
    QCOMPARE(peekRawToken(&c), TK_END_OF_LINE);
    ::skipToEndOfLine(&c); // already there: stays
    QCOMPARE(peekRawToken(&c), TK_END_OF_LINE);
    QCOMPARE(getRawToken(&c, nullptr, true), TK_IDENTIFIER);
    ::skipToEndOfLine(&c);
    QCOMPARE(peekRawToken(&c), TK_EOF);
    heapFree(&st, stream);
}

void TestLexer::copiedBodyEndsInEndOfFunction()
{
    const char *text = "f { return x + 1; } tail";
    unsigned char *stream = nullptr;
    QVERIFY(engineProtectedCall(&st, [&] { stream = tokenise(&st, st.emptyString, text, strlen(text)); }));
    ParseCursor start, end;
    initCursor(&start, &st, text, stream, st.emptyString, true);
    getRawToken(&start, nullptr, true);
    end = start;
    while (getRawToken(&end, nullptr, true) != TK_RIGHT_BRACE) {}
    unsigned char *body = copyTokens(&start, &end);
    size_t length = size_t(end.pos - start.pos);
    QCOMPARE(int(body[length]), int(TK_END_OF_FUNCTION));
    QCOMPARE(int(body[length + 1]), 0);
    ParseCursor c = start;
    c.pos = body;
    QByteArray seen;
    TokenKind t;
    while ((t = getToken(&c, nullptr, true)) != TK_END_OF_FUNCTION)
        seen += QByteArray(tokenSpelling(t)) + ' ';
    QCOMPARE(seen, QByteArray("{ return <id> + <int> ; } "));
    QCOMPARE(getToken(&c, nullptr, true), TK_END_OF_FUNCTION); // never past the end
    QCOMPARE(c.pos, body + length);
    heapFree(&st, body);
    heapFree(&st, stream);
}

// A global macro as the statement parser will enter it: a heap value of the
// macro type whose body cursor reads the macro's own copied tokens.
void TestLexer::defineMacro(const char *name, const char *body)
{
    if (tableEntry(&st.globals, internString(&st, name)))
        return;
    unsigned char *stream = tokenise(&st, st.emptyString, body, strlen(body));
    ParseCursor start, end;
    initCursor(&start, &st, body, stream, st.emptyString, true);
    end = start;
    while (getRawToken(&end, nullptr, true) != TK_EOF) {}
    ScriptValue *value = static_cast<ScriptValue *>(heapAlloc(&st, sizeof(ScriptValue) + sizeof(AnyData)));
    value->type = &st.macroType;
    value->data = reinterpret_cast<AnyData *>(value + 1);
    value->valueOnHeap = true;
    value->data->macro.body = start;
    value->data->macro.body.pos = copyTokens(&start, &end);
    heapFree(&st, stream);
    tableSet(&st, &st.globals, internString(&st, name), value, nullptr, 0, 0);
}

void TestLexer::defineInt(const char *name)
{
    if (tableEntry(&st.globals, internString(&st, name)))
        return;
    ScriptValue *value = static_cast<ScriptValue *>(heapAlloc(&st, sizeof(ScriptValue) + 8));
    value->type = &st.intType;
    value->data = reinterpret_cast<AnyData *>(value + 1);
    value->valueOnHeap = true;
    tableSet(&st, &st.globals, internString(&st, name), value, nullptr, 0, 0);
}

// Every token getToken hands out, or the error report.
QByteArray TestLexer::readAll(const QByteArray &source, bool conditional)
{
    QByteArray seen;
    capturedOutput().clear();
    unsigned char *stream = nullptr;
    bool ok = engineProtectedCall(&st, [&] {
        defineMacro("ONE", "1");
        defineMacro("ZERO", "0");
        defineMacro("LETTER", "'A' + 1");
        defineMacro("NEGATIVE", "-1");
        defineMacro("EMPTY", "");
        defineInt("DEFINED");
        stream = tokenise(&st, internString(&st, "if.c"), source.constData(), size_t(source.size()));
        ParseCursor c;
        initCursor(&c, &st, source.constData(), stream, internString(&st, "if.c"), true);
        ScriptValue *v;
        for (TokenKind t; (t = conditional ? getToken(&c, &v, true) : getRawToken(&c, &v, true)) != TK_EOF;)
            seen += (t == TK_IDENTIFIER ? QByteArray(static_cast<const char *>(v->data->ptr)) : QByteArray(tokenSpelling(t))) + ' ';
        if (c.ifLevel != 0)
            seen += "open:" + QByteArray::number(c.ifLevel);
    });
    heapFree(&st, stream);
    return ok ? seen.trimmed() : "error: " + capturedOutput();
}

void TestLexer::conditionals_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("taken");
    QTest::newRow("#if 0 takes #else") << QByteArray("#if 0\na\n#else\nb\n#endif\nc") << QByteArray("b c");
    QTest::newRow("#if 1 takes the first branch") << QByteArray("#if 1\na\n#else\nb\n#endif") << QByteArray("a");
    QTest::newRow("#if 256 is true") << QByteArray("#if 256\na\n#endif") << QByteArray("a");
    QTest::newRow("character constant") << QByteArray("#if '\\0'\na\n#else\nb\n#endif") << QByteArray("b");
    QTest::newRow("macro with a true body") << QByteArray("#if ONE\na\n#endif") << QByteArray("a");
    QTest::newRow("macro with a false body") << QByteArray("#if ZERO\na\n#else\nb\n#endif") << QByteArray("b");
    QTest::newRow("macro, first token counts") << QByteArray("#if LETTER\na\n#endif") << QByteArray("a");
    QTest::newRow("#ifdef a global") << QByteArray("#ifdef DEFINED\na\n#endif\n#ifdef MISSING\nb\n#endif") << QByteArray("a");
    QTest::newRow("#ifndef") << QByteArray("#ifndef DEFINED\na\n#else\nb\n#endif\n#ifndef MISSING\nc\n#endif") << QByteArray("b c");
    QTest::newRow("nested in a false branch")
        << QByteArray("#if 0\n#if 1\na\n#else\nb\n#endif\nc\n#else\nd\n#endif") << QByteArray("d");
    QTest::newRow("nested in a true branch")
        << QByteArray("#if 1\n#if 0\na\n#else\nb\n#endif\nc\n#else\nd\n#endif") << QByteArray("b c");
    QTest::newRow("unevaluated #if in a false branch")
        << QByteArray("#ifdef MISSING\n#if MISSING_VERSION\na\n#endif\n#endif\nb") << QByteArray("b");
    QTest::newRow("#else #else flips back") << QByteArray("#if 0\na\n#else\nb\n#else\nc\n#endif") << QByteArray("b");
    QTest::newRow("unclosed #if") << QByteArray("#if 1\na") << QByteArray("a open:1");
    QTest::newRow("#define passes through") << QByteArray("#define X 1\n#include \"f\"") << QByteArray("#define X <int> #include <str>");
}

void TestLexer::conditionals()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, taken);
    QCOMPARE(readAll(source, true), taken);
}

void TestLexer::conditionalErrors_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("#endif alone") << QByteArray("a\n#endif") << QByteArray("if.c:2:0 #endif without #if\n");
    QTest::newRow("#else alone") << QByteArray("#else") << QByteArray("if.c:1:0 #else without #if\n");
    QTest::newRow("one #endif too many") << QByteArray("#if 1\n#endif\n#endif") << QByteArray("if.c:3:0 #endif without #if\n");
    QTest::newRow("undefined name") << QByteArray("#if NOPE\n#endif") << QByteArray("if.c:1:4 'NOPE' is undefined\n");
    QTest::newRow("name that is no macro") << QByteArray("#if DEFINED\n#endif") << QByteArray("if.c:1:4 value expected\n");
    QTest::newRow("macro body not a constant") << QByteArray("#if NEGATIVE\n#endif") << QByteArray("if.c:1:4 value expected\n");
    QTest::newRow("empty macro") << QByteArray("#if EMPTY\n#endif") << QByteArray("if.c:1:4 value expected\n");
    QTest::newRow("floating constant") << QByteArray("#if 1.5\n#endif") << QByteArray("if.c:1:4 value expected\n");
    QTest::newRow("#ifdef without a name") << QByteArray("#ifdef 5") << QByteArray("if.c:1:7 identifier expected\n");
}

void TestLexer::conditionalErrors()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, message);
    QByteArray report = readAll(source, true);
    QVERIFY2(report.startsWith("error: ") && report.endsWith("^\n" + message), report.constData());
    QCOMPARE(st.exitValue, 1);
    // Read raw, the same text has no conditional processing at all.
    QVERIFY(!readAll(source, false).startsWith("error"));
}

QTEST_GUILESS_MAIN(TestLexer)
#include "tst_lexer.moc"

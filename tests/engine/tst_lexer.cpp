// The lexer and the token reader, checked by decoding the token stream.
#include "enginefixture.h"

#include <cmath>

class TestLexer : public EngineTest
{
    Q_OBJECT

private slots:
    void tokens_data();
    void tokens();
    void columns_data();
    void columns();
    void errorExitMidwayLeaksNothing();
    void denseShortTokensFitTheStream();
    void readerStopsAtTheEnd();
};

void TestLexer::tokens_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("decoded");
    auto row = [](const char *name, const QByteArray &source, const QByteArray &decoded) {
        QTest::newRow(name) << source << decoded;
    };
    const QByteArray operators = "<<= >>= << >> <= >= < > == = != ! && &= & || |= | ^= ^ ~";
    row("operators, longest match", operators, operators);
    row("arithmetic", "a+=b++-c--->d*=*e/=f%=g%h-=i", "a += b ++ - c -- -> d *= * e /= f %= g % h -= i");
    row("punctuation", "f(a[1], b.c) ? {x} : y; ...", "f ( a [ #1 ] , b . c ) ? { x } : y ; ...");
    const QByteArray words = "#define #else #endif #if #ifdef #ifndef #include auto break case char continue default "
                             "delete do double else enum extern float for goto if int long new register return short "
                             "signed sizeof static struct switch typedef union unsigned void while";
    row("all reserved words", words, words);
    row("words are whole words", "integer int_ _int while2 #defined", "integer int_ _int while2 #defined");
    row("hash alone is a name", "a##b", "a # #b");
    row("newlines", "a\n\nb\r\n", "a NL NL b NL");
    row("line comment", "a // b c\nd", "a NL d");
    row("block comment keeps its lines", "a /* x\ny\nz */ b", "a NL NL b");
    row("slash star slash is no end", "/*/ x */ y", "y");
    row("unterminated block comment", "a /* rest\nof text", "a NL");
    row("unterminated string", "s = \"rest of\ntext", "s = \"rest of\ntext\" NL");
    row("zero byte ends the text", QByteArray("a b\0c d", 7), "a b");
    row("define with parameters", "#define F(x) x\nF (y)", "#define F M( x ) x NL F ( y )");
    row("define without parameters", "#define F (x)", "#define F ( x )");
    row("define mode ends at the line", "#define\nF(x)", "#define NL F ( x )");

    row("integer bases", "0x1F 0XaB 0b101 0B11 017 0", "#31 #171 #5 #3 #15 #0");
    row("bare 0x", "0x;", "#0 ;");
    row("suffixes", "10u 10L 10ul 10UL", "#10u #10 #10u #10u");
    row("32-bit wrap", "4294967297 2147483648 0xFFFFFFFF", "#1 #-2147483648 #4294967295u");
    row("too big for int in hex, octal or binary is unsigned", "0x7FFFFFFF 0x80000000 020000000000",
        "#2147483647 #2147483648u #2147483648u");
    row("fraction and exponent", "1.5e-2", fpText(0.015));
    row("exponent without digits", "12e- 3.", fpText(12) + " " + fpText(3));
    row("correctly rounded", "0.1 0.30000000000000004 2.2250738585072014e-308",
        fpText(0.1) + " " + fpText(0.30000000000000004) + " " + fpText(2.2250738585072014e-308));
    row("octal and hex fractions", "017.4 0x1.8 01e2", fpText(15.5) + " " + fpText(1.5) + " " + fpText(64));
    row("hex e is a digit", "0x1e2", "#482");

    row("hex and octal characters", "'\\x41' '\\101'", "c65 c65");
    row("quotes and backslash", "'\\'' '\\\"' '\\\\' '\"'", "c39 c34 c92 c34");
    row("octal 4 to 7 are plain", "'\\4'", "c52");
    row("hex without digits", "'\\x'", "c0");
    row("hex takes two digits", "\"\\x4142\"", "\"A42\"");
    row("continuation in a string", "\"ab\\\ncd\" x \"ab\\\r\ncd\"", "\"abcd\" NL x \"abcd\" NL");
    row("backslash at the very end", "\"ab\\", "\"ab\\\"");
    row("character at the end of the text", "'x", "c120");
    row("lone quote at the end", "'", "c0");
    row("include names in angle brackets", "#include <stdio.h>\na < b > c", "#include \"stdio.h\" NL a < b > c");
    row("unterminated include name", "#include <unterminated", "#include \"unterminated\"");

    // Errors: the line, a caret under the column, then the location.
    row("report keeps tabs", "x\n\t\t`", "error: \t\t`\n\t\t ^\ntest.c:2:3 illegal character '`'\n");
    row("character constant too long", "c = 'ab';", "error: c = 'ab';\n       ^\ntest.c:1:7 expected \"'\"\n");
    row("byte above 126", "\xc3\xa9", "error: \xc3\xa9\n  ^\ntest.c:1:2 illegal character '\xc3'\n");
}

void TestLexer::tokens()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, decoded);
    QCOMPARE(tokeniseText(&st, source), decoded);
    QCOMPARE(st.exitValue, decoded.startsWith("error: ") ? 1 : 0);
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
    QVERIFY(tokeniseText(&st, source + "\n@").endsWith("test.c:2:1 illegal character '@'\n"));
    QVERIFY(st.lexerScratch);
    // The state is still good for another tokenise, which drops the old scratch.
    QCOMPARE(tokeniseText(&st, "ok"), QByteArray("ok"));
    QVERIFY(!st.lexerScratch);
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
    QCOMPARE(tokeniseText(&st, QByteArray("a;").repeated(5000)).size(), 5000 * 4 - 1);
}

// A copied body ends in end of function, a stream in end of file: the
// reader never moves past either.
void TestLexer::readerStopsAtTheEnd()
{
    const char *text = "f { return x; } tail";
    unsigned char *stream = nullptr;
    QVERIFY(engineProtectedCall(&st, [&] { stream = tokenise(&st, st.emptyString, text, strlen(text)); }));
    ParseCursor start, end;
    initCursor(&start, &st, text, stream, st.emptyString, true);
    getRawToken(&start, nullptr, true);
    end = start;
    while (getRawToken(&end, nullptr, true) != TK_RIGHT_BRACE) {}
    unsigned char *body = copyTokens(&start, &end);
    ParseCursor c = start;
    c.pos = body;
    QByteArray seen;
    for (TokenKind t; (t = getToken(&c, nullptr, true)) != TK_END_OF_FUNCTION;)
        seen += QByteArray(tokenSpelling(t)) + ' ';
    QCOMPARE(seen, QByteArray("{ return <id> ; } "));
    QCOMPARE(getToken(&c, nullptr, true), TK_END_OF_FUNCTION);
    QCOMPARE(c.pos, body + (end.pos - start.pos));
    heapFree(&st, body);
    QCOMPARE(getRawToken(&end, nullptr, true), TK_IDENTIFIER);
    const unsigned char *last = end.pos;
    QCOMPARE(getRawToken(&end, nullptr, true), TK_EOF);
    QCOMPARE(getRawToken(&end, nullptr, true), TK_EOF);
    QCOMPARE(end.pos, last);
    heapFree(&st, stream);
}

QTEST_GUILESS_MAIN(TestLexer)
#include "tst_lexer.moc"

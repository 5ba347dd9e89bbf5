// math.h, string.h, stdlib.h, time.h, ctype.h, errno.h and stdbool.h, driven
// from script statements; results are printed and captured by the hooks.
#include "libfixture.h"

#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

QByteArray run(EngineState *st, const QByteArray &statements)
{
    QByteArray error = runStatements(st, statements);
    if (error.isEmpty())
        return capturedOutput();
    int at = error.indexOf(' ', 7);
    return "error: " + error.mid(at + 1);
}

void addRow(const char *name, const char *script, const char *expected)
{
    QTest::newRow(name) << QByteArray(script) << QByteArray(expected);
}

} // namespace

class TestStdlibFunctions : public QObject
{
    Q_OBJECT

private:
    EngineState st;
    void columns();
    void check();

private slots:
    void init();
    void cleanup();

    void math_data();
    void math() { check(); }
    void strings_data();
    void strings() { check(); }
    void stdlib_data();
    void stdlib() { check(); }
    void heap_data();
    void heap() { check(); }
    void time_data();
    void time() { check(); }
    void ctype_data();
    void ctype() { check(); }
    void constants_data();
    void constants() { check(); }
    void nullIsDefinedOnce();
    void leftoverBlocksAndFilesAreReleased();
    void exitLeavesWithItsValue();
};

void TestStdlibFunctions::init()
{
    captureOutput();
    QVERIFY(engineInit(&st, kEngineStackBytes));
    QVERIFY(includeStandardLibrary(&st));
}

void TestStdlibFunctions::cleanup()
{
    engineCleanup(&st);
    scriptSources().clear();
    QCOMPARE(st.heapBlocks, 0L);
}

void TestStdlibFunctions::columns()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("expected");
}

void TestStdlibFunctions::check()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);
    QCOMPARE(run(&st, script), expected);
}

void TestStdlibFunctions::math_data()
{
    columns();
    addRow("round of halves goes down", "printf(\"%g %g %g %g %g %g\", round(0.5), round(1.5), round(2.5), round(-2.5), round(-0.6), round(2.6));",
           "0 1 2 -3 -1 3");
    addRow("modf", "double ip; double f = modf(3.75, &ip); printf(\"%g %g\", f, ip);", "0.75 3");
    addRow("frexp", "int e; double m = frexp(8.0, &e); printf(\"%g %d\", m, e);", "0.5 4");
    addRow("modf into an int", "int small[2]; modf(1.5, (double *) &small[1]);", "error: out of bounds access");
    addRow("frexp through null", "int *p = 0; frexp(1.0, p);", "error: NULL pointer dereference");
    addRow("wrappers", "printf(\"%g %g %g %g %g %g %g\", sqrt(16), pow(2, 10), fabs(-3), floor(-1.5), ceil(1.2), fmod(7, 3), ldexp(1, 3));",
           "4 1024 3 -2 2 1 8");
    addRow("integer arguments become doubles", "printf(\"%.4f %.4f\", atan2(1, 1), cos(0));", "0.7854 1.0000");
    addRow("constants", "printf(\"%.15f %.15f %.15f\", M_PI, M_E, M_SQRT1_2);", "3.141592653589793 2.718281828459045 0.707106781186548");
}

void TestStdlibFunctions::strings_data()
{
    columns();
    const char *b = "char b[8]; char c[8]; ";
    auto with = [b](const char *name, const char *rest, const char *expected) {
        QTest::newRow(name) << QByteArray(b) + rest << QByteArray(expected);
    };
    with("strcpy and strcat", "strcpy(b, \"ab\"); strcat(b, \"cd\"); printf(\"%s %d\", b, strlen(b));", "abcd 4");
    with("strcpy returns its target", "printf(\"%s\", strcpy(b, \"xy\"));", "xy");
    with("strcpy needs room for the NUL", "strcpy(b, \"12345678\");", "error: out of bounds access");
    with("strcat needs room for the result", "strcpy(b, \"1234\"); strcat(b, \"5678\");", "error: out of bounds access");
    with("strcpy into a literal", "char *p = \"abc\"; strcpy(p, \"x\");", "error: out of bounds access");
    with("strlen without a NUL", "memset(b, 'a', 8); strlen(b);", "error: out of bounds access");
    addRow("strcmp orders", "printf(\"%d %d %d %d\", strcmp(\"a\", \"b\"), strcmp(\"b\", \"a\"), strcmp(\"ab\", \"ab\"), strcmp(\"abc\", \"ab\"));",
           "-1 1 0 1");
    with("strcmp above 127 comes after", "strcpy(b, \"a\"); b[0] = 200; printf(\"%d\", strcmp(b, \"a\"));", "1");
    addRow("strncmp", "printf(\"%d %d\", strncmp(\"abcd\", \"abxx\", 2), strncmp(\"abcd\", \"abxx\", 3) < 0);", "0 1");
    with("strncmp may stop before a missing NUL", "memset(b, 'a', 8); memset(c, 'a', 8); printf(\"%d\", strncmp(b, c, 8));", "0");
    with("strncmp past the storage", "memset(b, 'a', 8); memset(c, 'a', 8); strncmp(b, c, 9);", "error: out of bounds access");
    with("strncpy pads", "memset(b, 'z', 8); strncpy(b, \"ab\", 4); printf(\"%s %c\", b, b[4]);", "ab z");
    with("strncpy past the buffer", "strncpy(b, \"ab\", 9);", "error: out of bounds access");
    with("strncat", "strcpy(b, \"ab\"); strncat(b, \"cdef\", 2); printf(\"%s\", b);", "abcd");
    with("memcpy and memset return the target", "printf(\"%s %d\", memcpy(b, \"xyz\", 4), strlen(memset(c, 0, 8)));", "xyz 0");
    with("memcpy overlapping", "strcpy(b, \"abcdef\"); memmove(&b[1], b, 3); printf(\"%s\", b);", "aabcef");
    with("memcpy past the target", "memcpy(b, \"0123456789\", 9);", "error: out of bounds access");
    with("memcpy past the source", "memcpy(b, \"ab\", 4);", "error: out of bounds access");
    with("memset with a negative count", "memset(b, 0, -1);", "error: out of bounds access");
    with("memset past the target", "memset(b, 0, 9);", "error: out of bounds access");
    with("memchr and memcmp", "strcpy(b, \"hello\"); printf(\"%s %d %d\", memchr(b, 'l', 5), memcmp(b, \"help\", 3), memchr(b, 'z', 5) == 0);", "llo 0 1");
    addRow("searching", "char *s = \"a,b;c\"; printf(\"%s %s %d %d %s %s\", strchr(s, ','), strrchr(s, 'b'), strspn(s, \"a,\"), strcspn(s, \";\"), strpbrk(s, \";\"), strstr(s, \"b;\"));",
           ",b;c b;c 2 3 ;c b;c");
    with("strtok", "strcpy(b, \"a,b,,c\"); char *t = strtok(b, \",\"); printf(\"%s\", t); t = strtok(0, \",\"); printf(\" %s\", t); t = strtok(0, \",\"); printf(\" %s\", t); printf(\" %d\", strtok(0, \",\") == 0);",
         "a b c 1");
    addRow("strtok after its text was freed", "char *p = malloc(8); strcpy(p, \"a b c\"); strtok(p, \" \"); free(p); strtok(0, \" \");",
           "error: out of bounds access");
    addRow("strerror is readable", "char *e = strerror(EDOM); printf(\"%d\", strlen(e) > 0);", "1");
    addRow("strerror is read-only", "char *e = strerror(EDOM); e[0] = 'x';", "error: can't assign to this");
}

void TestStdlibFunctions::stdlib_data()
{
    columns();
    addRow("abs", "printf(\"%d %d %d %d\", abs(-7), labs(7), abs(0), abs(-2147483647 - 1));", "7 7 0 -2147483648");
    addRow("conversions", "printf(\"%d %d %g %d\", atoi(\"42x\"), atol(\"-9\"), atof(\"2.5\"), strtol(\"ff\", 0, 16));", "42 -9 2.5 255");
    addRow("strtol end pointer", "char *s = \"12ab\"; char *end; int v = strtol(s, &end, 10); printf(\"%d %s\", v, end);", "12 ab");
    addRow("strtod end pointer", "char *s = \"1.5e1z\"; char *end; double v = strtod(s, &end); printf(\"%g %s\", v, end);", "15 z");
    addRow("strtol beyond 32 bits", "errno = 0; int v = strtol(\"9999999999\", 0, 10); printf(\"%d %d\", v, errno == ERANGE);", "2147483647 1");
    addRow("strtoul of -1", "printf(\"%u\", strtoul(\"-1\", 0, 10));", "4294967295");
    addRow("strtol end pointer into an int", "int small[2]; strtol(\"1\", (char **) &small[1], 10);", "error: out of bounds access");
    addRow("rand is repeatable", "srand(5); int a = rand(); srand(5); printf(\"%d\", a == rand());", "1");
    addRow("abort reports", "abort();", "error: abort");
    addRow("getenv of a missing name", "printf(\"%d\", getenv(\"LODVANE_SURELY_UNSET\") == 0);", "1");
    addRow("getenv text is readable", "char *p = getenv(\"PATH\"); printf(\"%d\", strlen(p) > 0);", "1");
}

void TestStdlibFunctions::heap_data()
{
    columns();
    addRow("malloc, use, free", "char *p = malloc(8); strcpy(p, \"heap\"); printf(\"%s\", p); free(p);", "heap");
    addRow("malloc is zero-filled", "int *p = malloc(8); printf(\"%d\", p[1]); free(p);", "0");
    addRow("calloc", "int *p = calloc(4, 4); p[3] = 9; printf(\"%d %d\", p[0], p[3]); free(p);", "0 9");
    addRow("index past a block", "int *p = malloc(8); p[2] = 1;", "error: out of bounds access");
    addRow("use after free", "int *p = malloc(8); free(p); p[0] = 1;", "error: out of bounds access");
    addRow("double free", "int *p = malloc(8); free(p); free(p);", "error: invalid pointer");
    addRow("free of a global", "int x; free(&x);", "error: invalid pointer");
    addRow("free inside a block", "char *p = malloc(8); free(p + 1);", "error: invalid pointer");
    addRow("free of null", "free(0); printf(\"ok\");", "ok");
    addRow("realloc keeps and grows", "char *p = malloc(4); strcpy(p, \"abc\"); p = realloc(p, 100); p[99] = 1; printf(\"%s %d\", p, p[50]); free(p);",
           "abc 0");
    addRow("realloc of null allocates", "char *p = realloc(0, 4); p[3] = 1; free(p); printf(\"ok\");", "ok");
    addRow("realloc of a non-block", "char b[4]; realloc(b, 8);", "error: invalid pointer");
    addRow("negative size", "printf(\"%d\", malloc(-1) == 0);", "1");
}

void TestStdlibFunctions::time_data()
{
    columns();
    addRow("time stores through its pointer", "int t; int r = time(&t); printf(\"%d %d\", r == t, t > 1600000000);", "1 1");
    addRow("time into a short", "short h[2]; time((int *) &h[1]);", "error: out of bounds access");
    addRow("gmtime and asctime", "int t = 86400; printf(\"%s\", asctime(gmtime(&t)));", "Fri Jan  2 00:00:00 1970\n");
    addRow("strftime", "int t = 0; char b[20]; int n = strftime(b, 20, \"%Y-%m-%d\", gmtime(&t)); printf(\"%d %s\", n, b);", "10 1970-01-01");
    addRow("strftime past its buffer", "int t = 0; char b[4]; strftime(b, 20, \"%Y\", gmtime(&t));", "error: out of bounds access");
    addRow("difftime", "printf(\"%g\", difftime(10, 4));", "6");
    addRow("clock counts in thousandths", "printf(\"%d %d\", clock() >= 0, CLOCKS_PER_SEC);", "1 1000");
    addRow("ctime is readable", "int t = 0; printf(\"%d\", strlen(ctime(&t)));", "25");
    addRow("a script's own tm", "struct tm mine; printf(\"%d\", strlen(asctime(&mine)) > 0);", "1");
    addRow("tm pointer to a small buffer", "int small[2]; asctime((struct tm *) small);", "error: out of bounds access");
}

void TestStdlibFunctions::ctype_data()
{
    columns();
    addRow("isblank", "printf(\"%d %d %d\", isblank(9), isblank(10), isblank(32));", "1 0 1");
    addRow("toascii and isascii", "printf(\"%d %d %d\", toascii(200), isascii(127), isascii(-1));", "72 1 0");
    addRow("classes are truth values", "printf(\"%d %d %d %d\", isdigit('5') != 0, isalpha('5') != 0, isupper('A') != 0, isxdigit('g') != 0);",
           "1 0 1 0");
    addRow("out of range is no class", "printf(\"%d %d %d\", isalpha(1000000), isspace(-5), isprint(233));", "0 0 0");
    addRow("case conversion of letters only", "printf(\"%c%c%d%d\", toupper('a'), tolower('Q'), toupper(233), tolower(-1));", "Aq233-1");
}

void TestStdlibFunctions::constants_data()
{
    columns();
    QTest::newRow("errno values are the host's")
        << QByteArray("printf(\"%d %d %d %d\", EDOM, ERANGE, ENOENT, EWOULDBLOCK);")
        << QByteArray::number(EDOM) + ' ' + QByteArray::number(ERANGE) + ' ' + QByteArray::number(ENOENT) + ' ' +
               QByteArray::number(EWOULDBLOCK);
    addRow("errno is the host's", "errno = 0; sqrt(-1); log(0); printf(\"%d\", errno == ERANGE);", "1");
    addRow("booleans", "bool b = true; printf(\"%d %d %d\", b, false, __bool_true_false_are_defined);", "1 0 1");
    addRow("constants are read-only", "EDOM = 3;", "error: can't assign to this");
}

void TestStdlibFunctions::nullIsDefinedOnce()
{
    QCOMPARE(run(&st, "printf(\"%d\", NULL);"), QByteArray("0"));
    ScriptValue *null = lookupVariable(&st, internString(&st, "NULL"));
    QVERIFY(null);
    QVERIFY(engineProtectedCall(&st, [&] { stringSetup(&st); stdlibSetup(&st); }));
    QCOMPARE(addressOf(lookupVariable(&st, internString(&st, "NULL"))), addressOf(null));
}

void TestStdlibFunctions::leftoverBlocksAndFilesAreReleased()
{
    QCOMPARE(run(&st, "char *p = malloc(100); FILE *f = tmpfile(); char *q = calloc(3, 3); printf(\"ok\");"), QByteArray("ok"));
}

void TestStdlibFunctions::exitLeavesWithItsValue()
{
    QVERIFY(!runStatements(&st, "printf(\"a\"); exit(3); printf(\"b\");").isEmpty());
    QCOMPARE(st.exitValue, 3);
    QCOMPARE(capturedOutput(), QByteArray("a"));
}

QTEST_GUILESS_MAIN(TestStdlibFunctions)
#include "tst_stdlib_functions.moc"

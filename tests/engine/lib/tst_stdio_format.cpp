// The printf engine and the scanf bridge, driven from script statements with
// the output hooks capturing what printf emits.
#include "libfixture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

// Output of the statements, or "error: " and the message of the report.
QByteArray run(EngineState *st, const QByteArray &statements)
{
    QByteArray error = runStatements(st, statements);
    if (error.isEmpty())
        return capturedOutput();
    int at = error.indexOf(' ', 7);
    return "error: " + error.mid(at + 1);
}

} // namespace

class TestStdioFormat : public QObject
{
    Q_OBJECT

private:
    EngineState st;

private slots:
    void init();
    void cleanup();

    void formatsOutput_data();
    void formatsOutput();
    void printfIntoArrays_data();
    void printfIntoArrays();
    void scansInput_data();
    void scansInput();
    void hookTextIsCutAtTheScratchBuffer();
    void fileWrittenAndReadBack();
    void putsBypassesTheHooks();
    void getsRemovesTheLineFeed();
    void fileChecks_data();
    void fileChecks();
};

void TestStdioFormat::init()
{
    captureOutput();
    QVERIFY(engineInit(&st, kEngineStackBytes));
    QVERIFY(includeStandardLibrary(&st));
}

void TestStdioFormat::cleanup()
{
    engineCleanup(&st);
    scriptSources().clear();
    QCOMPARE(st.heapBlocks, 0L);
    captureOutput();
}

void TestStdioFormat::formatsOutput_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char *name, const char *script, const QByteArray &expected) {
        QTest::newRow(name) << QByteArray(script) << expected;
    };
    row("missing argument prints XXX", "printf(\"%d and %d\", 5);", "5 and XXX");
    row("int for a string prints XXX", "printf(\"[%s]\", 3);", "[XXX]");
    row("double for an integer truncates", "printf(\"%d %d\", 2.9, -2.9);", "2 -2");
    row("pointer for an integer prints XXX", "printf(\"%d\", \"x\");", "XXX");
    row("width and precision", "printf(\"[%8.2f]\", 3.14159);", "[    3.14]");
    row("percent uses no argument", "printf(\"100%% %d\", 7);", "100% 7");
    row("count returned", "int n = printf(\"abc%d\", 42); printf(\" %d\", n);", "abc42 5");
    row("char and short sign-extend", "char c = -3; short h = -4; printf(\"%d %d\", c, h);", "-3 -4");
    row("unsigned char zero-extends", "unsigned char u = 200; printf(\"%d\", u);", "200");
    row("hex of -1 is 32 bits", "printf(\"%x %lx %llx\", -1, -1, -1);", "ffffffff ffffffff ffffffff");
    row("long long of a negative", "printf(\"%lld %ld %jd %zd %td\", -5, -6, -7, -8, -9);", "-5 -6 -7 -8 -9");
    row("h and hh narrow as the host does", "printf(\"%hd %hhd\", 70000, 300);", "4464 44");
    row("odd length pair is dropped", "printf(\"%hld|%lllld\", 5, 6);", "5|XXX");
    row("long double floating", "printf(\"%.1Lf %.1lf\", 2.25, 1.5);", "2.2 1.5");
    row("a takes the integer as a double", "printf(\"%a\", 2.9);", "0x1p+1");
    row("flags", "printf(\"[%-5d][%05d][%+d][% d][%#x]\", 1, 2, 3, 4, 255);", "[1    ][00002][+3][ 4][0xff]");
    row("character", "printf(\"%c%c\", 'o', 107);", "ok");
    row("strings from arrays and pointers", "char a[6]; strcpy(a, \"arr\"); char *p = \"ptr\"; printf(\"%s %s %.2s\", a, p, p);", "arr ptr pt");
    row("null string pointer", "char *p = 0; printf(\"%s\", p);", "(null)");
    row("star width", "printf(\"[%*d]\", 5, 42);", "[   42]");
    row("negative star width left-justifies", "printf(\"[%*d]\", -4, 7);", "[7   ]");
    row("star precision", "printf(\"[%.*f]\", 2, 3.14159);", "[3.14]");
    row("negative star precision is none", "printf(\"[%.*s]\", -1, \"abc\");", "[abc]");
    row("missing star argument", "printf(\"[%*d]\");", "[XXX]");
    row("non-numeric star argument", "printf(\"[%*d]\", \"w\", 1);", "[XXX]");
    row("positional argument refused", "printf(\"%1$d|%d\", 1, 2);", "XXX|2");
    row("format ending in a percent", "printf(\"ab%\");", "ab%");
    row("format ending inside a conversion", "printf(\"ab%-5\", 1);", "ab%-5");
    row("80 characters without a letter use one argument",
        "printf(\"%1111111111111111111111111111111111111111111111111111111111111111111111111111111d|%d\", 1, 2);", "d|2");
    row("n into an int array", "int c[2]; printf(\"abc%n!\", c); printf(\"%d\", c[0]);", "abc!3");
    row("n through an int pointer", "int k; printf(\"ab%nc\", &k); printf(\"%d\", k);", "abc2");
    row("n with another type stores nothing", "double d = 1.5; printf(\"ab%n%d\", &d, 9); printf(\" %f\", d);", "ab9 1.500000");
    row("n through a read-only pointer", "int *p = (int *) strerror(EDOM); printf(\"ab%n\", p);", "error: out of bounds access");
    row("m is the errno text", "errno = EDOM; printf(\"%m\");", QByteArray(strerror(EDOM)));
    row("p of an array is its address", "int a[2]; char t[40]; sprintf(t, \"%p\", a); printf(\"%d\", strlen(t) > 2);", "1");
    row("string without its NUL in an array", "char s[3]; memset(s, 'a', 3); printf(\"%s\", s);", "error: out of bounds access");
    row("string without its NUL on the heap", "char *p = malloc(3); memset(p, 'a', 3); printf(\"%s\", p);", "error: out of bounds access");
    row("fprintf to a FILE reaches the hooks", "fprintf(stderr, \"x%d\", 1);", "x1");
    row("empty va_list prints XXX", "va_list v; vprintf(\"a%d\", v);", "aXXX");
    row("made-up va_list", "va_list v; memset(&v, 1, 8); vprintf(\"a\", v);", "error: invalid va_list");
}

void TestStdioFormat::formatsOutput()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);
    QCOMPARE(run(&st, script), expected);
}

void TestStdioFormat::printfIntoArrays_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char *name, const char *script, const char *expected) {
        QTest::newRow(name) << QByteArray(script) << QByteArray(expected);
    };
    const char *fill = "char b[10]; memset(b, 'z', 10); ";
    auto filled = [fill](const char *rest) { return QByteArray(fill) + rest; };
    QTest::newRow("sprintf count and NUL")
        << filled("int n = sprintf(b, \"ab%d\", 7); printf(\"%d %s %d %c\", n, b, b[3], b[4]);") << QByteArray("3 ab7 0 z");
    QTest::newRow("snprintf with n = 4 stores three letters and a NUL")
        << filled("int n = snprintf(b, 4, \"abcdef\"); printf(\"%d %s %c\", n, b, b[4]);") << QByteArray("3 abc z");
    QTest::newRow("snprintf cuts a conversion")
        << filled("int n = snprintf(b, 5, \"%d\", 1234567); printf(\"%d %s\", n, b);") << QByteArray("4 1234");
    QTest::newRow("snprintf with n = 0 stores nothing")
        << filled("int n = snprintf(b, 0, \"abc\"); printf(\"%d %c\", n, b[0]);") << QByteArray("0 z");
    QTest::newRow("snprintf with n = 1 stores the NUL")
        << filled("int n = snprintf(b, 1, \"abc\"); printf(\"%d %d\", n, b[0]);") << QByteArray("0 0");
    row("sprintf past the array", "char b[4]; sprintf(b, \"%s\", \"abcdefgh\");", "error: out of bounds access");
    row("sprintf NUL past the array", "char b[4]; sprintf(b, \"abcd\");", "error: out of bounds access");
    row("snprintf with n beyond the array", "char b[4]; snprintf(b, 100, \"abcdefgh\");", "error: out of bounds access");
    row("snprintf with n beyond the array but short text", "char b[4]; int n = snprintf(b, 100, \"ab\"); printf(\"%d %s\", n, b);", "2 ab");
    row("sprintf into a literal", "sprintf(\"abc\", \"x\");", "error: out of bounds access");
    row("sprintf through a null pointer", "char *p = 0; sprintf(p, \"x\");", "error: NULL pointer dereference");
    row("a conversion longer than the scratch buffer",
        "char *big = malloc(3000); int n = sprintf(big, \"%2500d\", 7); printf(\"%d %d %c\", n, strlen(big), big[2499]); free(big);",
        "2500 2500 7");
    row("a long conversion cut by snprintf",
        "char *big = malloc(3000); int n = snprintf(big, 6, \"%2500d\", 7); printf(\"%d %d\", n, strlen(big)); free(big);", "5 5");
    row("a long conversion past the heap block",
        "char *big = malloc(2000); sprintf(big, \"%2500d\", 7);", "error: out of bounds access");
}

void TestStdioFormat::printfIntoArrays()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);
    QCOMPARE(run(&st, script), expected);
}

void TestStdioFormat::scansInput_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char *name, const char *script, const char *expected) {
        QTest::newRow(name) << QByteArray(script) << QByteArray(expected);
    };
    const char *vars = "int i; int j; double d; char s[4]; int a[2]; ";
    auto with = [vars](const char *rest) { return QByteArray(vars) + rest; };
    QTest::newRow("int and string") << with("int n = sscanf(\"12 ab\", \"%d %s\", &i, s); printf(\"%d %d %s\", n, i, s);") << QByteArray("2 12 ab");
    QTest::newRow("double with l") << with("sscanf(\"2.5\", \"%lf\", &d); printf(\"%.2f\", d);") << QByteArray("2.50");
    QTest::newRow("array element target") << with("sscanf(\"7 8\", \"%d %d\", a, &a[1]); printf(\"%d %d\", a[0], a[1]);") << QByteArray("7 8");
    QTest::newRow("suppressed conversion takes no target") << with("sscanf(\"1 2\", \"%*d %d\", &i); printf(\"%d\", i);") << QByteArray("2");
    QTest::newRow("percent takes no target") << with("int n = sscanf(\"5%\", \"%d%%\", &i); printf(\"%d %d\", n, i);") << QByteArray("1 5");
    QTest::newRow("string cut to its buffer") << with("int n = sscanf(\"abcdefgh\", \"%s\", s); printf(\"%d %s\", n, s);") << QByteArray("1 abc");
    QTest::newRow("scan set cut to its buffer") << with("sscanf(\"abcdef,x\", \"%[^,]\", s); printf(\"%s\", s);") << QByteArray("abc");
    QTest::newRow("scan set with a bracket") << with("sscanf(\"]]a\", \"%[]]\", s); printf(\"%s\", s);") << QByteArray("]]");
    QTest::newRow("width that fits") << with("sscanf(\"abcdef\", \"%2s\", s); printf(\"%s\", s);") << QByteArray("ab");
    QTest::newRow("characters") << with("sscanf(\"xyz\", \"%3c\", s); s[3] = 0; printf(\"%s\", s);") << QByteArray("xyz");
    QTest::newRow("n counts consumed characters") << with("sscanf(\"abc 5\", \"abc %d%n\", &i, &j); printf(\"%d %d\", i, j);") << QByteArray("5 5");
    QTest::newRow("eleven targets") << with("sscanf(\"1\", \"%d\", &i, &i, &i, &i, &i, &i, &i, &i, &i, &i, &i);")
                                    << QByteArray("error: too many arguments to scanf() - 10 max");
    QTest::newRow("ten targets are fine") << with("int n = sscanf(\"1 2\", \"%d %d\", &i, &j, &i, &i, &i, &i, &i, &i, &i, &i); printf(\"%d %d\", n, j);")
                                          << QByteArray("2 2");
    QTest::newRow("int instead of its address") << with("sscanf(\"1 2\", \"%d %d\", &i, j);")
                                               << QByteArray("error: non-pointer argument to scanf() - argument 2 after format");
    QTest::newRow("more conversions than targets") << with("sscanf(\"1 2\", \"%d %d\", &i);") << QByteArray("error: not enough arguments to scanf()");
    QTest::newRow("width beyond the buffer") << with("sscanf(\"abcdef\", \"%5s\", s);") << QByteArray("error: out of bounds access");
    QTest::newRow("long into the last int of an array") << with("sscanf(\"5\", \"%ld\", &a[1]);") << QByteArray("error: out of bounds access");
    QTest::newRow("characters beyond the buffer") << with("sscanf(\"abcdef\", \"%5c\", s);") << QByteArray("error: out of bounds access");
    QTest::newRow("into a literal") << with("sscanf(\"ab\", \"%s\", \"xyz\");") << QByteArray("error: out of bounds access");
    QTest::newRow("allocating conversion refused") << with("sscanf(\"ab\", \"%ms\", s);") << QByteArray("error: bad scanf() format");
    QTest::newRow("positional conversion refused") << with("sscanf(\"1\", \"%1$d\", &i);") << QByteArray("error: bad scanf() format");
    QTest::newRow("source without its NUL") << with("memset(s, 'a', 4); sscanf(s, \"%d\", &i);") << QByteArray("error: out of bounds access");
    QTest::newRow("empty va_list") << with("va_list v; int n = vsscanf(\"1\", \"x\", v); printf(\"%d\", n);") << QByteArray("0");
    row("null target", "int *p = 0; sscanf(\"1\", \"%d\", p);", "error: NULL pointer dereference");
}

void TestStdioFormat::scansInput()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);
    QCOMPARE(run(&st, script), expected);
}

void TestStdioFormat::hookTextIsCutAtTheScratchBuffer()
{
    QCOMPARE(run(&st, "int n = printf(\"%2000d|\", 5); printf(\"=%d\", n);"), QByteArray(1023, ' ') + "|=1024");
}

void TestStdioFormat::fileWrittenAndReadBack()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray path = dir.filePath("data.txt").toLocal8Bit();
    setOutputHooks(nullptr, nullptr); // with hooks, fprintf would reach them instead of the file
    QByteArray write = "FILE *f = fopen(\"" + path + "\", \"w\"); fprintf(f, \"%d %s\\n\", 42, \"words\"); "
                       "fputs(\"second line\\n\", f); fclose(f);";
    QCOMPARE(runStatements(&st, write), QByteArray());
    captureOutput();
    QByteArray read = "char line[40]; int n; char w[10]; FILE *g = fopen(\"" + path + "\", \"r\"); "
                      "int got = fscanf(g, \"%d %s\", &n, w); fgetc(g); fgets(line, 40, g); "
                      "int pos; fgetpos(g, &pos); int end = feof(g); fclose(g); "
                      "printf(\"%d %d %s|%s|%d\", got, n, w, line, pos);";
    QCOMPARE(run(&st, read), QByteArray("2 42 words|second line\n|21"));
}

void TestStdioFormat::putsBypassesTheHooks()
{
    QCOMPARE(run(&st, "int r = puts(\"\"); putchar(10); fflush(stdout); printf(\"%d\", r >= 0);"), QByteArray("1"));
}

void TestStdioFormat::getsRemovesTheLineFeed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray path = dir.filePath("input.txt").toLocal8Bit();
    FILE *input = fopen(path.constData(), "w");
    QVERIFY(input);
    fputs("line one\nsecond\n", input);
    fclose(input);
    QVERIFY(freopen(path.constData(), "r", stdin));
    QByteArray script = "char b[20]; char *r = gets(b); printf(\"[%s] %d \", b, r == &b[0]); "
                        "char s[4]; gets(s); printf(\"[%s]\", s); gets(b); printf(\"[%s]\", b); "
                        "printf(\" %d\", gets(b) == 0);";
    QByteArray output = run(&st, script);
    QVERIFY(freopen("/dev/null", "r", stdin));
    QCOMPARE(output, QByteArray("[line one] 1 [sec][ond] 1"));
}

void TestStdioFormat::fileChecks_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char *name, const char *script, const char *expected) {
        QTest::newRow(name) << QByteArray(script) << QByteArray(expected);
    };
    row("made-up FILE pointer", "char b[8]; fputc('x', (FILE *) b);", "error: invalid FILE pointer");
    row("null FILE pointer", "FILE *f = 0; fgetc(f);", "error: NULL pointer dereference");
    row("closed FILE pointer", "FILE *f = tmpfile(); fclose(f); fputc('x', f);", "error: invalid FILE pointer");
    row("standard streams are not closed", "printf(\"%d\", fclose(stdout));", "-1");
    row("fread into a small buffer", "FILE *f = tmpfile(); char b[4]; fread(b, 1, 5, f);", "error: out of bounds access");
    row("fwrite from a small buffer", "FILE *f = tmpfile(); char b[4]; fwrite(b, 2, 3, f);", "error: out of bounds access");
    row("fgets into a small buffer", "FILE *f = tmpfile(); char b[4]; fgets(b, 5, f);", "error: out of bounds access");
    row("fread through a tmpfile", "FILE *f = tmpfile(); fputs(\"hello\", f); rewind(f); char b[8]; int n = fread(b, 1, 8, f); b[n] = 0; printf(\"%d %s %d\", n, b, ftell(f));",
        "5 hello 5");
    row("fopen of a missing file", "FILE *f = fopen(\"/nonexistent/x\", \"r\"); printf(\"%d %d\", f == 0, errno == ENOENT);", "1 1");
    row("constants", "printf(\"%d %d %d %d %d %d %d %d\", EOF, SEEK_END, BUFSIZ, FILENAME_MAX, _IOLBF, _IONBF, L_tmpnam, GETS_MAX);",
        "-1 2 512 260 64 4 260 255");
}

void TestStdioFormat::fileChecks()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);
    QCOMPARE(run(&st, script), expected);
}

QTEST_GUILESS_MAIN(TestStdioFormat)
#include "tst_stdio_format.moc"

// The standard headers driven from script statements, with the output hooks
// capturing what printf emits: the printf engine and the scanf bridge, files,
// math, strings, stdlib, the heap, time, ctype and the constants, and every
// storage check behind them.
#include "enginefixture.h"

#include "lib/library.h"

#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

namespace {

void row(const char *name, const QByteArray &script, const QByteArray &expected)
{
    QTest::newRow(name) << script << expected;
}

} // namespace

class TestHeaders : public EngineTest
{
    Q_OBJECT

private slots:
    void init() { EngineTest::init(); QVERIFY(includeAllHeaders(&st)); }

    void statements_data();
    void statements();
    void fileWrittenAndReadBack();
    void nullIsDefinedOnce();
};

// printf and scanf, each with its storage checks, files, and the other
// headers.
void TestHeaders::statements_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("expected");
    row("missing argument prints XXX", "printf(\"%d and %d\", 5);", "5 and XXX");
    row("int for a string prints XXX", "printf(\"[%s]\", 3);", "[XXX]");
    row("double for an integer truncates", "printf(\"%d %d\", 2.9, -2.9);", "2 -2");
    row("pointer for an integer prints XXX", "printf(\"%d\", \"x\");", "XXX");
    row("count returned", "int n = printf(\"abc%d\", 42); printf(\" %d\", n);", "abc42 5");
    row("hex of -1 is 32 bits", "printf(\"%x %lx %llx\", -1, -1, -1);", "ffffffff ffffffff ffffffff");
    row("long long of a negative", "printf(\"%lld %ld %jd %zd %td\", -5, -6, -7, -8, -9);", "-5 -6 -7 -8 -9");
    row("h and hh narrow as the host does", "printf(\"%hd %hhd\", 70000, 300);", "4464 44");
    row("odd length pair is dropped", "printf(\"%hld|%lllld\", 5, 6);", "5|XXX");
    row("a takes the integer as a double", "printf(\"%a\", 2.9);", "0x1p+1");
    row("null string pointer", "char *p = 0; printf(\"%s\", p);", "(null)");
    row("negative star width left-justifies", "printf(\"[%*d]\", -4, 7);", "[7   ]");
    row("negative star precision is none", "printf(\"[%.*s]\", -1, \"abc\");", "[abc]");
    row("non-numeric star argument", "printf(\"[%*d]\", \"w\", 1);", "[XXX]");
    row("positional argument refused", "printf(\"%1$d|%d\", 1, 2);", "XXX|2");
    row("format ending in a percent", "printf(\"ab%\");", "ab%");
    row("80 characters without a letter use one argument",
        "printf(\"%1111111111111111111111111111111111111111111111111111111111111111111111111111111d|%d\", 1, 2);", "d|2");
    row("n into an int array", "int c[2]; printf(\"abc%n!\", c); printf(\"%d\", c[0]);", "abc!3");
    row("n with another type stores nothing", "double d = 1.5; printf(\"ab%n%d\", &d, 9); printf(\" %f\", d);", "ab9 1.500000");
    row("n through a read-only pointer", "int *p = (int *) strerror(EDOM); printf(\"ab%n\", p);", "error: out of bounds access");
    row("m is the errno text", "errno = EDOM; printf(\"%m\");", QByteArray(strerror(EDOM)));
    row("p of an array is its address, of an int XXX", "int a[2]; char t[40]; sprintf(t, \"%p\", a); printf(\"%d %p\", strlen(t) > 2, 5);", "1 XXX");
    row("string without its NUL in an array", "char s[3]; memset(s, 'a', 3); printf(\"%s\", s);", "error: out of bounds access");
    row("puts and putchar bypass the hooks", "int r = puts(\"\"); putchar(10); fflush(stdout); printf(\"%d\", r >= 0);", "1");
    row("hook text is cut at the scratch buffer", "int n = printf(\"%2000d|\", 5); printf(\"=%d\", n);", QByteArray(1023, ' ') + "|=1024");
    row("empty va_list prints XXX", "va_list v; vprintf(\"a%d\", v);", "aXXX");
    row("made-up va_list", "va_list v; memset(&v, 1, 8); vprintf(\"a\", v);", "error: invalid va_list");
    const QByteArray b = "char b[10]; memset(b, 'z', 10); ";
    row("sprintf count and NUL", b + "int n = sprintf(b, \"ab%d\", 7); printf(\"%d %s %d %c\", n, b, b[3], b[4]);", "3 ab7 0 z");
    row("snprintf with n = 4 stores three letters and a NUL", b + "int n = snprintf(b, 4, \"abcdef\"); printf(\"%d %s %c\", n, b, b[4]);", "3 abc z");
    row("snprintf with n = 0 stores nothing", b + "int n = snprintf(b, 0, \"abc\"); printf(\"%d %c\", n, b[0]);", "0 z");
    row("sprintf NUL past the array", "char b[4]; sprintf(b, \"abcd\");", "error: out of bounds access");
    row("snprintf with n beyond the array", "char b[4]; snprintf(b, 100, \"abcdefgh\");", "error: out of bounds access");
    row("snprintf with n beyond the array but short text", "char b[4]; int n = snprintf(b, 100, \"ab\"); printf(\"%d %s\", n, b);", "2 ab");
    // Writes into a local array are bounded by that array, not by the stack
    // behind it, nor by the interpreter's records next to it.
    row("sprintf past a local array", "void f() { char b[10]; int n = sprintf(b, \"ab%6d\", 7); printf(\"%d %s \", n, b); "
        "sprintf(b, \"ab%400d\", 7); } f();", "error: out of bounds access");
    row("sprintf into a local array of no elements", "void f() { char b[0]; sprintf(b, \"ab\"); } f();", "error: out of bounds access");
    row("sprintf through a null pointer", "char *p = 0; sprintf(p, \"x\");", "error: NULL pointer dereference");
    row("a conversion longer than the scratch buffer",
        "char *big = malloc(3000); int n = sprintf(big, \"%1024d\", 7); printf(\"%d %d %c\", n, strlen(big), big[1023]); free(big);",
        "1024 1024 7");
    row("a long conversion cut by snprintf",
        "char *big = malloc(3000); int n = snprintf(big, 6, \"%2500d\", 7); printf(\"%d %d\", n, strlen(big)); free(big);", "5 5");
    row("a long conversion past the heap block", "char *big = malloc(2000); sprintf(big, \"%2500d\", 7);", "error: out of bounds access");
    // The scanf bridge.
    const QByteArray v = "int i; int j; double d; char s[4]; int a[2]; ";
    row("int and string", v + "int n = sscanf(\"12 ab\", \"%d %s\", &i, s); printf(\"%d %d %s\", n, i, s);", "2 12 ab");
    row("double with l", v + "sscanf(\"2.5\", \"%lf\", &d); printf(\"%.2f\", d);", "2.50");
    row("suppressed conversion takes no target", v + "sscanf(\"1 2\", \"%*d %d\", &i); printf(\"%d\", i);", "2");
    row("percent takes no target", v + "int n = sscanf(\"5%\", \"%d%%\", &i); printf(\"%d %d\", n, i);", "1 5");
    row("string cut to its buffer", v + "int n = sscanf(\"abcdefgh\", \"%s\", s); printf(\"%d %s\", n, s);", "1 abc");
    row("scan set cut to its buffer", v + "sscanf(\"abcdef,x\", \"%[^,]\", s); printf(\"%s\", s);", "abc");
    row("characters", v + "sscanf(\"xyz\", \"%3c\", s); s[3] = 0; printf(\"%s\", s);", "xyz");
    row("n counts consumed characters", v + "sscanf(\"abc 5\", \"abc %d%n\", &i, &j); printf(\"%d %d\", i, j);", "5 5");
    row("eleven targets", v + "sscanf(\"1\", \"%d\", &i, &i, &i, &i, &i, &i, &i, &i, &i, &i, &i);",
        "error: too many arguments to scanf() - 10 max");
    row("ten targets are fine", v + "int n = sscanf(\"1 2\", \"%d %d\", &i, &j, &i, &i, &i, &i, &i, &i, &i, &i); printf(\"%d %d\", n, j);",
        "2 2");
    row("int instead of its address", v + "sscanf(\"1 2\", \"%d %d\", &i, j);",
        "error: non-pointer argument to scanf() - argument 2 after format");
    row("more conversions than targets", v + "sscanf(\"1 2\", \"%d %d\", &i);", "error: not enough arguments to scanf()");
    row("width beyond the buffer", v + "sscanf(\"abcdef\", \"%5s\", s);", "error: out of bounds access");
    row("long into the last int of an array", v + "sscanf(\"5\", \"%ld\", &a[1]);", "error: out of bounds access");
    row("allocating conversion refused", v + "sscanf(\"ab\", \"%ms\", s);", "error: bad scanf() format");
    row("source without its NUL", v + "memset(s, 'a', 4); sscanf(s, \"%d\", &i);", "error: out of bounds access");
    row("null target", "int *p = 0; sscanf(\"1\", \"%d\", p);", "error: NULL pointer dereference");
    // Files.
    row("null FILE pointer", "FILE *f = 0; fgetc(f);", "error: NULL pointer dereference");
    row("closed FILE pointer", "FILE *f = tmpfile(); fclose(f); fputc('x', f);", "error: invalid FILE pointer");
    row("standard streams are not closed", "printf(\"%d\", fclose(stdout));", "-1");
    row("fread into a small buffer", "FILE *f = tmpfile(); char b[4]; fread(b, 1, 5, f);", "error: out of bounds access");
    row("fwrite of a negative size or count writes nothing",
        "FILE *f = tmpfile(); char b[4]; printf(\"%d %d %d\", fwrite(b, -1, 1, f), fwrite(b, 1, -1, f), ftell(f));", "0 0 0");
    row("fwrite from a small buffer", "FILE *f = tmpfile(); char b[4]; fwrite(b, 2, 3, f);", "error: out of bounds access");
    row("fgets into a small buffer", "FILE *f = tmpfile(); char b[4]; fgets(b, 5, f);", "error: out of bounds access");
    row("fread through a tmpfile",
        "FILE *f = tmpfile(); fputs(\"hello\", f); rewind(f); char b[8]; int n = fread(b, 1, 8, f); b[n] = 0; printf(\"%d %s %d\", n, b, ftell(f));",
        "5 hello 5");
    row("fopen of a missing file", "FILE *f = fopen(\"/nonexistent/x\", \"r\"); printf(\"%d %d\", f == 0, errno == ENOENT);", "1 1");
    row("leftover blocks and files are released at clean-up",
        "char *p = malloc(100); FILE *f = tmpfile(); char *q = calloc(3, 3); printf(\"ok\");", "ok");

    // math, string, ctype, stdlib, the heap and time.
    row("round of halves goes down",
        "printf(\"%g %g %g %g %g %g\", round(0.5), round(1.5), round(2.5), round(-2.5), round(-0.6), round(2.6));", "0 1 2 -3 -1 3");
    row("modf", "double ip; double f = modf(3.75, &ip); printf(\"%g %g\", f, ip);", "0.75 3");
    row("modf into an int", "int small[2]; modf(1.5, (double *) &small[1]);", "error: out of bounds access");
    row("frexp through null", "int *p = 0; frexp(1.0, p);", "error: NULL pointer dereference");
    row("wrappers", "printf(\"%g %g %g %g %g %g %g\", sqrt(16), pow(2, 10), fabs(-3), floor(-1.5), ceil(1.2), fmod(7, 3), ldexp(1, 3));",
        "4 1024 3 -2 2 1 8");
    row("errno is the host's", "errno = 0; sqrt(-1); log(0); printf(\"%d\", errno == ERANGE);", "1");
    row("booleans", "bool b = true; printf(\"%d %d %d\", b, false, __bool_true_false_are_defined);", "1 0 1");
    const QByteArray bc = "char b[8]; char c[8]; ";
    row("strcpy needs room for the NUL", bc + "strcpy(b, \"12345678\");", "error: out of bounds access");
    row("strcat needs room for the result", bc + "strcpy(b, \"1234\"); strcat(b, \"5678\");", "error: out of bounds access");
    row("strcpy into a literal", bc + "char *p = \"abc\"; strcpy(p, \"x\");", "error: out of bounds access");
    row("strlen without a NUL", bc + "memset(b, 'a', 8); strlen(b);", "error: out of bounds access");
    row("strcmp above 127 comes after", bc + "strcpy(b, \"a\"); b[0] = 200; printf(\"%d %d\", strcmp(b, \"a\"), strcmp(\"a\", b));", "1 -1");
    row("strncmp", "printf(\"%d %d\", strncmp(\"abcd\", \"abxx\", 2), strncmp(\"abcd\", \"abxx\", 3) < 0);", "0 1");
    row("strncmp may stop before a missing NUL", bc + "memset(b, 'a', 8); memset(c, 'a', 8); printf(\"%d\", strncmp(b, c, 8));", "0");
    row("strncmp past the storage", bc + "memset(b, 'a', 8); memset(c, 'a', 8); strncmp(b, c, 9);", "error: out of bounds access");
    row("strncpy pads", bc + "memset(b, 'z', 8); strncpy(b, \"ab\", 4); printf(\"%s %c\", b, b[4]);", "ab z");
    row("strncpy past the buffer", bc + "strncpy(b, \"ab\", 9);", "error: out of bounds access");
    row("strncat", bc + "strcpy(b, \"ab\"); strncat(b, \"cdef\", 2); printf(\"%s\", b);", "abcd");
    row("memcpy and memset return the target", bc + "printf(\"%s %d\", memcpy(b, \"xyz\", 4), strlen(memset(c, 0, 8)));", "xyz 0");
    row("memcpy past the target", bc + "memcpy(b, \"0123456789\", 9);", "error: out of bounds access");
    row("memcpy past the source", bc + "memcpy(b, \"ab\", 4);", "error: out of bounds access");
    row("memset with a negative count", bc + "memset(b, 0, -1);", "error: out of bounds access");
    row("memset past the target", bc + "memset(b, 0, 9);", "error: out of bounds access");
    row("memchr and memcmp", bc + "strcpy(b, \"hello\"); printf(\"%s %d %d\", memchr(b, 'l', 5), memcmp(b, \"help\", 3), memchr(b, 'z', 5) == 0);",
        "llo 0 1");
    row("searching",
        "char *s = \"a,b;c\"; printf(\"%s %s %d %d %s %s\", strchr(s, ','), strrchr(s, 'b'), strspn(s, \"a,\"), strcspn(s, \";\"), strpbrk(s, \";\"), strstr(s, \"b;\"));",
        ",b;c b;c 2 3 ;c b;c");
    row("strtok",
        bc + "strcpy(b, \"a,b,,c\"); char *t = strtok(b, \",\"); printf(\"%s\", t); t = strtok(0, \",\"); printf(\" %s\", t); t = strtok(0, \",\"); printf(\" %s\", t); printf(\" %d\", strtok(0, \",\") == 0);",
        "a b c 1");
    row("strtok after its text was freed", "char *p = malloc(8); strcpy(p, \"a b c\"); strtok(p, \" \"); free(p); strtok(0, \" \");",
        "error: out of bounds access");
    row("strerror is read-only", "char *e = strerror(EDOM); e[0] = 'x';", "error: can't assign to this");
    row("each class and conversion is its own",
        "printf(\"%d%d%d%d%d%d%d%d%d%d%d%d %d %d\", isalnum('a') != 0, isalpha('1') != 0, isblank('\\t') != 0, iscntrl(127) != 0, isdigit('7') != 0, isgraph(' ') != 0, islower('A') != 0, isprint(' ') != 0, ispunct('!') != 0, isspace('\\n') != 0, isupper('A') != 0, isxdigit('g') != 0, isascii(200), toascii(200));", "101110011110 0 72");
    row("out of range is no class", "printf(\"%d %d %d %d\", isalpha(1000000), isspace(-5), isprint(233), iscntrl(0) != 0);", "0 0 0 1");
    row("strtol end pointer", "char *s = \"12ab\"; char *end; int v = strtol(s, &end, 10); printf(\"%d %s\", v, end);", "12 ab");
    row("strtod end pointer", "char *s = \"1.5e1z\"; char *end; double v = strtod(s, &end); printf(\"%g %s\", v, end);", "15 z");
    row("strtol beyond 32 bits", "errno = 0; int v = strtol(\"9999999999\", 0, 10); printf(\"%d %d\", v, errno == ERANGE);", "2147483647 1");
    row("strtoul of -1", "printf(\"%u\", strtoul(\"-1\", 0, 10));", "4294967295");
    row("strtol end pointer into an int", "int small[2]; strtol(\"1\", (char **) &small[1], 10);", "error: out of bounds access");
    row("abort reports", "abort();", "error: abort");
    row("malloc is zero-filled", "int *p = malloc(8); printf(\"%d\", p[1]); free(p);", "0");
    row("index past a block", "int *p = malloc(8); p[2] = 1;", "error: out of bounds access");
    row("use after free", "int *p = malloc(8); free(p); p[0] = 1;", "error: out of bounds access");
    row("double free", "int *p = malloc(8); free(p); free(p);", "error: invalid pointer");
    row("free inside a block", "char *p = malloc(8); free(p + 1);", "error: invalid pointer");
    row("free of null", "free(0); printf(\"ok\");", "ok");
    row("realloc keeps and grows", "char *p = malloc(4); strcpy(p, \"abc\"); p = realloc(p, 100); p[99] = 1; printf(\"%s %d\", p, p[50]); free(p);",
        "abc 0");
    row("realloc of null allocates", "char *p = realloc(0, 4); p[3] = 1; free(p); printf(\"ok\");", "ok");
    row("realloc of a non-block", "char b[4]; realloc(b, 8);", "error: invalid pointer");
    row("negative size", "printf(\"%d\", malloc(-1) == 0);", "1");
    row("time stores through its pointer", "int t; int r = time(&t); printf(\"%d %d\", r == t, t > 1600000000);", "1 1");
    row("time into a short", "short h[2]; time((int *) &h[1]);", "error: out of bounds access");
    row("gmtime and asctime", "int t = 86400; printf(\"%s\", asctime(gmtime(&t)));", "Fri Jan  2 00:00:00 1970\n");
    row("strftime", "int t = 0; char b[20]; int n = strftime(b, 20, \"%Y-%m-%d\", gmtime(&t)); printf(\"%d %s\", n, b);", "10 1970-01-01");
    row("strftime past its buffer", "int t = 0; char b[4]; strftime(b, 20, \"%Y\", gmtime(&t));", "error: out of bounds access");
    row("clock counts in thousandths", "printf(\"%d %d\", clock() >= 0, CLOCKS_PER_SEC);", "1 1000");
    row("tm pointer to a small buffer", "int small[2]; asctime((struct tm *) small);", "error: out of bounds access");
}

void TestHeaders::statements()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);
    QCOMPARE(runOutput(&st, script), expected);
}

// The file is then standard input for gets, which drops the line feed and
// cuts a line to its buffer.
void TestHeaders::fileWrittenAndReadBack()
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
                      "int pos; fgetpos(g, &pos); int end = fgetc(g) == EOF && feof(g); fclose(g); "
                      "printf(\"%d %d %s|%s|%d %d\", got, n, w, line, pos, end);";
    QCOMPARE(runOutput(&st, read), QByteArray("2 42 words|second line\n|21 1"));
    QVERIFY(freopen(path.constData(), "r", stdin));
    QByteArray gets = "char b[20]; char *r = gets(b); printf(\"[%s] %d \", b, r == &b[0]); "
                      "char s[4]; gets(s); printf(\"[%s]\", s); gets(b); printf(\"[%s]\", b); "
                      "printf(\" %d\", gets(b) == 0);";
    QByteArray output = runOutput(&st, gets);
    QVERIFY(freopen("/dev/null", "r", stdin));
    QCOMPARE(output, QByteArray("[42 words] 1 [sec][ond line] 1"));
}

// Two headers define NULL; setting them up again finds the one there is.
void TestHeaders::nullIsDefinedOnce()
{
    QCOMPARE(runOutput(&st, "printf(\"%d\", NULL);"), QByteArray("0"));
    ScriptValue *null = lookupVariable(&st, internString(&st, "NULL"));
    QVERIFY(null);
    QVERIFY(engineProtectedCall(&st, [&] { stringSetup(&st); stdlibSetup(&st); }));
    QCOMPARE(addressOf(lookupVariable(&st, internString(&st, "NULL"))), addressOf(null));
}

QTEST_GUILESS_MAIN(TestHeaders)
#include "tst_headers.moc"

// Expressions: precedence, arithmetic, conversions, pointers, arrays,
// members, casts, calls and every way an access can go wrong.
#include "enginefixture.h"

namespace {

int callCount;

void setInt(ScriptValue *result, int32_t value) { memcpy(result->data, &value, sizeof value); }

void nativeCount(ParseCursor *, ScriptValue *result, ScriptValue **args, int32_t)
{
    callCount++;
    setInt(result, coerceInteger(args[0]));
}

void nativeCalls(ParseCursor *, ScriptValue *result, ScriptValue **, int32_t) { setInt(result, callCount); }

const LibraryEntry kProbes[] = {
    {nativeCount, "int Count(int);"},
    {nativeCalls, "int Calls();"},
    {nativeSum, "int Sum(int, ...);"},
    {nullptr, nullptr},
};

const char *const kDeclarations =
    "int i; int j; char c; short h; double x; double y; unsigned int u; int a[3]; int *p; int *q;"
    "char buf[8]; char *s; int m[2][3]; void *vp;"
    "struct pair { int x; int y; }; struct pair pr; struct pair *pp; struct pair prs[2];"
    "struct s { char c; int i; short h; }; union un { char c; int i; short h; };";

} // namespace

class TestExpression : public EngineTest
{
    Q_OBJECT

private slots:
    void init();

    void evaluates_data();
    void evaluates();
    void hostStackStaysBounded();
};

void TestExpression::init()
{
    EngineTest::init();
    callCount = 0;
    QVERIFY(registerHeader(&st, "probes.h", nullptr, kProbes, nullptr) && includeAllHeaders(&st));
    QCOMPARE(runStatements(&st, kDeclarations), QByteArray());
}

void TestExpression::evaluates_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("expression");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char *name, const char *setup, const char *expression, const char *expected) {
        QTest::newRow(name) << QByteArray(setup) << QByteArray(expression) << QByteArray(expected);
    };
    row("shift count modulo 32", "", "1 << 33", "int 2");
    row("wrap around", "", "2147483647 + 1", "int -2147483648");
    row("bitwise below equality", "", "6 & 3 == 3", "int 0");
    row("constant keeps its type", "", "5", "long 5");
    row("an assignment has its target's type", "", "i = 0xFFFFFFFF", "int -1");
    row("negating a decimal constant gives an int", "", "-2147483648", "int -2147483648");
    row("assignment value is before narrowing", "", "(c = 300)", "int 300");
    row("double compound into int", "i = 7; i /= 2.0;", "i", "int 3");
    row("double into int saturates high", "i = 1e20;", "i", "int 2147483647");
    row("postfix on double is old value", "x = 1.5;", "x++", "double 1.5");
    row("prefix on double is new value", "x = 1.5;", "++x", "double 2.5");
    row("not of double", "x = 0.0;", "!x", "double 1");
    row("char increments wrap", "c = 127; ++c;", "c", "char -128");
    row("pointer difference in bytes", "", "&a[2] - &a[0]", "int 8");
    row("null pointer equals zero", "", "p == 0", "int 1");
    row("pointer comparison", "p = a; q = a;", "p == q", "int 1");
    row("sizeof pointer type", "", "sizeof(char *)", "int 8");
    row("sizeof binds tighter than plus", "", "sizeof i + 1", "int 5");
    row("cast to char", "", "(char)300", "char 44");
    row("cast of out-of-range double saturates", "", "(int)1e20", "int 2147483647");
    row("cast to unsigned through 64 bits", "", "(unsigned int)4294967295.0", "unsigned int -1");
    row("cast array to pointer", "a[0] = 258;", "*(char *)a", "char 2");
    row("cast integer to pointer", "", "(int *)0", "int* null");
    row("string into longer array", "buf = \"ab\";", "buf[1] + buf[2] + buf[7]", "int 98");
    row("unsized array takes the size of the one assigned", "a[2] = 7; int w[]; w = a;", "sizeof w * 10 + w[2]", "int 127");
    row("string cut to shorter array", "buf = \"abcdefghij\";", "buf[7]", "char 104");
    row("void pointer takes any pointer", "vp = &i;", "vp == 0", "int 0");
    // A decided && or || skips the calls in its right operand (Calls() counts
    // those made), and only up to the end of that operand.
    row("and decided", "j = 0 && Count(1);", "j * 10 + Calls()", "int 0");
    row("call deeper in right operand", "j = 0 && i + Count(1);", "j * 10 + Calls()", "int 0");
    row("or decided", "j = 1 || Count(0);", "j * 10 + Calls()", "int 10");
    row("and not decided", "j = 1 && Count(1);", "j * 10 + Calls()", "int 11");
    row("skipping ends with the operand", "j = 0 && Count(1) || Count(1);", "j * 10 + Calls()", "int 11");
    row("ternary calls both", "j = 1 ? Count(1) : Count(2);", "j * 10 + Calls()", "int 12");
    row("assign in a decided right operand still runs", "j = 0 && (i = 5);", "i", "int 5");
    row("both branches of ?: run", "h = 1 ? (i = 1) : (j = 2);", "i * 10 + j", "int 12");
    row("sibling blocks may reuse a name", "{ int t; t = 1; } { int t; t = 2; i = t; }", "i", "int 2");
    row("typedef in a cast", "typedef int myint;", "(myint)2.5", "int 2");
    // A struct a call returns is a temporary: its members must be copied out
    // before the temporary is released, whatever comes after.
    const char *make = "struct pair make(int x, int y) { struct pair p; p.x = x; p.y = y; return p; }";
    row("members of temporaries", make, "make(1, 2).y * 10 + make(3, 4).x", "int 23");
    row("members of temporaries as arguments", make, "Sum(2, make(1, 2).y, make(3, 4).x)", "int 5");
    QTest::newRow("deep brackets need no recursion")
        << QByteArray() << QByteArray(10000, '(') + "1 + 2" + QByteArray(10000, ')') + " * 3" << QByteArray("int 9");
    // Errors: where the report points and what it says.
    auto fails = [](const char *name, const char *setup, const char *expression, const char *message) {
        QTest::newRow(name) << QByteArray(setup) << QByteArray(expression) << "error: " + QByteArray(message);
    };
    fails("zero compared with pointer", "", "0 == p", "test.c:1:7 invalid operation");
    fails("not of pointer", "p = a;", "!p", "test.c:1:3 invalid operation");
    fails("not of null pointer", "", "!p", "test.c:1:3 invalid use of a NULL pointer");
    fails("null pointer plus", "", "p + 1", "test.c:1:4 invalid use of a NULL pointer");
    fails("division by zero", "", "1 / 0", "test.c:1:4 division by zero");
    fails("minimum divided by minus one", "i = -2147483647 - 1;", "i / -1", "test.c:1:6 invalid operation");
    fails("too many arguments", "", "Count(1, 2)", "test.c:1:8 too many arguments to Count()");
    fails("not enough arguments", "", "Count()", "test.c:1:7 not enough arguments to 'Count'");
    fails("not a function", "", "i(1)", "test.c:1:2 int is not a function - can't call");
    fails("index past the end", "", "a[3]", "test.c:1:4 out of bounds access");
    fails("negative index", "", "a[-1]", "test.c:1:5 out of bounds access");
    fails("pointer index past storage", "p = a;", "p[1000000]", "test.c:1:10 out of bounds access");
    fails("write through pointer past storage", "p = a;", "*(p - 100000) = 1", "test.c:1:14 out of bounds access");
    fails("arrow on null", "", "pp->y", "test.c:1:5 NULL pointer dereference");
    fails("dereference null", "", "*p", "test.c:1:3 NULL pointer dereference");
    fails("dereference into a popped frame", "int *local() { int x; x = 3; return &x; }", "*local()",
        "test.c:1:8 out of bounds access");
    fails("string copy from forged pointer", "s = (char *)4096;", "buf = s", "test.c:1:8 out of bounds access");
    fails("write into literal by index", "s = \"abc\";", "s[0] = 'x'", "test.c:1:7 can't assign to this");
    fails("index a non-array", "", "i[0]", "test.c:1:4 this int is not an array");
    fails("index with a pointer", "", "a[p]", "test.c:1:4 array index must be an integer");
    fails("dot on int", "", "i.x", "test.c:1:3 can't use '.' on something that's not a struct or union  : it's a int");
    fails("missing member", "", "pr.z", "test.c:1:4 doesn't have a member called 'z'");
    fails("member name expected", "", "pr.1", "test.c:1:4 need an structure or union member after '.'");
    fails("address of constant", "", "&5", "test.c:1:2 can't get the address of this");
    fails("assign to enum constant", "enum e { A };", "A = 1", "test.c:1:4 can't assign to this");
    fails("struct from other struct", "struct other { int x; } o;", "pr = o",
        "test.c:1:7 can't assign struct pair from struct other");
    fails("array of another size", "int b[2];", "a = b", "test.c:1:6 can't assign from an array of size 2 to one of size 3");
    fails("pointer from int", "", "p = 5", "test.c:1:4 invalid operation");
    fails("pointer from other pointer", "", "p = s", "test.c:1:6 can't assign int* from char*");
    fails("question on pointer", "p = a;", "p ? 1 : 2", "test.c:1:6 first argument to '?' should be a number");
    fails("undefined name", "", "nothing", "test.c:1:8 'nothing' is undefined");
    fails("out of scope", "{ int t; }", "t", "test.c:1:2 't' is out of scope");
    fails("missing operand", "", "1 +", "test.c:1:2 invalid expression");
    fails("brackets not closed", "", "(1 + 2", "test.c:1:5 brackets not closed");
    fails("value not expected", "", "1 2", "test.c:1:2 value not expected here");
    fails("void value", "", "srand(1) + 1", "test.c:1:11 invalid operation");
    fails("modulus of doubles", "", "1.5 % 2", "test.c:1:6 invalid operation");
}

void TestExpression::evaluates()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, expression);
    QFETCH(QByteArray, expected);
    QCOMPARE(runStatements(&st, setup), QByteArray());
    QCOMPARE(evaluate(&st, expression), expected);
}

// The deepest host stack the pathological cases reach before they end
// cleanly must stay well inside a GUI thread's stack (8 MiB on Linux).
void TestExpression::hostStackStaysBounded()
{
#ifdef __SANITIZE_ADDRESS__
    const double budget = 6.0 * 1024 * 1024; // instrumented frames are about three times larger
#else
    const double budget = 2.0 * 1024 * 1024;
#endif
    auto deepest = [&](const QByteArray &text, bool statements, const char *ending) {
        QByteArray result = statements ? runStatements(&st, text) : evaluate(&st, text);
        QVERIFY2(result.endsWith(ending), result.constData());
        double used = double(st.stackBase - st.stackDeepest);
        qInfo("%s: %.0f KiB of host stack", ending, used / 1024);
        QVERIFY(used < budget);
    };
    auto calls = [](int depth) { return QByteArray("Count(").repeated(depth) + "i" + QByteArray(depth, ')'); };
    // Nested blocks recurse in the parser without using the arena: the nesting
    // limit ends them, and the state is good for the next run.
    deepest(QByteArray(20000, '{'), true, "nesting too deep");
    QCOMPARE(st.nestingDepth, 0);
    QCOMPARE(runStatements(&st, QByteArray(100, '{') + "i = 5;" + QByteArray(100, '}')), QByteArray());
    QCOMPARE(evaluate(&st, calls(100)), QByteArray("int 5"));
    // Nested calls use the arena at every level and run out of it first.
    deepest(calls(kNestingLimit), false, "out of memory");
    cleanup();
    init();
    runStatements(&st, "int down(int n) { return down(n + 1); }");
    deepest("down(0)", false, "out of memory");
}

QTEST_APPLESS_MAIN(TestExpression)
#include "tst_expression.moc"

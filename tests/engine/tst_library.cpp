// Hosts binding their own headers: prototypes, the native calling
// convention with arguments behind the last fixed one, set-up functions and
// set-up sources, and including a header once.
#include "enginefixture.h"

static const LibraryEntry kTestLibrary[] = {
    {nativeSum, "int sum(int, ...);"},
    {nullptr, nullptr},
};

static int setupRuns = 0;
static int32_t hostValue = 17;

static void testSetup(EngineState *state)
{
    setupRuns++;
    defineGlobalValue(state, nullptr, "HOST_VALUE", &state->intType, &hostValue, false);
}

class TestLibrary : public EngineTest
{
    Q_OBJECT

private slots:
    void init() { EngineTest::init(); setupRuns = 0; }
    void runs_data();
    void runs();
};

// Whole texts run the way lodvane-script runs a file: the top level, then
// main, with the limit given to engineInit and the host's header test.h
// (its set-up run once) beside the standard ones. A run ending in a report
// gives status 1 and the report's location line.
void TestLibrary::runs_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("report");
    auto row = [](const char *name, const char *text, const char *report, int status = 1, int limit = 0) {
        QTest::newRow(name) << QByteArray(text) << limit << status << QByteArray(report);
    };
    row("void main ends with status 0", "void main() { int v = 5; }", "", 0);
    row("a top-level return ends the run before main", "int n = 1;\nreturn 3;\nint main() { return 0; }", "", 3);
    row("exit inside a loop", "int main() { int i; for (i = 0; i < 10; i++) if (i == 2) exit(3); return 0; }", "", 3);
    row("variadic arguments behind the fixed one", "int main() { return sum(4, 10, 'a', 3.9); }", "", 110);
    row("set-up globals and source", "int main() { counter c = HOST_VALUE; return c; }", "", 17);
    row("host header included once", "#include \"test.h\"\n#include \"test.h\"\nint main() { return 0; }", "", 0);
    row("a script definition replaces a library prototype", "int sum(int a) { return a; }\nint main() { return sum(5); }", "", 5);
    row("fixed argument converted", "int main() { return sum(\"x\"); }",
        "text.c:1:25 can't set int from char* in argument 1 of call to sum()");
    row("limit reached at top level", "int i;\nwhile (1) i++;\nint main() { return 0; }",
        "text.c:2:8 step limit reached", 1, 100);
    row("no main", "int a = 3;", "main() is not defined");
    row("main not a function", "int main = 3;", "main is not a function - can't call it");
    row("main with bad parameters", "int main(char *s) { return 0; }", "text.c:1:17 bad parameters to main()");
    row("missing include file", "#include \"no_such_file.h\"", "can't read file no_such_file.h");
    row("parse error", "int a;\nelse a = 1;", "text.c:2:0 parse error");
    row("')' expected", "int main() { if (1 { } }", "text.c:1:19 ')' expected");
    row("'}' expected", "int main()\n{\n    int a;\n", "text.c:4:0 '}' expected");
    row("statement expected", "int main() { if (1) }", "text.c:1:20 statement expected");
    row("goto label only behind", "int f()\n{\nback:\n    goto back;\n    return 1;\n}\nint main() { return f(); }",
        "text.c:6:0 couldn't find goto label 'back'");
    row("nested function", "int main() { int inner() { return 1; } return 0; }",
        "text.c:1:23 nested function definitions are not allowed");
    row("bad function definition", "int f(int a) return a;", "text.c:1:13 bad function definition");
    row("too many parameters", "int f(int a, int b, int c, int d, int e, int f, int g, int h,\n"
        "      int i, int j, int k, int l, int m, int n, int o, int p, int q) { return 0; }",
        "text.c:1:6 too many parameters (16 allowed)");
    row("no value returned", "int f(int a) { if (a) return 1; }\nint main() { return f(0); }",
        "text.c:1:32 no value returned from a function returning int");
    row("value in return from a void function", "void f() { return 1; }\nint main() { f(); return 0; }",
        "text.c:1:18 value in return from a void function");
    row("prototype never defined", "int f();\nint main() { return f(); }", "text.c:2:22 'f' is undefined");
    row("prototype of a bound function", "int sum(int, ...);", "text.c:1:18 'sum' is already defined");
    row("function defined twice", "int f();\nint f() { return 1; }\nint f() { return 2; }",
        "text.c:3:19 'f' is already defined");
    // The value stays until the expression using it is over, then goes.
    row("global deleted while in use", "int g = 5;\nint take() { delete g; return 1; }\nint main() { return g + take(); }", "", 6);
    row("delete of a deleted name", "int a;\ndelete a;\ndelete a;", "text.c:3:6 'a' is not defined");
    row("global deleted by a function", "int a = 1;\nvoid f() { delete a; }\nint main() { f(); return a; }",
        "text.c:3:26 'a' is undefined");
    // The branches a conditional takes are checked by tests/scripts/macros.c.
    row("#endif alone", "int a;\n#endif", "text.c:2:0 #endif without #if");
    row("#else alone", "#else", "text.c:1:0 #else without #if");
    row("undefined name", "#if NOPE\n#endif", "text.c:1:4 'NOPE' is undefined");
    row("name that is no macro", "int DEFINED;\n#if DEFINED\n#endif", "text.c:2:3 value expected");
    row("#ifdef without a name", "#ifdef 5", "text.c:1:7 identifier expected");
    row("macro defined twice", "#define A 1\n#define A 2", "text.c:2:7 'A' is already defined");
    row("macro parameters not closed", "#define F(a, b\nint x;", "text.c:1:13 close bracket expected");
    row("macro used without arguments", "#define F(a) (a + 1)\nint main() { return F; }",
        "text.c:2:21 macro arguments missing");
    // Everything the calls below held is released (the memcheck run checks).
    // Refused before the strings fill almost 2 GB.
    row("global beyond the heap budget", "char names[2][954437176] = {\"ab\", \"cd\"};", "text.c:1:25 out of memory");
    row("error with an unsized local array", "int at(int n) { int local[] = {10, 20, 30}; return local[n]; }\n"
        "int main() { return at(1) + at(8); }", "text.c:1:59 out of bounds access");
    row("error deep in calls", "int depth(int n) { int local[4] = {1, 2, 3, 4}; if (n == 0) return local[4 + n * 100]; "
        "return depth(n - 1) + local[0]; }\nint main() { return depth(5); }",
        "text.c:1:85 out of bounds access");
}

void TestLibrary::runs()
{
    QFETCH(QByteArray, text);
    QFETCH(int, limit);
    QFETCH(int, status);
    QFETCH(QByteArray, report);
    EngineRunOptions options{};
    options.statementLimit = static_cast<unsigned long>(limit);
    char name[] = "text.c";
    char *argv[] = {name, nullptr};
    engineCleanup(&st);
    QVERIFY(engineInit(&st, kEngineStackBytes, &options));
    QVERIFY(registerHeader(&st, "test.h", testSetup, kTestLibrary, "typedef int counter;") && includeAllHeaders(&st));
    if (engineParse(&st, name, text.constData(), size_t(text.size())))
        engineCallMain(&st, 1, argv);
    QCOMPARE(st.exitValue, status);
    QByteArray output = capturedOutput().trimmed();
    QCOMPARE(output.mid(output.lastIndexOf('\n') + 1), report);
    QCOMPARE(setupRuns, 1);
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"

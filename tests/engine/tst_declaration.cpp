// Types and variables: layout and printed types, generated names, scopes,
// incomplete and opaque types, host globals, and the messages of
// declarations.
#include "enginefixture.h"

class TestDeclaration : public EngineTest
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void hostDefinitions();
    void reportDirectives();
};

void TestDeclaration::layout_data()
{
    QTest::addColumn<QByteArray>("declarations");
    QTest::addColumn<QByteArray>("expression");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char *name, const char *declarations, const char *expression, const char *expected) {
        QTest::newRow(name) << QByteArray(declarations) << QByteArray(expression) << QByteArray(expected);
    };
    const char *s = "struct s { char c; int i; short h; } v;";
    row("offset after padding", s, "(char *)&v.i - (char *)&v", "int 4");
    row("nested struct", "struct in { short a; char b; }; struct out { char c; struct in i; } o;", "sizeof o",
        "int 6");
    row("unsigned char", "unsigned char b; b = 300;", "b", "unsigned char 44");
    row("float is double", "float f;", "sizeof f", "int 8");
    row("array size from a constant expression", "int n[2 * 3 + 1];", "sizeof n", "int 28");
    row("enum value from expression", "enum e { A = 2 * 3, B };", "B", "int 7");
    row("self-referencing struct", "struct node { int v; struct node *next; } n;", "sizeof n", "int 16");
    row("forward declared then defined", "struct f *fp; struct f { int x; };", "sizeof(struct f)", "int 4");
    row("array of arrays", "int m[2][3];", "m", "int[2][3]");
    row("address of array", "int m[4];", "&m", "int[4]* ptr");
    row("type value", "", "int", "type ");
    row("each anonymous struct has its own name", "struct { int a; } x; struct { char b; } y;", "sizeof x * 10 + sizeof y",
        "int 41");
    // Declarations refused: no expression, the report's location line.
    auto fails = [](const char *name, const char *declarations, const char *message) {
        QTest::newRow(name) << QByteArray(declarations) << QByteArray() << "error: " + QByteArray(message);
    };
    fails("name defined twice", "int k; int k;", "test.c:1:13 'k' is already defined");
    fails("name in scope declared by an inner block", "{ int u; { int u; } }", "test.c:1:17 'u' is already defined");
    fails("struct defined twice", "struct s { int a; }; struct s { int b; };",
        "test.c:1:30 data type 'struct s' is already defined");
    fails("enum defined twice", "enum e { A }; enum e { B };", "test.c:1:21 data type 'e' is already defined");
    fails("enum never defined", "enum q x;", "test.c:1:7 enum 'q' isn't defined");
    fails("enum trailing comma", "enum e { A, };", "test.c:1:12 identifier expected");
    fails("enum without comma", "enum e { A B };", "test.c:1:11 comma expected");
    fails("member defined twice", "struct s { int a; char a; };", "test.c:1:25 member 'a' already defined");
    fails("member without name", "struct s { int; };", "test.c:1:11 invalid type in struct");
    fails("incomplete array", "struct t x[3];", "test.c:1:14 type 'struct t[3]' isn't defined");
    fails("member of an undefined struct", "struct s { struct t m; };", "test.c:1:22 type 'struct t' isn't defined");
    fails("missing name", "int ;", "test.c:1:0 identifier expected");
    fails("negative array size", "int a[-1];", "test.c:1:9 bad type declaration");
    fails("undefined type name", "nosuch x;", "test.c:1:7 'nosuch' is undefined");
    fails("bracket after type", "int *(a);", "test.c:1:6 bad type declaration");
    fails("array too large", "int a[1000000000];", "test.c:1:18 out of memory");
    fails("initialiser expected", "int a = ;", "test.c:1:8 expression expected");
    fails("initialiser without commas", "int a[3] = {1; 2};", "test.c:1:14 comma expected");
    fails("too many elements", "int v[2] = {1, 2, 3};", "test.c:1:18 too many array elements");
    fails("list for a scalar", "int x = {1, 2};", "test.c:1:8 can't assign int from array initializer");
    fails("void variable", "void v;", "test.c:1:7 can't define a void variable");
}

void TestDeclaration::layout()
{
    QFETCH(QByteArray, declarations);
    QFETCH(QByteArray, expression);
    QFETCH(QByteArray, expected);
    if (expression.isEmpty()) {
        QCOMPARE(runStatements(&st, declarations), expected);
        return;
    }
    QCOMPARE(runStatements(&st, declarations), QByteArray());
    QCOMPARE(evaluate(&st, expression), expected);
}

// What a host defines: an object's struct has alignment 0 (as a member it
// aligns to 1), a global value aliases the host's storage, and neither name
// can be defined twice.
void TestDeclaration::hostDefinitions()
{
    static int32_t hostValue = 12;
    static int32_t hostConstant = 99;
    QVERIFY(engineProtectedCall(&st, [&] {
        createOpaqueStruct(&st, nullptr, internString(&st, "Host"), 6);
        defineGlobalValue(&st, nullptr, "HOST", &st.intType, &hostValue, true);
        defineGlobalValue(&st, nullptr, "FIXED", &st.intType, &hostConstant, false);
    }));
    QCOMPARE(runStatements(&st, "struct holder { char c; struct Host h; char d; } k; HOST = HOST + 1;"), QByteArray());
    QCOMPARE(evaluate(&st, "(char *)&k.d - (char *)&k"), QByteArray("int 7"));
    QCOMPARE(evaluate(&st, "sizeof k"), QByteArray("int 8"));
    QCOMPARE(hostValue, 13);
    QCOMPARE(evaluate(&st, "*&HOST"), QByteArray("int 13"));
    QCOMPARE(evaluate(&st, "FIXED = 1"), QByteArray("error: test.c:1:8 can't assign to this"));
    capturedOutput().clear();
    QVERIFY(!engineProtectedCall(&st, [&] { createOpaqueStruct(&st, nullptr, internString(&st, "Host"), 6); }));
    QCOMPARE(capturedOutput(), QByteArray("data type 'Host' is already defined\n"));
    QVERIFY(!engineProtectedCall(&st, [&] { defineGlobalValue(&st, nullptr, "HOST", &st.intType, &hostValue, true); }));
    QVERIFY(capturedOutput().endsWith("'HOST' is already defined\n"));
}

// The directives of a report: types print as declared, an unknown directive
// prints nothing and takes no argument, and the widest double arrives whole.
void TestDeclaration::reportDirectives()
{
    ScriptType *rows = getMatchingType(&st, nullptr, st.charPtrType, TYPE_ARRAY, 4, st.emptyString, true);
    QVERIFY(!engineProtectedCall(&st, [&] {
        engineError(&st, "%s|%d|%c|%f|%t|%t|%%|%q|%d|%f|%", "ab", -3, 'z', 1.5, rows, st.charArrayType, 7, -1e300);
    }));
    char huge[400];
    snprintf(huge, sizeof huge, "%f", -1e300); // 309 characters
    QCOMPARE(capturedOutput(), "ab|-3|z|1.500000|char*[4]|char[]|%||7|" + QByteArray(huge) + "|\n");
    QCOMPARE(st.exitValue, 1);
}

QTEST_APPLESS_MAIN(TestDeclaration)
#include "tst_declaration.moc"

// Hosts binding their own headers: prototypes, the native calling
// convention with arguments behind the last fixed one, set-up functions and
// set-up sources, and including a header once.
#include "enginefixture.h"

#include "expression.h"
#include "variable.h"

#include <QTemporaryDir>
#include <QtTest>

// sum(count, ...): the arguments after the fixed one follow each other on
// the arena, each (header + its stack data) aligned to 8 further on.
static void nativeSum(ParseCursor *, ScriptValue *result, ScriptValue **args, int32_t count)
{
    int32_t total = 0;
    ScriptValue *value = args[0];
    for (int32_t i = 1; i < count; i++) {
        value = reinterpret_cast<ScriptValue *>(reinterpret_cast<char *>(value) +
                                                arenaAligned(kValueHeader + valueStackDataSize(value)));
        total += coerceInteger(value);
    }
    memcpy(result->data, &total, sizeof total);
}

static void nativeHalf(ParseCursor *, ScriptValue *result, ScriptValue **args, int32_t)
{
    double half = coerceDouble(args[0]) / 2;
    memcpy(result->data, &half, sizeof half);
}

static const LibraryEntry kTestLibrary[] = {
    {nativeSum, "int sum(int, ...);"},
    {nativeHalf, "double half(double);"},
    {nullptr, nullptr},
};

static int setupRuns = 0;
static int32_t hostValue = 17;

static void testSetup(EngineState *state)
{
    setupRuns++;
    defineGlobalValue(state, nullptr, "HOST_VALUE", &state->intType, &hostValue, false);
}

class TestLibrary : public QObject
{
    Q_OBJECT

private slots:
    void init() { captureOutput(); setupRuns = 0; }
    void bindings_data();
    void bindings();
    void doubleBinding();
    void textRun_data();
    void textRun();
};

void TestLibrary::bindings_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("variadic arguments behind the fixed one")
        << QByteArray("int main() { return sum(4, 10, 'a', 3.9); }") << 110 << QByteArray();
    QTest::newRow("no variadic arguments") << QByteArray("int main() { return sum(1); }") << 0 << QByteArray();
    QTest::newRow("set-up globals and source")
        << QByteArray("int main() { counter c = HOST_VALUE; return c; }") << 17 << QByteArray();
    QTest::newRow("included once") << QByteArray("#include \"test.h\"\n#include \"test.h\"\nint main() { return 0; }")
                                   << 0 << QByteArray();
    QTest::newRow("a script definition replaces a library prototype")
        << QByteArray("int sum(int a) { return a; }\nint main() { return sum(5); }") << 5 << QByteArray();
    QTest::newRow("fixed argument converted")
        << QByteArray("int main() { return sum(\"x\"); }") << 1
        << QByteArray("can't set int from char* in argument 1 of call to sum()");
}

void TestLibrary::bindings()
{
    QFETCH(QByteArray, script);
    QFETCH(int, status);
    QFETCH(QByteArray, output);
    QTemporaryDir dir;
    QString path = dir.filePath("script.c");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(script);
    file.close();
    QByteArray name = path.toLocal8Bit();
    char *argv[] = {name.data(), nullptr};
    EngineState state;
    QVERIFY(engineInit(&state, kEngineStackBytes, nullptr));
    QVERIFY(registerHeader(&state, "test.h", testSetup, kTestLibrary, "typedef int counter;"));
    QVERIFY(includeAllHeaders(&state));
    bool ran = engineParseFile(&state, argv[0]) && engineCallMain(&state, 1, argv);
    QCOMPARE(state.exitValue, status);
    QCOMPARE(ran, status != 1);
    QCOMPARE(setupRuns, 1);
    if (!output.isEmpty())
        QVERIFY2(capturedOutput().contains(output), capturedOutput().constData());
    engineCleanup(&state);
    QCOMPARE(state.heapBlocks, 0L);
}

void TestLibrary::doubleBinding()
{
    EngineState state;
    QVERIFY(engineInit(&state, kEngineStackBytes, nullptr));
    QVERIFY(registerHeader(&state, "a.h", nullptr, kTestLibrary, nullptr));
    QVERIFY(registerHeader(&state, "b.h", nullptr, kTestLibrary, nullptr));
    QVERIFY(!includeAllHeaders(&state));
    QVERIFY2(capturedOutput().contains("'sum' is already defined"), capturedOutput().constData());
    engineCleanup(&state);
    QCOMPARE(state.heapBlocks, 0L);
}

// A text run from memory keeps what it defines for the call of main; the
// limit given to engineInit holds in both.
void TestLibrary::textRun_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<int>("status");
    QTest::newRow("main defined in the text") << QByteArray("int main() { return 7; }") << 0 << true << 7;
    QTest::newRow("limit reached at top level")
        << QByteArray("int i;\nwhile (1) i++;\nint main() { return 0; }") << 100 << false << 1;
    QTest::newRow("limit reached in main") << QByteArray("int main() { while (1) ; return 0; }") << 100 << true << 1;
}

void TestLibrary::textRun()
{
    QFETCH(QByteArray, text);
    QFETCH(int, limit);
    QFETCH(bool, parsed);
    QFETCH(int, status);
    EngineRunOptions options{};
    options.statementLimit = static_cast<unsigned long>(limit);
    char name[] = "text.c";
    char *argv[] = {name, nullptr};
    EngineState state;
    QVERIFY(engineInit(&state, kEngineStackBytes, &options));
    QVERIFY(includeAllHeaders(&state));
    QCOMPARE(engineParse(&state, name, text.constData(), size_t(text.size())), parsed);
    if (parsed)
        engineCallMain(&state, 1, argv);
    QCOMPARE(state.exitValue, status);
    QCOMPARE(capturedOutput().contains("step limit reached"), status == 1);
    engineCleanup(&state);
    QCOMPARE(state.heapBlocks, 0L);
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"

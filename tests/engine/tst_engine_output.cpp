// The output layer and its hooks; the location reports written through it
// are checked with the lexer's errors.
#include "enginefixture.h"

#include "output.h"
#include "type.h"

#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

namespace {

QList<int> charHookCalls;
QList<QByteArray> stringHookCalls;

void recordChar(int c) { charHookCalls << c; }
void recordString(const char *s) { stringHookCalls << QByteArray(s); }

// Runs `step` with the process's standard output sent to a temporary file
// and returns what was written.
template <typename Step>
QByteArray standardOutputOf(Step &&step)
{
    QTemporaryFile file;
    if (!file.open())
        return "<no temporary file>";
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    dup2(file.handle(), STDOUT_FILENO);
    step();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
}

} // namespace

class TestEngineOutput : public QObject
{
    Q_OBJECT

private slots:
    void withoutHooksErrorReportGoesToStandardOutput();
    void hooksReceiveEveryPiece();
    void formatterDirectives();
};

// Runs first: the hooks are process-wide and nothing else has installed them.
void TestEngineOutput::withoutHooksErrorReportGoesToStandardOutput()
{
    QVERIFY(!outputHooksInstalled());
    EngineState st;
    QByteArray written = standardOutputOf([&] {
        QVERIFY(engineInit(&st, kEngineStackBytes, nullptr));
        QCOMPARE(st.output, stdout);
        QByteArray result = tokeniseText(&st, "int a;\n  x @ y;\n");
        QCOMPARE(result, QByteArray("error: "));
        engineCleanup(&st);
    });
    // The caret line also runs on over blanks that follow the column.
    QCOMPARE(written, QByteArray("  x @ y;\n      ^\ntest.c:2:5 illegal character '@'\n"));
    QCOMPARE(st.heapBlocks, 0L);
}

void TestEngineOutput::hooksReceiveEveryPiece()
{
    setOutputHooks(recordChar, recordString);
    QVERIFY(outputHooksInstalled());
    charHookCalls.clear();
    stringHookCalls.clear();
    QByteArray written = standardOutputOf([] {
        hostPutChar('\n', stdout);
        hostPutInt(-5, stdout);
        hostPutString("text", stdout);
        hostPutDouble(2.5, stdout);
        hostPutDouble(-1e300, stdout);
    });
    QCOMPARE(written, QByteArray());
    QCOMPARE(charHookCalls, QList<int>{10});
    QCOMPARE(stringHookCalls.size(), 4);
    QCOMPARE(stringHookCalls.mid(0, 3), (QList<QByteArray>{"-5", "text", "2.500000"}));
    // Every one of the 301 digits arrives, none cut.
    QCOMPARE(stringHookCalls[3].size(), 1 + 301 + 7);
    QVERIFY(stringHookCalls[3].startsWith("-1000") && stringHookCalls[3].endsWith(".000000"));
}

void TestEngineOutput::formatterDirectives()
{
    EngineState st;
    QVERIFY(engineInit(&st, kEngineStackBytes, nullptr));
    captureOutput();
    ScriptType *rows = getMatchingType(&st, nullptr, st.charPtrType, TYPE_ARRAY, 4, st.emptyString, true);
    QVERIFY(!engineProtectedCall(&st, [&] {
        engineError(&st, "%s|%d|%c|%f|%t|%t|%%|%q|%d|%", "ab", -3, 'z', 1.5, rows, st.charArrayType, 7);
    }));
    // An unknown directive prints nothing and takes no argument.
    QCOMPARE(capturedOutput(), QByteArray("ab|-3|z|1.500000|char*[4]|char[]|%||7|\n"));
    QCOMPARE(st.exitValue, 1);
    engineCleanup(&st);
    QCOMPARE(st.heapBlocks, 0L);
}

QTEST_GUILESS_MAIN(TestEngineOutput)
#include "tst_engine_output.moc"

// lodvane-sim as a user starts it: its command line, the port line it
// prints, its link, its trace and its diagnostics on stderr. What the board
// answers is checked in-process (tst_simboard) and through the program's
// link in the device tests.
#include "qpe.h"
#include "simimages.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

class TestSimPort : public QObject
{
    Q_OBJECT

private slots:
    void portLinkAndDiagnostics()
    {
        QTemporaryDir dir;
        SimProcess sim(dir.path());
        const QString link = dir.filePath(QStringLiteral("board"));
        QVERIFY2(sim.start({QStringLiteral("--link"), link, QStringLiteral("--core"), QStringLiteral("BF592")}),
                 qPrintable(sim.lastError()));
        QVERIFY(sim.port().startsWith(QStringLiteral("/dev/pts/")));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.port());

        QPE host;
        QVERIFY(host.openPort(link, 115200, 1000));
        QCOMPARE(host.write(QByteArray(1, 0x40), true), 1u);
        QVERIFY(host.pollWait(4));
        QCOMPARE(host.readAll().toHex(), QByteArray("bf2b0000"));
        // The BF51x loader on an ADSP-BF592 (no stacked FLASH: 4 MiB outside):
        // the board runs it and says so on stderr.
        const QByteArray loader = toBytes(sim::loaderImage("BF51x"));
        QCOMPARE(host.write(loader, true), uint(loader.size()));
        QVERIFY(sim.waitForTrace(QStringLiteral("loader start family=BF51x flash=4194304")));
        host.closePort();
        QVERIFY(sim.waitForTrace(QStringLiteral("reset cause=hangup")));

        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo::exists(link)); // removed on the way out
        QCOMPARE(sim.traceLines().last(), QStringLiteral("stopped"));
        QCOMPARE(QString::fromLocal8Bit(sim.standardError()),
                 QStringLiteral("lodvane-sim: ADSP-BF592 with 4194304 bytes of FLASH on %1\n"
                                "lodvane-sim: loader for BF51x booted on an ADSP-BF592\n").arg(sim.port()));
    }

    void commandLineErrors_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "unknown option or missing value: --bogus";
        QTest::newRow("missing value") << QStringList{"--trace"} << 2 << "unknown option or missing value: --trace";
        QTest::newRow("bad speed") << QStringList{"--baud", "fast"} << 2 << "bad value for --baud: fast";
        QTest::newRow("unknown core") << QStringList{"--core", "BF999"} << 2 << "bad value for --core: BF999";
        QTest::newRow("FLASH below one block") << QStringList{"--flash-size", "4096"} << 2 << "bad value for --flash-size: 4096";
        QTest::newRow("odd hex answer") << QStringList{"--autobaud-answer", "bf2"} << 2 << "bad value for --autobaud-answer: bf2";
        // %1: a file of 1000 bytes, which must be left as it was.
        QTest::newRow("FLASH file of the wrong size")
            << QStringList{"--flash", "%1"} << 1 << "FLASH file %1 holds 1000 bytes, the FLASH has 2097152";
    }

    void commandLineErrors()
    {
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString shortFile = writeFile(dir.filePath(QStringLiteral("short.bin")), QByteArray(1000, 0));
        QVERIFY(!shortFile.isEmpty());
        options.replaceInStrings(QStringLiteral("%1"), shortFile);
        QProcess p;
        p.start(QStringLiteral(LODVANE_SIM_PATH), options);
        QVERIFY(p.waitForFinished(SimProcess::kStartWaitMs));
        QCOMPARE(p.exitCode(), exitCode);
        QVERIFY(p.readAllStandardOutput().isEmpty()); // no port line: nothing was opened
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.startsWith(QStringLiteral("lodvane-sim: ") + message.replace(QStringLiteral("%1"), shortFile) + '\n'),
                 qPrintable(err));
        QCOMPARE(readFile(shortFile), QByteArray(1000, 0));
    }
};

QTEST_GUILESS_MAIN(TestSimPort)
#include "tst_simport.moc"

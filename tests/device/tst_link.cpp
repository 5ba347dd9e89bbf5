// The device link's primitives over a real pseudo-terminal pair.
#include "textrecorder.h"
#include "ptypair.h"
#include "qpe.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <thread>


class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void openAndClose();
    void writeAndReadCounts();
    void readAck_data();
    void readAck();
    void readAckLateArrival();
    void pulseLine_data();
    void pulseLine();
    void extraPortsFollowSystemPorts();
    void withoutPortOrAfterUnplugNothingBreaks();
};

void TestLink::openAndClose()
{
    QPE link;
    // A name that does not exist: false; the failed object is disposed of
    // and does not stand in the way of the next opening.
    QVERIFY(!link.openPort(QStringLiteral("/dev/lodvane-no-such-port"), 115200, 1000));
    QVERIFY(!link.isOpen());
    link.closePort();
    QVERIFY(!link.openPort(QString(), 115200, 1000));

    PtyPair pty;
    QVERIFY(pty.isOpen());
    QVERIFY(link.openPort(pty.slavePath(), 115200, 1000));
    QVERIFY(link.isOpen());
    QVERIFY(pty.slavePath().endsWith(link.portName())); // Qt drops the /dev/ prefix

    // A second opening while the port is in use is refused and changes nothing.
    PtyPair other;
    QVERIFY(!link.openPort(other.slavePath(), 9600, 1000));
    QVERIFY(link.isOpen());
    QVERIFY(pty.slavePath().endsWith(link.portName()));
    QCOMPARE(link.write("still here", true), 10u);
    QCOMPARE(pty.read(10, 2000), QByteArray("still here"));

    link.closePort();
    QVERIFY(!link.isOpen());
    // The device can be opened again after closing.
    QVERIFY(link.openPort(pty.slavePath(), 9600, 1000));
    link.closePort();
}

void TestLink::writeAndReadCounts()
{
    PtyPair pty;
    QPE link;
    QVERIFY(link.openPort(pty.slavePath(), 115200, 1000));

    QCOMPARE(link.write("hello", true), 5u);
    QCOMPARE(pty.read(5, 2000), QByteArray("hello"));
    QCOMPARE(link.write(QByteArray("a\0b", 3), true), 3u); // NUL bytes count too
    QCOMPARE(pty.read(3, 2000), QByteArray("a\0b", 3));
    QCOMPARE(link.write("", true), 0u);

    QVERIFY(pty.write("xyz"));
    QVERIFY(link.pollWait(3));
    QCOMPARE(link.bytesAvailable(), 3);
    QCOMPARE(link.read(2), QByteArray("xy"));
    QCOMPARE(link.readAll(), QByteArray("z"));
    QCOMPARE(link.bytesAvailable(), 0);
    QCOMPARE(link.read(10), QByteArray());
}

void TestLink::readAck_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("acknowledged");
    QTest::addColumn<qint64>("left");
    QTest::newRow("acknowledge") << QByteArray("\xAA") << true << qint64(0);
    QTest::newRow("other byte consumed") << QByteArray("\x55") << false << qint64(0);
    QTest::newRow("only the first byte read") << QByteArray("\xAA\x01") << true << qint64(1);
    QTest::newRow("nothing") << QByteArray() << false << qint64(0);
}

void TestLink::readAck()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, acknowledged);
    QFETCH(qint64, left);

    PtyPair pty;
    QPE link;
    QVERIFY(link.openPort(pty.slavePath(), 115200, 1000));
    QVERIFY(pty.write(answer));
    if (!answer.isEmpty())
        QVERIFY(link.pollWait(answer.size()));

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link.readAck(), acknowledged);
    if (answer.isEmpty())
        QVERIFY2(clock.elapsed() >= 900, "an unanswered wait lasts its 100 poll steps");
    QCOMPARE(link.bytesAvailable(), left);
}

void TestLink::readAckLateArrival()
{
    PtyPair pty;
    QPE link;
    QVERIFY(link.openPort(pty.slavePath(), 115200, 1000));
    // The acknowledge comes near the end of the one-second bound.
    std::thread board([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(850));
        pty.write(QByteArray("\xAA"));
    });
    const bool ok = link.readAck();
    board.join();
    QVERIFY(ok);
}

void TestLink::pulseLine_data()
{
    QTest::addColumn<unsigned>("code");
    QTest::addColumn<QStringList>("expected");
    const QStringList rts{"RTS 0", "sleep 100", "RTS 1"};
    const QStringList dtr{"DTR 0", "sleep 100", "DTR 1"};
    QTest::newRow("RTS") << 1u << rts;
    QTest::newRow("DTR") << 2u << dtr;
    QTest::newRow("none moves DTR the other way") << 0u << QStringList{"DTR 1", "sleep 100", "DTR 0"};
    QTest::newRow("RTS with invert bit") << 0x8001u << rts; // unmasked it would act as DTR
    QTest::newRow("unknown code acts as DTR") << 3u << dtr;
}

void TestLink::pulseLine()
{
    QFETCH(unsigned, code);
    QFETCH(QStringList, expected);
    PtyPair pty;
    QPE link;
    TextRecorder recorder;
    link.setLineRecorder(&recorder);
    QVERIFY(link.openPort(pty.slavePath(), 115200, 1000));
    // A pseudo-terminal refuses modem lines; the sequence runs all the same.
    link.pulseLine(code, 100);
    QCOMPARE(recorder.events, expected);
    QVERIFY(link.isOpen());
}

void TestLink::extraPortsFollowSystemPorts()
{
    QPE link;
    qputenv(QPE::kExtraPortsVariable, QByteArray());
    const QStringList system = link.portNames();
    qputenv(QPE::kExtraPortsVariable, "/tmp/a::/tmp/b");
    const QStringList withExtra = link.portNames();
    qunsetenv(QPE::kExtraPortsVariable);
    QCOMPARE(withExtra, system + QStringList({"/tmp/a", "/tmp/b"}));
}

void TestLink::withoutPortOrAfterUnplugNothingBreaks()
{
    QPE link;
    QCOMPARE(link.bytesAvailable(), 0);
    QCOMPARE(link.readAll(), QByteArray());
    QCOMPARE(link.read(4), QByteArray());
    QCOMPARE(link.write("abc", true), 0xFFFFFFFFu);
    QCOMPARE(link.readAck(), false);
    link.closePort();

    auto pty = std::make_unique<PtyPair>();
    QVERIFY(link.openPort(pty->slavePath(), 115200, 1000));
    QVERIFY(pty->write("ab"));
    QVERIFY(link.pollWait(2));
    pty.reset(); // the board is unplugged
    // Every primitive still returns, with nothing or a failure to show.
    QTest::qWait(50);
    link.readAll();
    QCOMPARE(link.readAck(), false);
    link.write("x", true);
    link.pulseLine(1, 1);
    QCOMPARE(link.bytesAvailable(), 0);
    link.closePort();
    QVERIFY(!link.isOpen());
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"

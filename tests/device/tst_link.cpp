// The device link's primitives over a real pseudo-terminal pair.
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
    void openWriteReadClose()
    {
        QPE link;
        // A name that does not exist: false; the failed object is disposed of
        // and does not stand in the way of the next opening.
        QVERIFY(!link.openPort(QStringLiteral("/dev/lodvane-no-such-port"), 115200, 1000));
        QVERIFY(!link.isOpen());

        PtyPair pty;
        QVERIFY(link.openPort(pty.slavePath(), 115200, 1000));

        // A second opening while the port is in use is refused and changes nothing.
        PtyPair other;
        QVERIFY(!link.openPort(other.slavePath(), 9600, 1000));
        QVERIFY(pty.slavePath().endsWith(link.portName())); // Qt drops the /dev/ prefix
        QCOMPARE(link.write("still here", true), 10u);
        QCOMPARE(pty.read(10, 2000), QByteArray("still here"));

        // Reads take what is asked for and no more (the sequences read every
        // answer through them against the virtual board).
        QVERIFY(pty.write("xyz"));
        QVERIFY(link.pollWait(3));
        QCOMPARE(link.read(2), QByteArray("xy"));
        QCOMPARE(link.readAll(), QByteArray("z"));
        QCOMPARE(link.read(10), QByteArray());

        // An acknowledge takes only its first byte; any other byte is
        // consumed as a refusal; silence lasts the bound of one second, and an
        // answer near its end still counts.
        QVERIFY(pty.write("\xAA\x01"));
        QVERIFY(link.pollWait(2));
        QVERIFY(link.readAck());
        QCOMPARE(link.bytesAvailable(), 1);
        QVERIFY(!link.readAck());
        QCOMPARE(link.bytesAvailable(), 0);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!link.readAck());
        QVERIFY2(clock.elapsed() >= 900, "an unanswered wait lasts its 100 poll steps");
        // A board that answers late, on its own thread while the link waits.
        std::thread board([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(850));
            pty.write("\xAA");
        });
        QVERIFY(link.readAck());
        board.join();

        // Closing sends what is still buffered (a regression: it was dropped).
        QCOMPARE(link.write("bye", false), 3u);
        link.closePort();
        QVERIFY(!link.isOpen());
        QCOMPARE(pty.read(3, 2000), QByteArray("bye"));
        // The device can be opened again after closing.
        QVERIFY(link.openPort(pty.slavePath(), 9600, 1000));
        link.closePort();
    }

    void withoutPortOrAfterUnplugNothingBreaks()
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
        QCoreApplication::processEvents();
        link.readAll();
        QCOMPARE(link.readAck(), false);
        link.write("x", true);
        link.pulseLine(1, 1);
        QCOMPARE(link.bytesAvailable(), 0);
        link.closePort();
        QVERIFY(!link.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"

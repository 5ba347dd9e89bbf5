// Parsing the handshakes with which the board starts a transfer.
#include "filetransfer.h"

#include <QtTest>

using namespace FileTransfer;

Q_DECLARE_METATYPE(FileTransfer::HeaderStatus)
Q_DECLARE_METATYPE(FileTransfer::Marker)

class TestFileTransfer : public QObject
{
    Q_OBJECT

private slots:
    void markers_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<Marker>("marker");
        QTest::newRow("send first") << QByteArray("\xFFhello") << Marker::DeviceSends;
        QTest::newRow("request second") << QByteArray("a\xFEz") << Marker::DeviceRequests;
        QTest::newRow("send wins over request") << QByteArray("\xFE\xFF") << Marker::DeviceSends;
        QTest::newRow("third byte is text") << QByteArray("ab\xFF") << Marker::None;
        QTest::newRow("empty") << QByteArray() << Marker::None;
    }

    void markers()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(Marker, marker);
        QCOMPARE(chunkMarker(chunk), marker);
    }

    void names_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("subfolder") << QByteArray("logs/run1.txt") << true;
        QTest::newRow("dots inside a name") << QByteArray("a..b") << true;
        QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9") << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("absolute") << QByteArray("/etc/passwd") << false;
        QTest::newRow("parent inside") << QByteArray("a/../../b") << false;
        QTest::newRow("control character") << QByteArray("bad\tname") << false;
        QTest::newRow("delete") << QByteArray("x\x7F") << false;
        QTest::newRow("hidden folder deeper") << QByteArray("a/.config/autostart/x.desktop") << false;
    }

    void names()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, safe);
        QCOMPARE(isSafeFileName(name, FileUse::Read), safe);
        QCOMPARE(isSafeFileName(name, FileUse::Replace), safe);
    }

    void headers_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<HeaderStatus>("status");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<long>("size"); // -1: not looked at
        const HeaderStatus ok = HeaderStatus::Ok, malformed = HeaderStatus::Malformed,
                           refused = HeaderStatus::RefusedName, badSize = HeaderStatus::BadSize;
        QTest::newRow("largest") << QByteArray("big,67108864\n") << ok << QByteArray("big") << 67108864L;
        QTest::newRow("CR LF") << QByteArray("a,12\r\n") << ok << QByteArray("a") << 12L;
        QTest::newRow("no comma") << QByteArray("dump.bin 300\n") << malformed << QByteArray() << -1L;
        QTest::newRow("two commas") << QByteArray("a,b,300\n") << malformed << QByteArray() << -1L;
        QTest::newRow("no line end") << QByteArray("a,300") << malformed << QByteArray() << -1L;
        QTest::newRow("absolute name") << QByteArray("/tmp/x,3\n") << refused << QByteArray("/tmp/x") << -1L;
        QTest::newRow("negative") << QByteArray("a,-5\n") << badSize << QByteArray("a") << -1L;
        QTest::newRow("number then text") << QByteArray("a,12k\n") << badSize << QByteArray("a") << -1L;
        QTest::newRow("over 64 MiB") << QByteArray("a,67108865\n") << badSize << QByteArray("a") << 67108865L;
        QTest::newRow("huge") << QByteArray("a,99999999999999999999\n") << badSize << QByteArray("a") << -1L;
    }

    void headers()
    {
        QFETCH(QByteArray, line);
        QFETCH(HeaderStatus, status);
        QFETCH(QByteArray, name);
        QFETCH(long, size);
        const DeviceHeader header = parseDeviceHeader(line);
        QCOMPARE(header.status, status);
        if (status != HeaderStatus::Malformed)
            QCOMPARE(header.name, name);
        if (size >= 0)
            QCOMPARE(header.size, size);
    }

    void requests()
    {
        QCOMPARE(requestedName("boot.ldr\n"), QByteArray("boot.ldr"));
        QCOMPARE(requestedName("cut shor"), QByteArray("cut sho")); // a time-out drops the last byte too
        QCOMPARE(requestedName(""), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestFileTransfer)
#include "tst_filetransfer.moc"

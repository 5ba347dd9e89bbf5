// The XMODEM engines: against a scripted peer for every fault, and against
// lrzsz's sx and rx over a real pseudo-terminal.
#include "crc16.h"
#include "peerprocess.h"
#include "ptypair.h"
#include "xmodem.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace Xmodem;

namespace {

// A peer whose answers are written in advance: each time the engine waits
// with nothing pending, the next answer arrives (an empty one is a time-out).
// No real time passes.
class ScriptedChannel : public XmodemChannel
{
public:
    QList<QByteArray> answers;
    QByteArray inbox;
    QByteArray sent;
    QStringList lines;
    int progressMaximum = -1;
    int progressValue = -1;
    bool progressOpen = false;
    bool abort = false;
    int flushes = 0;

    int receiveByte(int) override
    {
        if (inbox.isEmpty() && !answers.isEmpty())
            inbox = answers.takeFirst();
        if (inbox.isEmpty())
            return -1;
        const int byte = static_cast<unsigned char>(inbox.at(0));
        inbox.remove(0, 1);
        return byte;
    }
    void sendByte(unsigned char byte) override { sent.append(char(byte)); }
    void flushInput() override
    {
        inbox.clear();
        ++flushes;
    }
    void log(const QString &line) override { lines << line; }
    void beginProgress(int maximum) override
    {
        progressMaximum = maximum;
        progressOpen = true;
    }
    void setProgress(int value) override { progressValue = value; }
    bool abortRequested() override { return abort; }
    void endProgress() override { progressOpen = false; }
};

// The engines over a pseudo-terminal master, one tick = `tickMs`.
class PtyChannel : public XmodemChannel
{
public:
    PtyChannel(int descriptor, int tick) : fd(descriptor), tickMs(tick) {}
    int receiveByte(int ticks) override
    {
        if (pending.isEmpty()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, ticks * tickMs) <= 0 || !(p.revents & POLLIN))
                return -1;
            char buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                return -1;
            pending = QByteArray(buf, int(n));
        }
        const int byte = static_cast<unsigned char>(pending.at(0));
        pending.remove(0, 1);
        return byte;
    }
    void sendByte(unsigned char byte) override
    {
        const char c = char(byte);
        while (::write(fd, &c, 1) != 1) {
        }
    }
    void flushInput() override
    {
        pending.clear();
        pollfd p{fd, POLLIN, 0};
        char buf[4096];
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) && ::read(fd, buf, sizeof buf) > 0) {
        }
    }
    void log(const QString &line) override { lines << line; }
    void beginProgress(int) override {}
    void setProgress(int) override {}
    bool abortRequested() override { return false; }
    void endProgress() override {}

    QStringList lines;

private:
    int fd;
    int tickMs;
    QByteArray pending;
};

QByteArray block(unsigned char start, unsigned char number, const QByteArray &data, bool crc)
{
    QByteArray packet;
    packet.append(char(start));
    packet.append(char(number));
    packet.append(char(~number));
    packet.append(data);
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    if (crc) {
        const std::uint16_t value = crc16(bytes, data.size());
        packet.append(char(value >> 8));
        packet.append(char(value & 0xFF));
    } else {
        unsigned sum = 0;
        for (unsigned char b : data)
            sum += b;
        packet.append(char(sum & 0xFF));
    }
    return packet;
}

QByteArray pattern(int size, int seed)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + seed * 31 + (i >> 8)) & 0xFF);
    return data;
}

QByteArray soh(unsigned char n, const QByteArray &d, bool crc = true) { return block(kSoh, n, d, crc); }

const QByteArray kEotAnswer(1, char(kEot));

} // namespace

class TestXmodem : public QObject
{
    Q_OBJECT

private slots:
    void crcOfCheckString();
    void checkBothModes();

    void receiveInCrcMode();
    void receiveMixedBlockSizes();
    void receiveCorruptedBlockResent_data();
    void receiveCorruptedBlockResent();
    void receiveRepeatedBlockNotStoredTwice();
    void receiveFirstBlockNumberedZero();
    void receiveWrapsFrom255To0();
    void receiveCancel();
    void receiveThreeRepeats();
    void receiveEotRightAfterSync();
    void receiveCapacityCut();
    void receiveFallsBackToChecksum();
    void receiveSyncError();
    void receiveAbort();

    void transmitCrc();
    void transmitChecksumWhenAskedWithNak();
    void transmitRetries();
    void transmitGivesUpOnBlock();
    void transmitCancelled();
    void transmitSyncError();
    void transmitEotNotAcknowledged();
    void transmitBlockZeroAndZeroBytes();

    void receiveFromSx_data();
    void receiveFromSx();
    void transmitToRx_data();
    void transmitToRx();
};

void TestXmodem::crcOfCheckString()
{
    const QByteArray digits("123456789");
    QCOMPARE(crc16(reinterpret_cast<const unsigned char *>(digits.constData()), 9), std::uint16_t(0x31C3));
    QCOMPARE(crc16(reinterpret_cast<const unsigned char *>(digits.constData()), 0), std::uint16_t(0));
}

void TestXmodem::checkBothModes()
{
    QByteArray data = pattern(128, 3);
    QByteArray withCrc = soh(1, data).mid(3);
    QByteArray withSum = soh(1, data, false).mid(3);
    const auto *c = reinterpret_cast<const unsigned char *>(withCrc.constData());
    const auto *s = reinterpret_cast<const unsigned char *>(withSum.constData());
    QVERIFY(xmodemCheck(true, c, 128));
    QVERIFY(xmodemCheck(false, s, 128));
    QVERIFY(!xmodemCheck(false, c, 128) || withCrc.at(128) == withSum.at(128));
    withCrc[129] = char(withCrc.at(129) ^ 0x01);
    QVERIFY(!xmodemCheck(true, reinterpret_cast<const unsigned char *>(withCrc.constData()), 128));
}

void TestXmodem::receiveInCrcMode()
{
    ScriptedChannel peer;
    const QByteArray a = pattern(128, 1), b = pattern(128, 2);
    peer.answers = {soh(1, a), soh(2, b), kEotAnswer};
    QByteArray area(1024, '\0');
    const int result = xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size());
    QCOMPARE(result, 256);
    QCOMPARE(area.left(256), a + b);
    QCOMPARE(peer.sent, QByteArray("C\x06\x06\x06"));
    QCOMPARE(peer.lines, QStringList({"   128", "   256"}));
    QCOMPARE(peer.progressMaximum, 1024);
    QCOMPARE(peer.progressValue, 256);
    QVERIFY(!peer.progressOpen);
}

void TestXmodem::receiveMixedBlockSizes()
{
    ScriptedChannel peer;
    const QByteArray a = pattern(1024, 1), b = pattern(128, 2);
    peer.answers = {block(kStx, 1, a, true), soh(2, b), kEotAnswer};
    QByteArray area(4096, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), 1152);
    QCOMPARE(area.left(1152), a + b);
}

void TestXmodem::receiveCorruptedBlockResent_data()
{
    QTest::addColumn<QByteArray>("bad");
    const QByteArray a = pattern(128, 5);
    QByteArray badCrc = soh(1, a);
    badCrc[50] = char(badCrc.at(50) ^ 0x40);
    QByteArray badComplement = soh(1, a);
    badComplement[2] = 0x00;
    QTest::newRow("data damaged") << badCrc;
    QTest::newRow("complement wrong") << badComplement;
    QTest::newRow("block cut short") << soh(1, a).left(60);
    QTest::newRow("number out of order") << soh(7, a);
}

void TestXmodem::receiveCorruptedBlockResent()
{
    QFETCH(QByteArray, bad);
    ScriptedChannel peer;
    const QByteArray a = pattern(128, 5);
    peer.answers = {bad, QByteArray(), soh(1, a), kEotAnswer};
    QByteArray area(256, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), 128);
    QCOMPARE(area.left(128), a);
    QCOMPARE(peer.sent, QByteArray("C\x15\x06\x06"));
}

void TestXmodem::receiveRepeatedBlockNotStoredTwice()
{
    ScriptedChannel peer;
    const QByteArray a = pattern(128, 1), b = pattern(128, 2);
    peer.answers = {soh(1, a), soh(1, a), soh(2, b), kEotAnswer};
    QByteArray area(1024, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), 256);
    QCOMPARE(area.left(256), a + b);
    QCOMPARE(peer.sent, QByteArray("C\x06\x06\x06\x06"));
}

void TestXmodem::receiveFirstBlockNumberedZero()
{
    ScriptedChannel peer;
    const QByteArray a = pattern(128, 1);
    peer.answers = {soh(0, pattern(128, 9)), soh(1, a), kEotAnswer};
    QByteArray area(512, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), 128);
    QCOMPARE(area.left(128), a);
    QCOMPARE(peer.sent, QByteArray("C\x06\x06\x06"));
}

void TestXmodem::receiveWrapsFrom255To0()
{
    ScriptedChannel peer;
    QByteArray expected;
    for (int n = 1; n <= 256; ++n) {
        const QByteArray data = pattern(128, n);
        peer.answers << soh(static_cast<unsigned char>(n), data);
        expected += data;
    }
    // Block 255 again while block 0 is expected: a repeat, not stored.
    peer.answers.insert(255, soh(255, pattern(128, 255)));
    peer.answers << kEotAnswer;
    QByteArray area(256 * 128, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), 256 * 128);
    QCOMPARE(area, expected);
}

void TestXmodem::receiveCancel()
{
    ScriptedChannel peer;
    const QByteArray a = pattern(128, 1);
    // A lone CAN is noise; two in a row cancel.
    peer.answers = {QByteArray("\x18X"), soh(1, a), QByteArray("\x18\x18")};
    QByteArray area(512, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), kCancelled);
    QCOMPARE(peer.lines.last(), QStringLiteral("Terminal: X-Modem Canceled by remote"));
    QVERIFY(peer.sent.endsWith("\x06"));
    QCOMPARE(area.left(128), a);
}

void TestXmodem::receiveThreeRepeats()
{
    ScriptedChannel peer;
    const QByteArray a = pattern(128, 1);
    peer.answers = {soh(1, a), soh(1, a), soh(1, a), soh(1, a)};
    QByteArray area(512, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), kTooManyRepeats);
    QCOMPARE(peer.lines.last(), QStringLiteral("Terminal: X-Modem Too many retry error"));
    // The block and two repeats are acknowledged, the third repeat is not.
    QCOMPARE(peer.sent, QByteArray("C\x06\x06\x06\x18\x18\x18"));
}

void TestXmodem::receiveEotRightAfterSync()
{
    ScriptedChannel peer;
    peer.answers = {QByteArray(), kEotAnswer};
    QByteArray area(128, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), 0);
    QCOMPARE(peer.sent, QByteArray("CC\x06"));
}

void TestXmodem::receiveCapacityCut()
{
    ScriptedChannel peer;
    const QByteArray a = pattern(1024, 4);
    peer.answers = {block(kStx, 1, a, true), soh(2, pattern(128, 5)), kEotAnswer};
    QByteArray area(256 + 16, 'Z');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), 256), 256);
    QCOMPARE(area.left(256), a.left(256));
    QCOMPARE(area.mid(256), QByteArray(16, 'Z')); // nothing written past the capacity
    QCOMPARE(peer.sent, QByteArray("C\x06\x06\x06"));
}

void TestXmodem::receiveFallsBackToChecksum()
{
    ScriptedChannel peer;
    for (int i = 0; i < 30; ++i)
        peer.answers << QByteArray(); // the sender ignores "C"
    const QByteArray a = pattern(128, 8);
    peer.answers << soh(1, a, false) << kEotAnswer;
    QByteArray area(128, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), 128);
    QCOMPARE(area, a);
    QCOMPARE(peer.sent, QByteArray(30, 'C') + QByteArray("\x15\x06\x06"));
}

void TestXmodem::receiveSyncError()
{
    ScriptedChannel peer;
    QByteArray area(128, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), kNoSync);
    QCOMPARE(peer.sent, QByteArray(30, 'C') + QByteArray(30, '\x15') + QByteArray(3, '\x18'));
    QCOMPARE(peer.lines, QStringList{"Terminal: X-Modem Sync error"});
}

void TestXmodem::receiveAbort()
{
    ScriptedChannel peer;
    peer.abort = true;
    peer.answers = {soh(1, pattern(128, 1)), soh(2, pattern(128, 2))};
    QByteArray area(512, '\0');
    QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), area.size()), kAborted);
    QCOMPARE(peer.sent, QByteArray("C")); // the block taken is not acknowledged
    QVERIFY(!peer.progressOpen);
}

void TestXmodem::transmitCrc()
{
    ScriptedChannel peer;
    const QByteArray data = pattern(200, 3);
    peer.answers = {"C", "\x06", "\x06", "\x06", "\x06"};
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), data.size()), 200);
    QByteArray padded = data.left(128);
    QByteArray second = data.mid(128) + QByteArray(1, char(kCtrlZ));
    second += QByteArray(128 - second.size(), '\0');
    QCOMPARE(peer.sent, soh(1, padded) + soh(2, second) + QByteArray(1, char(kEot)));
    QCOMPARE(peer.lines, QStringList({"Terminal: X-Modem begin ...",
                                      "Terminal: packet 1 sent, buffer size 133, retry 0",
                                      "Terminal: Host answer 6", "   128",
                                      "Terminal: packet 2 sent, buffer size 133, retry 0",
                                      "Terminal: Host answer 6", "   256"}));
}

void TestXmodem::transmitChecksumWhenAskedWithNak()
{
    ScriptedChannel peer;
    const QByteArray data = pattern(128, 3);
    peer.answers = {"\x15", "\x06", "\x06", "\x06"};
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), 128), 128);
    // A whole last block is followed by a padding block.
    QByteArray padding(128, '\0');
    padding[0] = char(kCtrlZ);
    QCOMPARE(peer.sent, soh(1, data, false) + soh(2, padding, false) + QByteArray(1, char(kEot)));
    QVERIFY(!peer.lines.contains("Terminal: X-Modem begin ..."));
    QVERIFY(peer.lines.contains("Terminal: packet 2 sent, buffer size 132, retry 0"));
}

void TestXmodem::transmitRetries()
{
    ScriptedChannel peer;
    const QByteArray data = pattern(100, 3);
    peer.answers = {"C", "\x15", "", "\x06", "\x06"};
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), 100), 100);
    QCOMPARE(peer.lines.mid(1, 7),
             QStringList({"Terminal: packet 1 sent, buffer size 133, retry 0", "Terminal: Host answer 21",
                          "Terminal: X-Modem NAK by remote",
                          "Terminal: packet 1 sent, buffer size 133, retry 1", "Terminal: Host answer -1",
                          "Terminal: (BODY) Sync timeout",
                          "Terminal: packet 1 sent, buffer size 133, retry 2"}));
    QCOMPARE(peer.sent.size(), 3 * 133 + 1); // three tries, then EOT
}

void TestXmodem::transmitGivesUpOnBlock()
{
    ScriptedChannel peer;
    const QByteArray data = pattern(128, 3);
    peer.answers = {"C", "?", "\x18x", "\x15"};
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), 128), kBlockNotAcked);
    QVERIFY(peer.lines.contains("Terminal: Unknown rxed code 0x3f"));
    QCOMPARE(peer.lines.last(), QStringLiteral("Terminal: X-Modem Sync error (BODY)"));
    QVERIFY(peer.sent.endsWith(QByteArray(3, char(kCan))));
}

void TestXmodem::transmitCancelled()
{
    ScriptedChannel peer;
    const QByteArray data = pattern(128, 3);
    peer.answers = {"C", "\x18\x18"};
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), 128), kCancelled);
    QCOMPARE(peer.lines.last(), QStringLiteral("Terminal: X-Modem Canceled by remote"));
    QVERIFY(peer.sent.endsWith("\x06"));
}

void TestXmodem::transmitSyncError()
{
    ScriptedChannel peer;
    peer.answers = {"x"};
    const QByteArray data = pattern(128, 3);
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), 128), kNoSync);
    QCOMPARE(peer.lines.count("Terminal:  (HEAD) Sync timeout"), 15);
    QCOMPARE(peer.lines.last(), QStringLiteral("Terminal: X-Modem Sync error (HEAD)"));
    QCOMPARE(peer.sent, QByteArray(3, char(kCan)));
}

void TestXmodem::transmitEotNotAcknowledged()
{
    ScriptedChannel peer;
    peer.answers = {"C", "\x06"};
    const QByteArray data;
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), 0), kEndNotAcked);
    QCOMPARE(peer.sent.count(char(kEot)), 10);
}

void TestXmodem::transmitBlockZeroAndZeroBytes()
{
    ScriptedChannel peer;
    const QByteArray data(256 * 128, '\0');
    peer.answers << "C";
    for (int i = 0; i < 258; ++i)
        peer.answers << "\x06";
    QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), data.size()), data.size());
    const QByteArray block256 = peer.sent.mid(255 * 133, 133);
    QCOMPARE(block256, soh(0, QByteArray(128, '\0')));
}

void TestXmodem::receiveFromSx_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("senderIgnoresC");
    QTest::newRow("CRC, 128-byte blocks") << QStringList() << 5000 << false;
    QTest::newRow("CRC, 1K blocks") << QStringList{"-k"} << 70000 << false;
    QTest::newRow("checksum after the C requests go unanswered") << QStringList() << 1000 << true;
}

void TestXmodem::receiveFromSx()
{
    QFETCH(QStringList, options);
    QFETCH(int, size);
    QFETCH(bool, senderIgnoresC);
    QTemporaryDir dir;
    const QByteArray data = pattern(size, size);
    QFile file(dir.filePath("out.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();

    PtyPair pty;
    const int slave = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(slave >= 0);
    PtyChannel channel(slave, 10);
    PeerProcess sx;
    bool started = false;
    QByteArray unanswered;
    auto startSender = [&] {
        // A late sender: it starts only once the receiver has given up on CRC.
        if (senderIgnoresC)
            unanswered = pty.read(30, 10000);
        started = sx.start("sx", options + QStringList{"out.bin"}, pty.masterDescriptor(), dir.path());
    };
    std::thread sender(startSender);
    QByteArray area(size + 1024, '\0');
    const int result = xmodemRx(channel, reinterpret_cast<unsigned char *>(area.data()), area.size());
    sender.join();
    ::close(slave);
    QVERIFY(started);
    QCOMPARE(unanswered, senderIgnoresC ? QByteArray(30, 'C') : QByteArray());
    QCOMPARE(sx.wait(10000), 0);
    QVERIFY2(result >= size, qPrintable(QString::number(result)));
    QCOMPARE(area.left(size), data);
    // What follows is the sender's CTRL-Z padding up to its block size.
    QCOMPARE(area.mid(size, result - size), QByteArray(result - size, char(kCtrlZ)));
}

void TestXmodem::transmitToRx_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("size");
    QTest::newRow("CRC") << QStringList{"-c"} << 3000;
    QTest::newRow("checksum") << QStringList() << 640;
}

void TestXmodem::transmitToRx()
{
    QFETCH(QStringList, options);
    QFETCH(int, size);
    QTemporaryDir dir;
    const QByteArray data = pattern(size, 11);
    PtyPair pty;
    const int slave = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(slave >= 0);
    PtyChannel channel(slave, 100);
    PeerProcess rx;
    QVERIFY(rx.start("rx", options + QStringList{"in.bin"}, pty.masterDescriptor(), dir.path()));
    const int result = xmodemTx(channel, reinterpret_cast<const unsigned char *>(data.constData()), size);
    ::close(slave);
    QCOMPARE(rx.wait(10000), 0);
    QVERIFY2(result == size, qPrintable(channel.lines.mid(channel.lines.size() - 6).join(QStringLiteral(" / "))));
    QFile file(dir.filePath("in.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray got = file.readAll();
    QVERIFY(got.startsWith(data));
    QCOMPARE(channel.lines.contains("Terminal: X-Modem begin ..."), options.contains("-c"));
}

QTEST_GUILESS_MAIN(TestXmodem)
#include "tst_xmodem.moc"

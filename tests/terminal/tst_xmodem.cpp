// The XMODEM engines against a scripted peer, for every fault (real sx and rx
// peers meet them through the window, in the transfer tests).
#include "testfiles.h"
#include "xmodempackets.h"

#include <QtTest>

using namespace Xmodem;
using Answers = QList<QByteArray>;

namespace {

// A peer whose answers are written in advance: each time the engine waits
// with nothing pending, the next answer arrives (an empty one is a time-out).
// No real time passes.
class ScriptedChannel : public XmodemChannel
{
public:
    Answers answers;
    QByteArray inbox, sent;
    QStringList lines;
    bool progressOpen = false;
    int abortAfter = -1;
    int reads = 0;

    int receiveByte(int) override
    {
        ++reads;
        if (inbox.isEmpty() && !answers.isEmpty())
            inbox = answers.takeFirst();
        if (inbox.isEmpty())
            return -1;
        const int byte = static_cast<unsigned char>(inbox.at(0));
        inbox.remove(0, 1);
        return byte;
    }
    void sendByte(unsigned char byte) override { sent.append(char(byte)); }
    void flushInput() override { inbox.clear(); }
    void log(const QString &line) override { lines << line; }
    void beginProgress(int, bool) override { progressOpen = true; }
    void setProgress(int) override {}
    bool abortRequested() override { return abortAfter >= 0 && reads >= abortAfter; }
    void endProgress() override { progressOpen = false; }
};

QByteArray pattern(int size, int seed) { return testPattern(size, seed * 31); }
QByteArray bytes(int count, unsigned char byte) { return QByteArray(count, char(byte)); }
Answers repeated(int count, const QByteArray &answer)
{
    Answers list;
    while (count-- > 0)
        list << answer;
    return list;
}

const QByteArray kEotAnswer = bytes(1, kEot);
const QByteArray kAckAnswer = bytes(1, kAck);
constexpr int kGuardBytes = 16;

} // namespace

class TestXmodem : public QObject
{
    Q_OBJECT

private slots:
    void receive_data()
    {
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("abortAfter"); // bytes read before the user aborts, -1 never
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("lines");
        const QByteArray a = pattern(128, 1), b = pattern(128, 2), k = pattern(1024, 4);
        const QByteArray C("C"), acks = bytes(3, kAck);
        QTest::newRow("CRC mode") << Answers{soh(1, a), soh(2, b), kEotAnswer} << 1024 << -1 << 256 << a + b
                                  << C + acks << QStringList({"   128", "   256"});
        QByteArray badCrc = soh(1, a), badComplement = soh(1, a);
        badCrc[50] = char(badCrc.at(50) ^ 0x40);
        badComplement[2] = 0x00;
        const QByteArray resent = C + bytes(1, kNak) + bytes(2, kAck);
        const QList<QPair<const char *, QByteArray>> damaged{{"data damaged", badCrc},
                                                             {"complement wrong", badComplement},
                                                             {"block cut short", soh(1, a).left(60)},
                                                             {"number out of order", soh(7, a)}};
        for (const auto &bad : damaged)
            QTest::newRow(bad.first) << Answers{bad.second, QByteArray(), soh(1, a), kEotAnswer} << 256 << -1 << 128
                                     << a << resent << QStringList();
        QTest::newRow("first block numbered 0 ignored") << Answers{soh(0, pattern(128, 9)), soh(1, a), kEotAnswer}
                                                        << 512 << -1 << 128 << a << C + acks << QStringList();
        // 256 blocks; block 255 again while block 0 is expected is a repeat.
        Answers wrap;
        QByteArray wrapped;
        for (int n = 1; n <= 256; ++n) {
            wrap << soh(n, pattern(128, n));
            wrapped += pattern(128, n);
        }
        wrap.insert(255, soh(255, pattern(128, 255)));
        QTest::newRow("numbers wrap from 255 to 0") << wrap + Answers{kEotAnswer} << 256 * 128 << -1 << 256 * 128
                                                    << wrapped << C + bytes(258, kAck) << QStringList();
        // A lone CAN is noise; two in a row cancel.
        QTest::newRow("CAN CAN cancels") << Answers{"\x18X", soh(1, a), "\x18\x18"} << 512 << -1 << kCancelled << a
                                         << QByteArray("CC\x06\x06") << QStringList{"Terminal: X-Modem Canceled by remote"};
        // The block and two repeats are acknowledged, the third repeat is not.
        QTest::newRow("third repeat") << Answers{soh(1, a), soh(1, a), soh(1, a), soh(1, a)} << 512 << -1
                                      << kTooManyRepeats << a << C + acks + bytes(3, kCan)
                                      << QStringList{"Terminal: X-Modem Too many retry error"};
        QTest::newRow("capacity cuts a 1K block") << Answers{xmodemPacket(kStx, 1, k), soh(2, b), kEotAnswer} << 256
                                                  << -1 << 256 << k.left(256) << C + acks << QStringList();
        // The sender ignores "C".
        QTest::newRow("falls back to checksum")
            << repeated(30, QByteArray()) + Answers{soh(1, a, false), kEotAnswer} << 128 << -1 << 128 << a
            << QByteArray(30, 'C') + "\x15\x06\x06" << QStringList();
        QTest::newRow("no sender") << Answers() << 128 << -1 << kNoSync << QByteArray()
                                   << QByteArray(30, 'C') + bytes(30, kNak) + bytes(3, kCan)
                                   << QStringList{"Terminal: X-Modem Sync error"};
        // An abort cancels the sender at once: no further "C", NAK or ACK, and
        // the block being read is not acknowledged.
        QTest::newRow("user abort while waiting") << Answers() << 512 << 0 << kAborted << QByteArray()
                                                  << bytes(3, kCan) << QStringList();
        QTest::newRow("user abort inside a block") << Answers{soh(1, a), soh(2, b)} << 512 << 140 << kAborted << a
                                                   << C + bytes(1, kAck) + bytes(3, kCan) << QStringList();
    }

    void receive()
    {
        QFETCH(Answers, answers);
        QFETCH(int, capacity);
        QFETCH(int, abortAfter);
        QFETCH(int, result);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, sent);
        QFETCH(QStringList, lines);
        ScriptedChannel peer;
        peer.answers = answers;
        peer.abortAfter = abortAfter;
        QByteArray area(capacity + kGuardBytes, 'Z');
        QCOMPARE(xmodemRx(peer, reinterpret_cast<unsigned char *>(area.data()), capacity), result);
        QCOMPARE(area.left(stored.size()), stored);
        QCOMPARE(area.mid(capacity), QByteArray(kGuardBytes, 'Z')); // nothing written past the capacity
        QCOMPARE(peer.sent, sent);
        QCOMPARE(peer.lines.mid(peer.lines.size() - lines.size()), lines);
        QVERIFY(!peer.progressOpen);
    }

    void transmit_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("lines");
        const QByteArray d200 = pattern(200, 3), d128 = pattern(128, 3), d100 = pattern(100, 3);
        const QByteArray eot = bytes(1, kEot), cans = bytes(3, kCan);
        const Answers acks = repeated(5, kAckAnswer);
        const QString begin = "Terminal: X-Modem begin ...", ack = "Terminal: Host answer 6";
        auto packet = [](int n, int size, int retry) {
            return QStringLiteral("Terminal: packet %1 sent, buffer size %2, retry %3").arg(n).arg(size).arg(retry);
        };
        QTest::newRow("CRC") << d200 << Answers{"C"} + acks << 200 << blocksOf(d200, true) + eot
                             << QStringList({begin, packet(1, 133, 0), ack, "   128", packet(2, 133, 0), ack, "   256"});
        QTest::newRow("checksum when asked with NAK, padding block")
            << d128 << Answers{"\x15"} + acks << 128 << blocksOf(d128, false) + eot
            << QStringList({packet(1, 132, 0), ack, "   128", packet(2, 132, 0), ack, "   256"});
        QTest::newRow("NAK and time-out retried")
            << d100 << Answers{"C", "\x15", "", "\x06", "\x06"} << 100 << blocksOf(d100, true).repeated(3) + eot
            << QStringList({begin, packet(1, 133, 0), "Terminal: Host answer 21", "Terminal: X-Modem NAK by remote",
                            packet(1, 133, 1), "Terminal: Host answer -1", "Terminal: (BODY) Sync timeout",
                            packet(1, 133, 2), ack, "   128"});
        QTest::newRow("block never acknowledged")
            << d128 << Answers{"C", "?", "\x18x", "\x15"} << kBlockNotAcked << soh(1, d128).repeated(3) + cans
            << QStringList({begin, packet(1, 133, 0), "Terminal: Host answer 63", "Terminal: Unknown rxed code 0x3f",
                            packet(1, 133, 1), "Terminal: Host answer 24", packet(1, 133, 2), "Terminal: Host answer 21",
                            "Terminal: X-Modem NAK by remote", "Terminal: X-Modem Sync error (BODY)"});
        QTest::newRow("cancelled") << d128 << Answers{"C", "\x18\x18"} << kCancelled << soh(1, d128) + kAckAnswer
                                   << QStringList({begin, packet(1, 133, 0), "Terminal: Host answer 24",
                                                   "Terminal: X-Modem Canceled by remote"});
        QStringList headTimeouts;
        for (int i = 0; i < 15; ++i)
            headTimeouts << "Terminal:  (HEAD) Sync timeout";
        QTest::newRow("no receiver") << d128 << Answers{"x"} << kNoSync << cans
                                     << headTimeouts + QStringList{"Terminal: X-Modem Sync error (HEAD)"};
        QTest::newRow("EOT never acknowledged") << QByteArray() << Answers{"C", "\x06"} << kEndNotAcked
                                                << blocksOf(QByteArray(), true) + eot.repeated(10)
                                                << QStringList({begin, packet(1, 133, 0), ack, "   128"});
        // Block 256 goes out numbered 0.
        const QByteArray zeros(256 * 128, '\0');
        QTest::newRow("block 256 numbered 0") << zeros << Answers{"C"} + repeated(258, kAckAnswer) << zeros.size()
                                              << blocksOf(zeros, true) + eot << QStringList();
    }

    void transmit()
    {
        QFETCH(QByteArray, data);
        QFETCH(Answers, answers);
        QFETCH(int, result);
        QFETCH(QByteArray, sent);
        QFETCH(QStringList, lines);
        ScriptedChannel peer;
        peer.answers = answers;
        QCOMPARE(xmodemTx(peer, reinterpret_cast<const unsigned char *>(data.constData()), data.size()), result);
        QCOMPARE(peer.sent, sent);
        if (!lines.isEmpty()) // the 256-block row's log is left out of the table
            QCOMPARE(peer.lines, lines);
    }
};

QTEST_GUILESS_MAIN(TestXmodem)
#include "tst_xmodem.moc"

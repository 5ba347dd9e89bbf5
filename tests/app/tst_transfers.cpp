// File transfers from the terminal page: the transfers a board starts itself,
// played byte for byte by a scripted board on the other side of a real
// pseudo-terminal, a request taken by lrzsz's rx, and X-Rx from lrzsz's sx.
// (The virtual board's monitor starts both transfers in the action tests.)
#include "../terminal/xmodempackets.h"
#include "apptest.h"
#include "peerprocess.h"
#include "testfiles.h"

#include <QProgressDialog>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace Xmodem;

namespace {

const QByteArray kAckByte(1, char(kAck));

// The board's side of a handshake, played on its own thread while the window
// works: each step sends bytes or expects exactly the given bytes.
struct ScriptedBoard
{
    PtyPair &pty;
    QList<QPair<bool, QByteArray>> steps; // true: send, false: expect

    void send(const QByteArray &bytes) { steps.append({true, bytes}); }
    void expect(const QByteArray &bytes) { steps.append({false, bytes}); }
    // The marker of a board-to-host file (0xFF) or of a request (0xFE), the
    // host's acknowledge, then the header line.
    void announce(char marker, const QByteArray &line)
    {
        send(QByteArray(1, marker));
        expect(kAckByte);
        send(line);
    }
    // Plays the steps, then `after` (if any), processing events meanwhile;
    // the first mismatch, or an empty string.
    QString run(const std::function<void()> &after = nullptr)
    {
        QString failure;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (const auto &step : qAsConst(steps)) {
                if (step.first) {
                    pty.write(step.second);
                    continue;
                }
                const QByteArray got = pty.read(step.second.size(), 5000);
                if (got != step.second) {
                    failure = QStringLiteral("expected %1, got %2")
                                  .arg(QLatin1String(step.second.toHex()), QLatin1String(got.toHex()));
                    break;
                }
            }
            if (after && failure.isEmpty())
                after();
            done = true;
        });
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, 20000);
        worker.join(); // every step's wait is bounded
        return finished ? failure : QStringLiteral("board script did not finish");
    }
};

} // namespace

class TestTransfers : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowOnPty> f;
    Lodvane *w = nullptr;
    QString previousDir;
    QTemporaryDir elsewhere;

    QStringList logLines() const { return ::logLines(*w); }
    QString file(const QString &name) const { return f->dir.filePath(name); }
    QByteArray contents(const QString &name) const
    {
        return QFile::exists(file(name)) ? readFile(file(name)) : QByteArray("<missing>");
    }
    // A folder beside the working directory with a secret in it, reached
    // from the working directory through the link "outside" (to the folder)
    // and "secret-link" (to the file).
    void linkOutside()
    {
        QVERIFY(elsewhere.isValid());
        QVERIFY(!writeFile(elsewhere.filePath("secret.bin"), "secret").isEmpty());
        QVERIFY(QFile::link(elsewhere.path(), file("outside")));
        QVERIFY(QFile::link(elsewhere.filePath("secret.bin"), file("secret-link")));
    }

private slots:
    void init()
    {
        f = std::make_unique<WindowOnPty>();
        w = f->w.get();
        // Board-named files are relative to the working directory.
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(f->dir.path()));
        w->ui.terminalTB->click();
        QVERIFY(w->terminalPolling);
    }
    void cleanup()
    {
        f.reset();
        QDir::setCurrent(previousDir);
    }

    // A board-to-host file: whole, empty, or cancelled by the board after its
    // first block, which leaves a file of the same name as it was. A link at
    // the name is replaced by the file, its target left alone.
    void deviceSendsFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("300 bytes") << "dump.bin" << 300 << false;
        QTest::newRow("empty") << "dump.bin" << 0 << false;
        QTest::newRow("cancelled, existing file kept") << "dump.bin" << 200 << true;
        QTest::newRow("link at the name replaced") << "secret-link" << 10 << false;
    }

    void deviceSendsFile()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        QFETCH(bool, cancelled);
        linkOutside();
        if (name.startsWith("dump"))
            QVERIFY(!writeFile(file(name), "precious").isEmpty());
        const QByteArray data = testPattern(size, 1);
        const int blocks = cancelled ? 1 : (size + 127) / 128;
        const QByteArray padded = data + QByteArray(blocks * 128, char(kCtrlZ));
        ScriptedBoard board{f->pty, {}};
        board.announce(char(0xFF), name.toLatin1() + "," + QByteArray::number(size) + "\n");
        board.expect(kAckByte);
        board.expect("C");
        for (int n = 0; n < blocks; ++n) {
            board.send(soh(n + 1, padded.mid(n * 128, 128)));
            board.expect(kAckByte);
        }
        board.send(cancelled ? QByteArray(2, char(kCan)) : QByteArray(1, char(kEot)));
        board.expect(kAckByte);
        board.expect(QByteArray(5, char(kCan)));
        QCOMPARE(board.run(), QString());

        QCOMPARE(contents(name), cancelled ? QByteArray("precious") : data);
        QVERIFY(!QFileInfo(file(name)).isSymLink());
        QCOMPARE(readFile(elsewhere.filePath("secret.bin")), QByteArray("secret"));
        const QStringList temporaries{QFileInfo(name).fileName() + ".*"};
        QCOMPARE(QDir(QFileInfo(file(name)).path()).entryList(temporaries, QDir::Files | QDir::Hidden),
                 QStringList());
        QVERIFY(logLines().contains(QStringLiteral("Terminal: File [%1], Size: %2").arg(name).arg(size)));
        QCOMPARE(logLines().last(), cancelled ? QStringLiteral("Terminal: X-Modem fail return: 4294967295")
                                              : QStringLiteral("Terminal: X-Modem file received OK"));
        QVERIFY(w->terminalPolling); // the terminal shows text again
    }

    // Handshakes the window turns down. A header gets a BEL and nothing else,
    // a request nothing at all (the board is left to time out); no file is
    // written or read, and only a refused name is logged. One header of each
    // outcome the parser tells apart (its own table has the rest), and the
    // names that only the file system can refuse.
    void handshakeRefused_data()
    {
        QTest::addColumn<char>("marker");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("nameRefused");
        const char sends = char(0xFF), requests = char(0xFE);
        QTest::newRow("header size over 64 MiB") << sends << QByteArray("a.bin,67108865\n") << false;
        QTest::newRow("written through a link out") << sends << QByteArray("outside/escape2.bin,300\n") << true;
        QTest::newRow("missing file requested") << requests << QByteArray("nothere.bin\n") << false;
        QTest::newRow("read through a link to a file outside") << requests << QByteArray("secret-link\n") << true;
    }

    void handshakeRefused()
    {
        QFETCH(char, marker);
        QFETCH(QByteArray, line);
        QFETCH(bool, nameRefused);
        linkOutside();
        ScriptedBoard board{f->pty, {}};
        board.announce(marker, line);
        const bool request = marker == char(0xFE);
        if (!request)
            board.expect(QByteArray(1, char(kBel)));
        QCOMPARE(board.run(), QString());
        QCOMPARE(f->pty.readUntilQuiet(1500, 3000), QByteArray());
        QCOMPARE(QDir(f->dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"secret-link"});
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{"secret.bin"});
        const QString name = QString::fromLatin1(line.left(line.indexOf(request ? '\n' : ',')));
        QCOMPARE(logLines().contains(QStringLiteral("Terminal: Requested file [%1]").arg(name)), request);
        QCOMPARE(logLines().contains(QStringLiteral("Terminal: Refused file name [%1]").arg(name)), nameRefused);
        QVERIFY(w->terminalPolling);
    }

    // A request taken by rx in checksum mode: the size line, then the file as
    // an area rounded up to the next multiple of 128 with zeros, ended by a
    // CTRL-Z block (the packets themselves are the engine's tests', CRC mode
    // the virtual board's in the action tests).
    void deviceRequestsFile()
    {
        const QByteArray data = testPattern(3000, 7);
        QVERIFY(QDir(f->dir.path()).mkdir("sub"));
        QVERIFY(!writeFile(file("sub/req.bin"), data).isEmpty());
        ScriptedBoard board{f->pty, {}};
        board.announce(char(0xFE), "sub/req.bin\n");
        board.expect(kAckByte + "3000\n");
        board.send(kAckByte);
        int status = -1;
        auto receive = [&] {
            PeerProcess rx;
            rx.start("rx", {"received.bin"}, f->pty.masterDescriptor(), f->dir.path());
            status = rx.wait(10000);
        };
        QCOMPARE(board.run(receive), QString());
        QCOMPARE(status, 0);
        QCOMPARE(contents("received.bin").left(3072 + 1), data + QByteArray(3072 - 3000, '\0') + char(kCtrlZ));
        QVERIFY(logLines().contains("Terminal: Requested file size 3000"));
        QCOMPARE(logLines().last(), QStringLiteral("Terminal: X-Modem file transmit OK"));
    }

    // X-Rx with the dialog cancelled sends nothing; against sx sending 1K
    // blocks it saves the file as sx sent it, padding included. Then an abort
    // in the middle of a transfer from sx: the sender is cancelled at once (sx
    // ends), the result is -6, nothing is saved, and nothing more goes out on
    // the line (the CAN bytes themselves are the engine's tests').
    void xRxFromSx()
    {
        answerFileDialog(QString());
        const QString before = w->ui.log->toPlainText();
        w->ui.xModemReceiveTB->click();
        QCOMPARE(w->ui.log->toPlainText(), before);
        QCOMPARE(f->pty.readUntilQuiet(300, 1000), QByteArray()); // no "C" sent

        const QByteArray data = testPattern(70000, 3);
        QVERIFY(!writeFile(file("source.bin"), data).isEmpty());
        PeerProcess sx;
        QVERIFY(sx.start("sx", {"-k", "source.bin"}, f->pty.masterDescriptor(), f->dir.path()));
        QStringList seen;
        answerFileDialog(file("received.bin"), &seen);
        w->ui.xModemReceiveTB->click();
        QCOMPARE(sx.wait(10000), 0);
        QCOMPARE(seen, QStringList({"Save X-Modem data", "/", "*.*"}));
        const QByteArray got = contents("received.bin");
        QVERIFY(got.startsWith(data));
        QCOMPARE(got.mid(data.size()), QByteArray(got.size() - data.size(), char(kCtrlZ)));
        QVERIFY(logLines().contains(QStringLiteral("X-Modem return: %1").arg(got.size())));
        QCOMPARE(logLines().last(), QStringLiteral("X-Modem data saved"));
        QCOMPARE(w->settings->value("Terminal.xModem.Path").toString(), f->dir.path());

        QVERIFY(!writeFile(file("big.bin"), testPattern(400 * 1024, 5)).isEmpty());
        PeerProcess big;
        QVERIFY(big.start("sx", {"-k", "big.bin"}, f->pty.masterDescriptor(), f->dir.path()));
        answerFileDialog(file("aborted.bin"));
        QTimer pressAbort;
        QObject::connect(&pressAbort, &QTimer::timeout, [this] {
            auto *dialog = w->findChild<QProgressDialog *>();
            if (dialog && dialog->value() >= 8192)
                dialog->cancel();
        });
        pressAbort.start(5);
        w->ui.xModemReceiveTB->click();
        pressAbort.stop();
        QCOMPARE(logLines().last(), QStringLiteral("X-Modem return: -6"));
        QVERIFY(big.wait(5000) > 0); // ended by the cancel, not killed
        QCOMPARE(f->pty.readUntilQuiet(1500, 3000), QByteArray());
        QVERIFY(!QFile::exists(file("aborted.bin")));
        QVERIFY(w->terminalPolling);
    }
};

QTEST_MAIN(TestTransfers)
#include "tst_transfers.moc"

// Benchmarks, not tests: the window on a pseudo-terminal at full speed, one
// program under three names, each printing its figures:
//   build/bin/bench_terminal         a 1 MiB burst of text into the terminal
//   build/bin/bench_xmodem           1 MiB by X-Rx from sx and to rx on request
//   build/bin/bench_idle_script [S]  the example script's page idle (10 s)
#include "apptest.h"
#include "peerprocess.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace {

constexpr int kBurstBytes = 1 << 20;
constexpr int kFileBytes = 1 << 20;
constexpr int kLineLength = 80;
const QByteArray kEndMarker("END OF BURST");

// Runs events until `done` (at most `limitMs`): the time it took, and the
// longest gap between two rounds of events in `longestGapMs`.
qint64 runUntil(const std::function<bool()> &done, qint64 limitMs, qint64 *longestGapMs = nullptr)
{
    QElapsedTimer clock, gap;
    clock.start();
    gap.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (longestGapMs)
            *longestGapMs = qMax(*longestGapMs, gap.restart());
    }
    return clock.elapsed();
}

double megabytesPerSecond(qint64 bytes, qint64 ms) { return bytes / 1e6 / (double(ms) / 1000.0); }

// A field of /proc/self/status, as the kernel writes it.
QString statusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QString text = status.open(QIODevice::ReadOnly) ? QString::fromLatin1(status.readAll()) : QString();
    return QRegularExpression(QStringLiteral("%1:\\s*(.*)").arg(QLatin1String(name))).match(text).captured(1);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// 80-character lines, every fourth ending in a lone carriage return, written
// at full speed; the window's memory before and after.
int terminalBurst(WindowOnPty &f)
{
    QByteArray text;
    for (int line = 0; text.size() < kBurstBytes; ++line) {
        QByteArray row = QByteArray::number(line).rightJustified(6, '0') + ' ';
        while (row.size() < kLineLength - 2)
            row += char('a' + (row.size() + line) % 26);
        text += row + (line % 4 == 3 ? "\r" : "\r\n");
    }
    text.truncate(kBurstBytes - kEndMarker.size() - 2);
    text += "\n" + kEndMarker + "\n";
    f.w->ui.terminalTB->click();
    std::printf("before: VmRSS %s\n", qPrintable(statusField("VmRSS")));
    std::thread board([&f, &text] { f.pty.write(text); });
    const QTextDocument *view = f.w->ui.terminal->document();
    qint64 longestGapMs = 0;
    const qint64 ms = runUntil([view] { return view->toPlainText().endsWith(kEndMarker + "\n"); }, 120000,
                               &longestGapMs);
    board.join();
    std::printf("burst: %d bytes in %lld ms = %.2f MB/s\n", text.size(), ms, megabytesPerSecond(text.size(), ms));
    std::printf("longest gap between event rounds: %lld ms\n", longestGapMs);
    std::printf("view: %d blocks kept\n", view->blockCount());
    std::printf("after: VmRSS %s, VmHWM %s\n", qPrintable(statusField("VmRSS")), qPrintable(statusField("VmHWM")));
    return 0;
}

// X-Rx from sx sending 1K blocks, then a board request taken by rx.
int xmodemBothWays(WindowOnPty &f)
{
    const QString dir = f.dir.path();
    QDir::setCurrent(dir);
    writeFile(f.dir.filePath("source.bin"), testPattern(kFileBytes, 131));
    f.w->ui.terminalTB->click();

    // Receive: X-Rx with sx sending 1K blocks.
    PeerProcess sx;
    sx.start("sx", {"-k", "-q", "source.bin"}, f.pty.masterDescriptor(), dir);
    answerFileDialog(f.dir.filePath("received.bin"));
    QElapsedTimer clock;
    clock.start();
    f.w->ui.xModemReceiveTB->click();
    const qint64 receiveMs = clock.elapsed();
    sx.wait(30000);

    // Transmit: the board asks for the file and takes it with rx.
    std::thread board([&f, &dir] {
        f.pty.write("\xFE");
        f.pty.read(1, 5000);
        f.pty.write("source.bin\n");
        f.pty.read(1 + 8, 5000); // ACK and "1048576\n"
        f.pty.write("\x06");
        PeerProcess rx;
        rx.start("rx", {"-q", "-c", "sent.bin"}, f.pty.masterDescriptor(), dir);
        rx.wait(600000);
    });
    const QPlainTextEdit *log = f.w->ui.log;
    const qint64 transmitMs = runUntil(
        [log] { return log->toPlainText().contains(QRegularExpression("X-Modem (file transmit OK|fail return)")); },
        600000);
    board.join();

    auto rate = [](qint64 ms) { return megabytesPerSecond(kFileBytes, ms); };
    std::printf("X-Rx from sx (1K blocks):  %6lld ms  %.3f MB/s\n", receiveMs, rate(receiveMs));
    std::printf("board request, sent to rx: %6lld ms  %.3f MB/s\n", transmitMs, rate(transmitMs));
    return 0;
}

int idleScriptPage(WindowOnPty &f, int idleSeconds)
{
    Lodvane *w = f.w.get();
    double cpuAtStart = 0;
    QElapsedTimer wall;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!wall.isValid()) {
            if (w->ui.main->currentIndex() == Lodvane::EepromPage) { // the page is up
                cpuAtStart = cpuSeconds();
                wall.start();
            }
            return;
        }
        if (wall.elapsed() < idleSeconds * 1000)
            return;
        const double cpu = cpuSeconds() - cpuAtStart, seconds = double(wall.elapsed()) / 1000;
        std::printf("idle example page: %.3f s of processor time in %.2f s = %.1f%% of a core\n", cpu, seconds,
                    100 * cpu / seconds);
        watch.stop();
        w->ui.PB_3->click(); // the script's own Close
    });
    watch.start(50);
    w->runScript(QStringLiteral(LODVANE_EXAMPLES "/eeprom.c")); // never saved: Close only
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowOnPty f;
    const QString name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    if (name == "bench_terminal")
        return terminalBurst(f);
    if (name == "bench_xmodem")
        return xmodemBothWays(f);
    return idleScriptPage(f, argc > 1 ? QByteArray(argv[1]).toInt() : 10);
}

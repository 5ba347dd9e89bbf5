// Benchmark, not a test: how fast the open terminal takes a 1 MiB burst of
// text (80-character lines, every fourth ending in a lone carriage return)
// written at full pseudo-terminal speed, and the window's memory afterwards.
//
//   build/bin/bench_terminal
#include "apptest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTextBlock>

#include <cstdio>
#include <thread>

namespace {

constexpr int kBurstBytes = 1 << 20;
constexpr int kLineLength = 80;
const QByteArray kEndMarker("END OF BURST");

QByteArray burst()
{
    QByteArray text;
    for (int line = 0; text.size() < kBurstBytes; ++line) {
        QByteArray row = QByteArray::number(line).rightJustified(6, '0') + ' ';
        while (row.size() < kLineLength - 2)
            row += char('a' + (row.size() + line) % 26);
        row += (line % 4 == 3) ? "\r" : "\r\n";
        text += row;
    }
    text.truncate(kBurstBytes - kEndMarker.size() - 2);
    return text + "\n" + kEndMarker + "\n";
}

// A field of /proc/self/status, as the kernel writes it.
QString statusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QString text = status.open(QIODevice::ReadOnly) ? QString::fromLatin1(status.readAll()) : QString();
    return QRegularExpression(QStringLiteral("%1:\\s*(.*)").arg(QLatin1String(name))).match(text).captured(1);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowOnPty fixture;
    PtyPair &pty = fixture.pty;
    Lodvane &window = *fixture.w;
    window.ui.terminalTB->click();
    const QByteArray text = burst();
    std::printf("before: VmRSS %s\n", qPrintable(statusField("VmRSS")));

    QElapsedTimer clock;
    clock.start();
    std::thread board([&pty, &text] { pty.write(text); });
    qint64 longestPauseMs = 0;
    QElapsedTimer pause;
    pause.start();
    while (!window.ui.terminal->document()->toPlainText().endsWith(QString::fromLatin1(kEndMarker) + "\n")
           && clock.elapsed() < 120000) {
        app.processEvents(QEventLoop::AllEvents, 50);
        longestPauseMs = qMax(longestPauseMs, pause.restart());
    }
    const qint64 elapsedMs = clock.elapsed();
    board.join();

    std::printf("burst: %d bytes in %lld ms = %.2f MB/s\n", text.size(), elapsedMs,
                text.size() / 1e6 / (double(elapsedMs) / 1000.0));
    std::printf("longest gap between event rounds: %lld ms\n", longestPauseMs);
    std::printf("view: %d blocks kept\n", window.ui.terminal->document()->blockCount());
    std::printf("after: VmRSS %s, VmHWM %s\n", qPrintable(statusField("VmRSS")), qPrintable(statusField("VmHWM")));
    return 0;
}

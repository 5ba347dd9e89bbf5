// Benchmark, not a test. First the device link programs and verifies a 1 MiB
// image on one virtual board at 115200 bit/s, its wall time set against the
// least time the line itself needs for this stop-and-wait protocol. Then
// lodvane-cli programs one 128 KiB image on 1, 4 and 8 boards at once,
// each wall time set against the single board's (the aim: 8 boards within
// 1.15 times the time of one). Run with: cmake --build build --target benchmark

#include "qpe.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kLinkImageBytes = 1024 * 1024;
constexpr int kGangImageBytes = 128 * 1024;
constexpr int kBaud = 115200;
constexpr unsigned kCore = 6;
constexpr double kBitsPerByte = 10.0; // start, 8 data, stop
constexpr int kGangWaitMs = 600000;
const int kBoardCounts[] = {1, 4, 8};

using Boards = std::vector<std::unique_ptr<SimProcess>>;

// Starts `count` boards with `options`, each in its own folder under `work`
// (a later run of as many boards takes the same folders again).
bool startBoards(int count, const QStringList &options, const QString &work, Boards &boards)
{
    for (int i = 0; i < count; ++i) {
        const QString dir = QStringLiteral("%1/board%2-%3").arg(work).arg(count).arg(i);
        boards.push_back(std::make_unique<SimProcess>(QDir().mkpath(dir) ? dir : QString()));
        if (!boards.back()->start(options)) {
            std::fprintf(stderr, "bench: a virtual board did not start: %s\n", qPrintable(boards.back()->lastError()));
            return false;
        }
    }
    return true;
}

double secondsSince(const QElapsedTimer &clock) { return double(clock.nsecsElapsed()) / 1e9; }

// Seconds programData took on one board, or a negative value when it failed.
double programOverLink(const QStringList &simOptions, const QByteArray &image, const QString &work)
{
    Boards boards;
    QPE link;
    QObject::connect(&link, &QPE::message, [] { QCoreApplication::processEvents(); });
    QObject::connect(&link, &QPE::progress, [] { QCoreApplication::processEvents(); });
    const QString loader = QCoreApplication::applicationDirPath() + QStringLiteral("/sys/ADSP-BF51x/FlashLoader.ldr");
    if (!startBoards(1, simOptions, work, boards)
        || !link.openPort(boards[0]->port(), kBaud, 1000)
        || !link.bootFile(loader, kCore, kResetNone, kLineNone, kLineNone) || !boards[0]->waitForTrace("loader start"))
        return -1;
    QElapsedTimer clock;
    clock.start();
    const bool ok = link.programData(kCore, image);
    const double seconds = secondsSince(clock);
    link.closePort();
    return ok ? seconds : -1;
}

// Seconds lodvane-cli took to program `image` on `count` boards at once, or
// a negative value when it failed.
double programWithCli(int count, const QString &image, const QString &work)
{
    const QStringList speed{QStringLiteral("--baud"), QString::number(kBaud)};
    Boards boards;
    if (!startBoards(count, speed, work, boards))
        return -1;
    QStringList arguments = QStringList{QStringLiteral("program"), image, QStringLiteral("--core"), QString::number(kCore)} + speed;
    for (const auto &board : boards)
        arguments << QStringLiteral("--port") << board->port();
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lodvane-cli"), arguments);
    const bool finished = cli.waitForFinished(kGangWaitMs);
    const double seconds = secondsSince(clock);
    if (!finished || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        std::fprintf(stderr, "bench: lodvane-cli failed on %d board(s):\n%s", count,
                     cli.readAllStandardOutput().right(2000).constData());
        return -1;
    }
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    const QByteArray image = testPattern(kLinkImageBytes);

    // Frames and bytes both ways of one programData run, every frame answered
    // before the next one goes: two syncs of 1 + 1 bytes, an erase (3 + 1) per
    // block, then per piece of the image a program frame (7 + 1) and a read
    // frame (7 + 1) besides the piece itself going both ways.
    const int blocks = (kLinkImageBytes + 65535) / 65536, pieces = (kLinkImageBytes + 255) / 256;
    const long frames = 2 + blocks + 2L * pieces;
    const double wireBytes = 2 * 2 + 4.0 * blocks + 16.0 * pieces + 2.0 * kLinkImageBytes;
    const double bound = wireBytes * kBitsPerByte / kBaud;
    std::printf("program + verify of %d bytes: %ld loader frames, %.0f bytes on the line\n", kLinkImageBytes, frames,
                wireBytes);
    const double paced = programOverLink({QStringLiteral("--baud"), QString::number(kBaud)}, image, work.path());
    if (paced < 0) {
        std::fprintf(stderr, "bench: programming over the link failed\n");
        return 1;
    }
    std::printf("at %d bit/s: wall %.2f s, wire-time lower bound %.2f s, ratio %.3f\n", kBaud, paced, bound,
                bound / paced);

    const QString gangImage = writeFile(work.filePath(QStringLiteral("image.ldr")), testPattern(kGangImageBytes));
    std::printf("lodvane-cli program, %d bytes, %d bit/s, boards at once\n", kGangImageBytes, kBaud);
    double single = 0;
    for (const int count : kBoardCounts) {
        const double seconds = gangImage.isEmpty() ? -1 : programWithCli(count, gangImage, work.path());
        if (seconds < 0)
            return 1;
        single = count == 1 ? seconds : single;
        std::printf("%d board(s): wall %.2f s, ratio to one board %.3f\n", count, seconds, seconds / single);
        std::fflush(stdout);
    }
    return 0;
}

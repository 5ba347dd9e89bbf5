// Benchmark, not a test: lodvane-cli programs the same 128 KiB image on 1, 4
// and 8 virtual boards at 115200 bit/s at once and reports each wall time and
// its ratio to the single board's (the aim: 8 boards within 1.15 times the
// time of one). Run with: cmake --build build --target benchmark

#include "simprocess.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kImageBytes = 128 * 1024;
constexpr int kBaud = 115200;
constexpr int kRunWaitMs = 600000;
const int kBoardCounts[] = {1, 4, 8};

// Seconds the whole run took, or a negative value when it failed.
double programBoards(int boards, const QString &image, const QString &work)
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QStringList arguments{QStringLiteral("program"), image, QStringLiteral("--core"), QStringLiteral("BF518F16"),
                          QStringLiteral("--baud"), QString::number(kBaud)};
    for (int i = 0; i < boards; ++i) {
        const QString dir = QStringLiteral("%1/board%2-%3").arg(work).arg(boards).arg(i);
        QDir().mkpath(dir);
        sims.push_back(std::make_unique<SimProcess>(dir));
        if (!sims.back()->start({QStringLiteral("--baud"), QString::number(kBaud)})) {
            std::fprintf(stderr, "bench: a virtual board did not start: %s\n", qPrintable(sims.back()->lastError()));
            return -1;
        }
        arguments << QStringLiteral("--port") << sims.back()->port();
    }
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lodvane-cli"), arguments);
    const bool finished = cli.waitForFinished(kRunWaitMs);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!finished || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        std::fprintf(stderr, "bench: lodvane-cli failed on %d board(s):\n%s", boards,
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
    const QString image = writeFile(work.filePath(QStringLiteral("image.ldr")), testPattern(kImageBytes));
    if (image.isEmpty()) {
        std::fprintf(stderr, "bench: cannot write the image\n");
        return 1;
    }

    std::printf("lodvane-cli program, %d bytes, %d bit/s, boards at once\n", kImageBytes, kBaud);
    double single = 0;
    for (const int boards : kBoardCounts) {
        const double seconds = programBoards(boards, image, work.path());
        if (seconds < 0)
            return 1;
        if (boards == 1)
            single = seconds;
        std::printf("%d board(s): wall %.2f s, ratio to one board %.3f\n", boards, seconds, seconds / single);
        std::fflush(stdout);
    }
    return 0;
}

// Benchmark, not a test: programs and verifies a 1 MiB image on the virtual
// board at 115200 bit/s and compares the wall time with the least time the
// line itself needs for this stop-and-wait protocol; then runs the same
// sequence without line-speed emulation to show the host's own cost per
// loader frame. Run with: cmake --build build --target benchmark

#include "qpe.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kImageBytes = 1024 * 1024;
constexpr int kBaud = 115200;
constexpr unsigned kCore = 6;
constexpr double kBitsPerByte = 10.0; // start, 8 data, stop

// Frames and bytes both ways of one programData run, every frame answered
// before the next one goes: two syncs of 1 + 1 bytes, an erase (3 + 1) per
// block, then per piece of the image a program frame (7 + 1) and a read
// frame (7 + 1) besides the piece itself going both ways.
void countWire(int size, double &bytes, long &frames)
{
    const int blocks = (size + 65535) / 65536, pieces = (size + 255) / 256;
    frames = 2 + blocks + 2L * pieces;
    bytes = 2 * 2 + 4.0 * blocks + 16.0 * pieces + 2.0 * size;
}

// Seconds programData took, or a negative value when it failed.
double run(const QStringList &simOptions, const QByteArray &image)
{
    QTemporaryDir dir;
    SimProcess sim(dir.path());
    QPE link;
    QObject::connect(&link, &QPE::message, [] { QCoreApplication::processEvents(); });
    QObject::connect(&link, &QPE::progress, [] { QCoreApplication::processEvents(); });
    const QString loader = QCoreApplication::applicationDirPath() + QStringLiteral("/sys/ADSP-BF51x/FlashLoader.ldr");
    if (!sim.start(simOptions) || !link.openPort(sim.port(), kBaud, 1000)
        || !link.bootFile(loader, kCore, kResetNone, kLineNone, kLineNone) || !sim.waitForTrace("loader start")) {
        std::fprintf(stderr, "bench: the virtual board or its loader did not start: %s\n", qPrintable(sim.lastError()));
        return -1;
    }
    QElapsedTimer clock;
    clock.start();
    const bool ok = link.programData(kCore, image);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    link.closePort();
    return ok ? seconds : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray image = testPattern(kImageBytes);

    double wireBytes = 0;
    long frames = 0;
    countWire(image.size(), wireBytes, frames);
    const double bound = wireBytes * kBitsPerByte / kBaud;
    std::printf("program + verify of %d bytes: %ld loader frames, %.0f bytes on the line\n", kImageBytes, frames,
                wireBytes);
    const double paced = run({QStringLiteral("--baud"), QString::number(kBaud)}, image);
    if (paced < 0) {
        std::fprintf(stderr, "bench: programming at %d bit/s failed\n", kBaud);
        return 1;
    }
    std::printf("at %d bit/s: wall %.2f s, wire-time lower bound %.2f s, ratio %.3f\n", kBaud, paced, bound,
                bound / paced);
    const double fast = run(QStringList(), image);
    if (fast < 0) {
        std::fprintf(stderr, "bench: programming without line-speed emulation failed\n");
        return 1;
    }
    std::printf("unthrottled: wall %.2f s, %.1f us per loader frame (host and virtual board together)\n", fast,
                fast * 1e6 / double(frames));
    return 0;
}

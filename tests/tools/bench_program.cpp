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

// Bytes both ways and frames of one programData run (program pass, then
// verify pass); every frame is answered before the next one goes.
void countWire(int size, double &bytes, long &frames)
{
    auto frame = [&](int hostBytes, int boardBytes) {
        bytes += hostBytes + boardBytes;
        ++frames;
    };
    frame(1, 1); // sync
    for (int offset = 0; offset < size; offset += 256) {
        if (offset % 65536 == 0)
            frame(3, 1);                            // erase block
        frame(7 + qMin(256, size - offset), 1);     // program piece
    }
    frame(1, 1); // the verify pass's sync
    for (int offset = 0; offset < size; offset += 256)
        frame(7, qMin(256, size - offset) + 1);     // read piece
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

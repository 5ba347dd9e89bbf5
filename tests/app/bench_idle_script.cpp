// Benchmark, not a test: the processor time the example script's page takes
// while it sits waiting for its buttons, over ten seconds.
//
//   build/bin/bench_idle_script [SECONDS]
#include "apptest.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    WindowOnPty f;
    Lodvane *w = f.w.get();
    const QString script = f.dir.filePath(QStringLiteral("eeprom.c"));
    QFile::copy(QStringLiteral(LODVANE_EXAMPLES "/eeprom.c"), script);
    QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner);

    double cpuAtStart = 0;
    QElapsedTimer wall;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!wall.isValid()) {
            if (w->ui.main->currentIndex() != Lodvane::EepromPage)
                return; // the page is not up yet
            cpuAtStart = cpuSeconds();
            wall.start();
            return;
        }
        if (wall.elapsed() < idleSeconds * 1000)
            return;
        const double cpu = cpuSeconds() - cpuAtStart;
        const double seconds = double(wall.elapsed()) / 1000;
        std::printf("idle example page: %.3f s of processor time in %.2f s = %.1f%% of a core\n", cpu, seconds,
                    100 * cpu / seconds);
        watch.stop();
        w->ui.PB_3->click(); // the script's own Close
    });
    watch.start(50);
    w->runScript(script);
    return 0;
}

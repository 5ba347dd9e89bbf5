// Benchmark, not a test: a 1 MiB file by XMODEM at full pseudo-terminal
// speed, received with X-Rx from lrzsz's sx and sent on the board's request
// to lrzsz's rx, against sx sending straight to rx as the anchor.
//
//   build/bin/bench_xmodem
#include "apptest.h"
#include "peerprocess.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kFileBytes = 1 << 20;

double rate(qint64 ms) { return kFileBytes / 1e6 / (double(ms) / 1000.0); }

// sx straight to rx over a socket pair: what the line itself allows.
qint64 anchor(const QString &dir, const QStringList &sxOptions)
{
    int sockets[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, sockets);
    QElapsedTimer clock;
    clock.start();
    auto run = [&](const char *program, QStringList args, int fd) {
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fd, 0);
            dup2(fd, 1);
            if (chdir(QFile::encodeName(dir).constData()) != 0)
                _exit(126);
            std::vector<QByteArray> bytes{program};
            for (const QString &a : args)
                bytes.push_back(a.toLocal8Bit());
            std::vector<char *> argv;
            for (QByteArray &b : bytes)
                argv.push_back(b.data());
            argv.push_back(nullptr);
            execvp(program, argv.data());
            _exit(127);
        }
        return pid;
    };
    const pid_t rx = run("rx", {"-q", "-c", "anchor.bin"}, sockets[1]);
    const pid_t sx = run("sx", sxOptions + QStringList{"-q", "source.bin"}, sockets[0]);
    waitpid(sx, nullptr, 0);
    waitpid(rx, nullptr, 0);
    const qint64 ms = clock.elapsed();
    close(sockets[0]);
    close(sockets[1]);
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    writeFile(dir.filePath("source.bin"), testPattern(kFileBytes, 131));

    WindowOnPty fixture;
    PtyPair &pty = fixture.pty;
    Lodvane &window = *fixture.w;
    window.ui.terminalTB->click();

    // Receive: X-Rx with sx sending 1K blocks.
    PeerProcess sx;
    sx.start("sx", {"-k", "-q", "source.bin"}, pty.masterDescriptor(), dir.path());
    const QString target = dir.filePath("received.bin");
    answerFileDialog(target);
    QElapsedTimer clock;
    clock.start();
    window.ui.xModemReceiveTB->click();
    const qint64 receiveMs = clock.elapsed();
    sx.wait(30000);

    // Transmit: the board asks for the file and takes it with rx.
    std::thread board([&pty, &dir] {
        pty.write("\xFE");
        pty.read(1, 5000);
        pty.write("source.bin\n");
        pty.read(1 + 8, 5000); // ACK and "1048576\n"
        pty.write("\x06");
        PeerProcess rx;
        rx.start("rx", {"-q", "-c", "sent.bin"}, pty.masterDescriptor(), dir.path());
        rx.wait(600000);
    });
    clock.restart();
    while (!window.ui.log->toPlainText().contains("Terminal: X-Modem file transmit OK")
           && !window.ui.log->toPlainText().contains("Terminal: X-Modem fail return")
           && clock.elapsed() < 600000)
        app.processEvents(QEventLoop::AllEvents, 20);
    const qint64 transmitMs = clock.elapsed();
    board.join();

    const qint64 anchor1k = anchor(dir.path(), {"-k"});
    const qint64 anchor128 = anchor(dir.path(), {});

    std::printf("X-Rx from sx (1K blocks):      %6lld ms  %.3f MB/s\n", receiveMs, rate(receiveMs));
    std::printf("sx -k to rx directly:          %6lld ms  %.3f MB/s  (ratio %.2f)\n", anchor1k, rate(anchor1k),
                double(anchor1k) / double(receiveMs));
    std::printf("board request, sent to rx:     %6lld ms  %.3f MB/s\n", transmitMs, rate(transmitMs));
    std::printf("sx to rx directly (128 blocks): %6lld ms  %.3f MB/s  (ratio %.2f)\n", anchor128, rate(anchor128),
                double(anchor128) / double(transmitMs));
    std::printf("files: received %lld, sent %lld, anchor %lld bytes\n", QFileInfo(target).size(),
                QFileInfo(dir.filePath("sent.bin")).size(), QFileInfo(dir.filePath("anchor.bin")).size());
    return 0;
}

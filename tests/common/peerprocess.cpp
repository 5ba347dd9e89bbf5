#include "peerprocess.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRelayPollMs = 20;

void writeAll(int fd, const char *data, ssize_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, data, size_t(count));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        count -= n;
    }
}

} // namespace

PeerProcess::~PeerProcess()
{
    wait(0); // a peer still running is killed
}

bool PeerProcess::start(const QString &program, const QStringList &arguments, int descriptor,
                        const QString &workingDir)
{
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString &a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(workingDir);

    // The peer talks on a socket, not on a terminal: peers flush their
    // terminal when they finish, which could discard their last answer
    // before the relay has passed it on.
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
        return false;
    pid = ::fork();
    if (pid == 0) {
        ::dup2(sockets[1], 0);
        ::dup2(sockets[1], 1);
        ::dup2(::open("/dev/null", O_WRONLY), 2);
        if (::chdir(dir.constData()) == 0)
            ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(sockets[1]);
    peerSocket = sockets[0];
    if (pid < 0)
        return false;
    otherSide = descriptor;
    relaying = true;
    relayThread = std::thread(&PeerProcess::relay, this);
    return true;
}

void PeerProcess::relay()
{
    char buf[4096];
    while (relaying) {
        pollfd p[2] = {{otherSide, POLLIN, 0}, {peerSocket, POLLIN, 0}};
        if (::poll(p, 2, kRelayPollMs) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            const ssize_t n = (p[i].revents & POLLIN) ? ::read(p[i].fd, buf, sizeof buf) : 0;
            if (n > 0)
                writeAll(i == 0 ? peerSocket : otherSide, buf, n);
        }
        // A hang-up without data (the peer has gone) must not spin the loop.
        if ((p[1].revents & (POLLHUP | POLLERR)) && !(p[1].revents & POLLIN))
            ::usleep(kRelayPollMs * 1000);
    }
}

void PeerProcess::stop()
{
    relaying = false;
    if (relayThread.joinable())
        relayThread.join();
    if (peerSocket >= 0)
        ::close(peerSocket);
    peerSocket = -1;
}

int PeerProcess::wait(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    int status = 0, result = -1;
    while (pid > 0 && ::waitpid(pid, &status, WNOHANG) != pid) {
        if (clock.elapsed() > timeoutMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
        ::usleep(10000);
    }
    if (pid > 0)
        result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid = -1;
    stop();
    return result;
}

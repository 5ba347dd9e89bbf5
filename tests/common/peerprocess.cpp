#include "peerprocess.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

PeerProcess::~PeerProcess()
{
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

bool PeerProcess::start(const QString &program, const QStringList &arguments, int descriptor,
                        const QString &workingDir)
{
    std::vector<QByteArray> args;
    args.push_back(QFile::encodeName(program));
    for (const QString &a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(workingDir);

    pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::dup2(descriptor, 0);
        ::dup2(descriptor, 1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
            ::dup2(null, 2);
        if (::chdir(dir.constData()) != 0)
            ::_exit(126);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return true;
}

int PeerProcess::wait(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (pid > 0) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (clock.elapsed() > timeoutMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
            return -1;
        }
        ::usleep(10000);
    }
    return -1;
}

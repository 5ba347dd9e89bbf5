#include "simprocess.h"

#include <QElapsedTimer>
#include <QFile>

#include <poll.h>
#include <signal.h>

SimProcess::SimProcess(const QString &dir) : workDir(dir) {}

SimProcess::~SimProcess()
{
    if (process.state() != QProcess::NotRunning)
        stop();
}

bool SimProcess::start(const QStringList &options)
{
    process.setProgram(QStringLiteral(LODVANE_SIM_PATH));
    process.setArguments(QStringList{QStringLiteral("--trace"), tracePath()} + options);
    process.start();
    if (!process.waitForStarted(kStartWaitMs)) {
        error = process.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine() && clock.elapsed() < kStartWaitMs && process.state() == QProcess::Running)
        process.waitForReadyRead(int(kStartWaitMs - clock.elapsed()));
    if (!process.canReadLine()) {
        process.waitForFinished(kStartWaitMs);
        error = QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    portPath = QString::fromLocal8Bit(process.readLine()).trimmed();
    return !portPath.isEmpty();
}

int SimProcess::stop(int signal)
{
    if (process.state() == QProcess::NotRunning)
        return process.exitCode();
    ::kill(pid_t(process.processId()), signal);
    if (!process.waitForFinished(kStartWaitMs)) {
        process.kill();
        process.waitForFinished(kStartWaitMs);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QStringList SimProcess::traceLines() const
{
    QFile f(tracePath());
    if (!f.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool SimProcess::waitForTrace(const QString &prefix, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        for (const QString &line : traceLines()) {
            if (line.startsWith(prefix))
                return true;
        }
        if (clock.elapsed() >= timeoutMs)
            return false;
        ::poll(nullptr, 0, 10); // the trace is a file: look again shortly
    }
}

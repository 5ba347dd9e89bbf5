#pragma once

// lodvane-sim as a real subprocess: started with given options, its port read
// from its first line of output, its trace file watched, stopped by SIGTERM.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>

class SimProcess
{
public:
    static constexpr int kStartWaitMs = 5000;
    static constexpr int kTraceWaitMs = 3000;

    explicit SimProcess(const QString &workDir);
    ~SimProcess();

    // Starts the board with the trace in the work folder; false (with the
    // reason in lastError()) if it did not print its port.
    bool start(const QStringList &options = QStringList());
    // Sends the signal and waits for the exit; returns the exit code (-1
    // when it had to be killed).
    int stop(int signal = SIGTERM);

    QString port() const { return portPath; }
    QString tracePath() const { return workDir + QStringLiteral("/sim.trace"); }
    QStringList traceLines() const;
    // Waits (bounded) until the trace has a line beginning with `prefix`.
    bool waitForTrace(const QString &prefix, int timeoutMs = kTraceWaitMs) const;
    QByteArray standardError() { return process.readAllStandardError(); }
    QString lastError() const { return error; }

private:
    QString workDir;
    QProcess process;
    QString portPath;
    QString error;
};

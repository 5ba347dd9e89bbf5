#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// A real peer program (an XMODEM sender or receiver) whose standard input
// and output are one descriptor, such as the master side of a PtyPair.
class PeerProcess
{
public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess &) = delete;
    PeerProcess &operator=(const PeerProcess &) = delete;

    // Starts `program` with `arguments` in `workingDir`; false if it could not start.
    bool start(const QString &program, const QStringList &arguments, int descriptor,
               const QString &workingDir);
    // Waits for the exit; the exit status, or -1 after `timeoutMs` (then it is killed).
    int wait(int timeoutMs);

private:
    pid_t pid = -1;
};

#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <sys/types.h>
#include <thread>

// A real peer program (an XMODEM sender or receiver) that talks on its
// standard input and output. A relay copies bytes between the peer and
// `descriptor` (say the master side of the PtyPair the program under test
// uses), so the program under test sees a real terminal line.
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
    void relay();
    void stop();

    pid_t pid = -1;
    int peerSocket = -1;
    int otherSide = -1;
    std::atomic<bool> relaying{false};
    std::thread relayThread;
};

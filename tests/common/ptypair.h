#pragma once

#include <QByteArray>
#include <QString>

// A real pseudo-terminal pair for serial tests. The slave side is what the
// program opens as its "serial port"; the test holds the master side and
// plays the board.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return masterFd >= 0; }
    // The master side, for a peer program that talks on its stdin and stdout.
    int masterDescriptor() const { return masterFd; }
    QString slavePath() const { return slave; }

    // Writes everything to the master side; false when the pty refused it.
    bool write(const QByteArray &bytes);
    // Reads until `count` bytes came or `timeoutMs` passed; returns what came.
    QByteArray read(int count, int timeoutMs);
    // Everything that arrives within `quietMs` of silence, bounded by `limitMs`.
    QByteArray readUntilQuiet(int quietMs, int limitMs);

private:
    int masterFd = -1;
    QString slave;
};

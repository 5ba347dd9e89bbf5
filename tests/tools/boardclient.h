#pragma once

// A small host written from the board's documented protocols (auto-baud,
// boot stream, loader frames), independent of the program's device link, so
// that the two check each other against the virtual board.

#include <QByteArray>
#include <QString>

class BoardClient
{
public:
    static constexpr int kReplyWaitMs = 2000; // bound on every wait for the board

    BoardClient() = default;
    ~BoardClient();
    BoardClient(const BoardClient &) = delete;
    BoardClient &operator=(const BoardClient &) = delete;

    // Opens the port raw at the given speed.
    bool open(const QString &path, int baud = 115200);
    void close();
    bool isOpen() const { return fd >= 0; }

    bool write(const QByteArray &bytes);
    // Reads until `count` bytes came or `timeoutMs` passed.
    QByteArray read(int count, int timeoutMs = kReplyWaitMs);

    // 0x40, then up to four answer bytes.
    QByteArray autoBaud(int timeoutMs = kReplyWaitMs);
    // Auto-baud (answer must be 0xBF ?? ?? 0x00), then the stream.
    bool boot(const QByteArray &stream);
    bool sync();
    bool erase(quint16 block);
    bool program(quint32 piece, const QByteArray &data);
    // The piece's bytes; false unless all came followed by 0xAA.
    bool readPiece(quint32 piece, quint16 length, QByteArray &data);

    static QByteArray eraseFrame(quint16 block);
    static QByteArray programFrame(quint32 piece, const QByteArray &data);
    static QByteArray readFrame(quint32 piece, quint16 length);

private:
    bool acked(int timeoutMs = kReplyWaitMs);
    int fd = -1;
};

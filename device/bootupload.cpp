// Host side of UART boot: the BOOT/RESET line sequence, the auto-baud
// handshake and the upload of a boot stream.
#include "qpe.h"

#include "corecatalogue.h"

#include <QFile>

namespace {

constexpr char kAutoBaudByte = 0x40;               // '@', what the boot ROM measures
constexpr int kAutoBaudAnswerSize = 4;             // 0xBF, DLL, DLH, 0x00
constexpr unsigned char kAutoBaudAnswerFirst = 0xBF;
constexpr unsigned char kAutoBaudAnswerLast = 0x00;
constexpr int kAutoBaudWaitMs = 500;               // both for the write and for the answer
constexpr unsigned int kBootLineSettleMs = 10;     // BOOT driven before RESET is pulsed
constexpr unsigned int kPercent = 100;

} // namespace

bool QPE::coreInRange(unsigned core)
{
    return core >= 1 && core <= unsigned(kCoreCount);
}

bool QPE::stopForCancel()
{
    if (!cancelFlag)
        return false;
    if (!cancelReported)
        emit message(QStringLiteral("Cancelled by user."));
    cancelReported = true;
    return true;
}

bool QPE::readFile(const QString &path, QByteArray *contents)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        emit message(QStringLiteral("Error while opening file [%1]").arg(path));
        step = LinkStep::None; // the file failed, not the line
        return false;
    }
    *contents = file.readAll();
    return true;
}

bool QPE::bootFile(const QString &path, unsigned core, ResetMode mode, ControlLine reset,
                   ControlLine boot)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        emit message(QStringLiteral("Error while opening file [%1]").arg(path));
        return false;
    }

    const ControlLine resetLine = reset & kLineCodeMask;
    const ControlLine bootLine = boot & kLineCodeMask;
    if (mode == kResetPulse) {
        pulseLine(resetLine, kResetPulseMs);
    } else if (mode == kResetHoldBoot) {
        auto driveBootLow = [this, bootLine] {
            if (bootLine == kLineRts)
                setRts(false);
            else
                setDtr(false);
        };
        driveBootLow();
        sleepMs(kBootLineSettleMs);
        pulseLine(resetLine, kResetPulseMs);
        driveBootLow();
    }

    const QByteArray stream = file.readAll();
    return sendBootStream(core, stream);
}

bool QPE::sendBootStream(unsigned core, const QByteArray &stream)
{
    step = LinkStep::None;
    if (!coreInRange(core) || !port) {
        emit progress(kPercent);
        return false;
    }

    step = LinkStep::AutoBaud;
    write(QByteArray(1, kAutoBaudByte), false);
    waitForBytesWritten(kAutoBaudWaitMs);
    waitForReadyRead(kAutoBaudWaitMs);
    // At low baud rates the answer trickles in and the first wake-up sees only
    // part of it; once the board has begun answering, give it the time the
    // rest needs rather than refusing a good answer.
    if (bytesAvailable() > 0)
        pollWait(kAutoBaudAnswerSize);
    const QByteArray answer = read(kAutoBaudAnswerSize);
    const bool answered = answer.size() == kAutoBaudAnswerSize
        && static_cast<unsigned char>(answer.at(0)) == kAutoBaudAnswerFirst
        && static_cast<unsigned char>(answer.at(3)) == kAutoBaudAnswerLast;
    if (!answered) {
        emit message(QStringLiteral("No answer on auto-baud command by device [%1]: Rxed %2 chars\n"
                                    "Reset it and retry")
                         .arg(portName())
                         .arg(answer.size()));
        emit progress(kPercent);
        return false;
    }

    step = LinkStep::Upload;
    const quint32 size = quint32(stream.size());
    bool result = true;
    if (stopForCancel()) {
        emit progress(kPercent);
        return false;
    }
    if (size < bootChunkSize) {
        result = write(stream, false) == size;
        emit progress(kPercent);
    } else {
        quint32 sent = 0;
        quint32 piece = bootChunkSize;
        do {
            if (sent > 0 && stopForCancel()) {
                emit progress(kPercent);
                return false;
            }
            if (sent + piece > size)
                piece = size - sent;
            write(stream.mid(int(sent), int(piece)), false);
            sent += piece;
            emit progress(sent * kPercent / size);
            emit message(QStringLiteral("Loaded byte(s): %1").arg(sent, 6));
        } while (sent < size);
    }
    emit progress(kPercent);
    return result;
}

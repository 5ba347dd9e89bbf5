// Host side of the first-stage loader's command protocol: erase, program and
// verify the FLASH in 64 KiB blocks and 256-byte pieces, one acknowledged
// frame at a time.
#include "qpe.h"

namespace {

constexpr char kSyncByte = 0x55;
constexpr int kSyncAttempts = 4;
constexpr unsigned int kEraseSyncSleepMs = 100;
constexpr int kProgramSyncWaitMs = 500;
constexpr unsigned int kLoaderStartMs = 500;   // the loader sets itself up after the upload

constexpr unsigned char kEraseCommand = 0x01;
constexpr unsigned char kProgramCommand = 0x02;
constexpr unsigned char kReadCommand = 0x03;
constexpr int kBlockNumberBytes = 2;
constexpr int kPieceNumberBytes = 4;
constexpr int kNoLength = -1;

constexpr quint32 kBlockSize = 65536;
constexpr int kBlockShift = 16;
constexpr quint32 kPieceSize = 256;
constexpr quint32 kPercent = 100;

} // namespace

void QPE::sendFrameHeader(unsigned char command, quint32 number, int numberBytes, int length)
{
    // Every header byte is its own write, numbers most significant byte first.
    write(QByteArray(1, char(command)), false);
    for (int shift = 8 * (numberBytes - 1); shift >= 0; shift -= 8)
        write(QByteArray(1, char((number >> shift) & 0xFF)), false);
    if (length != kNoLength) {
        write(QByteArray(1, char((length >> 8) & 0xFF)), false);
        write(QByteArray(1, char(length & 0xFF)), false);
    }
}

bool QPE::synchronise(SyncRule rule)
{
    step = LinkStep::Sync;
    for (int attempt = 0; attempt < kSyncAttempts; ++attempt) {
        if (stopForCancel())
            return false;
        write(QByteArray(1, kSyncByte), false);
        switch (rule) {
        case SyncRule::Erase:
            sleepMs(kEraseSyncSleepMs);
            break;
        case SyncRule::Program:
            waitForBytesWritten(kProgramSyncWaitMs);
            waitForReadyRead(kProgramSyncWaitMs);
            break;
        case SyncRule::Verify:
            pollWait(1);
            break;
        }
        if (readAck()) {
            emit message(QStringLiteral("System sync OK."));
            return true;
        }
    }
    return false;
}

bool QPE::startLoader(const QString &binaryPath, const QString &loaderPath, unsigned core,
                      ResetMode mode, ControlLine reset, ControlLine boot, QByteArray *image)
{
    if (!bootFile(loaderPath, core, mode, reset, boot))
        return false;
    if (image && !readFile(binaryPath, image))
        return false;
    emit message(QStringLiteral("Waiting Device starting ..."));
    if (stopForCancel())
        return false;
    sleepMs(kLoaderStartMs);
    return true;
}

bool QPE::eraseFlash(const QString &loaderPath, unsigned core, unsigned flashSize, ResetMode mode,
                     ControlLine reset, ControlLine boot)
{
    if (!startLoader(QString(), loaderPath, core, mode, reset, boot, nullptr))
        return false;
    return eraseBlocks(core, flashSize);
}

bool QPE::programFlash(const QString &binaryPath, const QString &loaderPath, unsigned core,
                       ResetMode mode, ControlLine reset, ControlLine boot)
{
    QByteArray image;
    if (!startLoader(binaryPath, loaderPath, core, mode, reset, boot, &image))
        return false;
    return programData(core, image);
}

bool QPE::verifyFlash(const QString &binaryPath, const QString &loaderPath, unsigned core,
                      ResetMode mode, ControlLine reset, ControlLine boot)
{
    QByteArray image;
    if (!startLoader(binaryPath, loaderPath, core, mode, reset, boot, &image))
        return false;
    return verifyData(core, image);
}

bool QPE::eraseBlocks(unsigned core, unsigned flashSize)
{
    emit progress(0);
    if (!coreInRange(core) || !port) {
        emit progress(kPercent);
        return false;
    }
    // Without a sync the first erase frame decides; should it go unanswered
    // too, the sync is the step that failed.
    if (synchronise(SyncRule::Erase))
        step = LinkStep::Erase;

    // One block more than the whole blocks in the size, as the loaders expect.
    const quint32 count = (flashSize >> kBlockShift) + 1;
    for (quint32 block = 0; block < count; ++block) {
        if (stopForCancel())
            return false;
        sendFrameHeader(kEraseCommand, block, kBlockNumberBytes, kNoLength);
        if (!readAck())
            return false;
        step = LinkStep::Erase;
        emit message(QStringLiteral("Erase FLASH -> Block[%1] erased.").arg(block, 3));
        emit progress(kPercent * block / count);
    }
    emit progress(kPercent);
    return true;
}

bool QPE::programData(unsigned core, const QByteArray &image)
{
    emit progress(0);
    if (!coreInRange(core) || !port) {
        emit progress(kPercent);
        return false;
    }
    if (!synchronise(SyncRule::Program)) {
        emit progress(kPercent);
        return false;
    }

    const quint32 size = quint32(image.size());
    quint32 offset = 0;
    quint32 piece = 0;
    quint32 block = 0;
    while (offset < size) {
        if (stopForCancel())
            return false;
        // Erase each block just before the image reaches it.
        if (offset % kBlockSize == 0) {
            step = LinkStep::Erase;
            sendFrameHeader(kEraseCommand, block, kBlockNumberBytes, kNoLength);
            if (!readAck())
                return false;
            emit message(QStringLiteral("FLASH -> Block[%1] erased.").arg(block, 3));
            ++block;
        }
        const quint32 length = qMin(kPieceSize, size - offset);
        step = LinkStep::Program;
        sendFrameHeader(kProgramCommand, piece, kPieceNumberBytes, int(length));
        write(image.mid(int(offset), int(length)), false);
        if (!readAck())
            return false;
        emit message(QStringLiteral("FILE -> FLASH[%1] %2 bytes").arg(piece, 4).arg(offset, 8));
        offset += length;
        ++piece;
        emit progress(offset * kPercent / size);
    }
    emit message(QStringLiteral("FLASH Programmed."));

    const bool verified = verifyData(core, image);
    emit progress(kPercent);
    return verified;
}

bool QPE::verifyData(unsigned core, const QByteArray &image)
{
    emit progress(0);
    if (!coreInRange(core) || !port) {
        emit progress(kPercent);
        return false;
    }
    if (!synchronise(SyncRule::Verify)) {
        emit progress(kPercent);
        return false;
    }
    step = LinkStep::Verify;
    const quint32 size = quint32(image.size());
    if (size == 0) {
        emit progress(kPercent);
        return true;
    }

    quint32 offset = 0;
    quint32 piece = 0;
    while (offset < size) {
        if (stopForCancel())
            return false;
        const quint32 length = qMin(kPieceSize, size - offset);
        sendFrameHeader(kReadCommand, piece, kPieceNumberBytes, int(length));
        pollWait(length);
        const QByteArray buffer = read(length);
        const bool acknowledged = readAck();
        if (!acknowledged || quint32(buffer.size()) != length) {
            emit message(QStringLiteral("Sync error on transferred FLASH contents."));
            return false;
        }
        for (quint32 i = 0; i < length; ++i) {
            const auto found = static_cast<unsigned char>(buffer[i]);
            const auto expected = static_cast<unsigned char>(image.at(int(offset + i)));
            if (found != expected) {
                emit message(QStringLiteral("FLASH verify error @ %1, found %2 instead of %3")
                                 .arg(offset + i)
                                 .arg(found, 2, 16)
                                 .arg(expected, 2, 16));
                return false;
            }
        }
        emit message(QStringLiteral("FILE == FLASH[%1] %2 bytes").arg(piece, 4).arg(offset, 8));
        offset += length;
        emit progress(offset * kPercent / size);
        ++piece;
    }
    emit progress(kPercent);
    return true;
}

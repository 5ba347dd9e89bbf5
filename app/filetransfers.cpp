// XMODEM from the terminal page: the X-Rx button, and the transfers the
// board starts itself in either direction.
#include "lodvane.h"

#include "filetransfer.h"
#include "qpe.h"
#include "xmodem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSaveFile>
#include <QSettings>

#include <memory>
#include <vector>

using namespace Xmodem;

namespace {

constexpr int kHandshakeTicks = 10;
constexpr int kHandshakeWaitStepMs = 10;
constexpr int kAnswerTicks = 10;          // the board's ACK after our size line
constexpr int kClosingCanBytes = 5;
constexpr const char *kSaveCaption = "Save X-Modem data";
constexpr const char *kSaveFilter = "*.*";

// The engines' view of the window: the terminal's byte wait and port, the
// LOG window and a window-modal progress dialog.
class WindowChannel : public XmodemChannel
{
public:
    explicit WindowChannel(Lodvane *w) : window(w) {}

    int receiveByte(int ticks) override
    {
        if (!abortable)
            return window->receiveByte(ticks);
        return window->receiveByte(ticks, [this] { return abortRequested(); });
    }
    void sendByte(unsigned char byte) override { window->link->write(QByteArray(1, char(byte)), false); }
    void flushInput() override { window->flushInput(); }
    void log(const QString &line) override { window->message(line); }

    void beginProgress(int maximum, bool canAbort) override
    {
        abortable = canAbort;
        dialog = std::make_unique<QProgressDialog>(QStringLiteral("File transfer ..."),
                                                   QStringLiteral("Abort"), 0, maximum, window);
        dialog->setWindowModality(Qt::WindowModal);
    }
    void setProgress(int value) override
    {
        if (dialog)
            dialog->setValue(value);
    }
    bool abortRequested() override { return dialog && dialog->wasCanceled(); }
    void endProgress() override { dialog.reset(); }

private:
    Lodvane *window;
    std::unique_ptr<QProgressDialog> dialog;
    bool abortable = false;
};

// Keeps the terminal's timer away from the port while a transfer runs, and
// gives the port back to it on every way out.
class PollingPause
{
public:
    explicit PollingPause(bool &flag) : polling(flag) { polling = false; }
    ~PollingPause() { polling = true; }
    PollingPause(const PollingPause &) = delete;
    PollingPause &operator=(const PollingPause &) = delete;

private:
    bool &polling;
};

// Writes `bytes` to `name` all at once: the file appears complete or not at all.
bool saveWhole(const QString &name, const char *bytes, qint64 count)
{
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes, count) != count) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString failText(int result)
{
    return QStringLiteral("Terminal: X-Modem fail return: %1").arg(quint32(result));
}

} // namespace

void Lodvane::xmodemReceive()
{
    const QString key = QString::fromLatin1(SettingsKey::kTerminalXmodemPath);
    const QString folder =
        settings->value(key, QString::fromLatin1(SettingsKey::kTerminalPathDefault)).toString();
    const QString name = QFileDialog::getSaveFileName(this, QString::fromLatin1(kSaveCaption), folder,
                                                      QString::fromLatin1(kSaveFilter));
    if (name.isEmpty())
        return;
    settings->setValue(key, QFileInfo(name).path());

    const PollingPause pause(terminalPolling);
    std::vector<unsigned char> area(size_t(xmodemRxSizeKiB) * 1024);
    WindowChannel channel(this);
    const int result = xmodemRx(channel, area.data(), int(area.size()));
    message(QStringLiteral("X-Modem return: %1").arg(result));
    if (result > 0) {
        // The file is named through Latin-1; a name outside it is not saved
        // under some other name.
        const bool latin1 = QString::fromLatin1(name.toLatin1()) == name;
        if (latin1 && saveWhole(name, reinterpret_cast<const char *>(area.data()), result))
            message(QStringLiteral("X-Modem data saved"));
        else
            message(QStringLiteral("Can't save [%1] file").arg(name));
    }
}

QByteArray Lodvane::readHandshakeLine()
{
    // Timer ticks do not arrive while the tick that called us still runs,
    // so the wait keeps its own clock as well as the tick countdown.
    QByteArray line;
    timeoutTicks = kHandshakeTicks;
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(kHandshakeTicks) * kTimerPeriodMs;
    do {
        if (link->bytesAvailable() != 0)
            line += link->readAll();
        else
            link->waitForReadyRead(kHandshakeWaitStepMs);
        QCoreApplication::processEvents();
    } while (!line.endsWith(FileTransfer::kLineEnd) && timeoutTicks != 0 && clock.elapsed() < limitMs);
    return line;
}

void Lodvane::receiveDeviceFile()
{
    using namespace FileTransfer;
    const PollingPause pause(terminalPolling);
    link->write(QByteArray(1, char(kAck)), false);

    const DeviceHeader header = parseDeviceHeader(readHandshakeLine());
    if (header.status == HeaderStatus::RefusedName)
        message(QStringLiteral("Terminal: Refused file name [%1]").arg(QString::fromLatin1(header.name)));
    if (header.status != HeaderStatus::Ok) {
        link->write(QByteArray(1, char(kBel)), false);
        return;
    }

    // The data goes to a temporary file beside the target, renamed into place
    // only after a complete transfer.
    ReceivedFile file(QFile::decodeName(header.name));
    if (!file.open())
        return; // the board is left to time out
    message(QStringLiteral("Terminal: File [%1], Size: %2")
                .arg(QString::fromLatin1(header.name))
                .arg(quint64(header.size)));

    const long size = transferSize(header.size);
    std::vector<unsigned char> area(static_cast<size_t>(size));
    link->write(QByteArray(1, char(kAck)), false);
    WindowChannel channel(this);
    const int result = xmodemRx(channel, area.data(), int(size));
    if (result != size)
        message(failText(result));
    else if (file.commit(reinterpret_cast<const char *>(area.data()), header.size))
        message(QStringLiteral("Terminal: X-Modem file received OK"));
    else
        message(QStringLiteral("Can't save [%1] file").arg(file.fileName()));
    link->write(QByteArray(kClosingCanBytes, char(kCan)), false);
}

void Lodvane::serveFileRequest()
{
    using namespace FileTransfer;
    const PollingPause pause(terminalPolling);
    link->write(QByteArray(1, char(kAck)), false);

    const QByteArray name = requestedName(readHandshakeLine());
    message(QStringLiteral("Terminal: Requested file [%1]").arg(QString::fromLatin1(name)));
    if (!isSafeFileName(name, FileUse::Read)) {
        message(QStringLiteral("Terminal: Refused file name [%1]").arg(QString::fromLatin1(name)));
        return;
    }
    QFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::ReadOnly))
        return; // the board is left to time out
    const QByteArray contents = file.readAll();
    const long size = transferSize(contents.size());
    std::vector<unsigned char> area(static_cast<size_t>(size), 0); // padding: zero bytes
    std::copy(contents.begin(), contents.end(), area.begin());

    link->write(QByteArray(1, char(kAck)), false);
    const QByteArray sizeText = QByteArray::number(contents.size());
    message(QStringLiteral("Terminal: Requested file size %1").arg(QString::fromLatin1(sizeText)));
    link->write(sizeText + kLineEnd, false);

    int result = 0;
    if (receiveByte(kAnswerTicks) == kAck) {
        WindowChannel channel(this);
        result = xmodemTx(channel, area.data(), int(size));
    }
    if (result == size)
        message(QStringLiteral("Terminal: X-Modem file transmit OK"));
    else
        message(failText(result));
}

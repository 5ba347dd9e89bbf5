// The window's side of the terminal page: opening and closing it, the timer
// that polls the port, the byte wait of the transfers, the log file and the
// font.
#include "lodvane.h"

#include "filetransfer.h"
#include "keypresseater.h"
#include "qpe.h"
#include "terminaloutput.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QSettings>
#include <QThread>

namespace {

constexpr unsigned long kByteWaitRoundMs = 100;   // one tick of the byte wait
constexpr const char *kLogCaption = "LOG REPORT";
constexpr const char *kLogFilter = "*.log";

} // namespace

void Lodvane::openTerminalSlot()
{
    ui.resetTB->setEnabled(!ui.noneResetRB->isChecked());
    if (openSelectedPort())
        openTerminal();
    else
        logLine(QStringLiteral("Can't open selected port [%1].").arg(ui.serialPortsCB->currentText()));
}

void Lodvane::openTerminal()
{
    ui.terminal->installEventFilter(keyFilter);
    ui.main->setCurrentIndex(TerminalPage);
    keyFilter->localEcho = ui.localEchoCB->isChecked();
    terminalPolling = true;
    ui.terminal->setFocus();
}

void Lodvane::closeTerminal()
{
    terminalPolling = false;
    ui.terminal->removeEventFilter(keyFilter);
    ui.main->setCurrentIndex(HomePage);
    link->closePort();
    terminalLogFile.reset();
}

void Lodvane::timerEvent(QTimerEvent *event)
{
    Q_UNUSED(event); // there is only the one coarse timer
    if (timeoutTicks > 0)
        --timeoutTicks;
    if (!terminalPolling)
        return;
    const QByteArray chunk = link->readAll();
    if (chunk.isEmpty())
        return;
    // The rest of a chunk that starts a transfer is not shown.
    switch (FileTransfer::chunkMarker(chunk)) {
    case FileTransfer::Marker::DeviceSends:
        receiveDeviceFile();
        return;
    case FileTransfer::Marker::DeviceRequests:
        serveFileRequest();
        return;
    case FileTransfer::Marker::None:
        break;
    }
    terminalOutput(chunk.constData());
}

void Lodvane::terminalOutput(const char *text)
{
    showTerminalOutput(ui.terminal, terminalLogFile.get(), text);
}

int Lodvane::receiveByte(int ticks, const std::function<bool()> &interrupted)
{
    auto takePending = [this] {
        const int byte = static_cast<unsigned char>(rxPending.at(0));
        rxPending.remove(0, 1);
        return byte;
    };
    if (!rxPending.isEmpty())
        return takePending();
    timeoutTicks = unsigned(qMax(ticks, 0));
    if (timeoutTicks == 0)
        return -1;
    do {
        if (link->bytesAvailable() != 0) {
            rxPending = link->readAll();
            if (!rxPending.isEmpty())
                return takePending();
        }
        // One round of the wait: it ends early when bytes arrive, so a
        // transfer is not held up a whole round after every answer.
        QElapsedTimer round;
        round.start();
        link->waitForReadyRead(int(kByteWaitRoundMs));
        const qint64 left = qint64(kByteWaitRoundMs) - round.elapsed();
        if (link->bytesAvailable() == 0 && left > 0)
            QThread::msleep(static_cast<unsigned long>(left));
        if (timeoutTicks > 0)
            --timeoutTicks;
        QCoreApplication::processEvents();
        if (interrupted && interrupted())
            return -1;
    } while (timeoutTicks != 0);
    return -1;
}

void Lodvane::flushInput()
{
    rxPending.clear();
    link->readAll();
}

void Lodvane::logSlot(bool checked)
{
    if (!checked) {
        terminalLogFile.reset();
        return;
    }
    const QString folder = settings->value(QString::fromLatin1(SettingsKey::kTerminalLogPath),
                                           QString::fromLatin1(SettingsKey::kTerminalPathDefault))
                               .toString();
    const QString name = QFileDialog::getSaveFileName(this, QString::fromLatin1(kLogCaption), folder,
                                                      QString::fromLatin1(kLogFilter));
    if (name.isEmpty())
        return;

    // The file is opened through its Latin-1 name; a name that does not
    // survive the conversion would create some other file.
    const QByteArray latin1 = name.toLatin1();
    if (QString::fromLatin1(latin1) != name) {
        logLine(QStringLiteral("Terminal: Log file name [%1] has characters outside Latin-1.").arg(name));
        ui.logTB->setChecked(false);
        return;
    }
    terminalLogFile.reset(std::fopen(latin1.constData(), "wb"));
    if (!terminalLogFile)
        ui.logTB->setChecked(false);
    settings->setValue(QString::fromLatin1(SettingsKey::kTerminalLogPath), QFileInfo(name).path());
}

void Lodvane::terminalFont()
{
    bool accepted = false;
    const QFont font = QFontDialog::getFont(&accepted, ui.terminal->font(), this, QString());
    if (!accepted)
        return;
    ui.terminal->setFont(font);
    // The view lays every line out again in the new font, but as their
    // number has not changed it keeps the scroll range of the old one, and
    // the newest lines fall out of reach: announce the new size, and show
    // the end as output does.
    QAbstractTextDocumentLayout *layout = ui.terminal->document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    ui.terminal->moveCursor(QTextCursor::End);
    ui.terminal->ensureCursorVisible();
}

void Lodvane::logLine(const QString &text)
{
    ui.log->appendPlainText(text);
}

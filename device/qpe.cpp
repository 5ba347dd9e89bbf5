#include "qpe.h"

#include "corecatalogue.h"
#include "linerecorder.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QElapsedTimer>
#include <QThread>

namespace {

// What a write reports when there is no port to write to: the same value a
// failed QSerialPort::write gives once cut to 32 bits.
constexpr unsigned int kWriteFailed = 0xFFFFFFFFu;

} // namespace

QPE::QPE(QObject *parent)
    : QObject(parent)
{
    for (const CoreRow &row : kCoreRows) {
        cores.append(new CoreInfo{row.id, QString::fromLatin1(row.name), row.stackedFlashBytes ? 1 : 0,
                                  row.stackedFlashBytes});
    }
}

QPE::~QPE()
{
    delete port;
    qDeleteAll(cores);
}

bool QPE::openPort(const QString &name, int baudRate, unsigned int timeoutMs)
{
    Q_UNUSED(timeoutMs); // accepted for the callers' sake; opening does not wait

    // While a port is open it belongs to whoever opened it (a running action,
    // the terminal): a second opening is refused and changes nothing, so an
    // action started inside another one cannot pull the port from under it.
    if (port && port->isOpen())
        return false;
    delete port; // an object whose opening failed earlier
    port = new QSerialPort(name);
    port->setBaudRate(baudRate, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    // Clearing the buffers of a port that is not open yet discards nothing
    // (Qt only warns about it), so there is nothing to clear here.
    if (!port->open(QIODevice::ReadWrite))
        return false;
    connect(port, &QSerialPort::readyRead, this, &QPE::onReadyRead);
    return true;
}

void QPE::closePort()
{
    if (!port)
        return;
    drainWrites();
    port->close();
    delete port;
    port = nullptr;
}

void QPE::drainWrites()
{
    // A sequence may end with bytes still in the port's buffer (the last
    // pieces of a boot stream leave while events run); closing would drop
    // them. Keep going while the line takes bytes, give up once it stalls.
    if (!port || !port->isOpen())
        return;
    while (port->bytesToWrite() > 0 && port->waitForBytesWritten(kDrainStallMs)) {
    }
}

bool QPE::isOpen() const
{
    return port && port->isOpen();
}

QString QPE::portName() const
{
    return port ? port->portName() : QString();
}

QStringList QPE::portNames() const
{
    QStringList names;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        names.append(info.portName());
    return names + extraPortNames();
}

QStringList QPE::extraPortNames()
{
    return qEnvironmentVariable(kExtraPortsVariable).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

qint64 QPE::bytesAvailable()
{
    return port ? port->bytesAvailable() : 0;
}

QByteArray QPE::readAll()
{
    return port ? port->readAll() : QByteArray();
}

QByteArray QPE::read(unsigned int maxSize)
{
    return port ? port->read(qint64(maxSize)) : QByteArray();
}

unsigned int QPE::write(const char *text, bool wait)
{
    return write(QByteArray(text ? text : ""), wait);
}

unsigned int QPE::write(QByteArray data, bool wait)
{
    if (!port)
        return kWriteFailed;
    const qint64 accepted = port->write(data);
    if (wait)
        waitForBytesWritten(kWriteWaitMs);
    return static_cast<unsigned int>(accepted);
}

void QPE::pulseLine(ControlLine line, unsigned int timeMs)
{
    const ControlLine n = line & kLineCodeMask;
    if (n == kLineRts) {
        setRts(false);
        sleepMs(timeMs);
        setRts(true);
    } else {
        // DTR, and code 0 as well: the level follows whether a line is named.
        setDtr(n == kLineNone);
        sleepMs(timeMs);
        setDtr(n != kLineNone);
    }
}

bool QPE::pollWait(qint64 wanted)
{
    if (!port)
        return false;
    // Bounded by time, not by wake-ups: bytes trickling in one by one at a
    // low baud rate would use up a count of steps long before the answer is
    // complete.
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(kPollSteps) * kPollStepMs;
    while (port->bytesAvailable() < wanted) {
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0)
            break;
        if (!port->waitForReadyRead(int(qMin<qint64>(left, kPollStepMs)))
            && port->error() == QSerialPort::ResourceError)
            break; // the device went away; nothing more will come
    }
    return port->bytesAvailable() >= wanted;
}

bool QPE::readAck()
{
    if (!pollWait(1))
        return false;
    const QByteArray byte = read(1);
    return byte.size() == 1 && static_cast<unsigned char>(byte.at(0)) == kAckByte;
}

void QPE::onReadyRead()
{
    emit readyRead();
}

void QPE::setRts(bool level)
{
    if (lineRecorder)
        lineRecorder->record(LineRecorder::SetRts, level);
    if (port)
        port->setRequestToSend(level);
}

void QPE::setDtr(bool level)
{
    if (lineRecorder)
        lineRecorder->record(LineRecorder::SetDtr, level);
    if (port)
        port->setDataTerminalReady(level);
}

void QPE::sleepMs(unsigned int ms)
{
    if (lineRecorder)
        lineRecorder->record(LineRecorder::Sleep, ms);
    QThread::msleep(ms);
}

void QPE::waitForBytesWritten(int ms)
{
    if (port)
        port->waitForBytesWritten(ms);
}

void QPE::waitForReadyRead(int ms)
{
    if (port)
        port->waitForReadyRead(ms);
}

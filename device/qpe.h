#pragma once

#include "coreinfo.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class LineRecorder;
class QSerialPort;

// The last step a device operation reached on the line: where it stopped
// when it fails without saying why (an unanswered frame writes no LOG line).
enum class LinkStep {
    None,      // nothing on the line yet, or the failure was not the line's
    AutoBaud,  // the boot ROM's handshake
    Upload,    // the boot stream (a loader or a RAM program) going out
    Sync,      // the loader's sync byte
    Erase,     // erase-block frames
    Program,   // program-piece frames
    Verify,    // read-piece frames and the comparison
};

// The device link: owner of the serial port and of the core catalogue. Every
// operation is a blocking call on the GUI thread; results travel as return
// values and LOG lines through message().
class QPE : public QObject
{
    Q_OBJECT

public:
    // Pieces in which a long boot stream is written.
    static constexpr unsigned int kBootChunkSize = 4096;
    // waitForBytesWritten after a write with the wait flag.
    static constexpr int kWriteWaitMs = 500;
    // The poll wait: at most kPollSteps rounds of waitForReadyRead(kPollStepMs).
    static constexpr int kPollStepMs = 10;
    static constexpr int kPollSteps = 100;
    // Closing waits for buffered bytes to leave, until the line takes none
    // for this long.
    static constexpr int kDrainStallMs = 1000;
    // Time-out argument of every port opening (accepted, not used).
    static constexpr unsigned int kOpenTimeoutMs = 1000;
    // Width of the RESET pulse: before an upload, and the RESET button's.
    static constexpr unsigned int kResetPulseMs = 100;
    // What the first-stage loader answers to every frame it accepts.
    static constexpr unsigned char kAckByte = 0xAA;
    // Environment variable with extra port paths (colon-separated), listed
    // after the system's ports; pseudo-terminals are not enumerated otherwise.
    static constexpr const char *kExtraPortsVariable = "LODVANE_EXTRA_PORTS";

    explicit QPE(QObject *parent = nullptr);
    ~QPE() override;

    const QList<CoreInfo *> &coreCatalogue() const { return cores; }

    bool openPort(const QString &name, int baudRate, unsigned int timeoutMs);
    // Sends what is still buffered, then closes and destroys the port.
    void closePort();
    // Blocks until the buffered bytes have left (or the line stalls).
    void drainWrites();
    bool isOpen() const;
    QString portName() const;
    QStringList portNames() const;
    // The ports named by kExtraPortsVariable, in their order.
    static QStringList extraPortNames();

    qint64 bytesAvailable();
    QByteArray readAll();
    QByteArray read(unsigned int maxSize);
    unsigned int write(const char *text, bool wait);
    unsigned int write(QByteArray data, bool wait);

    void pulseLine(ControlLine line, unsigned int timeMs);
    bool readAck();
    // Waits until at least `wanted` bytes are waiting, about a second at most.
    bool pollWait(qint64 wanted);

    // Boot-stream upload through the processor's UART boot.
    bool bootFile(const QString &path, unsigned core, ResetMode mode, ControlLine reset,
                  ControlLine boot);
    bool sendBootStream(unsigned core, const QByteArray &stream);

    // FLASH through the first-stage loader: upload it, then run one sequence.
    bool eraseFlash(const QString &loaderPath, unsigned core, unsigned flashSize, ResetMode mode,
                    ControlLine reset, ControlLine boot);
    bool programFlash(const QString &binaryPath, const QString &loaderPath, unsigned core,
                      ResetMode mode, ControlLine reset, ControlLine boot);
    bool verifyFlash(const QString &binaryPath, const QString &loaderPath, unsigned core,
                     ResetMode mode, ControlLine reset, ControlLine boot);
    bool eraseBlocks(unsigned core, unsigned flashSize);
    bool programData(unsigned core, const QByteArray &image);
    bool verifyData(unsigned core, const QByteArray &image);

    // The port's own blocking waits; they return at once without a port
    // (events run inside a sequence, so the port may go while it runs).
    void waitForBytesWritten(int ms);
    void waitForReadyRead(int ms);

    // Asks the running operation to stop at its next piece boundary (never
    // inside a frame); it then reports "Cancelled by user." and fails. Safe
    // to call from a signal handler. The request stands until clearCancel().
    void requestCancel() { cancelFlag = true; }
    void clearCancel()
    {
        cancelFlag = false;
        cancelReported = false;
    }
    bool cancelRequested() const { return cancelFlag; }

    LinkStep lastStep() const { return step; }

    // Tests attach a recorder to watch line changes and sleeps; not owned.
    void setLineRecorder(LineRecorder *recorder) { lineRecorder = recorder; }

signals:
    void message(const QString &text);
    void progress(unsigned perc);
    void readyRead();

private slots:
    void onReadyRead();

protected:
    // The primitives every line sequence is made of.
    void setRts(bool level);
    void setDtr(bool level);
    void sleepMs(unsigned int ms);
private:
    enum class SyncRule { Erase, Program, Verify };
    static bool coreInRange(unsigned core);
    // Uploads the loader and reads the binary; the common start of the
    // FLASH sequences. `image` stays untouched when `binaryPath` is empty.
    bool startLoader(const QString &binaryPath, const QString &loaderPath, unsigned core,
                     ResetMode mode, ControlLine reset, ControlLine boot, QByteArray *image);
    bool synchronise(SyncRule rule);
    void sendFrameHeader(unsigned char command, quint32 number, int numberBytes, int length);
    bool readFile(const QString &path, QByteArray *contents);
    // True, after the LOG line (once), when the user asked to stop.
    bool stopForCancel();

protected:
    QSerialPort *port = nullptr;
    unsigned int bootChunkSize = kBootChunkSize;
    QList<CoreInfo *> cores;

private:
    LineRecorder *lineRecorder = nullptr;
    std::atomic<bool> cancelFlag{false};
    bool cancelReported = false;
    LinkStep step = LinkStep::None;
};

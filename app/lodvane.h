#pragma once

#include "scriptsession.h"
#include "terminalhost.h"
#include "terminaloutput.h"
#include "ui_lodvane.h"

#include <QByteArray>
#include <QColor>
#include <QMap>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>


class KeyPressEater;
class QPE;
class QSettings;
struct ActionRequest;
enum class ActionOutcome;

// Settings keys of the main window and their defaults.
namespace SettingsKey {
constexpr const char *kOrganisation = "Quennick";
constexpr const char *kApplication = "Lodvane";
constexpr const char *kCoreIndex = "CoreIndex";
constexpr int kCoreIndexDefault = 0;
constexpr const char *kBaudRate = "BaudRate";
constexpr int kBaudRateDefault = 5;
constexpr const char *kFlashSize = "FlashSize";
constexpr unsigned int kFlashSizeDefault = 0x200000;
constexpr const char *kCoreId = "CoreID";
// What else the Home page remembers: the port's name, the lines on BOOT and
// RESET (0 None, 1 RTS, 2 DTR), the invert boxes, where to load (0 FLASH,
// 1 Ext.FLASH, 2 RAM), the terminal after PROGRAM, and the window's place.
constexpr const char *kPortName = "PortName";
constexpr const char *kBootLine = "BootLine";
constexpr const char *kResetLine = "ResetLine";
constexpr const char *kInvertRts = "InvertRTS";
constexpr const char *kInvertDtr = "InvertDTR";
constexpr const char *kMemory = "Memory";
constexpr const char *kOpenTerminal = "OpenTerminalAfterProgram";
constexpr const char *kWindowGeometry = "WindowGeometry";
constexpr const char *kBinaryFilePath = "BinaryFilePath";
constexpr const char *kFirstStageBinaryFilePath = "FirstStageBinaryFilePath";
constexpr const char *kFilePathDefault = "./";
constexpr const char *kTerminalLogPath = "Terminal.Log.Path";
constexpr const char *kTerminalPathDefault = "/";
constexpr const char *kTerminalXmodemPath = "Terminal.xModem.Path";
constexpr const char *kScriptFilePath = "ScriptFilePath";
} // namespace SettingsKey

// The one main window: the form, the device link, the settings and the small
// slots that keep the form consistent.
class Lodvane : public QWidget, public TerminalHost, public ScriptWindow
{
    Q_OBJECT

public:
    // Pages of the stacked widget `main`.
    enum Page { HomePage = 0, TerminalPage = 1, HelpPage = 2, EepromPage = 3 };
    // Period of the coarse timer that clocks the terminal and its time-outs.
    static constexpr int kTimerPeriodMs = 100;

    explicit Lodvane(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~Lodvane() override;

    // Operations other parts of the program use (GUI thread only).
    bool openSelectedPort() override;
    qint64 portBytesAvailable() override;
    const char *portReadAll();
    const char *portRead(unsigned n);
    void flushInput();
    void setPushButton(int index, const QString &text) override;
    QColor colourByName(const QString &name) const override;

    // Runs one script file; true when its main returned.
    bool runScript(const QString &path);
    // What the script library asks of the window.
    void setPage(int index) override;
    const QByteArray &takeAllFromPort() override;
    const QByteArray &takeFromPort(unsigned n) override;
    unsigned portWrite(const QByteArray &bytes) override;
    void closePort() override;

    // The terminal: shows bytes from the board, waits for single bytes.
    void terminalOutput(const char *text) override;
    // The wait also ends (with -1) as soon as `interrupted` says so.
    int receiveByte(int ticks, const std::function<bool()> &interrupted = nullptr);
    // Transfers the board starts with a marker byte (called by the timer).
    void receiveDeviceFile();
    void serveFileRequest();
    QPE *terminalLink() override { return link; }
    QPlainTextEdit *terminalView() override { return ui.terminal; }
    QWidget *terminalWindow() override { return this; }

    Ui::LodvaneClass ui;

public slots:
    void helpSlot();
    void CloseSlot();
    void resetSlot();
    void openTerminalSlot();
    void openTerminal();
    void closeTerminal();
    void binaryLoad();
    void binaryVerify();
    void flashErase();
    void coreChanged(int core);
    void setBinaryFile();
    void setFirstStageBinaryFile();
    void message(const QString &text);
    void progress(unsigned perc);
    void ramSelect(bool checked);
    void flashSelect(bool checked);
    void bootRtsSelect(bool checked);
    void bootDtrSelect(bool checked);
    void resetRtsSelect(bool checked);
    void resetDtrSelect(bool checked);
    void logSlot(bool checked);
    void xmodemReceive();
    void terminalFont();
    void scriptSlot();
    void pb0Slot();
    void pb1Slot();
    void pb2Slot();
    void pb3Slot();

protected:
    void timerEvent(QTimerEvent *event) override;
    // Escape stops what runs on the page shown: a device operation on Home,
    // a script on the script page.
    void keyPressEvent(QKeyEvent *event) override;
    // Closing the window while something runs stops it first.
    void closeEvent(QCloseEvent *event) override;
    // The port list is read again when the window becomes active.
    bool event(QEvent *event) override;

public:
    QPE *link = nullptr;
    QSettings *settings = nullptr;
    QString flashLoaderFilter;
    int selectedCore = 0;
    KeyPressEater *keyFilter = nullptr;
    QMap<QString, QColor> colourTable;
    QByteArray portReadBuffer;

    // Terminal state shared with the transfers: the countdown the timer
    // decrements, bytes taken from the port but not consumed yet, whether
    // the timer feeds the terminal, and the open log file.
    unsigned int timeoutTicks = 0;
    QByteArray rxPending;
    bool terminalPolling = false;
    LogFile terminalLogFile;
    // Size of the X-Rx receive area, in KiB.
    int xmodemRxSizeKiB = 1024;

    // The script pages and what a script run works on; owned.
    std::unique_ptr<ScriptSession> script;
    bool scriptRunning = false;

private slots:
    // Writes the Home page's choices to the store at once.
    void storeChoices();
    // Reads the port list again, keeping the choice when its port is there.
    void refreshPorts();

private:
    // The choices stored beside core, baud rate and FLASH size.
    void restoreChoices();
    // The port the user chose last: chosen again whenever it is listed.
    QString chosenPort;

    using DeviceAction = ActionOutcome (*)(QPE &, const ActionRequest &,
                                           const std::function<void(const QString &)> &);
    // Runs one device action on the form's choices; Escape may cancel it.
    ActionOutcome runAction(DeviceAction action);
    bool deviceBusy = false;
    // Ends the running script at its next statement or button poll.
    void stopScript();
    // After a close request that had to wait for a run to end.
    void closeIfAsked();
    bool closeWhenIdle = false;

    // Both file choosers: ask for an existing file, remember its folder.
    void chooseFile(const char *settingsKey, QLineEdit *target);
    // What an action needs of the form, read at the moment it runs.
    ActionRequest actionRequest() const;
    void logLine(const QString &text);
    // One line of a board's handshake, up to its line feed or a time-out.
    QByteArray readHandshakeLine();
};

// The one main window; the script library reaches the window through it.
extern Lodvane *mainWindow;

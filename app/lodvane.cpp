#include "lodvane.h"

#include "actions.h"
#include "corecatalogue.h"
#include "keypresseater.h"
#include "qpe.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QSignalBlocker>

#include <array>

Lodvane *mainWindow = nullptr;

// The compiled-in images live in a static library; register them once.
static void initResources()
{
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(lodvane);
        done = true;
    }
}

namespace {

// Baud rates offered, in list order; the text and the item data are the rate.
// The stored choice is an index: new rates go at the end.
const int kBaudRates[] = {9600, 14400, 19200, 38400, 57600, 115200, 256000, 230400, 460800, 921600};

// Colours a script may name, in insertion order.
const struct {
    const char *name;
    Qt::GlobalColor colour;
} kColourRows[] = {
    {"black", Qt::black},           {"white", Qt::white},
    {"darkGray", Qt::darkGray},     {"gray", Qt::gray},
    {"lightGray", Qt::lightGray},   {"red", Qt::red},
    {"green", Qt::green},           {"blue", Qt::blue},
    {"cyan", Qt::cyan},             {"magenta", Qt::magenta},
    {"yellow", Qt::yellow},         {"darkRed", Qt::darkRed},
    {"darkGreen", Qt::darkGreen},   {"darkBlue", Qt::darkBlue},
    {"darkCyan", Qt::darkCyan},     {"darkMagenta", Qt::darkMagenta},
    {"darkYellow", Qt::darkYellow},
};

constexpr const char *kLoaderFilter = "*.ldr";

// A restored list index that no longer names an item falls back to its default.
int restoredIndex(const QComboBox *box, int stored, int fallback)
{
    return (stored >= 0 && stored < box->count()) ? stored : fallback;
}

// Radio buttons of one choice, in the order of their stored numbers.
using ButtonRow = std::array<QRadioButton *, 3>;

int checkedIndex(const ButtonRow &row)
{
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (row[i]->isChecked())
            return int(i);
    }
    return 0;
}

// A stored number outside the row checks nothing (the form's default stays).
void checkIndex(const ButtonRow &row, const QVariant &stored)
{
    bool ok = false;
    const int index = stored.toInt(&ok);
    if (ok && index >= 0 && index < int(row.size()))
        row[std::size_t(index)]->setChecked(true);
}

} // namespace

Lodvane::Lodvane(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    mainWindow = this;
    initResources();
    ui.setupUi(this);

    link = new QPE(this);

    refreshPorts();
    for (const CoreInfo *core : link->coreCatalogue())
        ui.coreCB->addItem(core->name, core->id);
    for (int rate : kBaudRates)
        ui.baudRate->addItem(QString::number(rate), rate);

    settings = new QSettings(QString::fromLatin1(SettingsKey::kOrganisation),
                             QString::fromLatin1(SettingsKey::kApplication));

    for (const auto &row : kColourRows)
        colourTable.insert(QString::fromLatin1(row.name), QColor(row.colour));

    keyFilter = new KeyPressEater(this, this);
    script = std::make_unique<ScriptSession>(this, ui.EEPROM, ui.verticalLayout_5);

    connect(ui.coreCB, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Lodvane::coreChanged);
    connect(ui.binaryBrowsePB, &QPushButton::clicked, this, &Lodvane::setBinaryFile);
    connect(ui.PB_0, &QPushButton::clicked, this, &Lodvane::pb0Slot);
    connect(ui.PB_1, &QPushButton::clicked, this, &Lodvane::pb1Slot);
    connect(ui.PB_2, &QPushButton::clicked, this, &Lodvane::pb2Slot);
    connect(ui.PB_3, &QPushButton::clicked, this, &Lodvane::pb3Slot);
    connect(ui.flashBrowsePB, &QPushButton::clicked, this, &Lodvane::setFirstStageBinaryFile);
    connect(ui.programTB, &QToolButton::clicked, this, &Lodvane::binaryLoad);
    connect(ui.verifyTB, &QToolButton::clicked, this, &Lodvane::binaryVerify);
    connect(ui.eraseTB, &QToolButton::clicked, this, &Lodvane::flashErase);
    connect(ui.scriptTB, &QToolButton::clicked, this, &Lodvane::scriptSlot);
    connect(ui.terminalTB, &QToolButton::clicked, this, &Lodvane::openTerminalSlot);
    connect(ui.aboutTB, &QToolButton::clicked, this, &Lodvane::helpSlot);
    connect(ui.closeHelpTB, &QToolButton::clicked, this, &Lodvane::CloseSlot);
    connect(ui.closeEepromTB, &QToolButton::clicked, this, &Lodvane::CloseSlot);
    connect(ui.ramRB, &QRadioButton::clicked, this, &Lodvane::ramSelect);
    connect(ui.flashRB, &QRadioButton::clicked, this, &Lodvane::flashSelect);
    connect(ui.extFlashRB, &QRadioButton::clicked, this, &Lodvane::flashSelect);
    connect(ui.rtsBootRB, &QRadioButton::clicked, this, &Lodvane::bootRtsSelect);
    connect(ui.dtrBootRB, &QRadioButton::clicked, this, &Lodvane::bootDtrSelect);
    connect(ui.rtsResetRB, &QRadioButton::clicked, this, &Lodvane::resetRtsSelect);
    connect(ui.dtrResetRB, &QRadioButton::clicked, this, &Lodvane::resetDtrSelect);
    connect(ui.closeTerminalTB, &QToolButton::clicked, this, &Lodvane::closeTerminal);
    connect(ui.resetTB, &QToolButton::clicked, this, &Lodvane::resetSlot);
    connect(ui.fontTB, &QToolButton::clicked, this, &Lodvane::terminalFont);
    connect(ui.logTB, &QToolButton::clicked, this, &Lodvane::logSlot);
    connect(ui.xModemReceiveTB, &QToolButton::clicked, this, &Lodvane::xmodemReceive);
    connect(link, &QPE::message, this, &Lodvane::message);
    connect(link, &QPE::progress, this, &Lodvane::progress);

    using namespace SettingsKey;
    ui.coreCB->setCurrentIndex(restoredIndex(
        ui.coreCB, settings->value(kCoreIndex, kCoreIndexDefault).toInt(), kCoreIndexDefault));
    ui.baudRate->setCurrentIndex(restoredIndex(
        ui.baudRate, settings->value(kBaudRate, kBaudRateDefault).toInt(), kBaudRateDefault));
    ui.flashSize->setValue(int(settings->value(kFlashSize, kFlashSizeDefault).toUInt()));

    // Index 0 raises no change signal, so apply the core's state explicitly.
    coreChanged(ui.coreCB->currentIndex());
    restoreChoices();

    // Choices are stored as they change, so a process that is killed keeps them.
    connect(ui.coreCB, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Lodvane::storeChoices);
    connect(ui.baudRate, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Lodvane::storeChoices);
    connect(ui.flashSize, QOverload<int>::of(&QSpinBox::valueChanged), this, &Lodvane::storeChoices);
    // A pick of the port already shown (in place of a remembered one that
    // is missing) is a choice too.
    const auto portChosen = [this] {
        chosenPort = ui.serialPortsCB->currentText();
        storeChoices();
    };
    connect(ui.serialPortsCB, QOverload<int>::of(&QComboBox::currentIndexChanged), this, portChosen);
    connect(ui.serialPortsCB, QOverload<int>::of(&QComboBox::activated), this, portChosen);
    for (QAbstractButton *button : std::initializer_list<QAbstractButton *>{
             ui.noneBootRB, ui.rtsBootRB, ui.dtrBootRB, ui.noneResetRB, ui.rtsResetRB, ui.dtrResetRB,
             ui.invertRTSRB, ui.invertDTRRB, ui.flashRB, ui.extFlashRB, ui.ramRB, ui.openTerminalCB})
        connect(button, &QAbstractButton::toggled, this, &Lodvane::storeChoices);
    connect(ui.serialPortsCB, &PortComboBox::aboutToShowPopup, this, &Lodvane::refreshPorts);

    startTimer(kTimerPeriodMs, Qt::CoarseTimer);
}

Lodvane::~Lodvane()
{
    storeChoices();
    link->closePort(); // the link itself goes with the window's children
    delete settings;
    settings = nullptr;
    if (scriptSession == script.get())
        scriptSession = nullptr;
    if (mainWindow == this)
        mainWindow = nullptr;
}

void Lodvane::restoreChoices()
{
    using namespace SettingsKey;
    chosenPort = settings->value(kPortName).toString();
    refreshPorts();
    checkIndex({ui.noneBootRB, ui.rtsBootRB, ui.dtrBootRB}, settings->value(kBootLine));
    checkIndex({ui.noneResetRB, ui.rtsResetRB, ui.dtrResetRB}, settings->value(kResetLine));
    // One line never serves both roles; a store that says so loses BOOT.
    if ((ui.rtsBootRB->isChecked() && ui.rtsResetRB->isChecked())
        || (ui.dtrBootRB->isChecked() && ui.dtrResetRB->isChecked()))
        ui.noneBootRB->setChecked(true);
    ui.invertRTSRB->setChecked(settings->value(kInvertRts, false).toBool());
    ui.invertDTRRB->setChecked(settings->value(kInvertDtr, false).toBool());
    ui.openTerminalCB->setChecked(settings->value(kOpenTerminal, false).toBool());

    // The core has checked its FLASH kind already; FLASH only where it has one.
    const ButtonRow memory{ui.flashRB, ui.extFlashRB, ui.ramRB};
    const int stored = settings->value(kMemory, -1).toInt();
    if (stored != 0 || !ui.flashRB->isHidden())
        checkIndex(memory, stored);
    ramSelect(ui.ramRB->isChecked());

    restoreGeometry(settings->value(kWindowGeometry).toByteArray());
}

void Lodvane::storeChoices()
{
    using namespace SettingsKey;
    settings->setValue(kCoreId, ui.coreCB->currentData().toInt());
    settings->setValue(kCoreIndex, ui.coreCB->currentIndex());
    settings->setValue(kBaudRate, ui.baudRate->currentIndex());
    settings->setValue(kFlashSize, unsigned(ui.flashSize->value()));
    settings->setValue(kPortName, chosenPort);
    settings->setValue(kBootLine, checkedIndex({ui.noneBootRB, ui.rtsBootRB, ui.dtrBootRB}));
    settings->setValue(kResetLine, checkedIndex({ui.noneResetRB, ui.rtsResetRB, ui.dtrResetRB}));
    settings->setValue(kInvertRts, ui.invertRTSRB->isChecked());
    settings->setValue(kInvertDtr, ui.invertDTRRB->isChecked());
    settings->setValue(kMemory, checkedIndex({ui.flashRB, ui.extFlashRB, ui.ramRB}));
    settings->setValue(kOpenTerminal, ui.openTerminalCB->isChecked());
    settings->sync();
}

void Lodvane::refreshPorts()
{
    const QStringList names = link->portNames();
    int index = names.indexOf(chosenPort);
    if (index < 0)
        index = names.indexOf(ui.serialPortsCB->currentText());
    if (index < 0) {
        // Ports named in the environment are there on purpose (a virtual
        // board, a pseudo-terminal): offer the first of them rather than the
        // first system port.
        const int extras = QPE::extraPortNames().size();
        index = extras > 0 ? names.size() - extras : 0;
    }
    // Not the user's choice: the remembered port stays what it was.
    const QSignalBlocker quiet(ui.serialPortsCB);
    ui.serialPortsCB->clear();
    ui.serialPortsCB->addItems(names);
    ui.serialPortsCB->setCurrentIndex(index);
}

bool Lodvane::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        refreshPorts();
    return QWidget::event(event);
}

void Lodvane::helpSlot()
{
    ui.main->setCurrentIndex(HelpPage);
}

void Lodvane::CloseSlot()
{
    // The script page's CLOSE also ends a script that still runs.
    if (ui.main->currentIndex() == EepromPage)
        stopScript();
    ui.main->setCurrentIndex(HomePage);
}

void Lodvane::stopScript()
{
    if (scriptRunning)
        script->stopRequested = true;
}

void Lodvane::closeEvent(QCloseEvent *event)
{
    // A script or a device operation runs inside this very event loop: ask it
    // to stop, and close once it has.
    if (scriptRunning || deviceBusy) {
        stopScript();
        if (deviceBusy)
            link->requestCancel();
        closeWhenIdle = true;
        event->ignore();
        return;
    }
    settings->setValue(QString::fromLatin1(SettingsKey::kWindowGeometry), saveGeometry());
    QWidget::closeEvent(event);
}

void Lodvane::closeIfAsked()
{
    if (closeWhenIdle && !scriptRunning && !deviceBusy)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Lodvane::coreChanged(int core)
{
    selectedCore = ui.coreCB->itemData(core, Qt::UserRole).toInt();

    // A core with stacked FLASH offers it and fixes its size; the others
    // program an external FLASH of the size in the box.
    if (const CoreRow *row = coreById(selectedCore)) {
        const bool stacked = row->stackedFlashBytes != 0;
        ui.flashRB->setVisible(stacked);
        ui.flashSize->setEnabled(!stacked);
        (stacked ? ui.flashRB : ui.extFlashRB)->setChecked(true);
        flashLoaderFilter = QString::fromLatin1(kLoaderFilter);
    }
    ui.flashLoaderPathLE->setText(QCoreApplication::applicationDirPath()
                                  + loaderRelativePath(selectedCore));
}

void Lodvane::chooseFile(const char *settingsKey, QLineEdit *target)
{
    const QString startDir =
        settings->value(settingsKey, QString::fromLatin1(SettingsKey::kFilePathDefault)).toString();
    const QString filter = QStringLiteral("Binary (%1)").arg(flashLoaderFilter);
    const QString name =
        QFileDialog::getOpenFileName(this, tr("Specify Binary File"), startDir, filter);
    if (name.isEmpty())
        return;
    settings->setValue(settingsKey, QFileInfo(name).path());
    target->setText(name);
}

void Lodvane::setBinaryFile()
{
    chooseFile(SettingsKey::kBinaryFilePath, ui.binaryFilePathLE);
}

void Lodvane::setFirstStageBinaryFile()
{
    chooseFile(SettingsKey::kFirstStageBinaryFilePath, ui.flashLoaderPathLE);
}

void Lodvane::message(const QString &text)
{
    ui.log->appendPlainText(text);
    QCoreApplication::processEvents();
}

void Lodvane::progress(unsigned perc)
{
    ui.progressBar->setValue(int(perc));
    QCoreApplication::processEvents();
}

void Lodvane::ramSelect(bool checked)
{
    if (checked) {
        ui.verifyTB->setEnabled(false);
        ui.eraseTB->setEnabled(false);
    }
}

void Lodvane::flashSelect(bool checked)
{
    if (checked) {
        ui.verifyTB->setEnabled(true);
        ui.eraseTB->setEnabled(true);
    }
}

// One control line never serves both BOOT and RESET: taking a line for one
// role moves the other role to None when it sat on the same line.
void Lodvane::bootRtsSelect(bool checked)
{
    if (checked && ui.rtsResetRB->isChecked())
        ui.noneResetRB->setChecked(true);
}

void Lodvane::bootDtrSelect(bool checked)
{
    if (checked && ui.dtrResetRB->isChecked())
        ui.noneResetRB->setChecked(true);
}

void Lodvane::resetRtsSelect(bool checked)
{
    if (checked && ui.rtsBootRB->isChecked())
        ui.noneBootRB->setChecked(true);
}

void Lodvane::resetDtrSelect(bool checked)
{
    if (checked && ui.dtrBootRB->isChecked())
        ui.noneBootRB->setChecked(true);
}

bool Lodvane::openSelectedPort()
{
    return link->openPort(ui.serialPortsCB->currentText(),
                          ui.baudRate->currentData().toInt(), QPE::kOpenTimeoutMs);
}

qint64 Lodvane::portBytesAvailable()
{
    return link->bytesAvailable();
}

const char *Lodvane::portReadAll()
{
    portReadBuffer = link->readAll();
    return portReadBuffer.constData();
}

const char *Lodvane::portRead(unsigned n)
{
    portReadBuffer = link->read(n);
    return portReadBuffer.constData();
}

void Lodvane::setPushButton(int index, const QString &text)
{
    QPushButton *const buttons[] = {ui.PB_0, ui.PB_1, ui.PB_2, ui.PB_3};
    if (index < 0 || index > 3)
        return;
    buttons[index]->setText(text);
    buttons[index]->show();
}

QColor Lodvane::colourByName(const QString &name) const
{
    return colourTable.value(name, QColor());
}

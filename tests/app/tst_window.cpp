// The main window: start-up state, restored settings, the small slots that
// keep the form consistent, and the operations other parts use.
#include "apptest.h"
#include "ptypair.h"
#include "qpe.h"

#include <QFileDialog>
#include <QTextBlock>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartDefaults();
    void formTree_data();
    void formTree();
    void coreTable_data();
    void coreTable();
    void restoredStackedFlashCore();
    void restoredIndicesOutOfRange();
    void bootResetExclusivity_data();
    void bootResetExclusivity();
    void memoryButtonsOnlyOnClick();
    void fileChooser_data();
    void fileChooser();
    void colourByName_data();
    void colourByName();
    void keysWrittenAtExit();
    void pageSwitching();
    void pushButtons();
    void timerCountsTicksDown();
    void selectedPortOperations();
    void unwritableSettingsStore();
    void noSerialPortsAtAll();

private:
    std::unique_ptr<Lodvane> window() { return std::make_unique<Lodvane>(); }
    QSettings store() { return QSettings(QStringLiteral("Quennick"), QStringLiteral("Lodvane")); }
    std::unique_ptr<QTemporaryDir> settingsDir;
};

void TestWindow::init()
{
    // Every case gets a store of its own, never the user's.
    settingsDir = std::make_unique<QTemporaryDir>();
    QVERIFY(settingsDir->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir->path());
}

void TestWindow::cleanup()
{
    settingsDir.reset();
}

void TestWindow::firstStartDefaults()
{
    auto w = window();
    QCOMPARE(mainWindow, w.get());
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    QCOMPARE(w->ui.coreCB->count(), 7);
    QCOMPARE(w->ui.coreCB->currentText(), QStringLiteral("ADSP-BF512"));
    QCOMPARE(w->selectedCore, 1);
    QCOMPARE(w->ui.flashLoaderPathLE->text(),
             QCoreApplication::applicationDirPath() + "/sys/ADSP-BF51x/FlashLoader.ldr");
    QCOMPARE(w->flashLoaderFilter, QStringLiteral("*.ldr"));
    QVERIFY(w->ui.extFlashRB->isChecked());
    QVERIFY(w->ui.flashRB->isHidden());
    QVERIFY(w->ui.flashSize->isEnabled());
    QCOMPARE(w->ui.baudRate->count(), 7);
    QCOMPARE(w->ui.baudRate->currentText(), QStringLiteral("115200"));
    QCOMPARE(w->ui.baudRate->currentData().toInt(), 115200);
    QCOMPARE(w->ui.baudRate->itemData(6).toInt(), 256000);
    QCOMPARE(w->ui.flashSize->value(), 2097152);
    QCOMPARE(w->ui.flashSize->minimum(), 1);
    QCOMPARE(w->ui.flashSize->maximum(), 8388608);
    QCOMPARE(w->ui.flashSize->singleStep(), 32768);
    QCOMPARE(w->ui.progressBar->value(), 0);
    QVERIFY(w->ui.binaryFilePathLE->text().isEmpty());
    QVERIFY(w->ui.noneBootRB->isChecked());
    QVERIFY(w->ui.noneResetRB->isChecked());
    QVERIFY(w->ui.localEchoCB->isChecked());
    QVERIFY(!w->ui.openTerminalCB->isChecked());
    QVERIFY(!w->ui.invertRTSRB->isChecked());
    QVERIFY(!w->ui.invertDTRRB->isChecked());
    QCOMPARE(w->windowTitle(), QStringLiteral("LOD-VANE"));
    QVERIFY(w->ui.help->toHtml().contains(QStringLiteral("Rev 2.0.0")));
    QVERIFY(w->ui.logTB->isCheckable());
    QVERIFY(!w->ui.resetTB->isCheckable());
    QVERIFY(!w->ui.closeTerminalTB->isCheckable());
    QVERIFY(w->terminalLogFile == nullptr);
    QVERIFY(!w->terminalPolling);
}

// The widgets that other code reaches by object name (the line radio
// buttons, the script's push buttons) and the pages they sit on; the rest
// of the form is reached through the compiled ui members.
void TestWindow::formTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parentPage");
    const char *rows[][3] = {
        {"dtrResetRB", "QRadioButton", "Home"}, {"rtsResetRB", "QRadioButton", "Home"},
        {"noneResetRB", "QRadioButton", "Home"}, {"dtrBootRB", "QRadioButton", "Home"},
        {"rtsBootRB", "QRadioButton", "Home"},   {"noneBootRB", "QRadioButton", "Home"},
        {"PB_0", "QPushButton", "EEPROM"},       {"PB_1", "QPushButton", "EEPROM"},
        {"PB_2", "QPushButton", "EEPROM"},       {"PB_3", "QPushButton", "EEPROM"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << row[0] << row[1] << row[2];
}

void TestWindow::formTree()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, parentPage);
    auto w = window();
    QWidget *widget = w->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QWidget *page = w->findChild<QWidget *>(parentPage);
    QVERIFY(page);
    QVERIFY(page->isAncestorOf(widget));
    QCOMPARE(w->ui.main->indexOf(page),
             QStringList({"Home", "Terminal", "Help", "EEPROM"}).indexOf(parentPage));
}

void TestWindow::coreTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("stacked");
    QTest::addColumn<QString>("loader");
    const QString bf51x = QStringLiteral("/sys/ADSP-BF51x/FlashLoader.ldr");
    QTest::newRow("ADSP-BF512") << 0 << 1 << false << bf51x;
    QTest::newRow("ADSP-BF514") << 1 << 2 << false << bf51x;
    QTest::newRow("ADSP-BF516") << 2 << 3 << false << bf51x;
    QTest::newRow("ADSP-BF518") << 3 << 4 << false << bf51x;
    QTest::newRow("ADSP-BF514F16") << 4 << 5 << true << bf51x;
    QTest::newRow("ADSP-BF518F16") << 5 << 6 << true << bf51x;
    QTest::newRow("ADSP-BF592") << 6 << 7 << false << QStringLiteral("/sys/ADSP-BF592/FlashLoader.ldr");
}

void TestWindow::coreTable()
{
    QFETCH(int, index);
    QFETCH(int, id);
    QFETCH(bool, stacked);
    QFETCH(QString, loader);
    auto w = window();
    // Start from the other kind of core so every change is visible.
    w->ui.coreCB->setCurrentIndex(stacked ? 0 : 4);
    w->ui.coreCB->setCurrentIndex(index);
    QCOMPARE(w->ui.coreCB->currentText(), QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(w->selectedCore, id);
    QCOMPARE(w->ui.flashRB->isHidden(), !stacked);
    QCOMPARE(w->ui.flashRB->isChecked(), stacked);
    QCOMPARE(w->ui.extFlashRB->isChecked(), !stacked);
    QCOMPARE(w->ui.flashSize->isEnabled(), !stacked);
    QCOMPARE(w->ui.flashLoaderPathLE->text(), QCoreApplication::applicationDirPath() + loader);
}

void TestWindow::restoredStackedFlashCore()
{
    {
        QSettings s = store();
        s.setValue("CoreIndex", 4);
        s.setValue("BaudRate", 2);
        s.setValue("FlashSize", 1048576u);
    }
    auto w = window();
    QCOMPARE(w->ui.coreCB->currentIndex(), 4);
    QCOMPARE(w->selectedCore, 5);
    QVERIFY(!w->ui.flashRB->isHidden());
    QVERIFY(w->ui.flashRB->isChecked());
    QVERIFY(!w->ui.flashSize->isEnabled());
    QCOMPARE(w->ui.flashSize->value(), 1048576);
    QCOMPARE(w->ui.baudRate->currentData().toInt(), 19200);
}

void TestWindow::restoredIndicesOutOfRange()
{
    {
        QSettings s = store();
        s.setValue("CoreIndex", 99);
        s.setValue("BaudRate", -3);
        s.setValue("FlashSize", "garbage");
    }
    auto w = window();
    QCOMPARE(w->ui.coreCB->currentIndex(), 0);
    QCOMPARE(w->selectedCore, 1);
    QCOMPARE(w->ui.baudRate->currentIndex(), 5);
    QCOMPARE(w->ui.flashSize->value(), 1); // an unreadable size is clamped, not kept at random
}

void TestWindow::bootResetExclusivity_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("movedToNone");
    QTest::newRow("BOOT on DTR moves RESET off DTR") << "dtrResetRB" << "dtrBootRB" << "noneResetRB";
    QTest::newRow("BOOT on RTS moves RESET off RTS") << "rtsResetRB" << "rtsBootRB" << "noneResetRB";
    QTest::newRow("RESET on RTS moves BOOT off RTS") << "rtsBootRB" << "rtsResetRB" << "noneBootRB";
    QTest::newRow("RESET on DTR moves BOOT off DTR") << "dtrBootRB" << "dtrResetRB" << "noneBootRB";
    QTest::newRow("different lines stay") << "dtrResetRB" << "rtsBootRB" << "";
}

void TestWindow::bootResetExclusivity()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, movedToNone);
    auto w = window();
    auto *a = w->findChild<QRadioButton *>(first);
    auto *b = w->findChild<QRadioButton *>(second);
    a->click();
    b->click();
    QVERIFY(b->isChecked());
    if (movedToNone.isEmpty()) {
        QVERIFY(a->isChecked());
    } else {
        QVERIFY(!a->isChecked());
        QVERIFY(w->findChild<QRadioButton *>(movedToNone)->isChecked());
    }
}

void TestWindow::memoryButtonsOnlyOnClick()
{
    auto w = window();
    w->ui.ramRB->click();
    QVERIFY(!w->ui.verifyTB->isEnabled());
    QVERIFY(!w->ui.eraseTB->isEnabled());
    w->ui.extFlashRB->click();
    QVERIFY(w->ui.verifyTB->isEnabled());
    QVERIFY(w->ui.eraseTB->isEnabled());
    w->ui.coreCB->setCurrentIndex(4);
    w->ui.ramRB->click();
    w->ui.flashRB->click();
    QVERIFY(w->ui.verifyTB->isEnabled());

    // Only a click by the user changes them; setChecked from code does not.
    w->ui.ramRB->setChecked(true);
    QVERIFY(w->ui.verifyTB->isEnabled());
    w->ui.ramRB->click();
    w->ui.coreCB->setCurrentIndex(0); // checks Ext.FLASH from code
    QVERIFY(w->ui.extFlashRB->isChecked());
    QVERIFY(!w->ui.verifyTB->isEnabled());
    QVERIFY(!w->ui.eraseTB->isEnabled());
}

void TestWindow::fileChooser_data()
{
    QTest::addColumn<bool>("loaderChooser");
    QTest::addColumn<bool>("accept");
    QTest::newRow("binary chosen") << false << true;
    QTest::newRow("binary cancelled") << false << false;
    QTest::newRow("loader chosen") << true << true;
    QTest::newRow("loader cancelled") << true << false;
}

void TestWindow::fileChooser()
{
    QFETCH(bool, loaderChooser);
    QFETCH(bool, accept);
    QTemporaryDir files;
    const QString chosen = files.filePath(QStringLiteral("image.ldr"));
    QFile f(chosen);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();

    auto w = window();
    const char *key = loaderChooser ? "FirstStageBinaryFilePath" : "BinaryFilePath";
    QLineEdit *target = loaderChooser ? w->ui.flashLoaderPathLE : w->ui.binaryFilePathLE;
    const QString before = target->text();
    w->settings->setValue(key, files.path());

    QString caption, directory;
    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        caption = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        if (accept) {
            dialog->selectFile(chosen);
            QMetaObject::invokeMethod(dialog, "accept");
        } else {
            dialog->reject();
        }
    });
    (loaderChooser ? w->ui.flashBrowsePB : w->ui.binaryBrowsePB)->click();

    QCOMPARE(caption, QStringLiteral("Specify Binary File"));
    QCOMPARE(directory, QDir(files.path()).absolutePath());
    QCOMPARE(filters, QStringList{"Binary (*.ldr)"});
    if (accept) {
        QCOMPARE(target->text(), chosen);
        QCOMPARE(w->settings->value(key).toString(), files.path());
    } else {
        QCOMPARE(target->text(), before);
        QCOMPARE(w->settings->value(key).toString(), files.path());
    }
}

void TestWindow::colourByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("red") << "red" << QColor(Qt::red);
    QTest::newRow("case matters") << "Red" << QColor();
    QTest::newRow("darkYellow") << "darkYellow" << QColor(Qt::darkYellow);
    QTest::newRow("not a Qt table name") << "transparent" << QColor();
    QTest::newRow("empty") << "" << QColor();
}

void TestWindow::colourByName()
{
    QFETCH(QString, name);
    QFETCH(QColor, colour);
    auto w = window();
    QCOMPARE(w->colourByName(name), colour);
    QCOMPARE(w->colourByName(name).isValid(), colour.isValid());
    QCOMPARE(w->colourTable.size(), 17);
}

void TestWindow::keysWrittenAtExit()
{
    window().reset();
    {
        QSettings s = store();
        QCOMPARE(s.value("CoreID").toInt(), 1);
        QCOMPARE(s.value("CoreIndex").toInt(), 0);
        QCOMPARE(s.value("BaudRate").toInt(), 5);
        QCOMPARE(s.value("FlashSize").toUInt(), 2097152u);
        QVERIFY(!s.contains("BinaryFilePath")); // written only when a file is chosen
    }
    auto w = window();
    w->ui.coreCB->setCurrentIndex(6);
    w->ui.baudRate->setCurrentIndex(0);
    w->ui.flashSize->setValue(65536);
    w.reset();
    QSettings s = store();
    QCOMPARE(s.value("CoreID").toInt(), 7);
    QCOMPARE(s.value("CoreIndex").toInt(), 6);
    QCOMPARE(s.value("BaudRate").toInt(), 0);
    QCOMPARE(s.value("FlashSize").toUInt(), 65536u);
}

void TestWindow::pageSwitching()
{
    auto w = window();
    w->ui.aboutTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HelpPage));
    QCOMPARE(w->ui.main->currentWidget()->objectName(), QStringLiteral("Help"));
    w->ui.closeHelpTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    w->ui.main->setCurrentIndex(Lodvane::EepromPage);
    QCOMPARE(w->ui.main->currentWidget()->objectName(), QStringLiteral("EEPROM"));
    w->ui.closeEepromTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    QCOMPARE(w->ui.main->widget(Lodvane::TerminalPage)->objectName(), QStringLiteral("Terminal"));
}

void TestWindow::pushButtons()
{
    auto w = window();
    w->ui.main->setCurrentIndex(Lodvane::EepromPage);
    w->show();
    w->ui.PB_2->hide();
    w->setPushButton(2, QStringLiteral("Save"));
    QCOMPARE(w->ui.PB_2->text(), QStringLiteral("Save"));
    QVERIFY(!w->ui.PB_2->isHidden());
    w->ui.PB_0->hide();
    w->setPushButton(4, QStringLiteral("Nope"));
    w->setPushButton(-1, QStringLiteral("Nope"));
    QVERIFY(w->ui.PB_0->isHidden());
    for (QPushButton *b : {w->ui.PB_0, w->ui.PB_1, w->ui.PB_3})
        QCOMPARE(b->text(), QStringLiteral("PushButton"));
}

void TestWindow::timerCountsTicksDown()
{
    auto w = window();
    w->timeoutTicks = 3;
    QTRY_COMPARE_WITH_TIMEOUT(w->timeoutTicks, 0u, 5000);
    QTest::qWait(250);
    QCOMPARE(w->timeoutTicks, 0u); // stops at zero, never wraps
}

void TestWindow::selectedPortOperations()
{
    PtyPair pty;
    auto w = windowOnPort(pty.slavePath());
    // The extra port is listed last and offered first.
    QCOMPARE(w->ui.serialPortsCB->currentText(), pty.slavePath());
    QCOMPARE(w->ui.serialPortsCB->currentIndex(), w->ui.serialPortsCB->count() - 1);
    QVERIFY(w->openSelectedPort());

    QVERIFY(pty.write("board says hi"));
    QVERIFY(w->link->pollWait(13));
    QCOMPARE(w->portBytesAvailable(), 13);
    QCOMPARE(QByteArray(w->portRead(5)), QByteArray("board"));
    QCOMPARE(QByteArray(w->portReadAll()), QByteArray(" says hi"));
    QCOMPARE(QByteArray(w->portReadAll()), QByteArray());

    QVERIFY(pty.write("stale"));
    QVERIFY(w->link->pollWait(5));
    w->rxPending = "left over";
    w->flushInput();
    QVERIFY(w->rxPending.isEmpty());
    QCOMPARE(w->portBytesAvailable(), 0);
    w->link->closePort();
}

void TestWindow::unwritableSettingsStore()
{
    // The store's folder would have to be made below a plain file.
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    QFile f(blocker);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker + "/settings");
    auto w = window();
    QCOMPARE(w->ui.coreCB->currentIndex(), 0);
    w->ui.coreCB->setCurrentIndex(3);
    w.reset(); // writing at exit fails quietly
    QSettings s = store();
    QVERIFY(s.value("CoreIndex").isNull());
}

void TestWindow::noSerialPortsAtAll()
{
    auto w = window();
    w->ui.serialPortsCB->clear(); // a machine without serial ports
    QTemporaryDir files;
    QFile binary(files.filePath("image.ldr"));
    QVERIFY(binary.open(QIODevice::WriteOnly));
    binary.close();
    w->ui.binaryFilePathLE->setText(binary.fileName());
    w->ui.programTB->click();
    w->ui.terminalTB->click();
    QCOMPARE(w->ui.log->toPlainText(),
             QStringLiteral("Can't open selected port [].\nCan't open selected port []."));
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    QVERIFY(!w->link->isOpen());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"

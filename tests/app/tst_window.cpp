// The main window: restored and written settings, the small slots that keep
// the form consistent, and the port list.
#include "apptest.h"
#include "testfiles.h"

#include <QtTest>

class TestWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> settingsDir;
    static QSettings store() { return QSettings(QStringLiteral("Quennick"), QStringLiteral("Lodvane")); }

private slots:
    void init()
    {
        // Every case gets a store of its own, never the user's.
        settingsDir = std::make_unique<QTemporaryDir>();
        QVERIFY(settingsDir->isValid());
        useSettingsIn(settingsDir->path());
    }
    void cleanup() { settingsDir.reset(); }

    // What the store holds at start, what the window then shows, and the same
    // again in a second window that sees only what the first one wrote.
    void settingsRestoredAndWritten_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<int>("coreIndex");
        QTest::addColumn<int>("coreId");
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("flashSize");
        QTest::addColumn<QString>("loader");
        QTest::addColumn<QStringList>("checked");
        QTest::newRow("stacked FLASH core, FLASH")
            << QVariantMap{{"CoreIndex", 4}, {"BaudRate", 2}, {"FlashSize", 1048576u}, {"Memory", 0}} << 4 << 5 << 2
            << 1048576 << "BF51x" << QStringList{"noneBootRB", "noneResetRB", "flashRB"};
        QTest::newRow("BF592 at the lowest rate, lines, inverts, RAM, terminal after PROGRAM")
            << QVariantMap{{"CoreIndex", 6}, {"BaudRate", 0}, {"FlashSize", 65536u}, {"BootLine", 1}, {"ResetLine", 2},
                           {"InvertRTS", true}, {"InvertDTR", true}, {"Memory", 2}, {"OpenTerminalAfterProgram", true}}
            << 6 << 7 << 0 << 65536 << "BF592"
            << QStringList{"rtsBootRB", "dtrResetRB", "invertRTSRB", "invertDTRRB", "ramRB", "openTerminalCB"};
        QTest::newRow("one line for both roles: RESET keeps it; FLASH on a core without: Ext.FLASH")
            << QVariantMap{{"BootLine", 2}, {"ResetLine", 2}, {"Memory", 0}} << 0 << 1 << 5 << 2097152 << "BF51x"
            << QStringList{"noneBootRB", "dtrResetRB", "extFlashRB"};
        // An unreadable size is clamped, not kept at random.
        QTest::newRow("unreadable values: defaults")
            << QVariantMap{{"CoreIndex", 7}, {"BaudRate", -3}, {"FlashSize", "garbage"}, {"BootLine", 7},
                           {"ResetLine", "rts"}, {"Memory", -1}}
            << 0 << 1 << 5 << 1 << "BF51x" << QStringList{"noneBootRB", "noneResetRB", "extFlashRB"};
    }

    void settingsRestoredAndWritten()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(int, coreIndex);
        QFETCH(int, coreId);
        QFETCH(int, baudIndex);
        QFETCH(int, flashSize);
        QFETCH(QString, loader);
        QFETCH(QStringList, checked);
        {
            QSettings s = store();
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                s.setValue(it.key(), it.value());
        }
        const QStringList boxes{"noneBootRB", "rtsBootRB",   "dtrBootRB", "noneResetRB", "rtsResetRB", "dtrResetRB",
                                "invertRTSRB", "invertDTRRB", "flashRB",   "extFlashRB",  "ramRB",      "openTerminalCB"};
        // FLASH is offered (and here checked) only on the core with stacked FLASH.
        const bool stacked = checked.contains("flashRB");
        for (int round = 0; round < 2; ++round) {
            Lodvane w;
            QCOMPARE(w.ui.coreCB->currentIndex(), coreIndex);
            QCOMPARE(w.selectedCore, coreId);
            QCOMPARE(w.ui.baudRate->currentIndex(), baudIndex);
            QCOMPARE(w.ui.flashSize->value(), flashSize);
            QCOMPARE(w.ui.flashLoaderPathLE->text(),
                     QCoreApplication::applicationDirPath() + "/sys/ADSP-" + loader + "/FlashLoader.ldr");
            QStringList on;
            for (const QString &name : boxes)
                if (w.findChild<QAbstractButton *>(name)->isChecked())
                    on << name;
            QCOMPARE(on, boxes.filter(QRegularExpression("^(" + checked.join('|') + ")$")));
            QCOMPARE(w.ui.flashRB->isHidden(), !stacked);
            QCOMPARE(w.ui.flashSize->isEnabled(), !stacked);
            QCOMPARE(w.ui.verifyTB->isEnabled(), !checked.contains("ramRB"));
            store().clear(); // the next window sees only what this one writes at exit
        }
        QCOMPARE(store().value("CoreID").toInt(), coreId); // written, never read
    }

    // Choices reach the disk as they are made, not only when the window goes:
    // a program that is killed keeps them. No event runs between the choices
    // and the reading of the file.
    void choicesOnDiskAtOnce()
    {
        Lodvane w;
        w.ui.coreCB->setCurrentIndex(6);
        w.ui.baudRate->setCurrentIndex(2);
        w.ui.dtrBootRB->click();
        w.ui.ramRB->click();
        w.ui.serialPortsCB->addItem(QStringLiteral("/dev/lodvane-chosen"));
        w.ui.serialPortsCB->setCurrentIndex(w.ui.serialPortsCB->count() - 1);
        w.ui.flashSize->setValue(65536); // last: no other choice writes it out
        const QList<QByteArray> lines = readFile(settingsDir->filePath("Quennick/Lodvane.conf")).split('\n');
        for (const char *line : {"CoreIndex=6", "CoreID=7", "BaudRate=2", "FlashSize=65536", "BootLine=2", "Memory=2",
                                 "PortName=/dev/lodvane-chosen"})
            QVERIFY2(lines.contains(line), line);
    }

    // The list is read again when the window becomes active (here through
    // LODVANE_EXTRA_PORTS, the same list): an adapter plugged in later is offered.
    void portListReadAgain()
    {
        auto w = windowOnPort(QStringLiteral("/dev/lodvane-a"));
        qputenv(QPE::kExtraPortsVariable, "/dev/lodvane-b");
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(w.get(), &activate);
        qunsetenv(QPE::kExtraPortsVariable);
        QVERIFY(w->ui.serialPortsCB->findText(QStringLiteral("/dev/lodvane-b")) >= 0);
    }

    // Taking a line for BOOT or RESET moves the other role to None when it
    // sat on the same line, and only then; the memory enables VERIFY and ERASE.
    void bootResetExclusivity()
    {
        const char *const cases[][3] = {{"dtrResetRB", "dtrBootRB", "noneResetRB"},
                                        {"rtsResetRB", "rtsBootRB", "noneResetRB"},
                                        {"rtsBootRB", "rtsResetRB", "noneBootRB"},
                                        {"dtrBootRB", "dtrResetRB", "noneBootRB"},
                                        {"dtrResetRB", "rtsBootRB", "dtrResetRB"}};
        Lodvane w;
        for (const auto &c : cases) {
            w.ui.noneBootRB->click();
            w.ui.noneResetRB->click();
            w.findChild<QRadioButton *>(c[0])->click();
            w.findChild<QRadioButton *>(c[1])->click();
            QVERIFY2(w.findChild<QRadioButton *>(c[1])->isChecked(), c[1]);
            QVERIFY2(w.findChild<QRadioButton *>(c[2])->isChecked(), c[2]);
        }
        // VERIFY and ERASE go with RAM and come back with a FLASH.
        w.ui.ramRB->click();
        QVERIFY(!w.ui.verifyTB->isEnabled() && !w.ui.eraseTB->isEnabled());
        w.ui.extFlashRB->click();
        QVERIFY(w.ui.verifyTB->isEnabled() && w.ui.eraseTB->isEnabled());
    }

    // The binary chooser takes a file and remembers its folder; a cancelled
    // loader chooser changes neither the loader nor its folder.
    void fileChoosers()
    {
        const QString chosen = settingsDir->filePath(QStringLiteral("image.ldr"));
        QVERIFY(QFile(chosen).open(QIODevice::WriteOnly));
        const QString start = settingsDir->filePath(QStringLiteral("start"));
        QVERIFY(QDir().mkdir(start));
        Lodvane w;
        w.settings->setValue("BinaryFilePath", start);
        QStringList seen;
        answerFileDialog(chosen, &seen);
        w.ui.binaryBrowsePB->click();
        QCOMPARE(seen, QStringList({"Specify Binary File", start, "Binary (*.ldr)"}));
        QCOMPARE(w.ui.binaryFilePathLE->text(), chosen);
        QCOMPARE(w.settings->value("BinaryFilePath").toString(), settingsDir->path());

        const QString loader = w.ui.flashLoaderPathLE->text();
        w.settings->setValue("FirstStageBinaryFilePath", start);
        answerFileDialog(QString());
        w.ui.flashBrowsePB->click();
        QCOMPARE(w.ui.flashLoaderPathLE->text(), loader);
        QCOMPARE(w.settings->value("FirstStageBinaryFilePath").toString(), start);
    }

    // The rates in the order the stored index counts them; a machine without
    // serial ports.
    void ratesAndNoSerialPorts()
    {
        Lodvane w;
        QCOMPARE(mainWindow, &w);
        QList<int> rates;
        for (int i = 0; i < w.ui.baudRate->count(); ++i)
            rates << w.ui.baudRate->itemData(i).toInt();
        QCOMPARE(rates, QList<int>({9600, 14400, 19200, 38400, 57600, 115200, 256000, 230400, 460800, 921600}));
        w.ui.serialPortsCB->clear();
        const QString binary = settingsDir->filePath("image.ldr");
        QVERIFY(QFile(binary).open(QIODevice::WriteOnly));
        w.ui.binaryFilePathLE->setText(binary);
        w.ui.programTB->click();
        w.ui.terminalTB->click();
        QCOMPARE(logLines(w), QStringList({"Can't open selected port [].", "Can't open selected port []."}));
        QCOMPARE(w.ui.main->currentIndex(), int(Lodvane::HomePage));
        QVERIFY(!w.link->isOpen());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"

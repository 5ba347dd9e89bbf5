// The main window: start-up state, restored and written settings, the small
// slots that keep the form consistent, and the operations other parts use.
#include "apptest.h"

#include <QtTest>

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { settingsDir.reset(); }

    void firstStart();
    void coreTable_data();
    void coreTable();
    void settingsRestoredAndWritten_data();
    void settingsRestoredAndWritten();
    void moreChoicesRestoredAndWritten_data();
    void moreChoicesRestoredAndWritten();
    void windowSizeRemembered();
    void portListReadAgain_data();
    void portListReadAgain();
    void bootResetExclusivity_data();
    void bootResetExclusivity();
    void memoryButtonsOnlyOnClick();
    void fileChooser_data();
    void fileChooser();
    void pageButtons();
    void timerStopsAtZero();
    void selectedPortOperations();
    void unwritableSettingsStore();
    void choicesSurviveAKill();
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
    useSettingsIn(settingsDir->path());
}

void TestWindow::firstStart()
{
    auto w = window();
    QCOMPARE(mainWindow, w.get());
    QCOMPARE(w->windowTitle(), QStringLiteral("LOD-VANE"));
    QVERIFY(w->ui.help->toHtml().contains(QStringLiteral("Rev 2.0.0")));
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    QCOMPARE(w->ui.coreCB->count(), 7);
    QCOMPARE(w->ui.flashLoaderPathLE->text(),
             QCoreApplication::applicationDirPath() + "/sys/ADSP-BF51x/FlashLoader.ldr");
    QList<int> rates;
    for (int i = 0; i < w->ui.baudRate->count(); ++i)
        rates << w->ui.baudRate->itemData(i).toInt();
    QCOMPARE(rates, QList<int>({9600, 14400, 19200, 38400, 57600, 115200, 256000, 230400, 460800, 921600}));
    QCOMPARE(w->ui.baudRate->currentText(), QStringLiteral("115200"));
    QCOMPARE(QList<int>({w->ui.flashSize->minimum(), w->ui.flashSize->maximum(), w->ui.flashSize->singleStep()}),
             QList<int>({1, 8388608, 32768}));
    QVERIFY(w->ui.binaryFilePathLE->text().isEmpty());
    QVERIFY(w->ui.noneBootRB->isChecked() && w->ui.noneResetRB->isChecked());
    QVERIFY(w->ui.localEchoCB->isChecked());
    QVERIFY(!w->ui.openTerminalCB->isChecked() && !w->ui.invertRTSRB->isChecked() && !w->ui.invertDTRRB->isChecked());

    // The widgets other code reaches by object name, on their pages.
    const QStringList pages{"Home", "Terminal", "Help", "EEPROM"};
    for (const char *name : {"dtrResetRB", "rtsResetRB", "noneResetRB", "dtrBootRB", "rtsBootRB", "noneBootRB"})
        QVERIFY2(w->ui.main->widget(pages.indexOf("Home"))->findChild<QRadioButton *>(name), name);
    for (const char *name : {"PB_0", "PB_1", "PB_2", "PB_3"})
        QVERIFY2(w->ui.main->widget(pages.indexOf("EEPROM"))->findChild<QPushButton *>(name), name);
    for (int page = 0; page < pages.size(); ++page)
        QCOMPARE(w->ui.main->widget(page)->objectName(), pages.at(page));
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

// What the store holds at start (nothing, or core index, baud index and
// FLASH size), what the window shows, and what it writes back at exit.
void TestWindow::settingsRestoredAndWritten_data()
{
    QTest::addColumn<QVariantList>("stored");
    QTest::addColumn<int>("coreIndex");
    QTest::addColumn<int>("coreId");
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<int>("flashSize");
    QTest::newRow("first start") << QVariantList() << 0 << 1 << 5 << 2097152;
    QTest::newRow("stacked FLASH core") << QVariantList({4, 2, 1048576u}) << 4 << 5 << 2 << 1048576;
    QTest::newRow("BF592 at the lowest rate") << QVariantList({6, 0, 65536u}) << 6 << 7 << 0 << 65536;
    // An unreadable size is clamped, not kept at random.
    QTest::newRow("out of range") << QVariantList({99, -3, "garbage"}) << 0 << 1 << 5 << 1;
}

void TestWindow::settingsRestoredAndWritten()
{
    QFETCH(QVariantList, stored);
    QFETCH(int, coreIndex);
    QFETCH(int, coreId);
    QFETCH(int, baudIndex);
    QFETCH(int, flashSize);
    if (!stored.isEmpty()) {
        QSettings s = store();
        s.setValue("CoreIndex", stored.at(0));
        s.setValue("BaudRate", stored.at(1));
        s.setValue("FlashSize", stored.at(2));
    }
    auto w = window();
    QCOMPARE(w->ui.coreCB->currentIndex(), coreIndex);
    QCOMPARE(w->selectedCore, coreId);
    QCOMPARE(w->ui.baudRate->currentIndex(), baudIndex);
    QCOMPARE(w->ui.flashSize->value(), flashSize);
    const bool stacked = coreIndex == 4 || coreIndex == 5;
    QCOMPARE(w->ui.flashRB->isChecked(), stacked);
    QCOMPARE(w->ui.flashSize->isEnabled(), !stacked);
    w.reset();
    QSettings s = store();
    QCOMPARE(s.value("CoreID").toInt(), coreId);
    QCOMPARE(s.value("CoreIndex").toInt(), coreIndex);
    QCOMPARE(s.value("BaudRate").toInt(), baudIndex);
    QCOMPARE(s.value("FlashSize").toInt(), flashSize);
    QVERIFY(!s.contains("BinaryFilePath")); // written only when a file is chosen
}

// The Home page's other choices: what the store holds at start, the boxes
// then checked, and the same boxes in the next window (written at exit).
void TestWindow::moreChoicesRestoredAndWritten_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QStringList>("checked");
    QTest::newRow("first start")
        << QVariantMap() << QStringList{"noneBootRB", "noneResetRB", "extFlashRB"};
    QTest::newRow("lines, inverts, RAM, terminal after PROGRAM")
        << QVariantMap{{"BootLine", 1}, {"ResetLine", 2}, {"InvertRTS", true}, {"InvertDTR", true}, {"Memory", 2},
                       {"OpenTerminalAfterProgram", true}}
        << QStringList{"rtsBootRB", "dtrResetRB", "invertRTSRB", "invertDTRRB", "ramRB", "openTerminalCB"};
    QTest::newRow("FLASH on a core with stacked FLASH")
        << QVariantMap{{"CoreIndex", 4}, {"Memory", 0}} << QStringList{"noneBootRB", "noneResetRB", "flashRB"};
    QTest::newRow("FLASH on a core without: Ext.FLASH")
        << QVariantMap{{"Memory", 0}} << QStringList{"noneBootRB", "noneResetRB", "extFlashRB"};
    QTest::newRow("one line for both roles: RESET keeps it")
        << QVariantMap{{"BootLine", 2}, {"ResetLine", 2}} << QStringList{"noneBootRB", "dtrResetRB", "extFlashRB"};
    QTest::newRow("unreadable values: defaults")
        << QVariantMap{{"BootLine", 7}, {"ResetLine", "rts"}, {"Memory", -1}}
        << QStringList{"noneBootRB", "noneResetRB", "extFlashRB"};
}

void TestWindow::moreChoicesRestoredAndWritten()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QStringList, checked);
    {
        QSettings s = store();
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            s.setValue(it.key(), it.value());
    }
    const QStringList boxes{"noneBootRB", "rtsBootRB",   "dtrBootRB",   "noneResetRB", "rtsResetRB",    "dtrResetRB",
                            "invertRTSRB", "invertDTRRB", "flashRB",    "extFlashRB",  "ramRB", "openTerminalCB"};
    for (int round = 0; round < 2; ++round) {
        auto w = window();
        QStringList on;
        for (const QString &name : boxes)
            if (w->findChild<QAbstractButton *>(name)->isChecked())
                on << name;
        QCOMPARE(on, boxes.filter(QRegularExpression("^(" + checked.join('|') + ")$")));
        QCOMPARE(w->ui.verifyTB->isEnabled(), !checked.contains("ramRB"));
        store().clear(); // the next round sees only what this window writes
    }
}

void TestWindow::windowSizeRemembered()
{
    auto w = window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->resize(w->size() + QSize(90, 70));
    const QSize chosen = w->size();
    QVERIFY(w->close());
    w.reset();
    QCOMPARE(window()->size(), chosen);
}

// The list is read again when it opens and when the window becomes active:
// ports come and go (here through LODVANE_EXTRA_PORTS, the same list).
void TestWindow::portListReadAgain_data()
{
    QTest::addColumn<QString>("stored");  // the PortName stored
    QTest::addColumn<QString>("before");  // the extra ports at start
    QTest::addColumn<QString>("chosen");  // and the port then chosen
    QTest::addColumn<QString>("after");   // the extra ports later
    QTest::addColumn<bool>("byFocus");    // read again on activation, else on opening
    QTest::addColumn<QString>("chosenAfter");
    QTest::newRow("an adapter plugged in later is offered") << "" << "a" << "a" << "a:b" << false << "a";
    QTest::newRow("a port that went gives way") << "" << "a:b" << "a" << "b" << true << "b";
    QTest::newRow("the stored port chosen") << "b" << "a:b" << "b" << "a:b" << false << "b";
    QTest::newRow("a stored port gone, and back") << "b" << "a" << "a" << "a:b" << true << "b";
}

void TestWindow::portListReadAgain()
{
    QFETCH(QString, stored);
    QFETCH(QString, before);
    QFETCH(QString, chosen);
    QFETCH(QString, after);
    QFETCH(bool, byFocus);
    QFETCH(QString, chosenAfter);
    const QString dev = QStringLiteral("/dev/lodvane-");
    auto ports = [&](const QString &names) { return QString(dev + names).replace(':', ':' + dev); };
    auto tail = [](const QComboBox *box, int n) {
        QStringList items;
        for (int i = box->count() - n; i < box->count(); ++i)
            items << box->itemText(i);
        return items.join(':');
    };
    if (!stored.isEmpty())
        store().setValue("PortName", ports(stored));
    auto w = windowOnPort(ports(before));
    QCOMPARE(w->ui.serialPortsCB->currentText(), ports(chosen));

    qputenv(QPE::kExtraPortsVariable, ports(after).toLocal8Bit());
    if (byFocus) {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(w.get(), &activate);
    } else {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::mouseClick(w->ui.serialPortsCB, Qt::LeftButton);
        w->ui.serialPortsCB->hidePopup();
    }
    qunsetenv(QPE::kExtraPortsVariable);
    QCOMPARE(tail(w->ui.serialPortsCB, int(after.count(':')) + 1), ports(after));
    QCOMPARE(w->ui.serialPortsCB->currentText(), ports(chosenAfter));
    w.reset();
    QCOMPARE(store().value("PortName").toString(), stored.isEmpty() ? QString() : ports(stored));
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
    QCOMPARE(a->isChecked(), movedToNone.isEmpty());
    if (!movedToNone.isEmpty())
        QVERIFY(w->findChild<QRadioButton *>(movedToNone)->isChecked());
}

void TestWindow::memoryButtonsOnlyOnClick()
{
    auto w = window();
    auto verifyAndErase = [&w] { return w->ui.verifyTB->isEnabled() && w->ui.eraseTB->isEnabled(); };
    w->ui.ramRB->click();
    QVERIFY(!w->ui.verifyTB->isEnabled() && !w->ui.eraseTB->isEnabled());
    w->ui.extFlashRB->click();
    QVERIFY(verifyAndErase());
    w->ui.coreCB->setCurrentIndex(4);
    w->ui.ramRB->click();
    w->ui.flashRB->click();
    QVERIFY(verifyAndErase());

    // Only a click by the user changes them; setChecked from code does not.
    w->ui.ramRB->setChecked(true);
    QVERIFY(verifyAndErase());
    w->ui.ramRB->click();
    w->ui.coreCB->setCurrentIndex(0); // checks Ext.FLASH from code
    QVERIFY(w->ui.extFlashRB->isChecked());
    QVERIFY(!w->ui.verifyTB->isEnabled() && !w->ui.eraseTB->isEnabled());
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
    QVERIFY(QFile(chosen).open(QIODevice::WriteOnly));

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
        if (accept)
            dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
    });
    (loaderChooser ? w->ui.flashBrowsePB : w->ui.binaryBrowsePB)->click();

    QCOMPARE(caption, QStringLiteral("Specify Binary File"));
    QCOMPARE(directory, QDir(files.path()).absolutePath());
    QCOMPARE(filters, QStringList{"Binary (*.ldr)"});
    QCOMPARE(target->text(), accept ? chosen : before);
    QCOMPARE(w->settings->value(key).toString(), files.path());
}

void TestWindow::pageButtons()
{
    auto w = window();
    w->ui.aboutTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HelpPage));
    w->ui.closeHelpTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    w->ui.main->setCurrentIndex(Lodvane::EepromPage);
    w->ui.closeEepromTB->click();
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
}

void TestWindow::timerStopsAtZero()
{
    auto w = window();
    w->timeoutTicks = 3;
    QVERIFY(waitTimerRounds(*w, 3));
    QCOMPARE(w->timeoutTicks, 0u);
    QVERIFY(waitTimerRounds(*w, 2));
    QCOMPARE(w->timeoutTicks, 0u); // never wraps
}

// The port list and the input flush; reading is the script port
// functions' test.
void TestWindow::selectedPortOperations()
{
    PtyPair pty;
    auto w = windowOnPort(pty.slavePath());
    // The extra port is listed last and offered first.
    QCOMPARE(w->ui.serialPortsCB->currentText(), pty.slavePath());
    QCOMPARE(w->ui.serialPortsCB->currentIndex(), w->ui.serialPortsCB->count() - 1);
    QVERIFY(w->openSelectedPort());
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
    const QString blocker = settingsDir->filePath(QStringLiteral("blocker"));
    QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
    useSettingsIn(blocker + "/settings");
    auto w = window();
    QCOMPARE(w->ui.coreCB->currentIndex(), 0);
    w->ui.coreCB->setCurrentIndex(3);
    w.reset(); // writing at exit fails quietly
    QVERIFY(store().value("CoreIndex").isNull());
}

// Choices reach the store as they are made, not only when the window goes.
void TestWindow::choicesSurviveAKill()
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), settingsDir->path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(LODVANE_KILLED_WINDOW), QStringList());
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QSettings s = store();
    QCOMPARE(s.value("CoreIndex").toInt(), 6);
    QCOMPARE(s.value("CoreID").toInt(), 7);
    QCOMPARE(s.value("BaudRate").toInt(), 2);
    QCOMPARE(s.value("FlashSize").toInt(), 65536);
    QCOMPARE(s.value("BootLine").toInt(), 2);
    QCOMPARE(s.value("Memory").toInt(), 2);
    QCOMPARE(s.value("PortName").toString(), QStringLiteral("/dev/lodvane-chosen"));
}

void TestWindow::noSerialPortsAtAll()
{
    auto w = window();
    w->ui.serialPortsCB->clear(); // a machine without serial ports
    const QString binary = settingsDir->filePath("image.ldr");
    QVERIFY(QFile(binary).open(QIODevice::WriteOnly));
    w->ui.binaryFilePathLE->setText(binary);
    w->ui.programTB->click();
    w->ui.terminalTB->click();
    QCOMPARE(w->ui.log->toPlainText(),
             QStringLiteral("Can't open selected port [].\nCan't open selected port []."));
    QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage));
    QVERIFY(!w->link->isOpen());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"

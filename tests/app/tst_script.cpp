// Scripts run from the window: the script pages and widgets they build, the
// LOG entries their output and errors become, the push buttons, widget
// handles, the state block, and the serial port functions.
#include "apptest.h"
#include "testfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

class TestScript : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowOnPty> f;
    Lodvane *w = nullptr;
    QString path;

    QString scriptFile(const QByteArray &source, const QString &name = QStringLiteral("script.c"))
    {
        return path = writeFile(f->dir.filePath(name), source);
    }
    bool run(const QByteArray &source) { return w->runScript(scriptFile(source)); }
    QStringList logLines() const { return ::logLines(*w); }
    QTabWidget *tabs() const { return w->findChild<QTabWidget *>(QStringLiteral("dataTab")); }
    QTableWidget *page(int index) const { return w->script->pageTables.value(index); }
    template <typename T>
    T *cell(int pageIndex, int row, int column) const
    {
        return qobject_cast<T *>(page(pageIndex)->cellWidget(row, column));
    }
    // Check boxes a script made and never placed: no page owns them.
    static int unplacedCheckBoxes()
    {
        int count = 0;
        for (QWidget *widget : QApplication::allWidgets())
            count += qobject_cast<QCheckBox *>(widget) && !widget->parent();
        return count;
    }

private slots:
    void init()
    {
        f = std::make_unique<WindowOnPty>();
        w = f->w.get();
    }
    void cleanup() { f.reset(); }

    // Page names are trimmed on the tabs and buttons out of range are ignored;
    // a second run finds the first run's pages and placed widgets but starts
    // with no state records, no buttons and none of the widgets the first run
    // left unplaced.
    void pagesAcrossRuns()
    {
        QVERIFY(run("int main()\n{\n"
                    "    int n = GridNew(\" Config , Data \");\n"
                    "    GridAddWidget(\"Data\", 0, 0, SpinBox(0, 10, n, \"pages\"));\n"
                    "    GridAddWidget(\"Data\", 1, 1, CheckBox(\"x\", 1, \"t\"));\n"
                    "    CheckBox(\"never placed\", 0, \"t\");\n"
                    "    LodvaneSetButton(1, \"Go\");\n"
                    "    LodvaneSetButton(4, \"ignored\"); LodvaneSetButton(-1, \"ignored\");\n"
                    "    return 0;\n}\n"));
        QCOMPARE(tabs()->count(), 2);
        QCOMPARE(tabs()->tabText(0), QStringLiteral("Config"));
        QCOMPARE(tabs()->tabText(1), QStringLiteral("Data"));
        QCOMPARE(page(0)->rowCount(), 32);
        QCOMPARE(page(0)->columnCount(), 4);
        QCOMPARE(cell<QSpinBox>(1, 0, 0)->value(), 2);
        QCOMPARE(w->script->stateRecords.size(), 2);
        QCOMPARE(unplacedCheckBoxes(), 1);
        for (QPushButton *b : {w->ui.PB_0, w->ui.PB_2, w->ui.PB_3}) // buttons 4 and -1 are none of them
            QVERIFY(b->text() == QStringLiteral("PushButton") && b->isHidden());
        QCOMPARE(w->ui.PB_1->text(), QStringLiteral("Go"));
        QVERIFY(!w->ui.PB_1->isHidden());
        w->ui.PB_1->click();
        QCOMPARE(int(w->script->buttonAction[1]), 1);
        QCOMPARE(w->ui.main->currentIndex(), int(Lodvane::HomePage)); // the run shows no page itself

        QVERIFY(run("int main() { GridSize(\"Data\", 3, 2); GridAddText(\"Data\", 0, 0, \"again\");\n"
                    "CheckBox(\"never placed\", 0, \"t\"); return 0; }\n"));
        QCOMPARE(page(1)->rowCount(), 3);
        QCOMPARE(page(1)->item(0, 0)->text(), QStringLiteral("again"));
        QVERIFY(cell<QCheckBox>(1, 1, 1)); // the first run's placed widget stays
        QCOMPARE(unplacedCheckBoxes(), 1); // only the second run's
        QCOMPARE(w->script->stateRecords.size(), 0);
        QVERIFY(w->ui.PB_1->isHidden());
        QCOMPARE(int(w->script->buttonAction[1]), 0);
        f.reset(); // the last run's unplaced widgets go with the window
        QCOMPARE(unplacedCheckBoxes(), 0);
    }

    void colourSpecifications_data()
    {
        QTest::addColumn<QByteArray>("colourText");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("name") << QByteArray("red") << QColor(Qt::red);
        QTest::newRow("numbers with blanks") << QByteArray(" 10 , 20 , 30 ") << QColor(10, 20, 30);
        QTest::newRow("Qt name not in the table") << QByteArray("transparent") << QColor();
        QTest::newRow("number out of range") << QByteArray("256,0,0") << QColor();
    }

    void colourSpecifications()
    {
        QFETCH(QByteArray, colourText);
        QFETCH(QColor, colour);
        QVERIFY(run("int main() { GridNew(\"P\"); GridAddText(\"P\", 0, 0, \"before\"); GridForeground(\"" + colourText
                    + "\"); GridBackground(\"" + colourText + "\"); GridAddText(\"P\", 1, 0, \"after\"); return 0; }\n"));
        QCOMPARE(page(0)->item(0, 0)->foreground().color(), QColor(Qt::black));
        QCOMPARE(page(0)->item(0, 0)->background().color(), QColor(Qt::white));
        QCOMPARE(page(0)->item(1, 0)->foreground().color(), colour);
        QCOMPARE(page(0)->item(1, 0)->background().color(), colour);
        QCOMPARE(page(0)->item(1, 0)->flags(), Qt::NoItemFlags);
    }

    void libraryErrorsEndTheRun_data()
    {
        QTest::addColumn<QByteArray>("call");
        QTest::addColumn<QString>("message");
        const QString page = "Wrong page identifier", rgb = "Invalid number of fields in RGB specifications",
                      button = "PUSHBUTTON selection out of range", handle = "invalid widget handle";
        QTest::newRow("page named with its blanks") << QByteArray("GridShowGrid(\" P \", 0);") << page;
        QTest::newRow("two colour fields") << QByteArray("GridForeground(\"255,0\");") << rgb;
        QTest::newRow("button -1") << QByteArray("LodvaneButtonAction(-1);") << button;
        QTest::newRow("button 4") << QByteArray("LodvaneButtonClearAction(4);") << button;
        QTest::newRow("handle 0") << QByteArray("SpinBoxValue(0);") << handle;
        QTest::newRow("wrong kind") << QByteArray("SpinBoxSetValue(CheckBox(\"c\", 0, \"t\"), 1);") << handle;
        QTest::newRow("widget as text cell") << QByteArray("GridSetText(LineEdit(\"a\", \"t\"), \"b\");") << handle;
        QTest::newRow("widget replaced in its cell")
            << QByteArray("int s = SpinBox(0, 9, 1, \"t\"); GridAddWidget(\"P\", 0, 0, s); "
                          "GridAddWidget(\"P\", 0, 0, LineEdit(\"x\", \"t\")); SpinBoxValue(s);") << handle;
        QTest::newRow("pages rebuilt")
            << QByteArray("int t = GridAddText(\"P\", 0, 0, \"t\"); GridNew(\"Q\"); GridSetText(t, \"x\");") << handle;
    }

    void libraryErrorsEndTheRun()
    {
        QFETCH(QByteArray, call);
        QFETCH(QString, message);
        QVERIFY(!run("int main()\n{\n    GridNew(\"P\");\n    " + call + "\n    GridNew(\"after\");\n    return 0;\n}\n"));
        const QString last = logLines().last();
        QVERIFY2(last.startsWith(path + ":4:") && last.endsWith(" " + message), qPrintable(last));
        QVERIFY(tabs()->tabText(0) != QStringLiteral("after")); // the run ended at the error
        QVERIFY(!w->scriptRunning);
    }

    void widgetsAndValues()
    {
        QVERIFY(run("int main()\n{\n"
                    "    GridNew(\"P\");\n"
                    "    int c = ComboBox(\" one , two ,three\", 1, \"mode\");\n"
                    "    GridAddWidget(\"P\", 0, 1, c);\n"
                    "    int s = SpinBox(0, 10, 20, \"level\");\n"
                    "    SpinBoxStep(s, 2); SpinBoxSuffix(s, \" V\"); SpinBoxPrefix(s, \"~\");\n"
                    "    GridAddWidget(\"P\", 1, 1, s);\n"
                    "    int k = CheckBox(\"on\", 7, \"flag\");\n"
                    "    GridAddWidget(\"P\", 2, 1, k);\n"
                    "    int e = LineEdit(\"h\\xc3\\xa9llo\", \"name\");\n"
                    "    GridAddWidget(\"P\", 3, 1, e);\n"
                    "    char *text = LineEditValue(e);\n"
                    "    printf(\"%d %d %d %d\\n\", ComboBoxValue(c), SpinBoxValue(s), CheckBoxValue(k), text[1] & 255);\n"
                    "    GridColHeader(\"P\", 1, \"Value\"); GridRowHeader(\"P\", 0, \"Mode\");\n"
                    "    GridRowHeaderClear(\"P\"); GridRowHeader(\"P\", 1, \"Level\");\n"
                    "    GridColHeader(\"P\", 9, \"ignored\");\n"
                    "    GridShowGrid(\"P\", 0);\n"
                    "    GridAddWidget(\"P\", 6, 0, SpinBox(0, 9, 3, \"a\"));\n"
                    "    GridAddWidget(\"P\", 6, 0, LineEdit(\"second\", \"b\"));\n"
                    "    return 0;\n}\n"));
        // The spin box value is clamped to its range; LineEditValue hands back Latin-1.
        QCOMPARE(logLines().last(), QStringLiteral("1 10 1 233"));
        auto *combo = cell<QComboBox>(0, 0, 1);
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QStringLiteral("one"));
        QCOMPARE(combo->toolTip(), QStringLiteral("mode"));
        auto *spin = cell<QSpinBox>(0, 1, 1);
        QCOMPARE(spin->singleStep(), 2);
        QCOMPARE(spin->suffix(), QStringLiteral(" V"));
        QCOMPARE(spin->prefix(), QStringLiteral("~"));
        QCOMPARE(cell<QLineEdit>(0, 3, 1)->text(), QString::fromUtf8("h\xc3\xa9llo"));
        QCOMPARE(page(0)->horizontalHeaderItem(1)->text(), QStringLiteral("Value"));
        QCOMPARE(page(0)->verticalHeaderItem(0)->text(), QString());
        QCOMPARE(page(0)->verticalHeaderItem(1)->text(), QStringLiteral("Level"));
        QVERIFY(!page(0)->showGrid());
        QCOMPARE(w->script->stateRecords.size(), 6);
        QCOMPARE(w->script->stateRecords.at(2).kind, QStringLiteral("CHECKBOX"));
        QCOMPARE(cell<QLineEdit>(0, 6, 0)->text(), QStringLiteral("second")); // replaced in its cell
    }

    // A click before the script looks is seen until the script clears it.
    void buttonActionAndClear()
    {
        QTimer::singleShot(0, [this] { w->ui.PB_2->click(); });
        QVERIFY(run("int main()\n{\n"
                    "    LodvaneSetButton(2, \"Read\");\n"
                    "    int loops = 0;\n"
                    "    while (!LodvaneButtonAction(2) && loops < 100000) { LodvaneProcessEvents(); loops++; }\n"
                    "    int first = LodvaneButtonAction(2);\n"
                    "    LodvaneButtonClearAction(2);\n"
                    "    printf(\"%d %d\\n\", first, LodvaneButtonAction(2));\n"
                    "    return 0;\n}\n"));
        QCOMPARE(logLines().last(), QStringLiteral("1 0"));
    }

    void outputBecomesLogEntries()
    {
        w->ui.log->clear();
        QVERIFY(run("int main()\n{\n"
                    "    printf(\"a\");\n"
                    "    printf(\"b\\n\");\n"
                    "    printf(\"ab\");\n"
                    "    printf(\"%s\", \"xy\\n\");\n"
                    "    printf(\"%c\", 'c'); printf(\"%c%c\", 'd', 10);\n"
                    "    printf(\"two\\nlines\\n\");\n"
                    "    printf(\"caf\\xc3\\xa9 %d\\n\", 42);\n"
                    "    printf(\"never shown\");\n"
                    "    return 0;\n}\n"));
        QCOMPARE(logLines(), QStringList({"ab", "abxy", "cd", "two", "lines", QString::fromUtf8("caf\xc3\xa9 42")}));
        QCOMPARE(w->ui.log->document()->blockCount(), 6); // "two\nlines" is one entry, shown on two lines
        // What was left without a line feed is not carried into the next run.
        QVERIFY(run("int main() { printf(\"next\\n\"); return 0; }\n"));
        QCOMPARE(logLines().last(), QStringLiteral("next"));
        // The engine's own errors (tested with the engine) reach the LOG too,
        // also for a file that cannot be read, named through Latin-1.
        QVERIFY(!run("int helper() { return 1; }\n"));
        QVERIFY(logLines().last() != QStringLiteral("next"));
        QVERIFY(!w->runScript(f->dir.filePath(QString::fromUtf8("\xc5\x82.c"))));
        QVERIFY(logLines().last().contains(f->dir.filePath("?.c")));
    }

    // The first run loads nothing, adds one and saves 6; the second, chosen
    // with the Script button, loads 6 and saves 7. The script text is kept
    // below the block.
    void saveAndLoadThroughTheScript()
    {
        const QByteArray source = "int main()\n{\n"
                                  "    GridNew(\"Serial,Board\");\n"
                                  "    int s = SpinBox(0, 100, 5, \"Baud divisor\");\n"
                                  "    GridAddWidget(\"Board\", 2, 1, s);\n"
                                  "    LodvaneLoadState();\n"
                                  "    SpinBoxSetValue(s, SpinBoxValue(s) + 1);\n"
                                  "    LodvaneSaveState();\n"
                                  "    return 0;\n}\n";
        QVERIFY(run(source));
        QVERIFY(readFile(path).contains("\n//#STATE.DATA: 1,2,1,SPINBOX,6,Baud divisor\n\n" + source));
        QStringList seen;
        answerFileDialog(path, &seen);
        w->ui.scriptTB->click();
        QCOMPARE(seen, QStringList({"Specify Data Script File", QDir::currentPath(), "Script (*.c)"}));
        QCOMPARE(w->settings->value("ScriptFilePath").toString(), f->dir.path());
        QVERIFY(readFile(path).contains("\n//#STATE.DATA: 1,2,1,SPINBOX,7,Baud divisor\n\n" + source));
    }

    void portFunctions()
    {
        QVERIFY(f->pty.write("board"));
        QVERIFY(run("int main()\n{\n"
                    // No port open yet: nothing available, taken or written.
                    "    char *all = LodvaneReadAll();\n"
                    "    printf(\"%d %d %d\", LodvaneBytesAvailable(), LodvaneWritePort(\"x\"), all[0]);\n"
                    "    char *some = LodvaneReadPort(10);\n"
                    "    printf(\" %d\\n\", some[0]);\n"
                    "    LodvaneClosePort();\n"
                    "    int opened = LodvaneOpenPort();\n"
                    "    printf(\"%d %d\", opened, LodvaneWritePort(\"hello\"));\n"
                    "    while (LodvaneBytesAvailable() < 5) LodvaneProcessEvents();\n"
                    "    printf(\" %s\", LodvaneReadPort(2));\n"
                    "    printf(\" %s\", LodvaneReadAll());\n"
                    "    printf(\" [%s]\\n\", LodvaneReadPort(0));\n"
                    "    LodvaneClosePort();\n"
                    "    return 0;\n}\n"));
        QCOMPARE(logLines().mid(logLines().size() - 2), QStringList({"0 0 0 0", "1 5 bo ard []"}));
        QVERIFY(!w->link->isOpen());
        QCOMPARE(f->pty.read(5, 2000), QByteArray("hello"));
    }

    // CLOSE on the script page, Escape there, or a close request end a script
    // that loops for ever, whether it waits for a button or never looks at the
    // window: the run ends through the exit point ("Script stopped."), its open
    // file is closed, the page it built stays, and after a close request the
    // window closes once the run is over. A run started meanwhile is refused.
    void stopARunningScript_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("loop");
        const QByteArray waits = "while (!LodvaneButtonAction(0)) LodvaneProcessEvents();", spins = "while (1);";
        QTest::newRow("CLOSE, waiting for a button") << "CLOSE" << waits;
        QTest::newRow("Escape, runaway loop") << "Escape" << spins;
        QTest::newRow("close request, runaway loop") << "close request" << spins;
    }

    void stopARunningScript()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, loop);
        w->show();
        QTimer stopper;
        connect(&stopper, &QTimer::timeout, [&] {
            if (w->ui.main->currentIndex() != Lodvane::EepromPage)
                return; // the script has not shown its page yet
            stopper.stop();
            QVERIFY(!w->runScript(path)); // a click on Script meanwhile
            if (how == "CLOSE")
                w->ui.closeEepromTB->click();
            else if (how == "Escape")
                QTest::keyClick(w->ui.PB_0, Qt::Key_Escape);
            else
                w->close();
        });
        stopper.start(20);
        const QString written = f->dir.filePath("written.txt");
        QVERIFY(!run("int main() { FILE *f = fopen(\"" + written.toLatin1() + "\", \"w\"); fputs(\"kept\", f);\n"
                     "GridNew(\"Loop\"); LodvaneSetButton(0, \"Never\"); LodvaneSetPage(3);\n" + loop +
                     "\nreturn 0; }\n"));
        QCOMPARE(logLines().mid(logLines().size() - 2),
                 QStringList({"A script is already running; wait for it to end.", "Script stopped."}));
        QCOMPARE(readFile(written), QByteArray("kept")); // closed with the run
        QCOMPARE(tabs()->tabText(0), QStringLiteral("Loop"));
        QVERIFY(!w->scriptRunning);
        if (how == "close request")
            QTRY_VERIFY(!w->isVisible());
        else
            QVERIFY(w->isVisible());
        QCOMPARE(w->ui.main->currentIndex(), int(how == "CLOSE" ? Lodvane::HomePage : Lodvane::EepromPage));
    }
};

QTEST_MAIN(TestScript)
#include "tst_script.moc"

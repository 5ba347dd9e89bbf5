// The state block a script keeps at the top of its own file: written from
// real widgets in real page tables, read back into them, and never at the
// cost of the script itself.
#include "statefile.h"
#include "testfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray kScript = "int main()\n{\n    return 0;\n}\n";

// A page with one widget of each kind, as a script would place them.
struct Page
{
    QTableWidget table{32, 4};
    QSpinBox *spin = new QSpinBox;
    QComboBox *combo = new QComboBox;
    QCheckBox *check = new QCheckBox(QStringLiteral("Enable"));
    QLineEdit *edit = new QLineEdit;
    QList<StateRecord> records;

    Page()
    {
        spin->setRange(0, 100);
        combo->addItems({"one", "two", "three"});
        place(spin, "SPINBOX", "Baud divisor", 2, 1);
        place(combo, "COMBOBOX", "Mode", 3, 1);
        place(check, "CHECKBOX", "Enable", 4, 1);
        place(edit, "LINEEDIT", "Name", 5, 2);
    }
    void place(QWidget *w, const char *kind, const char *toolTip, int row, int column)
    {
        w->setToolTip(QString::fromLatin1(toolTip));
        table.setCellWidget(row, column, w);
        records.append({QString::fromLatin1(kind), w->toolTip(), row, column, 0});
    }
    QList<QTableWidget *> pages() { return {&table}; }
};

} // namespace

class TestStateFile : public QObject
{
    Q_OBJECT

    QString path;
    std::unique_ptr<QTemporaryDir> dir;
    void writeScript(const QByteArray &content) { QVERIFY(!writeFile(path, content).isEmpty()); }
    QByteArray read() const { return readFile(path); }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        path = dir->filePath(QStringLiteral("eeprom.c"));
    }

    void saveWritesTheBlockAndLoadReadsIt()
    {
        writeScript(kScript);
        Page page;
        page.spin->setValue(5);
        page.combo->setCurrentIndex(-1);
        page.check->setChecked(true);
        page.edit->setText(QStringLiteral("a,b"));
        const QDateTime before = QDateTime::currentDateTime();
        QVERIFY(StateFile::save(path, page.records, page.pages()));

        const QList<QByteArray> lines = read().split('\n');
        QCOMPARE(lines[0], QByteArray("//#STATE.INFO: Warning don't modify STATE info, these lines are"));
        QCOMPARE(lines[1], QByteArray("//#STATE.INFO:     automatically over-written by LodvaneSaveState function"));
        QVERIFY(lines[2].startsWith("//#STATE.INFO: Last modified @ "));
        const QDateTime stamp = QDateTime::fromString(QString::fromLatin1(lines[2].mid(31)), "yyyy/MM/dd - hh:mm:ss");
        QVERIFY(stamp.isValid());
        QVERIFY(qAbs(stamp.secsTo(before)) <= 2);
        QCOMPARE(lines.mid(3, 5), QList<QByteArray>({"//#STATE.DATA: 0,2,1,SPINBOX,5,Baud divisor",
                                                     "//#STATE.DATA: 0,3,1,COMBOBOX,-1,Mode",
                                                     "//#STATE.DATA: 0,4,1,CHECKBOX,1,Enable",
                                                     "//#STATE.DATA: 0,5,2,LINEEDIT,a,b,Name", ""}));
        QCOMPARE(read().mid(read().indexOf("\n\n") + 2), kScript);

        page.combo->setCurrentIndex(2);
        QVERIFY(StateFile::save(path, page.records, page.pages()));
        Page loaded;
        StateFile::load(path, loaded.pages());
        QCOMPARE(loaded.spin->value(), 5);
        QCOMPARE(loaded.combo->currentIndex(), 2);
        QVERIFY(loaded.check->isChecked());
        QCOMPARE(loaded.edit->text(), QStringLiteral("a")); // cut at the comma
    }

    void repeatedSavesReplaceTheBlock_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::newRow("CR LF") << QByteArray("int main()\r\n{\r\n    return 0;\r\n}\r\n");
        QTest::newRow("data lines further down stay text")
            << QByteArray("int x;\n//#STATE.DATA: 0,2,1,SPINBOX,9,pasted\nint main() { return 0; }\n");
    }

    void repeatedSavesReplaceTheBlock()
    {
        QFETCH(QByteArray, script);
        writeScript(script);
        Page page;
        QVERIFY(StateFile::save(path, page.records, page.pages()));
        const QByteArray first = read();
        QVERIFY(StateFile::save(path, page.records, page.pages()));
        QVERIFY(StateFile::save(path, page.records, page.pages()));
        const QByteArray third = read();
        // Apart from the timestamp line the files are identical.
        auto withoutStamp = [](QByteArray text) {
            const int at = text.indexOf("Last modified @ ");
            return text.remove(at, text.indexOf('\n', at) - at);
        };
        QCOMPARE(withoutStamp(third), withoutStamp(first));
        QVERIFY(third.endsWith("\n\n" + script));
        QCOMPARE(third.count("//#STATE.INFO:"), 3);

        // A block written with CR LF ends is replaced just the same.
        QByteArray crlf = third;
        crlf.replace('\n', "\r\n");
        writeScript(crlf);
        QVERIFY(StateFile::save(path, page.records, page.pages()));
        QCOMPARE(read().count("//#STATE.INFO:"), 3);
        QVERIFY(!read().contains("\n\r\n//#STATE"));
    }

    // Lines that name nothing are skipped and loading goes on; the first line
    // that is not a data line (here an indented one) ends the block.
    void loadTakesTheLeadingBlock_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("spin");
        QTest::addColumn<bool>("checked");
        QTest::newRow("applied") << QByteArray("//#STATE.DATA: 0,2,1,SPINBOX,9,t") << 9 << true;
        QTest::newRow("indented line ends the block") << QByteArray("  //#STATE.DATA: 0,2,1,SPINBOX,9,t") << 3 << false;
        QTest::newRow("no such page") << QByteArray("//#STATE.DATA: 3,2,1,SPINBOX,9,t") << 3 << true;
        QTest::newRow("kind of another widget") << QByteArray("//#STATE.DATA: 0,2,1,LINEEDIT,9,t") << 3 << true;
        QTest::newRow("four fields") << QByteArray("//#STATE.DATA: 0,2,1,SPINBOX") << 3 << true;
    }

    void loadTakesTheLeadingBlock()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, spin);
        QFETCH(bool, checked);
        writeScript("//#STATE.INFO: x\n" + line + "\n//#STATE.DATA: 0,4,1,CHECKBOX, 1 ,t\n");
        Page page;
        page.spin->setValue(3);
        StateFile::load(path, page.pages());
        QCOMPARE(page.spin->value(), spin);
        QCOMPARE(page.check->isChecked(), checked);
    }

    void saveOfEmptiedOrForeignCells()
    {
        writeScript(kScript);
        Page page;
        page.table.setRowCount(3);                                      // rows 3.. are gone
        page.records.append({"SPINBOX", "t", 0, 0, 0});                 // empty cell
        page.records.append({"COMBOBOX", "t", 2, 1, 0});                // holds a spin box
        page.records.append({"SPINBOX", "t", 1, 1, 5});                 // no such page
        QVERIFY(StateFile::save(path, page.records, page.pages()));
        const QByteArray text = read();
        QVERIFY(text.contains("//#STATE.DATA: 0,3,1,COMBOBOX,,\n"));
        QVERIFY(text.contains("//#STATE.DATA: 0,0,0,SPINBOX,,\n"));
        QVERIFY(text.contains("//#STATE.DATA: 0,2,1,COMBOBOX,,Baud divisor\n"));
        QVERIFY(text.contains("//#STATE.DATA: 5,1,1,SPINBOX,,\n"));
    }

    // A block without its end is replaced whole; a file that cannot be read
    // is neither written nor loaded.
    void blockCutShortOrFileMissing()
    {
        writeScript("//#STATE.INFO: a\n//#STATE.DATA: 0,2,1,SPINBOX,5,t");
        Page page;
        QVERIFY(StateFile::save(path, page.records, page.pages()));
        QVERIFY(read().endsWith("LINEEDIT,,Name\n\n")); // nothing of the old block is left
        QCOMPARE(StateFile::withoutBlock("//#STATE.INFO: never ends"), QByteArray());

        const QString missing = dir->filePath("missing.c");
        QVERIFY(!StateFile::save(missing, page.records, page.pages()));
        QVERIFY(!QFile::exists(missing));
        page.spin->setValue(7);
        StateFile::load(missing, page.pages());
        QCOMPARE(page.spin->value(), 7);
    }

    void interruptedSaveKeepsTheScript()
    {
        QByteArray big = kScript;
        while (big.size() < 64 * 1024)
            big += "// padding line of a long script\n";
        writeScript(big);
        Page page;
        // The disk fills up during the save: writes past 4 KiB fail.
        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 4096;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool saved = StateFile::save(path, page.records, page.pages());
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);

        QVERIFY(!saved);
        QCOMPARE(read(), big);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"eeprom.c"});
    }
};

QTEST_MAIN(TestStateFile)
#include "tst_statefile.moc"

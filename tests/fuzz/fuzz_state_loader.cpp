// Saved widget values read back from a script file, whatever the file holds:
// the block is found and cut off, its data lines are applied to a real page
// of widgets (built once, on the offscreen platform), and every widget keeps
// a value it can hold.
#include "statefile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>

#include <cstdlib>

namespace {

struct Page
{
    QTableWidget table{2, 3};
    QSpinBox *spin = new QSpinBox;
    QComboBox *combo = new QComboBox;
    QCheckBox *check = new QCheckBox;
    QLineEdit *edit = new QLineEdit;

    Page()
    {
        spin->setRange(-50, 1000);
        combo->addItems({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
        edit->setMaxLength(64);
        // The table owns its cell widgets from here on.
        table.setCellWidget(0, 0, spin);
        table.setCellWidget(0, 1, combo);
        table.setCellWidget(1, 0, check);
        table.setCellWidget(1, 2, edit);
    }
};

// Built once and never destroyed: libFuzzer leaves through exit(), after
// Qt's own statics are gone, and QApplication's destructor then crashes.
Page *page = nullptr;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    page = new Page;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    const QByteArray rest = StateFile::withoutBlock(content);
    check(content.endsWith(rest));

    const QList<QTableWidget *> pages{&page->table, nullptr};
    for (const QByteArray &line : StateFile::leadingDataLines(content)) {
        check(line.startsWith(StateFile::kDataPrefix));
        StateFile::applyDataLine(line, pages);
    }
    check(page->spin->value() >= page->spin->minimum() && page->spin->value() <= page->spin->maximum());
    check(page->combo->currentIndex() >= -1 && page->combo->currentIndex() < page->combo->count());
    check(page->edit->text().size() <= page->edit->maxLength());
    check(page->table.cellWidget(0, 0) == page->spin && page->table.cellWidget(1, 2) == page->edit);
    return 0;
}

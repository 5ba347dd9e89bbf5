// Who owns the widgets a script made: a widget placed in a cell belongs to its
// page, one never placed belongs to the handle table until the table is
// cleared or goes away with its session.
#include "widgethandles.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <QtTest>

#include <memory>

class TestWidgetHandles : public QObject
{
    Q_OBJECT

private slots:
    void unplacedWidgetsGoWithTheTable_data();
    void unplacedWidgetsGoWithTheTable();
};

void TestWidgetHandles::unplacedWidgetsGoWithTheTable_data()
{
    QTest::addColumn<bool>("byClear");
    QTest::newRow("cleared for the next run") << true;
    QTest::newRow("session closed") << false;
}

void TestWidgetHandles::unplacedWidgetsGoWithTheTable()
{
    QFETCH(bool, byClear);
    QTableWidget page(1, 1);
    auto handles = std::make_unique<WidgetHandles>();
    QPointer<QWidget> placed = new QLineEdit;
    QPointer<QWidget> unplaced = new QCheckBox;
    const int placedHandle = handles->addWidget(placed, WidgetHandles::LineEdit);
    handles->addWidget(unplaced, WidgetHandles::CheckBox);
    page.setCellWidget(0, 0, handles->anyWidget(placedHandle));

    if (byClear)
        handles->clear();
    else
        handles.reset();

    QVERIFY(unplaced.isNull());
    QVERIFY(!placed.isNull());
    QCOMPARE(page.cellWidget(0, 0), placed.data());
}

QTEST_MAIN(TestWidgetHandles)
#include "tst_widgethandles.moc"

#include "scriptsession.h"

#include <QHeaderView>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

ScriptSession *scriptSession = nullptr;

namespace {

constexpr int kPageSpacing = 6;
constexpr int kPageMargin = 11;

} // namespace

ScriptSession::ScriptSession(ScriptWindow *w, QWidget *p, QVBoxLayout *l)
    : window(w)
    , page(p)
    , layout(l)
{
}

void ScriptSession::buildPages(const QStringList &names)
{
    pageTables.clear();
    if (names.isEmpty())
        return;
    delete dataTab.data();
    dataTab = new QTabWidget(page);
    dataTab->setObjectName(QStringLiteral("dataTab"));
    for (int i = 0; i < names.size(); ++i) {
        auto *tab = new QWidget;
        tab->setObjectName(QStringLiteral("Tab %1").arg(i));
        auto *tabLayout = new QVBoxLayout(tab);
        tabLayout->setObjectName(QStringLiteral("VerticalLayout_%1").arg(i));
        tabLayout->setSpacing(kPageSpacing);
        tabLayout->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
        auto *table = new QTableWidget(kPageRows, kPageColumns, tab);
        table->setObjectName(names.at(i));
        // Columns as wide as what they hold, so labels and widgets show whole.
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        table->horizontalHeader()->setStretchLastSection(true);
        tabLayout->addWidget(table);
        dataTab->addTab(tab, names.at(i).trimmed());
        pageTables.append(table);
    }
    layout->addWidget(dataTab);
}

int ScriptSession::pageIndex(const QString &name) const
{
    if (!dataTab)
        return -1;
    for (int i = 0; i < dataTab->count(); ++i) {
        if (dataTab->tabText(i) == name)
            return i;
    }
    return -1;
}

void ScriptSession::startRun(const QString &path)
{
    scriptPath = path;
    stateRecords.clear();
    handles.clear();
    textForeground = Qt::black;
    textBackground = Qt::white;
    for (unsigned char &flag : buttonAction)
        flag = 0;
    stopRequested = false;
    // The buffers belonged to the previous run's engine; start afresh.
    lineEditBuffer.clear();
    portReadBuffer.clear();
}

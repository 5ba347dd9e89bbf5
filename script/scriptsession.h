#pragma once

#include "statefile.h"
#include "widgethandles.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QPointer>
#include <QString>

#include <vector>

class QTabWidget;
class QTableWidget;
class QVBoxLayout;
class QWidget;
struct LibraryEntry;

// What the script library needs of the main window.
class ScriptWindow
{
public:
    virtual ~ScriptWindow() = default;
    virtual void setPage(int index) = 0;
    virtual void setPushButton(int index, const QString &text) = 0;
    virtual QColor colourByName(const QString &name) const = 0;
    virtual bool openSelectedPort() = 0;
    virtual qint64 portBytesAvailable() = 0;
    // The bytes taken from the port (all waiting, or at most n).
    virtual const QByteArray &takeAllFromPort() = 0;
    virtual const QByteArray &takeFromPort(unsigned n) = 0;
    virtual unsigned portWrite(const QByteArray &bytes) = 0;
    virtual void closePort() = 0;
};

// The script pages and everything a run of a script works on.
class ScriptSession
{
public:
    static constexpr int kButtons = 4;
    static constexpr int kPageRows = 32;
    static constexpr int kPageColumns = 4;

    ScriptSession(ScriptWindow *window, QWidget *page, QVBoxLayout *layout);

    // Replaces the pages by one page per name; an empty list changes nothing.
    void buildPages(const QStringList &names);
    // The first page whose tab label is exactly `name`, or -1.
    int pageIndex(const QString &name) const;
    // Forgets the previous run's records, handles, colours and button flags.
    void startRun(const QString &path);

    ScriptWindow *window;
    QWidget *page;                     // the EEPROM page the tabs live on
    QVBoxLayout *layout;               // its layout, below the button row
    QString scriptPath;
    unsigned char buttonAction[kButtons] = {};
    // Set by the window when the user stops the run (CLOSE, Escape, closing
    // the window); the run ends at the next point that looks at it.
    bool stopRequested = false;
    QPointer<QTabWidget> dataTab;
    QList<QTableWidget *> pageTables;
    QList<StateRecord> stateRecords;
    QColor textForeground = Qt::black;
    QColor textBackground = Qt::white;
    WidgetHandles handles;
    // Text handed to the script (NUL-terminated); each buffer is readable by
    // the script until it is refilled.
    std::vector<char> lineEditBuffer;
    std::vector<char> portReadBuffer;
};

// The session the running script's library calls work on.
extern ScriptSession *scriptSession;

// The "lodvane.h" library table (ends with a null prototype).
extern const LibraryEntry lodvaneLibrary[];

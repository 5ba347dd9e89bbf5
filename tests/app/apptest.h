#pragma once

// What the window tests share: a settings store of their own, a window whose
// port list offers a given port (selected), the LOG as lines, an answer to
// the next file dialog and a wait on the window's timer.

#include "lodvane.h"
#include "ptypair.h"
#include "qpe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

inline void useSettingsIn(const QString &folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

inline std::unique_ptr<Lodvane> windowOnPort(const QString &port)
{
    qputenv(QPE::kExtraPortsVariable, port.toLocal8Bit());
    auto w = std::make_unique<Lodvane>();
    qunsetenv(QPE::kExtraPortsVariable);
    return w;
}

// A temporary folder holding the settings store, a pseudo-terminal whose
// slave side is the port the window offers, and the window.
struct WindowOnPty
{
    QTemporaryDir dir;
    PtyPair pty;
    std::unique_ptr<Lodvane> w;

    WindowOnPty()
    {
        useSettingsIn(dir.filePath(QStringLiteral("settings")));
        w = windowOnPort(pty.slavePath());
    }
};

inline QStringList logLines(const Lodvane &w)
{
    return w.ui.log->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Answers the next modal file dialog with `path` (empty: cancel).
inline void answerFileDialog(const QString &path)
{
    QTimer::singleShot(0, [path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

// Processes events until the window's timer has run `rounds` more times;
// false if that took longer than `limitMs`.
inline bool waitTimerRounds(Lodvane &w, int rounds, int limitMs = 5000)
{
    struct Counter : QObject
    {
        int seen = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            seen += event->type() == QEvent::Timer;
            return false;
        }
    } counter;
    w.installEventFilter(&counter);
    QElapsedTimer clock;
    clock.start();
    while (counter.seen < rounds && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // the timer itself wakes us
    w.removeEventFilter(&counter);
    return counter.seen >= rounds;
}

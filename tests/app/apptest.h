#pragma once

// What the window tests share: a settings store of their own, a window whose
// port list offers a given port (selected), the LOG as lines and an answer to
// the next file dialog.

#include "lodvane.h"
#include "ptypair.h"
#include "qpe.h"

#include <QApplication>
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

// Answers the next modal file dialog with `path` (empty: cancel), noting
// in `seen` (if given) what it showed: its caption, folder and filters.
inline void answerFileDialog(const QString &path, QStringList *seen = nullptr)
{
    QTimer::singleShot(0, [path, seen] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (seen)
            *seen = QStringList{dialog->windowTitle(), dialog->directory().absolutePath()} + dialog->nameFilters();
        if (!path.isEmpty())
            dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, path.isEmpty() ? "reject" : "accept");
    });
}

#pragma once

// What the window tests share: a window whose port list offers a given port
// (selected), the LOG as lines, and an answer to the next file dialog.

#include "lodvane.h"
#include "qpe.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <memory>

inline std::unique_ptr<Lodvane> windowOnPort(const QString &port)
{
    qputenv(QPE::kExtraPortsVariable, port.toLocal8Bit());
    auto w = std::make_unique<Lodvane>();
    qunsetenv(QPE::kExtraPortsVariable);
    return w;
}

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

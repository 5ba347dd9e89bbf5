#pragma once

// The device link on the virtual board's pseudo-terminal, reporting as the
// window does: every LOG line and progress step lets pending events run, so
// buffered writes leave the port at the same points as in the program.

#include "textrecorder.h"
#include "qpe.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>



class SimLink
{
public:
    static constexpr int kBaud = 115200;
    static constexpr int kTraceWaitMs = 5000;

    SimLink() : sim(dir.path()), progress(&link, &QPE::progress)
    {
        QObject::connect(&link, &QPE::message, [this](const QString &text) {
            lines << text;
            QCoreApplication::processEvents();
        });
        QObject::connect(&link, &QPE::progress, [](unsigned) { QCoreApplication::processEvents(); });
        link.setLineRecorder(&recorder);
    }

    // Starts the board with `options` (the FLASH kept in flashPath()) and
    // opens the link on its port.
    bool start(const QStringList &options = QStringList(), int baud = kBaud)
    {
        if (!sim.start(QStringList{QStringLiteral("--flash"), flashPath()} + options))
            return false;
        return link.openPort(sim.port(), baud, 1000);
    }

    // Closes the port, waits for the board's reset on the hang-up, then
    // stops the board, which leaves its FLASH in flashPath().
    bool hangUp()
    {
        link.closePort();
        return sim.waitForTrace(QStringLiteral("reset cause=hangup"), kTraceWaitMs) && sim.stop() == 0;
    }

    QString flashPath() const { return dir.filePath(QStringLiteral("flash.bin")); }
    QByteArray flash() const { return readFile(flashPath()); }
    bool writeFlash(const QByteArray &contents) const { return !::writeFile(flashPath(), contents).isEmpty(); }
    QString writeFile(const QString &name, const QByteArray &contents) const
    {
        return ::writeFile(dir.filePath(name), contents);
    }

    // The trace lines of the loader session: from the first sync on,
    // without the lines of the reset that a hang-up causes.
    QStringList frames() const
    {
        QStringList out;
        bool started = false;
        for (const QString &line : sim.traceLines()) {
            started = started || line.startsWith(QStringLiteral("sync "));
            if (started && !line.startsWith(QStringLiteral("reset ")) && line != QLatin1String("stopped"))
                out << line;
        }
        return out;
    }

    QList<unsigned> progressValues() const
    {
        QList<unsigned> out;
        for (const QList<QVariant> &args : progress)
            out << args.at(0).toUInt();
        return out;
    }

    QTemporaryDir dir;
    SimProcess sim;
    QPE link;
    TextRecorder recorder;
    QStringList lines;
    QSignalSpy progress;
};

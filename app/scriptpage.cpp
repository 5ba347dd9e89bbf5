// The window's side of the SCRIPT facility: choosing and running a script
// file, its output in the LOG window, and the push buttons of the script page.
#include "lodvane.h"

#include "engine.h"
#include "native.h"
#include "qpe.h"
#include "scriptsession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace {

// Script output collected up to its next line feed.
QByteArray scriptLineBuffer;

constexpr const char *kScriptCaption = "Specify Data Script File";
constexpr const char *kScriptFilter = "Script (*.c)";
constexpr char kLineFeed = '\n';

void outputCharHook(int character)
{
    if (character == kLineFeed) {
        const QString line = QString::fromUtf8(scriptLineBuffer);
        scriptLineBuffer.clear();
        if (mainWindow)
            mainWindow->message(line);
        return;
    }
    scriptLineBuffer.append(char(character));
}

// The engine calls this every few hundred statements. It lets the window's
// events in at least every kEventRoundMs of run time, so a script that never
// looks at the window (a runaway loop) leaves it painting and answering, and
// it ends the run when the user asked to stop it.
constexpr qint64 kEventRoundMs = 20;
constexpr unsigned long kPollStatements = 512;
QElapsedTimer sinceEvents;

void pollHook(EngineState *state)
{
    if (sinceEvents.elapsed() >= kEventRoundMs) {
        QCoreApplication::processEvents();
        sinceEvents.restart();
    }
    if (scriptSession && scriptSession->stopRequested)
        engineExit(state, 0);
}

void outputStringHook(const char *text)
{
    const QByteArray bytes(text);
    if (!bytes.endsWith(kLineFeed)) {
        scriptLineBuffer.append(bytes);
        return;
    }
    const QString line = QString::fromUtf8(scriptLineBuffer + bytes.left(bytes.size() - 1));
    scriptLineBuffer.clear();
    if (mainWindow)
        mainWindow->message(line);
}

} // namespace

void Lodvane::scriptSlot()
{
    const QString key = QString::fromLatin1(SettingsKey::kScriptFilePath);
    const QString folder = settings->value(key, QString::fromLatin1(SettingsKey::kFilePathDefault)).toString();
    const QString name = QFileDialog::getOpenFileName(this, tr(kScriptCaption), folder, QString::fromLatin1(kScriptFilter));
    if (name.isEmpty())
        return;
    settings->setValue(key, QFileInfo(name).path());
    runScript(name);
}

bool Lodvane::runScript(const QString &path)
{
    // A run started from inside a running one (its events let clicks through)
    // would reset the pages, records and buttons under the running script.
    if (scriptRunning) {
        logLine(QStringLiteral("A script is already running; wait for it to end."));
        return false;
    }
    scriptRunning = true;

    // The engine takes the name in 8 bits; characters outside Latin-1 become '?'.
    const QByteArray name = path.toLatin1();
    script->startRun(path);
    scriptLineBuffer.clear();
    for (QPushButton *button : {ui.PB_0, ui.PB_1, ui.PB_2, ui.PB_3})
        button->hide();

    scriptSession = script.get();
    auto state = std::make_unique<EngineState>();
    EngineState *engine = state.get();
    EngineRunOptions options{};
    options.poll = pollHook;
    options.pollInterval = kPollStatements;
    sinceEvents.start();
    // Each entry point returns false when the run ended early (an error
    // report, exit() or a stop); the run then stops there.
    bool finished = engineInit(engine, kEngineStackBytes, &options)
                    && registerHeader(engine, "lodvane.h", nullptr, lodvaneLibrary, nullptr)
                    && includeAllHeaders(engine);
    if (finished) {
        setOutputHooks(outputCharHook, outputStringHook);
        finished = engineParseFile(engine, name.constData()) && engineCallMain(engine, 0, nullptr);
    }
    // Widgets the script made stay on the page; the engine's state goes.
    engineCleanup(state.get());
    if (!finished && script->stopRequested)
        logLine(QStringLiteral("Script stopped."));
    scriptRunning = false;
    closeIfAsked();
    return finished;
}

void Lodvane::pb0Slot()
{
    script->buttonAction[0] = 1;
}

void Lodvane::pb1Slot()
{
    script->buttonAction[1] = 1;
}

void Lodvane::pb2Slot()
{
    script->buttonAction[2] = 1;
}

void Lodvane::pb3Slot()
{
    script->buttonAction[3] = 1;
}

void Lodvane::setPage(int index)
{
    if (index >= 0 && index < ui.main->count())
        ui.main->setCurrentIndex(index);
}

const QByteArray &Lodvane::takeAllFromPort()
{
    portReadAll();
    return portReadBuffer;
}

const QByteArray &Lodvane::takeFromPort(unsigned n)
{
    portRead(n);
    return portReadBuffer;
}

unsigned Lodvane::portWrite(const QByteArray &bytes)
{
    return link->write(bytes, false);
}

void Lodvane::closePort()
{
    link->closePort();
}

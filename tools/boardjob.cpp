#include "boardjob.h"

#include "cliconsole.h"
#include "corecatalogue.h"
#include "stopsignals.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr double kNanosecondsPerSecond = 1e9;

ActionOutcome pulseReset(QPE &link, const CliArguments &args, const QString &port, const ActionLog &log)
{
    if (!link.openPort(port, args.baud, QPE::kOpenTimeoutMs)) {
        log(QStringLiteral("Can't open selected port [%1].").arg(port));
        return ActionOutcome::NotStarted;
    }
    // The window's RESET button: the chosen line without its invert mark.
    link.pulseLine(encodeLines(LineChoice::None, args.reset, false, false).reset, QPE::kResetPulseMs);
    return ActionOutcome::Succeeded;
}

ActionOutcome runAction(QPE &link, const CliArguments &args, const QString &port, const ActionLog &log)
{
    ActionRequest request;
    request.binaryPath = args.file;
    request.loaderPath = args.loader;
    request.portName = port;
    request.baudRate = args.baud;
    request.core = args.core;
    request.flashSize = args.flashSize;
    request.toRam = args.command == CliArguments::Command::Ram;
    request.lines = encodeLines(args.boot, args.reset, args.invertRts, args.invertDtr);

    switch (args.command) {
    case CliArguments::Command::Program:
    case CliArguments::Command::Ram:
        return programAction(link, request, log);
    case CliArguments::Command::Verify:
        return verifyAction(link, request, log);
    case CliArguments::Command::Reset:
        return pulseReset(link, args, port, log);
    default:
        return eraseAction(link, request, log);
    }
}

QString resultWord(ActionOutcome outcome)
{
    switch (outcome) {
    case ActionOutcome::Succeeded: return QStringLiteral("ok");
    case ActionOutcome::Cancelled: return QStringLiteral("cancelled");
    default: return QStringLiteral("failed");
    }
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

FileFacts describeFile(const QString &path)
{
    FileFacts facts;
    if (path.isEmpty())
        return facts;
    facts.path = QFileInfo(path).absoluteFilePath();
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (file.open(QIODevice::ReadOnly) && hash.addData(&file)) {
        facts.size = file.size();
        facts.sha256 = hash.result().toHex();
    }
    return facts;
}

BoardResult runBoard(const CliArguments &args, int board, Console &console, StopSignals &links)
{
    BoardResult result;
    result.port = args.ports.at(board);
    result.started = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();

    QPE &link = links.createLink(board);
    const ActionLog log = [&console, &result, board](const QString &text) {
        result.log << text.split(QLatin1Char('\n'));
        console.log(board, text);
    };
    QObject::connect(&link, &QPE::message, log);
    QObject::connect(&link, &QPE::progress, [&console, board](unsigned perc) { console.progress(board, perc); });

    result.outcome = runAction(link, args, result.port, log);
    if (result.outcome == ActionOutcome::Failed)
        result.failedStep = link.lastStep();
    // Also disposes of a port object whose opening failed, on its own thread.
    link.closePort();

    QObject::disconnect(&link, nullptr, nullptr, nullptr);
    links.release(board);
    result.seconds = double(clock.nsecsElapsed()) / kNanosecondsPerSecond;
    return result;
}

QString failedStepName(const CliArguments &args, const BoardResult &result)
{
    // In step with LinkStep.
    static const char *const names[] = {"", "auto-baud", "loader upload", "sync", "erase", "program", "verify"};
    if (result.failedStep == LinkStep::Upload && args.command == CliArguments::Command::Ram)
        return QStringLiteral("upload"); // the user's own stream, no loader
    return QLatin1String(names[int(result.failedStep)]);
}

QByteArray recordLine(const CliArguments &args, const FileFacts &file, const BoardResult &result)
{
    const bool readable = file.size >= 0;
    QJsonObject record{
        {QStringLiteral("time"), result.started.toOffsetFromUtc(result.started.offsetFromUtc()).toString(Qt::ISODateWithMs)},
        {QStringLiteral("port"), result.port},
        {QStringLiteral("command"), commandWord(args.command)},
        {QStringLiteral("file"), orNull(file.path)},
        {QStringLiteral("file_size"), readable ? QJsonValue(double(file.size)) : QJsonValue()},
        {QStringLiteral("sha256"), readable ? QJsonValue(QString::fromLatin1(file.sha256)) : QJsonValue()},
        {QStringLiteral("core"), QString::fromLatin1(coreById(int(args.core))->name)},
        {QStringLiteral("baud"), args.baud},
        {QStringLiteral("result"), result.outcome == ActionOutcome::Succeeded ? "ok" : "failed"},
        {QStringLiteral("step"), orNull(failedStepName(args, result))},
        {QStringLiteral("seconds"), qRound64(result.seconds * 1000) / 1000.0},
        {QStringLiteral("log"), QJsonArray::fromStringList(result.log)},
    };
    return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray summaryTable(const std::vector<BoardResult> &results, qint64 bytes)
{
    int portWidth = 4;
    for (const BoardResult &r : results)
        portWidth = qMax(portWidth, r.port.size());
    auto row = [portWidth](const QString &port, const QString &result, const QString &seconds,
                           const QString &size, const QString &rate) {
        return port.leftJustified(portWidth) + QLatin1String("  ") + result.leftJustified(9) + QLatin1String("  ")
            + seconds.rightJustified(8) + QLatin1String("  ") + size.rightJustified(10) + QLatin1String("  ")
            + rate.rightJustified(8) + QLatin1Char('\n');
    };
    QString table = row(QStringLiteral("port"), QStringLiteral("result"), QStringLiteral("seconds"),
                        QStringLiteral("bytes"), QStringLiteral("bytes/s"));
    for (const BoardResult &r : results) {
        // A rate only means something for a board that took the whole file.
        const bool ok = r.outcome == ActionOutcome::Succeeded && r.seconds > 0;
        table += row(r.port, resultWord(r.outcome), QString::number(r.seconds, 'f', 2), QString::number(bytes),
                     ok ? QString::number(qRound64(double(bytes) / r.seconds)) : QStringLiteral("-"));
    }
    return table.toLocal8Bit();
}

// lodvane-cli: the programmer without its window, for scripts and
// production lines. It runs the window's actions through the same shared
// steps, prints every LOG line on stdout as it comes and draws a progress bar
// on stderr when that is a terminal. Given several ports it serves every
// board at once, each on a thread of its own with its own link.

#include "boardjob.h"
#include "cliarguments.h"
#include "cliconsole.h"
#include "ldrinspect.h"
#include "qpe.h"
#include "recordfile.h"
#include "stopsignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

enum ExitCode { kSuccess = 0, kFailed = 1, kUsageError = 2 };

int usageError(const QString &reason)
{
    std::fprintf(stderr, "lodvane-cli: %s\n%s", reason.toLocal8Bit().constData(), kCliUsage);
    return kUsageError;
}

int listPorts()
{
    const QPE link;
    for (const QString &name : link.portNames())
        std::printf("%s\n", name.toLocal8Bit().constData());
    return kSuccess;
}

int inspect(const QString &path)
{
    Console console({QString()});
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        console.log(0, QStringLiteral("Can't open [%1] file.").arg(path));
        return kFailed;
    }
    const StreamReport report = inspectStream(file.readAll());
    for (const QString &line : report.lines)
        console.log(0, line);
    return report.ok ? kSuccess : kFailed;
}

// The bytes a board's operation moves, for the summary table.
qint64 jobBytes(const CliArguments &args, const FileFacts &file)
{
    switch (args.command) {
    case CliArguments::Command::Erase: return args.flashSize;
    case CliArguments::Command::Reset: return 0;
    default: return qMax<qint64>(file.size, 0);
    }
}

// Runs every board, one on the main thread or each on its own, and writes
// each one's record line as soon as it is done.
std::vector<BoardResult> runAll(const CliArguments &args, Console &console,
                                const std::function<void(const BoardResult &)> &finished)
{
    const int boards = args.ports.size();
    std::vector<BoardResult> results(static_cast<std::size_t>(boards));
    StopSignals links(boards);
    auto run = [&](int board) {
        results[std::size_t(board)] = runBoard(args, board, console, links);
        finished(results[std::size_t(board)]);
    };
    if (boards == 1) {
        run(0);
        return results;
    }
    std::vector<std::unique_ptr<QThread>> threads;
    for (int board = 0; board < boards; ++board) {
        threads.emplace_back(QThread::create(run, board));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        thread->wait();
    return results;
}

int runBoards(CliArguments args)
{
    // Settled here, once: the boards' threads only read the arguments.
    if (args.loader.isEmpty())
        args.loader = QCoreApplication::applicationDirPath() + loaderRelativePath(int(args.core));
    RecordFile record;
    QString error;
    if (!args.record.isEmpty() && !record.open(args.record, error)) {
        // No board is touched when its record could not be kept.
        std::fprintf(stderr, "lodvane-cli: cannot open the record %s: %s\n", args.record.toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        return kFailed;
    }
    const bool gang = args.ports.size() > 1;
    Console console(gang ? args.ports : QStringList{QString()});
    const FileFacts file = describeFile(args.file);
    std::atomic<bool> recordFailed{false};
    auto finished = [&](const BoardResult &result) {
        QString why;
        if (record.isOpen() && !record.append(recordLine(args, file, result), why)) {
            recordFailed = true;
            console.note(QStringLiteral("lodvane-cli: cannot write the record of %1 to %2: %3")
                             .arg(result.port, args.record, why));
        }
    };
    const std::vector<BoardResult> results = runAll(args, console, finished);
    console.finish();

    if (gang) {
        const QByteArray table = summaryTable(results, jobBytes(args, file));
        std::fwrite(table.constData(), 1, std::size_t(table.size()), stdout);
        std::fflush(stdout);
    }
    bool allSucceeded = !recordFailed;
    for (const BoardResult &result : results) {
        allSucceeded = allSucceeded && result.outcome == ActionOutcome::Succeeded;
        const QString step = failedStepName(args, result);
        if (!step.isEmpty()) {
            const QString board = gang ? QStringLiteral("[%1] ").arg(result.port) : QString();
            std::fprintf(stderr, "lodvane-cli: %sfailed in the %s step\n", board.toLocal8Bit().constData(),
                         step.toLocal8Bit().constData());
        }
    }
    return allSucceeded ? kSuccess : kFailed;
}

} // namespace

int main(int argc, char *argv[])
{
    // A file size limit shows as a write error on the record, not as death;
    // a reader of standard output that goes away (lodvane-cli ... | head)
    // must not stop the programming of a board half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    CliArguments args;
    QString error;
    if (!parseCliArguments(app.arguments().mid(1), args, error))
        return usageError(error);

    switch (args.command) {
    case CliArguments::Command::Help:
        std::fputs(kCliUsage, stdout);
        return kSuccess;
    case CliArguments::Command::Version:
        std::printf("lodvane-cli %s\n", LODVANE_VERSION);
        return kSuccess;
    case CliArguments::Command::Ports:
        return listPorts();
    case CliArguments::Command::Inspect:
        return inspect(args.file);
    default:
        return runBoards(args);
    }
}

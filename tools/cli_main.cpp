// lodvane-cli: the programmer without its window, for scripts and
// production lines. It runs the window's actions through the same shared
// steps, prints every LOG line on stdout as it comes and draws a progress bar
// on stderr when that is a terminal.

#include "actions.h"
#include "cliarguments.h"
#include "ldrinspect.h"
#include "qpe.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace {

enum ExitCode { kSuccess = 0, kFailed = 1, kUsageError = 2 };

constexpr int kBarWidth = 40;

// Where LOG lines and progress go. Like the window's slots, each line and
// each progress step lets pending events run, so the port's buffered writes
// leave at the same points of a sequence.
class Console
{
public:
    Console() : barOnTerminal(::isatty(STDERR_FILENO) == 1) {}
    ~Console() { endBar(); }

    void log(const QString &text)
    {
        clearBar();
        // A text holding a line break is two LOG lines.
        for (const QString &line : text.split(QLatin1Char('\n')))
            std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
        drawBar();
        QCoreApplication::processEvents();
    }

    void progress(unsigned perc)
    {
        if (barOnTerminal) {
            percent = qMin(perc, 100u);
            shown = true;
            drawBar();
        }
        QCoreApplication::processEvents();
    }

private:
    void drawBar()
    {
        if (!shown)
            return;
        const int filled = int(percent) * kBarWidth / 100;
        std::fprintf(stderr, "\r[%s%s] %3u%%", QByteArray(filled, '#').constData(),
                     QByteArray(kBarWidth - filled, ' ').constData(), percent);
        std::fflush(stderr);
    }
    void clearBar()
    {
        if (shown)
            std::fprintf(stderr, "\r%*s\r", kBarWidth + 7, "");
    }
    void endBar()
    {
        if (shown)
            std::fputc('\n', stderr);
    }

    const bool barOnTerminal;
    bool shown = false;
    unsigned percent = 0;
};

int usageError(const QString &reason)
{
    std::fprintf(stderr, "lodvane-cli: %s\n%s", reason.toLocal8Bit().constData(), kCliUsage);
    return kUsageError;
}

int listPorts(const QPE &link)
{
    for (const QString &name : link.portNames())
        std::printf("%s\n", name.toLocal8Bit().constData());
    return kSuccess;
}

int inspect(const QString &path, Console &console)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        console.log(QStringLiteral("Can't open [%1] file.").arg(path));
        return kFailed;
    }
    const StreamReport report = inspectStream(file.readAll());
    for (const QString &line : report.lines)
        console.log(line);
    return report.ok ? kSuccess : kFailed;
}

int pulseReset(QPE &link, const CliArguments &args, Console &console)
{
    if (!link.openPort(args.port, args.baud, QPE::kOpenTimeoutMs)) {
        console.log(QStringLiteral("Can't open selected port [%1].").arg(args.port));
        return kFailed;
    }
    // The window's RESET button: the chosen line without its invert mark.
    link.pulseLine(encodeLines(LineChoice::None, args.reset, false, false).reset, QPE::kResetPulseMs);
    link.closePort();
    return kSuccess;
}

int runAction(QPE &link, const CliArguments &args, Console &console)
{
    ActionRequest request;
    request.binaryPath = args.file;
    request.loaderPath = args.loader.isEmpty()
        ? QCoreApplication::applicationDirPath() + loaderRelativePath(int(args.core))
        : args.loader;
    request.portName = args.port;
    request.baudRate = args.baud;
    request.core = args.core;
    request.flashSize = args.flashSize;
    request.toRam = args.command == CliArguments::Command::Ram;
    request.lines = encodeLines(args.boot, args.reset, args.invertRts, args.invertDtr);

    const ActionLog log = [&console](const QString &line) { console.log(line); };
    ActionOutcome outcome = ActionOutcome::NotStarted;
    switch (args.command) {
    case CliArguments::Command::Program:
    case CliArguments::Command::Ram:
        outcome = programAction(link, request, log);
        break;
    case CliArguments::Command::Verify:
        outcome = verifyAction(link, request, log);
        break;
    default:
        outcome = eraseAction(link, request, log);
        break;
    }
    if (outcome != ActionOutcome::NotStarted)
        link.closePort();
    return outcome == ActionOutcome::Succeeded ? kSuccess : kFailed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CliArguments args;
    QString error;
    if (!parseCliArguments(app.arguments().mid(1), args, error))
        return usageError(error);

    Console console;
    QPE link;
    QObject::connect(&link, &QPE::message, [&console](const QString &text) { console.log(text); });
    QObject::connect(&link, &QPE::progress, [&console](unsigned perc) { console.progress(perc); });

    switch (args.command) {
    case CliArguments::Command::Help:
        std::fputs(kCliUsage, stdout);
        return kSuccess;
    case CliArguments::Command::Version:
        std::printf("lodvane-cli %s\n", LODVANE_VERSION);
        return kSuccess;
    case CliArguments::Command::Ports:
        return listPorts(link);
    case CliArguments::Command::Inspect:
        return inspect(args.file, console);
    case CliArguments::Command::Reset:
        return pulseReset(link, args, console);
    default:
        return runAction(link, args, console);
    }
}

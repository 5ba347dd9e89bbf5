#pragma once

// One board's share of a lodvane-cli run: the command on its port, timed,
// with its LOG lines kept for the record; and what is written about it
// afterwards (the record line, the summary table, the failed step).

#include "actions.h"
#include "cliarguments.h"
#include "qpe.h"

#include <QDateTime>
#include <QStringList>

#include <vector>

class Console;
class StopSignals;

// The file a command sends, as the record describes it.
struct FileFacts
{
    QString path;        // absolute; empty when the command takes no file
    qint64 size = -1;    // -1: the file could not be read
    QByteArray sha256;   // lower-case hexadecimal
};

FileFacts describeFile(const QString &path);

struct BoardResult
{
    QString port;
    ActionOutcome outcome = ActionOutcome::NotStarted;
    LinkStep failedStep = LinkStep::None; // where a Failed outcome stopped
    QDateTime started;
    double seconds = 0;
    QStringList log;                       // as printed, without the port
};

// Runs the command on board `board` (its port is args.ports[board]) on the
// calling thread, with a link made there, and closes the port. args.loader
// must be set.
BoardResult runBoard(const CliArguments &args, int board, Console &console, StopSignals &links);

// The name of the step a failed board stopped in, or an empty string when
// the link could not tell.
QString failedStepName(const CliArguments &args, const BoardResult &result);

// One JSON object and a line break.
QByteArray recordLine(const CliArguments &args, const FileFacts &file, const BoardResult &result);

// The table that ends a run on several boards: port, result, seconds,
// bytes and bytes per second.
QByteArray summaryTable(const std::vector<BoardResult> &results, qint64 bytes);

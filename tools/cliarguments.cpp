#include "cliarguments.h"

#include "corecatalogue.h"


const char *const kCliUsage =
    "usage: lodvane-cli COMMAND [FILE] --port NAME [--port NAME ...] [--baud N] [--core NAME]\n"
    "                   [--boot none|rts|dtr] [--reset none|rts|dtr] [--invert-rts] [--invert-dtr]\n"
    "                   [--loader PATH] [--flash-size BYTES] [--record FILE]\n"
    "commands:\n"
    "  program FILE   write FILE to the FLASH through the first-stage loader, then verify it\n"
    "  ram FILE       upload FILE as a boot stream and let it run\n"
    "  verify FILE    compare the FLASH with FILE\n"
    "  erase          erase the FLASH (--flash-size bytes)\n"
    "  reset          pulse the RESET line\n"
    "  ports          list the serial ports, one a line\n"
    "  inspect FILE   list the blocks of a boot stream and check it\n"
    "options:\n"
    "  --port NAME          serial port (not needed by ports and inspect); given more than\n"
    "                       once, every board is served at the same time\n"
    "  --ports A,B,...      several ports at once, as many --port options\n"
    "  --baud N             line speed in bit/s (default 115200)\n"
    "  --core NAME          ADSP-BF512 ... ADSP-BF592 (any case, ADSP- optional) or the id\n"
    "                       1..7 (default ADSP-BF512)\n"
    "  --boot LINE          modem line on the board's BOOT input (default none)\n"
    "  --reset LINE         modem line on the board's RESET input (default none)\n"
    "  --invert-rts         mark the RESET line inverted, whichever line it is (the\n"
    "                       window's RTS box); no line sequence uses the mark\n"
    "  --invert-dtr         mark the BOOT line inverted, whichever line it is (the\n"
    "                       window's DTR box); no line sequence uses the mark\n"
    "  --loader PATH        first-stage loader (default: sys/ADSP-<family>/FlashLoader.ldr\n"
    "                       beside this program)\n"
    "  --flash-size BYTES   size erased by erase (default 2097152)\n"
    "  --record FILE        append one JSON line per board to FILE\n"
    "  --help               this text\n"
    "  --version            the program's version\n"
    "SIGINT or SIGTERM stops the operation at the next frame (exit status 1).\n"
    "exit status: 0 success (on every board), 1 the operation failed (on any board),\n"
    "2 usage error\n";

namespace {

struct CommandWord
{
    const char *word;
    CliArguments::Command command;
};

const CommandWord kCommandWords[] = {
    {"program", CliArguments::Command::Program},
    {"ram", CliArguments::Command::Ram},
    {"verify", CliArguments::Command::Verify},
    {"erase", CliArguments::Command::Erase},
    {"reset", CliArguments::Command::Reset},
    {"ports", CliArguments::Command::Ports},
    {"inspect", CliArguments::Command::Inspect},
};

bool parseCommand(const QString &word, CliArguments::Command &command)
{
    for (const CommandWord &entry : kCommandWords) {
        if (word == QLatin1String(entry.word)) {
            command = entry.command;
            return true;
        }
    }
    return false;
}

bool needsFile(CliArguments::Command c)
{
    using C = CliArguments::Command;
    return c == C::Program || c == C::Ram || c == C::Verify || c == C::Inspect;
}

bool needsPort(CliArguments::Command c)
{
    using C = CliArguments::Command;
    return c != C::Ports && c != C::Inspect && c != C::Help;
}

bool parseLine(const QString &text, LineChoice &line)
{
    const QString word = text.toLower();
    if (word == QLatin1String("none"))
        line = LineChoice::None;
    else if (word == QLatin1String("rts"))
        line = LineChoice::Rts;
    else if (word == QLatin1String("dtr"))
        line = LineChoice::Dtr;
    else
        return false;
    return true;
}

bool parseCore(const QString &text, unsigned &core)
{
    bool isNumber = false;
    const unsigned id = text.toUInt(&isNumber);
    if (isNumber) {
        core = id;
        return id <= unsigned(kCoreCount) && coreById(int(id)) != nullptr;
    }
    for (const CoreRow &row : kCoreRows) {
        // The prefix may be left out, as people often write "BF592".
        const QString name = QString::fromLatin1(row.name);
        if (name.compare(text, Qt::CaseInsensitive) == 0
            || name.mid(kCoreNamePrefixLength).compare(text, Qt::CaseInsensitive) == 0) {
            core = unsigned(row.id);
            return true;
        }
    }
    return false;
}

// Decimal, or hexadecimal with 0x; never octal, so "010" is ten.
bool parseUnsigned(const QString &text, quint64 &value)
{
    bool ok = false;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = text.mid(2).toULongLong(&ok, 16);
    else
        value = text.toULongLong(&ok, 10);
    return ok;
}

bool parseOption(const QString &name, const QString &value, CliArguments &args)
{
    quint64 n = 0;
    if (name == QLatin1String("--port")) {
        args.ports << value;
        return !value.isEmpty();
    }
    if (name == QLatin1String("--ports")) {
        const QStringList names = value.split(QLatin1Char(','));
        args.ports << names;
        return !names.contains(QString());
    }
    if (name == QLatin1String("--record")) {
        args.record = value;
        return !value.isEmpty();
    }
    if (name == QLatin1String("--baud")) {
        const bool ok = parseUnsigned(value, n) && n >= 1 && n <= 0x7FFFFFFF;
        args.baud = int(n);
        return ok;
    }
    if (name == QLatin1String("--core"))
        return parseCore(value, args.core);
    if (name == QLatin1String("--boot"))
        return parseLine(value, args.boot);
    if (name == QLatin1String("--reset"))
        return parseLine(value, args.reset);
    if (name == QLatin1String("--loader")) {
        args.loader = value;
        return true;
    }
    // --flash-size
    const bool ok = parseUnsigned(value, n) && n >= 1 && n <= 0xFFFFFFFFu;
    args.flashSize = unsigned(n);
    return ok;
}

} // namespace

bool parseCliArguments(const QStringList &arguments, CliArguments &args, QString &error)
{
    static const QStringList valued{"--port", "--ports", "--baud", "--core", "--boot",
                                    "--reset", "--loader", "--flash-size", "--record"};
    QStringList words;
    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            args.command = CliArguments::Command::Help;
            return true;
        }
        if (arg == QLatin1String("--version")) {
            args.command = CliArguments::Command::Version;
            return true;
        }
        if (arg == QLatin1String("--invert-rts")) {
            args.invertRts = true;
        } else if (arg == QLatin1String("--invert-dtr")) {
            args.invertDtr = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            QString value;
            const int equals = arg.indexOf(QLatin1Char('='));
            if (equals > 0) {
                value = arg.mid(equals + 1);
                arg.truncate(equals);
            } else if (valued.contains(arg) && i + 1 < arguments.size()) {
                value = arguments.at(++i);
            } else if (valued.contains(arg)) {
                error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            if (!valued.contains(arg)) {
                error = QStringLiteral("unknown option %1").arg(arg);
                return false;
            }
            if (!parseOption(arg, value, args)) {
                error = QStringLiteral("bad value for %1: %2").arg(arg, value);
                return false;
            }
        } else {
            words << arg;
        }
    }

    if (words.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    if (!parseCommand(words.first(), args.command)) {
        error = QStringLiteral("unknown command %1").arg(words.first());
        return false;
    }
    const int files = needsFile(args.command) ? 1 : 0;
    if (words.size() - 1 < files) {
        error = QStringLiteral("%1 needs a FILE").arg(words.first());
        return false;
    }
    if (words.size() - 1 > files) {
        error = QStringLiteral("unexpected argument %1").arg(words.at(1 + files));
        return false;
    }
    if (files)
        args.file = words.at(1);
    if (needsPort(args.command) && args.ports.isEmpty()) {
        error = QStringLiteral("%1 needs --port NAME").arg(words.first());
        return false;
    }
    // Two links on one port would fight over its bytes.
    for (int i = 0; i < args.ports.size(); ++i) {
        if (args.ports.indexOf(args.ports.at(i), i + 1) > 0) {
            error = QStringLiteral("port %1 given twice").arg(args.ports.at(i));
            return false;
        }
    }
    return true;
}

QString commandWord(CliArguments::Command command)
{
    for (const CommandWord &entry : kCommandWords) {
        if (entry.command == command)
            return QLatin1String(entry.word);
    }
    return QString();
}

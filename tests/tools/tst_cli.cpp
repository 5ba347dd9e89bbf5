// lodvane-cli as a user runs it: its command line, exit codes, output
// framing, records and signals, against the virtual board on its
// pseudo-terminal. The sequences themselves are the device tests' concern.
#include "ptypair.h"
#include "samplestreams.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kRunWaitMs = 60000;

struct Run
{
    int exitCode = -1;
    QStringList out; // stdout, one entry per line
    QByteArray err;
};

// `shell`, when given, is run by bash first (an environment variable, a
// ulimit, a redirection), in the shell that then becomes lodvane-cli.
Run runCli(const QStringList &arguments, const QString &shell = QString())
{
    QProcess process;
    process.start("bash", QStringList{"-c", shell + "\nexec \"$0\" \"$@\"", LODVANE_CLI_PATH} + arguments);
    Run run;
    if (!process.waitForFinished(kRunWaitMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n');
    if (run.out.last().isEmpty())
        run.out.removeLast();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        sim = std::make_unique<SimProcess>(dir->path());
    }

    void cleanup()
    {
        moreSims.clear();
        sim.reset();
        dir.reset();
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        auto row = [](const char *name, const QStringList &arguments, const char *reason) {
            QTest::newRow(name) << arguments << QString(reason);
        };
        const QString p = "--port";
        row("nothing", {}, "no command given");
        row("unknown command", {"flash", "a.ldr", p, "x"}, "unknown command flash");
        row("program without file", {"program", p, "x"}, "program needs a FILE");
        row("erase with a file", {"erase", "a.ldr", p, "x"}, "unexpected argument a.ldr");
        row("program without port", {"program", "a.ldr"}, "program needs --port NAME");
        row("unknown option", {"erase", p, "x", "--speed", "9600"}, "unknown option --speed");
        row("option without value", {"erase", p}, "--port needs a value");
        row("baud zero", {"erase", p, "x", "--baud", "0"}, "bad value for --baud: 0");
        row("core id 8", {"erase", p, "x", "--core", "8"}, "bad value for --core: 8");
        row("boot line", {"erase", p, "x", "--boot", "cts"}, "bad value for --boot: cts");
        row("flash size zero", {"erase", p, "x", "--flash-size=0"}, "bad value for --flash-size: 0");
        row("port twice", {"erase", p, "a", "--ports", "b,a"}, "port a given twice");
        row("empty port in a list", {"erase", "--ports", "a,,b"}, "bad value for --ports: a,,b");
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        const Run run = runCli(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith("lodvane-cli: " + reason.toLocal8Bit() + "\nusage: lodvane-cli COMMAND"),
                 run.err.constData());
    }

    // A run that fails exits with 1: before the board was reached, with the
    // one line that says why; on the line, with the step named on stderr.
    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1: the work folder, %image: a file; the port added unless given
        QTest::addColumn<QStringList>("options");   // of the board
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("step");
        auto notStarted = [](const char *name, const QStringList &arguments, const QString &line) {
            QTest::newRow(name) << arguments << QStringList() << line << QString();
        };
        auto failedIn = [](const char *name, const QStringList &arguments, const QStringList &faults, const char *step) {
            QTest::newRow(name) << arguments << faults << QString() << QString(step);
        };
        const QString bin = "%1/missing.ldr", loader = "%1/no-loader.ldr", missing = "Can't open [%1] file.";
        notStarted("program, loader", {"program", "%image", "--loader", loader}, missing.arg(loader));
        notStarted("verify, both: the binary", {"verify", bin, "--loader", loader}, missing.arg(bin));
        notStarted("inspect", {"inspect", bin}, missing.arg(bin));
        // The files are checked first, then the port; reset opens it its own way.
        const QString port = "%1/no-such-port", noPort = QStringLiteral("Can't open selected port [%1].").arg(port);
        notStarted("program, no port", {"program", "%image", "--port", port}, noPort);
        notStarted("reset, no port", {"reset", "--port", port}, noPort);

        const QStringList program{"program", "%image"};
        failedIn("no auto-baud answer", program, {"--no-autobaud"}, "auto-baud");
        // (The gang names the program step.)
        failedIn("corrupt read-back", program, {"--corrupt-read", "300"}, "verify");
        // Erase goes on without a sync; its first frame unanswered, the sync failed
        // (program's sync failure takes four waits: the FLASH protocol tests have it).
        failedIn("erase, silent loader", {"erase"}, {"--mute-after", "4"}, "sync");
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, options);
        QFETCH(QString, line);
        QFETCH(QString, step);
        QVERIFY(sim->start(options));
        const QString image = writeFile("image.ldr", testPattern(600));
        for (QString &arg : arguments)
            arg = arg == "%image" ? image : arg.replace("%1", dir->path());
        if (arguments.first() != "inspect" && !arguments.contains("--port"))
            arguments << portArgs();

        const Run run = runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        if (step.isEmpty()) {
            QCOMPARE(run.out, QStringList{line.arg(dir->path())});
            QVERIFY(run.err.isEmpty());
            // Nothing reached the board (a program that lacks only its loader
            // opens the port, but sends nothing).
            QCOMPARE(sim->traceLines().filter("autobaud").size(), 0);
        } else {
            QCOMPARE(run.err, "lodvane-cli: failed in the " + step.toLatin1() + " step\n");
        }
    }

    void boardSees_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %image: the image the FLASH holds; %sample: a boot stream
        QTest::addColumn<QString>("trace");         // the board's trace has one line that matches
        QTest::addColumn<QString>("lastLine");      // of stdout; empty: nothing
        auto row = [](const char *name, const QStringList &arguments, const char *trace, const QString &lastLine) {
            QTest::newRow(name) << arguments << QString(trace) << lastLine;
        };
        const QStringList erase{"erase", "--flash-size", "1"};
        const QString erased = "FLASH fully erased.";
        row("default ADSP-BF512: the BF51x loader", erase, "loader start family=BF51x ", erased);
        row("ADSP-BF592 by name", erase + QStringList{"--core", "ADSP-BF592"}, "loader start family=BF592 ", erased);
        // One block more than the size, given in hexadecimal.
        row("erase of 0x10000 bytes", {"erase", "--flash-size", "0x10000", "--core", "BF518F16"}, "erase block=1 ack",
            erased);
        row("program, core named in lower case", {"program", "%image", "--core", "adsp-bf518f16"},
            "program piece=1 length=44 ack", "File [%image] correctly uploaded.");
        row("verify", {"verify", "%image", "--core", "6"}, "read piece=1 length=44 ack",
            "File [%image] correctly verified.");
        // Every block of the sample stream read: INIT, the IGNORE hole, the zero fill and FINAL.
        row("ram: the stream itself, lines named, no loader needed",
            {"ram", "%sample", "--boot", "rts", "--reset", "DTR", "--invert-rts", "--loader", "/no-such-folder/x.ldr"},
            "stream size=768 .* blocks=8 kind=application", "File [%sample] correctly uploaded.");
        // reset opens the port and closes it again: the board sees the hang-up.
        row("reset", {"reset", "--reset", "rts"}, "reset cause=hangup", QString());
    }

    void boardSees()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, trace);
        QFETCH(QString, lastLine);
        const QByteArray image = testPattern(300);
        QVERIFY(sim->start({"--flash", writeFile("flash.bin", image + QByteArray(2 * 1024 * 1024 - 300, '\xFF'))}));
        const QString path = writeFile("image.ldr", image), sample = writeFile("sample.ldr", toBytes(sampleStream(512)));
        arguments.replaceInStrings("%image", path).replaceInStrings("%sample", sample);
        const Run run = runCli(arguments + portArgs());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.value(run.out.size() - 1), lastLine.replace("%image", path).replace("%sample", sample));
        QVERIFY(sim->waitForTrace("reset cause=hangup"));
        QCOMPARE(sim->traceLines().filter(QRegularExpression(trace)).size(), 1);
    }

    void inspect_data()
    {
        QTest::addColumn<int>("cut");          // bytes of the sample stream kept (-1: all)
        QTest::addColumn<int>("damage");       // offset of a byte to flip (-1: none)
        QTest::addColumn<int>("blocks");       // block lines before the last line
        QTest::addColumn<QString>("lastLine"); // its start
        // Blocks of the sample stream start at 0, 16, 44, 316, 396, 668, 736 and 752.
        QTest::newRow("well formed") << -1 << -1 << 8 << "8 block(s), 768 bytes, FINAL block at offset 752";
        QTest::newRow("bad header") << -1 << 398 << 4 << "bad header at offset 396: ";
        QTest::newRow("truncated payload") << 500 << -1 << 4
                                           << "truncated payload of the block at offset 396: 88 of 256 bytes";
        QTest::newRow("truncated header") << 50 << -1 << 2 << "truncated header at offset 44: 6 of 16 bytes";
        QTest::newRow("no FINAL block") << 752 << -1 << 7
                                        << "no FINAL block: the stream ends at offset 752 after 7 block(s)";
        QTest::newRow("empty file") << 0 << -1 << 0 << "empty file: no block header";
    }

    void inspect()
    {
        QFETCH(int, cut);
        QFETCH(int, damage);
        QFETCH(int, blocks);
        QFETCH(QString, lastLine);
        const QStringList lines{
            "0x000000  code 0xada05001 IGNORE|FIRST  address 0xffa00000  count      0  argument 0x00000300",
            "0x000010  code 0xadf70801 INIT          address 0xffa00000  count     12  argument 0x00000000",
            "0x00002c  code 0xad720001 -             address 0xffa08000  count    256  argument 0x00000000",
            "0x00013c  code 0xadfc1001 IGNORE        address 0x00000000  count     64  argument 0x00000000",
            "0x00018c  code 0xad730001 -             address 0xffa08100  count    256  argument 0x00000000",
            "0x00029c  code 0xade70001 -             address 0xff800000  count     52  argument 0x00000000",
            "0x0002e0  code 0xada60101 FILL          address 0xff800034  count   1092  argument 0x00000000",
            "0x0002f0  code 0xad738001 FINAL         address 0xffa00000  count      0  argument 0x00000000"};
        QByteArray bytes = toBytes(sampleStream(512));
        if (cut >= 0)
            bytes.truncate(cut);
        if (damage >= 0)
            bytes[damage] = char(bytes.at(damage) ^ 0x40);
        const Run run = runCli({"inspect", writeFile("copy.ldr", bytes)});
        QCOMPARE(run.exitCode, cut < 0 && damage < 0 ? 0 : 1);
        QCOMPARE(run.out.size(), blocks + 1);
        QCOMPARE(run.out.mid(0, blocks), lines.mid(0, blocks));
        QVERIFY2(run.out.last().startsWith(lastLine), qPrintable(run.out.last()));
    }

    // Three boards, the middle one stopping after its first piece: the others
    // go on. (One board alone prints its lines as they come: no port in
    // front, no table after, as every other run here shows.)
    void gang()
    {
        const QList<QStringList> faults{{}, {"--drop-ack-after", "1"}, {}};
        QStringList ports;
        QVERIFY(startBoards(faults, ports));
        const QByteArray image = testPattern(300);
        const QString path = writeFile("image.ldr", image), record = dir->filePath("record.jsonl");
        // What one board prints alone is what each good board's lines must be.
        // Its stderr on a pseudo-terminal: the bar is drawn there, the LOG
        // stays on stdout. The slave is held open so that the bar can still
        // be read once lodvane-cli has gone.
        PtyPair terminal;
        const int slave = ::open(QFile::encodeName(terminal.slavePath()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(slave >= 0);
        const QStringList alone =
            runCli(QStringList{"program", path, "--core", "6"} + ports.mid(0, 2), "exec 2>" + terminal.slavePath()).out;
        const QByteArray bar = terminal.readUntilQuiet(500, kRunWaitMs);
        ::close(slave);
        QVERIFY2(bar.contains("\r[") && bar.contains("] 100%"), bar.constData());
        QCOMPARE(alone.last(), QStringLiteral("File [%1] correctly uploaded.").arg(path));
        const QStringList portNames = ports.filter("/");
        // The ports listed: the system's, then the extra ones, empty entries skipped.
        const Run listed = runCli({"ports"}, "export LODVANE_EXTRA_PORTS=" + portNames.at(0) + "::" + portNames.at(2));
        QCOMPARE(listed.out.mid(listed.out.size() - 2), (QStringList{portNames.at(0), portNames.at(2)}));
        const Run run = runCli({"program", path, "--core", "6", "--record", record, "--ports", portNames.join(',')});
        QCOMPARE(run.exitCode, 1);
        const QStringList log = run.out.mid(0, run.out.size() - 4), table = run.out.mid(log.size());
        QCOMPARE(table.first().split(' ', Qt::SkipEmptyParts),
                 (QStringList{"port", "result", "seconds", "bytes", "bytes/s"}));
        QHash<QString, QStringList> linesOf;
        int attributed = 0;
        for (int i = 0; i < 3; ++i) {
            const QString port = portNames.at(i);
            const bool ok = i != 1;
            // Seconds with two decimals; a rate only for a board that took the whole file.
            const QRegularExpression row(QStringLiteral("^%1 +%2 +\\d+\\.\\d\\d +300 +%3$")
                                             .arg(QRegularExpression::escape(port), ok ? "ok" : "failed", ok ? "\\d+" : "-"));
            QVERIFY2(row.match(table.at(i + 1)).hasMatch(), qPrintable(table.at(i + 1)));
            // Each board's lines arrive whole and in order, with its port in front.
            const QString prefix = QStringLiteral("[%1] ").arg(port);
            for (const QString &line : log.filter(prefix))
                linesOf[port] << line.mid(prefix.size());
            QCOMPARE(linesOf[port], ok ? alone : QStringList(alone.mid(0, 4))); // up to the first piece
            attributed += linesOf[port].size();
        }
        QCOMPARE(attributed, log.size()); // no line without its board, none mixed
        QCOMPARE(run.err, QStringLiteral("lodvane-cli: [%1] failed in the program step\n").arg(portNames.at(1)).toLocal8Bit());

        // The record holds every board, in the order they finished.
        QList<QJsonObject> records;
        for (const QByteArray &line : readFile(record).split('\n'))
            records << QJsonDocument::fromJson(line).object();
        QCOMPARE(records.size(), 3 + 1); // each line ends with a newline
        const QString sha256 = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
        for (QJsonObject r : records.mid(0, 3)) {
            const QString port = r["port"].toString();
            const bool ok = port != portNames.at(1);
            const QJsonObject expected{
                {"port", port}, {"command", "program"}, {"file", path}, {"file_size", 300}, {"sha256", sha256},
                {"core", "ADSP-BF518F16"}, {"baud", 115200}, {"result", ok ? "ok" : "failed"},
                {"step", ok ? QJsonValue() : "program"}, {"log", QJsonArray::fromStringList(linesOf[port])}};
            const QDateTime time = QDateTime::fromString(r.take("time").toString(), Qt::ISODateWithMs);
            QVERIFY(time.isValid() && time.timeSpec() != Qt::LocalTime); // the zone is given
            QVERIFY(r.take("seconds").toDouble() > 0);
            QCOMPARE(QJsonDocument(r).toJson(), QJsonDocument(expected).toJson());
        }
    }

    void recordCannotBeWritten_data()
    {
        QTest::addColumn<QString>("record");     // %1: the work folder
        QTest::addColumn<QString>("shell");      // run before lodvane-cli
        QTest::addColumn<QByteArray>("earlier"); // what the record held before
        QTest::addColumn<QString>("error");      // on stderr; %1 the record, %2 the port
        QTest::newRow("folder missing") << "%1/none/record.jsonl" << QString() << QByteArray()
                                        << "lodvane-cli: cannot open the record %1: No such file or directory";
        // The line (longer than the limit) goes in only in part: that part is taken back.
        const QString tooLarge = "lodvane-cli: cannot write the record of %2 to %1: File too large";
        QTest::newRow("file size limit") << "%1/record.jsonl" << "ulimit -f 1" << QByteArray(1000, 'x') + '\n' << tooLarge;
    }

    void recordCannotBeWritten()
    {
        QFETCH(QString, record);
        QFETCH(QString, shell);
        QFETCH(QByteArray, earlier);
        QFETCH(QString, error);
        QVERIFY(sim->start());
        record.replace("%1", dir->path());
        if (!earlier.isEmpty())
            QVERIFY(!::writeFile(record, earlier).isEmpty());
        const QString path = writeFile("image.ldr", testPattern(3000));
        const Run run = runCli(QStringList{"program", path, "--core", "6", "--record", record} + portArgs(), shell);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, error.replace("%1", record).replace("%2", sim->port()).toLocal8Bit() + '\n');
        // The board is programmed only when its record can be opened at all;
        // what the record held before is left whole.
        const bool opened = !shell.isEmpty();
        QCOMPARE(run.out.value(run.out.size() - 1),
                 opened ? QStringLiteral("File [%1] correctly uploaded.").arg(path) : QString());
        if (opened)
            QCOMPARE(readFile(record), earlier);
    }

    void stopSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("boards");
        QTest::newRow("SIGINT") << int(SIGINT) << 1;
        QTest::newRow("SIGTERM, two boards") << int(SIGTERM) << 2;
    }

    void stopSignal()
    {
        QFETCH(int, signal);
        QFETCH(int, boards);
        // At line speed a program takes seconds: time to stop it in the middle.
        QStringList ports;
        QVERIFY(startBoards(QVector<QStringList>(boards, {"--baud", "115200"}).toList(), ports));
        QProcess cli;
        cli.start(LODVANE_CLI_PATH, QStringList{"program", writeFile("image.ldr", testPattern(32768))} + ports);
        QByteArray out;
        while (!out.contains("FILE -> FLASH[") && cli.waitForReadyRead(kRunWaitMs))
            out += cli.readAllStandardOutput();
        QVERIFY2(out.contains("FILE -> FLASH["), out.constData());
        QCOMPARE(::kill(pid_t(cli.processId()), signal), 0);
        QVERIFY(cli.waitForFinished(kRunWaitMs));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 1);
        const QStringList lines = QString::fromLocal8Bit(out + cli.readAllStandardOutput()).split('\n');
        QCOMPARE(lines.filter("Cancelled by user.").size(), boards);
        QCOMPARE(lines.filter("correctly uploaded").size(), 0);

        // Every port was closed: the board sees the hang-up.
        QVERIFY(sim->waitForTrace("reset cause=hangup"));
        for (const auto &board : moreSims)
            QVERIFY(board->waitForTrace("reset cause=hangup"));
    }

private:
    QString writeFile(const QString &name, const QByteArray &contents) { return ::writeFile(dir->filePath(name), contents); }
    QStringList portArgs() const { return {"--port", sim->port()}; }

    // Starts more boards beside `sim`, each with its own options (and folder);
    // their ports, the first being sim's, as --port options in `arguments`.
    bool startBoards(const QList<QStringList> &options, QStringList &arguments)
    {
        for (int i = 0; i < options.size(); ++i) {
            SimProcess *board = sim.get();
            if (i > 0) {
                const QString folder = dir->filePath(QStringLiteral("board%1").arg(i));
                moreSims.push_back(std::make_unique<SimProcess>(QDir().mkpath(folder) ? folder : QString()));
                board = moreSims.back().get();
            }
            if (!board->start(options.at(i)))
                return false;
            arguments << "--port" << board->port();
        }
        return true;
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SimProcess> sim;
    std::vector<std::unique_ptr<SimProcess>> moreSims;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

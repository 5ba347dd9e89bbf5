// lodvane-sim: a virtual Blackfin board on a pseudo-terminal. Prints the
// slave path on its first line of output, then serves the port until SIGINT
// or SIGTERM.

#include "norflash.h"
#include "ptyrunner.h"
#include "simboard.h"
#include "simoptions.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

struct CommandLine
{
    sim::Options options;
    std::string linkPath;
    std::string tracePath;
};

bool parseCount(const char *text, long long low, long long &value)
{
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 0);
    if (errno || end == text || *end || v < low)
        return false;
    value = v;
    return true;
}

// "bf,2b,00,01" or "bf2b0001": the bytes the board answers instead.
bool parseHexBytes(const char *text, std::vector<std::uint8_t> &bytes)
{
    bytes.clear();
    std::string digits;
    for (const char *p = text; *p; ++p) {
        if (*p == ',' || *p == ' ' || *p == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(*p)))
            return false;
        digits += *p;
    }
    if (digits.size() % 2)
        return false;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(std::uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

bool parseCore(const char *text, int &index)
{
    for (int i = 0; i < kCoreCount; ++i) {
        const CoreRow &row = kCoreRows[i];
        if (std::strcmp(text, row.name) == 0 || std::strcmp(text, row.name + kCoreNamePrefixLength) == 0
            || text == std::to_string(row.id)) {
            index = i;
            return true;
        }
    }
    return false;
}

const char *const kUsage =
    "usage: lodvane-sim [options]\n"
    "A virtual Blackfin board on a pseudo-terminal. The first line printed is the\n"
    "port to open; the board runs until interrupted (SIGINT, SIGTERM).\n"
    "  --link PATH            also make PATH a symbolic link to the port\n"
    "  --core NAME            ADSP-BF512 ... ADSP-BF592, BF518F16 or 1..7 (default ADSP-BF518F16)\n"
    "  --flash FILE           keep the FLASH contents in FILE between runs\n"
    "  --flash-size BYTES     FLASH size (default: 2 MiB stacked on the F16 parts, else 4 MiB)\n"
    "  --trace FILE           write one line per event to FILE\n"
    "  --boot-flash           after a reset run the application held in FLASH (as a board\n"
    "                         strapped for FLASH boot); an auto-baud byte as the first\n"
    "                         byte still enters UART boot (default: wait in the boot ROM)\n"
    "  --echo                 the demo monitor echoes typed characters (default: it does\n"
    "                         not, as the program's terminal shows what is typed)\n"
    "  --baud BPS             emulate the line speed: every byte takes 10/BPS seconds\n"
    "                         (default: as fast as the pseudo-terminal goes)\n"
    "  --help                 this text\n"
    "  --version              the program's version\n"
    "faults (all off by default):\n"
    "  --no-autobaud          do not answer the auto-baud byte\n"
    "  --autobaud-answer HEX  answer these bytes instead (e.g. bf,2b,00,01)\n"
    "  --no-sync-ack          do not acknowledge the loader's sync byte\n"
    "  --ack-sync N           leave the syncs before the N-th unanswered\n"
    "  --drop-ack-after N     ignore every program piece after the first N\n"
    "  --corrupt-read OFFSET  invert the byte at this FLASH offset when it is read back\n"
    "  --mute-after N         fall silent after sending N bytes (counted from each reset)\n";

bool parseArguments(int argc, char **argv, CommandLine &cl, std::string &error)
{
    sim::Faults &f = cl.options.faults;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long n = 0;
        bool ok = true;
        bool takesValue = true;
        if (arg == "--help" || arg == "-h") {
            error.clear();
            return false;
        } else if (arg == "--no-autobaud") {
            f.noAutoBaudAnswer = true;
            takesValue = false;
        } else if (arg == "--no-sync-ack") {
            f.noSyncAck = true;
            takesValue = false;
        } else if (arg == "--boot-flash") {
            cl.options.bootFromFlash = true;
            takesValue = false;
        } else if (arg == "--echo") {
            cl.options.echoTyped = true;
            takesValue = false;
        } else if (!value) {
            error = "unknown option or missing value: " + arg;
            return false;
        } else if (arg == "--link") {
            cl.linkPath = value;
        } else if (arg == "--trace") {
            cl.tracePath = value;
        } else if (arg == "--flash") {
            cl.options.flashFile = value;
        } else if (arg == "--core") {
            ok = parseCore(value, cl.options.coreIndex);
        } else if (arg == "--flash-size") {
            ok = parseCount(value, sim::kFlashBlockBytes, n) && n <= 0x40000000LL;
            cl.options.flashBytes = std::uint32_t(n);
        } else if (arg == "--baud") {
            ok = parseCount(value, 1, n) && n <= 10000000;
            cl.options.lineBaud = unsigned(n);
        } else if (arg == "--autobaud-answer") {
            ok = parseHexBytes(value, f.autoBaudAnswer);
            f.autoBaudAnswerGiven = true;
        } else if (arg == "--ack-sync") {
            ok = parseCount(value, 1, n);
            f.ackOnlySyncNumber = long(n);
        } else if (arg == "--drop-ack-after") {
            ok = parseCount(value, 0, n);
            f.dropAckAfterPieces = long(n);
        } else if (arg == "--corrupt-read") {
            ok = parseCount(value, 0, n);
            f.corruptReadOffset = n;
        } else if (arg == "--mute-after") {
            ok = parseCount(value, 0, n);
            f.muteAfterBytes = n;
        } else {
            error = "unknown option: " + arg;
            return false;
        }
        if (!ok) {
            error = "bad value for " + arg + ": " + value;
            return false;
        }
        i += takesValue ? 1 : 0;
    }
    return true;
}

struct Session
{
    CommandLine cl;
    sim::NorFlash *flash = nullptr;
    std::FILE *trace = nullptr;
};

void saveFlash(void *context)
{
    Session &s = *static_cast<Session *>(context);
    std::string error;
    if (!s.cl.options.flashFile.empty() && s.flash->dirty() && !s.flash->save(s.cl.options.flashFile, error))
        std::fprintf(stderr, "lodvane-sim: %s\n", error.c_str());
}

bool openTrace(Session &s)
{
    if (s.cl.tracePath.empty())
        return true;
    s.trace = std::fopen(s.cl.tracePath.c_str(), "w");
    if (!s.trace)
        std::fprintf(stderr, "lodvane-sim: cannot write trace %s: %s\n", s.cl.tracePath.c_str(), std::strerror(errno));
    return s.trace != nullptr;
}

bool makeLink(const std::string &linkPath, const std::string &target)
{
    if (linkPath.empty())
        return true;
    ::unlink(linkPath.c_str());
    if (::symlink(target.c_str(), linkPath.c_str()) == 0)
        return true;
    std::fprintf(stderr, "lodvane-sim: cannot link %s: %s\n", linkPath.c_str(), std::strerror(errno));
    return false;
}

void installSignals()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal; // no SA_RESTART: the wait in the runner returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

sim::BoardReports reportsFor(Session &s)
{
    sim::BoardReports reports;
    reports.trace = [&s](const std::string &line) {
        if (s.trace) {
            std::fprintf(s.trace, "%s\n", line.c_str());
            std::fflush(s.trace);
        }
    };
    reports.diagnostic = [](const std::string &line) { std::fprintf(stderr, "lodvane-sim: %s\n", line.c_str()); };
    return reports;
}

} // namespace

int main(int argc, char **argv)
{
    Session s;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--version") {
            std::printf("lodvane-sim %s\n", LODVANE_VERSION);
            return 0;
        }
    }
    if (!parseArguments(argc, argv, s.cl, error)) {
        if (error.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "lodvane-sim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    sim::NorFlash flash(s.cl.options.effectiveFlashBytes());
    s.flash = &flash;
    if (!s.cl.options.flashFile.empty() && !flash.load(s.cl.options.flashFile, error)) {
        std::fprintf(stderr, "lodvane-sim: %s\n", error.c_str());
        return 1;
    }
    sim::PtyPort port;
    if (!port.open(error)) {
        std::fprintf(stderr, "lodvane-sim: %s\n", error.c_str());
        return 1;
    }
    if (!openTrace(s) || !makeLink(s.cl.linkPath, port.slavePath()))
        return 1;
    installSignals();
    // What the board is goes out first: whoever waits for the port line
    // finds it already written.
    std::fprintf(stderr, "lodvane-sim: %s with %u bytes of FLASH on %s\n", s.cl.options.core().name,
                 flash.size(), port.slavePath().c_str());
    std::printf("%s\n", port.slavePath().c_str());
    std::fflush(stdout);

    const sim::BoardReports reports = reportsFor(s);
    sim::SimBoard board(s.cl.options, flash, reports);
    if (s.cl.options.bootFromFlash)
        board.reset("power-on");
    sim::PtyRunner runner(port, board, s.cl.options.lineBaud, reports);
    runner.run(&stopRequested, saveFlash, &s);

    saveFlash(&s);
    if (!s.cl.linkPath.empty())
        ::unlink(s.cl.linkPath.c_str());
    reports.trace("stopped");
    if (s.trace)
        std::fclose(s.trace);
    return 0;
}

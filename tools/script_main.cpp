// lodvane-script: runs a script without the window, for testing scripts and
// for checks from outside. Script output and the engine's error reports go
// to standard output; the exit status is main's return value, the value
// given to exit() or to a top-level return, or 1 after an error report.
#include "engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

static const char kUsage[] =
    "usage: lodvane-script [--max-steps N] FILE [ARGS...]\n"
    "Runs the script FILE: its top level, then main(argc, argv) with argv[0] = FILE\n"
    "and the ARGS after it.\n"
    "  --max-steps N  end the run with an error after N executed statements\n"
    "                 (default: no limit)\n"
    "  --help         this text\n"
    "  --version      the program's version\n"
    "Exit status: main's return value, the value given to exit(), or 1 after an error.\n";

static int usage()
{
    fputs(kUsage, stderr);
    return 2;
}

// A step count: digits only, at least 1.
static bool parseSteps(const char *text, unsigned long *steps)
{
    if (!*text || strspn(text, "0123456789") != strlen(text))
        return false;
    char *end;
    *steps = strtoul(text, &end, 10);
    return *steps > 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("lodvane-script %s\n", LODVANE_VERSION);
        return 0;
    }
    int first = 1;
    unsigned long maxSteps = 0;
    if (argc > 1 && strcmp(argv[1], "--max-steps") == 0) {
        if (argc < 3 || !parseSteps(argv[2], &maxSteps))
            return usage();
        first = 3;
    }
    if (first >= argc)
        return usage();

    std::unique_ptr<EngineState> state(new EngineState());
    int status = 1;
    EngineRunOptions options{};
    options.statementLimit = maxSteps;
    if (engineInit(state.get(), kEngineStackBytes, &options)) {
        bool ran = includeAllHeaders(state.get()) && engineParseFile(state.get(), argv[first]) &&
                   engineCallMain(state.get(), argc - first, argv + first);
        (void)ran; // an early end has left its value in exitValue too
        status = state->exitValue;
    }
    engineCleanup(state.get());
    fflush(stdout);
    return status;
}

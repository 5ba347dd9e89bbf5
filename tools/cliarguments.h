#pragma once

// The command line of lodvane-cli: one command, perhaps a file, and the
// options that stand for the window's form.

#include "actions.h"

#include <QString>
#include <QStringList>

struct CliArguments
{
    enum class Command { Program, Ram, Verify, Erase, Reset, Ports, Inspect, Help, Version };

    Command command = Command::Help;
    QString file;
    QStringList ports;               // one board per port, in the order given
    int baud = 115200;
    unsigned core = 1;               // ADSP-BF512
    LineChoice boot = LineChoice::None;
    LineChoice reset = LineChoice::None;
    bool invertRts = false;
    bool invertDtr = false;
    QString loader;                  // empty: the core family's loader beside the executable
    unsigned flashSize = 2097152;
    QString record;                  // empty: no record of the boards is kept
};

// Fills `args` from the arguments after the program name; on a usage error
// returns false with the reason in `error`.
bool parseCliArguments(const QStringList &arguments, CliArguments &args, QString &error);

// The word that names a command on the command line.
QString commandWord(CliArguments::Command command);

// Printed with every usage error and for --help.
extern const char *const kCliUsage;

#pragma once

#include "coreinfo.h"

#include <QString>

#include <functional>

class QPE;

// The PROGRAM, VERIFY, ERASE and RESET actions, shared by the window and the
// command-line programmer so the two cannot drift apart: the file checks, the
// port opening, the line encoding, the link call and the success line.

// Which modem line a role (BOOT or RESET) is wired to, as chosen by the user.
enum class LineChoice { None, Rts, Dtr };

struct LineCodes
{
    ControlLine boot = kLineNone;
    ControlLine reset = kLineNone;
    ResetMode mode = kResetNone;
};

// Turns the BOOT/RESET choices and the two invert boxes into line codes.
LineCodes encodeLines(LineChoice boot, LineChoice reset, bool invertRts, bool invertDtr);

struct ActionRequest
{
    QString binaryPath;
    QString loaderPath;
    QString portName;
    int baudRate = 115200;
    unsigned core = 1;
    unsigned flashSize = 0x200000;
    bool toRam = false;          // PROGRAM only: upload the binary and let it run
    LineCodes lines;
};

enum class ActionOutcome {
    NotStarted,  // a file was missing or the port did not open; nothing to close
    Failed,      // the port is open, the link reported (or not) what went wrong
    Succeeded,   // the port is open, the success line was written
    Cancelled,   // the port is open, the user stopped the operation
};

// Where the actions write their own LOG lines.
using ActionLog = std::function<void(const QString &)>;

// Each action leaves an opened port open; the caller closes it or hands it on.
ActionOutcome programAction(QPE &link, const ActionRequest &request, const ActionLog &log);
ActionOutcome verifyAction(QPE &link, const ActionRequest &request, const ActionLog &log);
ActionOutcome eraseAction(QPE &link, const ActionRequest &request, const ActionLog &log);

// The loader the window offers for a core id: the application directory
// followed by the family's relative path; empty relative path for other ids.
QString loaderRelativePath(int coreId);

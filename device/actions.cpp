#include "actions.h"

#include "corecatalogue.h"
#include "qpe.h"

#include <QFile>

#include <initializer_list>

namespace {

ControlLine lineCode(LineChoice choice)
{
    switch (choice) {
    case LineChoice::Rts: return kLineRts;
    case LineChoice::Dtr: return kLineDtr;
    case LineChoice::None: break;
    }
    return kLineNone;
}

bool openPort(QPE &link, const ActionRequest &request, const ActionLog &log)
{
    if (link.openPort(request.portName, request.baudRate, QPE::kOpenTimeoutMs))
        return true;
    // Nothing to close: either the opening failed, or the port is open for
    // someone else (an action already running) and must stay so.
    log(QStringLiteral("Can't open selected port [%1].").arg(request.portName));
    return false;
}

void missingFile(const QString &path, const ActionLog &log)
{
    log(QStringLiteral("Can't open [%1] file.").arg(path));
}

// Checked before the port is touched: the first missing file is named.
bool filesExist(std::initializer_list<QString> paths, const ActionLog &log)
{
    for (const QString &path : paths) {
        if (!QFile::exists(path)) {
            missingFile(path, log);
            return false;
        }
    }
    return true;
}

bool start(QPE &link, const ActionRequest &request, std::initializer_list<QString> files, const ActionLog &log)
{
    return filesExist(files, log) && openPort(link, request, log);
}

ActionOutcome outcome(const QPE &link, bool result)
{
    if (result)
        return ActionOutcome::Succeeded;
    return link.cancelRequested() ? ActionOutcome::Cancelled : ActionOutcome::Failed;
}

} // namespace

LineCodes encodeLines(LineChoice boot, LineChoice reset, bool invertRts, bool invertDtr)
{
    LineCodes codes;
    codes.boot = lineCode(boot);
    codes.reset = lineCode(reset);
    if (codes.reset == kLineNone)
        codes.mode = kResetNone;
    else
        codes.mode = codes.boot == kLineNone ? kResetPulse : kResetHoldBoot;
    // The RTS box marks RESET and the DTR box marks BOOT, whichever line each uses.
    if (invertRts && codes.reset != kLineNone)
        codes.reset |= kLineInvertFlag;
    if (invertDtr && codes.boot != kLineNone)
        codes.boot |= kLineInvertFlag;
    return codes;
}

ActionOutcome programAction(QPE &link, const ActionRequest &request, const ActionLog &log)
{
    // The loader is looked at only after the port is open, and not for RAM.
    if (!start(link, request, {request.binaryPath}, log))
        return ActionOutcome::NotStarted;

    const LineCodes &l = request.lines;
    bool result = false;
    if (request.toRam) {
        result = link.bootFile(request.binaryPath, request.core, l.mode, l.reset, l.boot);
    } else if (QFile::exists(request.loaderPath)) {
        result = link.programFlash(request.binaryPath, request.loaderPath, request.core, l.mode,
                                   l.reset, l.boot);
    } else {
        missingFile(request.loaderPath, log);
    }
    if (result)
        log(QStringLiteral("File [%1] correctly uploaded.").arg(request.binaryPath));
    return outcome(link, result);
}

ActionOutcome verifyAction(QPE &link, const ActionRequest &request, const ActionLog &log)
{
    if (!start(link, request, {request.binaryPath, request.loaderPath}, log))
        return ActionOutcome::NotStarted;

    const LineCodes &l = request.lines;
    const bool result = link.verifyFlash(request.binaryPath, request.loaderPath, request.core,
                                         l.mode, l.reset, l.boot);
    if (result)
        log(QStringLiteral("File [%1] correctly verified.").arg(request.binaryPath));
    return outcome(link, result);
}

ActionOutcome eraseAction(QPE &link, const ActionRequest &request, const ActionLog &log)
{
    if (!start(link, request, {request.loaderPath}, log))
        return ActionOutcome::NotStarted;

    const LineCodes &l = request.lines;
    const bool result = link.eraseFlash(request.loaderPath, request.core, request.flashSize,
                                        l.mode, l.reset, l.boot);
    if (result)
        log(QStringLiteral("FLASH fully erased."));
    return outcome(link, result);
}

QString loaderRelativePath(int coreId)
{
    const CoreRow *row = coreById(coreId);
    return row ? QString::fromLatin1(row->loaderRelativePath) : QString();
}

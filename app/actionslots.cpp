// The PROGRAM, VERIFY, ERASE and RESET buttons: the form's choices handed to
// the shared action steps.
#include "lodvane.h"

#include "actions.h"
#include "qpe.h"

namespace {

LineChoice choice(const QRadioButton *rts, const QRadioButton *dtr)
{
    if (rts->isChecked())
        return LineChoice::Rts;
    if (dtr->isChecked())
        return LineChoice::Dtr;
    return LineChoice::None;
}

} // namespace

ActionRequest Lodvane::actionRequest() const
{
    ActionRequest request;
    request.binaryPath = ui.binaryFilePathLE->text();
    request.loaderPath = ui.flashLoaderPathLE->text();
    request.portName = ui.serialPortsCB->currentText();
    request.baudRate = ui.baudRate->currentData().toInt();
    request.core = unsigned(selectedCore);
    request.flashSize = unsigned(ui.flashSize->value());
    request.toRam = ui.ramRB->isChecked();
    request.lines = encodeLines(choice(ui.rtsBootRB, ui.dtrBootRB), choice(ui.rtsResetRB, ui.dtrResetRB),
                                ui.invertRTSRB->isChecked(), ui.invertDTRRB->isChecked());
    return request;
}

void Lodvane::binaryLoad()
{
    const ActionOutcome outcome =
        programAction(*link, actionRequest(), [this](const QString &line) { logLine(line); });
    if (outcome == ActionOutcome::NotStarted)
        return;
    // The terminal takes the open port whatever the upload's result.
    if (ui.openTerminalCB->isChecked())
        openTerminal();
    else
        link->closePort();
}

void Lodvane::binaryVerify()
{
    if (verifyAction(*link, actionRequest(), [this](const QString &line) { logLine(line); })
        != ActionOutcome::NotStarted)
        link->closePort();
}

void Lodvane::flashErase()
{
    if (eraseAction(*link, actionRequest(), [this](const QString &line) { logLine(line); })
        != ActionOutcome::NotStarted)
        link->closePort();
}

void Lodvane::resetSlot()
{
    const ControlLine line = ui.rtsResetRB->isChecked()   ? kLineRts
                             : ui.dtrResetRB->isChecked() ? kLineDtr
                                                          : kLineNone;
    link->pulseLine(line, QPE::kResetPulseMs);
}

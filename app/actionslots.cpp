// The PROGRAM, VERIFY, ERASE and RESET buttons: the form's choices handed to
// the shared action steps.
#include "lodvane.h"

#include "actions.h"
#include "qpe.h"

#include <QKeyEvent>

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

ActionOutcome Lodvane::runAction(DeviceAction action)
{
    // An action clicked while another runs fails at the port and must not
    // take the running one's cancel request or busy state away.
    const bool nested = deviceBusy;
    if (!nested)
        link->clearCancel();
    deviceBusy = true;
    const ActionOutcome outcome = action(*link, actionRequest(), [this](const QString &line) { logLine(line); });
    deviceBusy = nested;
    closeIfAsked();
    return outcome;
}

void Lodvane::binaryLoad()
{
    const ActionOutcome outcome = runAction(programAction);
    if (outcome == ActionOutcome::NotStarted)
        return;
    // The terminal takes the open port whatever the upload's result, unless
    // the user stopped it.
    if (ui.openTerminalCB->isChecked() && outcome != ActionOutcome::Cancelled)
        openTerminal();
    else
        link->closePort();
}

void Lodvane::binaryVerify()
{
    if (runAction(verifyAction) != ActionOutcome::NotStarted)
        link->closePort();
}

void Lodvane::flashErase()
{
    if (runAction(eraseAction) != ActionOutcome::NotStarted)
        link->closePort();
}

void Lodvane::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (deviceBusy && ui.main->currentIndex() == HomePage) {
            link->requestCancel();
            return;
        }
        if (scriptRunning && ui.main->currentIndex() == EepromPage) {
            stopScript();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void Lodvane::resetSlot()
{
    const ControlLine line = ui.rtsResetRB->isChecked()   ? kLineRts
                             : ui.dtrResetRB->isChecked() ? kLineDtr
                                                          : kLineNone;
    link->pulseLine(line, QPE::kResetPulseMs);
}

// A window whose user picks a core, a baud rate, a FLASH size, a BOOT line,
// RAM and a port, after which
// the process is killed: what the settings store then holds is what a killed
// program leaves behind. The store's folder comes from XDG_CONFIG_HOME.
#include "lodvane.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Lodvane window;
    window.ui.coreCB->setCurrentIndex(6);
    window.ui.baudRate->setCurrentIndex(2);
    window.ui.flashSize->setValue(65536);
    window.ui.dtrBootRB->click();
    window.ui.ramRB->click();
    window.ui.serialPortsCB->addItem(QStringLiteral("/dev/lodvane-chosen"));
    window.ui.serialPortsCB->setCurrentIndex(window.ui.serialPortsCB->count() - 1);
    std::raise(SIGKILL);
    return 0;
}

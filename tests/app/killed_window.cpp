// A window whose user picks a core, a baud rate and a FLASH size, after which
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
    std::raise(SIGKILL);
    return 0;
}

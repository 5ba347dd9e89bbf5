#include "lodvane.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto *window = new Lodvane;
    window->show();
    const int code = app.exec();
    delete window;
    return code;
}

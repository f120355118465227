// The tracking application: a workflow of windows from the choice of the
// video source to the tracking file.
#include "Interface.h"

#include <QApplication>

#include <clocale>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Qt adopts the user's locale; numbers in files and on standard output
    // keep the decimal point whatever the language of the desktop.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("vestiga"));
    vestiga::Interface controller;
    QObject::connect(&controller, &vestiga::Interface::quitRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    return app.exec();
}

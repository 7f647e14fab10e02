// The program: the application object with its title, the main window, and
// the event loop until that window closes.

#include "mainwindow/tform1.h"
#include "platform/application.h"

int main(int argc, char **argv)
{
    platform::Application application(argc, argv);
    // The application's title, as message boxes show it. Set as the name, not
    // the display name: X11 would append a display name to every caption.
    application.setApplicationName(QStringLiteral("Tarvo Ftp 软件"));
    // The secondary windows stay open when hidden; only the main window's
    // closing ends the run.
    application.setQuitOnLastWindowClosed(false);

    TForm1 Form1;
    QObject::connect(&Form1, &TForm1::Closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    Form1.show();
    return application.exec();
}

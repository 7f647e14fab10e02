// The program: the command line, the hand-over of an address to a window
// already running, the application object with its title, the main window,
// and the event loop until that window closes.

#include "mainwindow/command_line.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/tform1.h"
#include "mainwindow/translation.h"
#include "platform/application.h"
#include "platform/instance_channel.h"

#include <QStringList>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = ParseCommandLine(arguments, QStringLiteral(TARVO_VERSION));
    if (command.exitNow) {
        std::fputs(command.output.toLocal8Bit().constData(), command.exitCode == 0 ? stdout : stderr);
        return command.exitCode;
    }

    platform::Application application(argc, argv);
    // The application's title, as message boxes show it. Set as the name, not
    // the display name: X11 would append a display name to every caption.
    application.setApplicationName(QStringLiteral("Tarvo Ftp 软件"));
    application.setApplicationVersion(QStringLiteral(TARVO_VERSION));
    application.setDesktopFileName(QStringLiteral("org.tarvo.Tarvo"));
    // Before any window is built: every caption is translated as it is made.
    InstallTranslation(ChosenLanguage(ReadSettingsFile(SettingsFileName()).language));
    if (!command.address.isEmpty() && platform::InstanceChannel::SendToRunning(command.address))
        return 0;

    // The secondary windows stay open when hidden; only the main window's
    // closing ends the run.
    application.setQuitOnLastWindowClosed(false);

    TForm1 Form1;
    QObject::connect(&Form1, &TForm1::Closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    platform::InstanceChannel channel;
    channel.Listen();
    QObject::connect(&channel, &platform::InstanceChannel::received, &Form1, [&Form1](const QString &address) {
        Form1.OpenAddress(address);
        Form1.raise();
        Form1.activateWindow();
    });
    Form1.show();
    if (!command.address.isEmpty())
        QTimer::singleShot(0, &Form1, [&Form1, address = command.address] { Form1.OpenAddress(address); });
    return application.exec();
}

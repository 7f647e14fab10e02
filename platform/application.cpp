#include "application.h"

#include "dialogs.h"
#include "exceptions.h"

#include <QLocale>
#include <QWidget>
#include <QCoreApplication>

namespace platform {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // The program's interface is Chinese: dates and type names in its lists
    // follow that, whatever the system's locale is.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ++exceptionsShown_;
        ShowException(activeWindow(), e);
    } catch (...) {
        ++exceptionsShown_;
        ShowException(activeWindow(), Exception(QCoreApplication::translate("Application", "未知错误")));
    }
    return false;
}

} // namespace platform

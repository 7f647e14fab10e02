#pragma once
// The application object. An exception that escapes any event handler, slot or timer
// ("Cannot open file %s", an HTTP failure, ...) ends up here: its text is shown with
// ShowException and the event loop goes on, as the classic application-wide handler did.

#include <QApplication>

namespace platform {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // How many exceptions the handler has shown.
    int ExceptionsShown() const { return exceptionsShown_; }

private:
    int exceptionsShown_ = 0;
};

} // namespace platform

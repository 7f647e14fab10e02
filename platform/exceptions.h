#pragma once
// Base of the exceptions the program raises itself ("Cannot open file %s", the HTTP
// client's and the formatted-text exceptions, ...). Nothing catches them on the way: the
// application-wide handler shows the text in a message box and the program goes on.

#include <QByteArray>
#include <QString>
#include <exception>

namespace platform {

class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString &Message() const { return message_; }
    // UTF-8 of Message(), for code that only knows std::exception.
    const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// The text to show for any exception: Message() for ours, what() read as UTF-8 otherwise.
QString ExceptionText(const std::exception &e);

} // namespace platform

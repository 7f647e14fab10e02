#pragma once
// One program per user that takes addresses from later starts: the first
// window listens on a local socket of the user's; a start with an address
// hands it over and ends, so a link clicked in a browser opens in the window
// already running. A start without an address is a new window as before.

#include <QObject>
#include <QString>

class QLocalServer;

namespace platform {

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(QObject *parent = nullptr);
    ~InstanceChannel() override;

    // The socket's name for this user, or $TARVO_INSTANCE when set.
    static QString DefaultName();

    // Hands the text to the running program; false when none answers.
    static bool SendToRunning(const QString &text, const QString &name = DefaultName());
    // Starts listening unless another program listens already; a socket left
    // by a program that died is taken over.
    bool Listen(const QString &name = DefaultName());
    bool IsListening() const;

signals:
    void received(const QString &text);

private:
    void AcceptConnection();

    QLocalServer *server_ = nullptr;
};

}  // namespace platform

#pragma once
// The mail sender's socket: the line socket as a client only, with no
// countdowns unless asked for and with the local host name for HELO.

#include "platform/line_socket.h"

class TStarSocket : public platform::LineSocket {
    Q_OBJECT
public:
    explicit TStarSocket(QObject *parent = nullptr);

    // This machine's host name, or empty when the platform gives none;
    // LastError tells how the call went.
    QString LocalHostName();

private:
    // A client only: the server side and the urgent and local-address calls
    // of the line socket are not part of this socket.
    using LineSocket::Listen;
    using LineSocket::Accept;
    using LineSocket::SendUrgentData;
    using LineSocket::LocalAddressText;
    using LineSocket::LocalPort;
};

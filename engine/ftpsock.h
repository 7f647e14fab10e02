#pragma once
// The FTP engine's line socket: the platform's notification-driven socket plus
// the published Server and Port, with the Server setter's classification.

#include "platform/line_socket.h"

class Tmsocket : public platform::LineSocket {
public:
    explicit Tmsocket(QObject *parent = nullptr);

    // An all-digit text is a numeric address and an IPv6 literal ("::1" or
    // "[::1]") is connected to as it is; everything else (a dotted address
    // included) is handed to the name lookup.
    void SetServer(const QString &server);
    QString Server() const { return server_; }

    quint16 Port = 0;

private:
    QString server_;
};

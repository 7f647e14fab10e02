#include "ftpsock.h"

Tmsocket::Tmsocket(QObject *parent) : platform::LineSocket(parent) {}

void Tmsocket::SetServer(const QString &server)
{
    server_ = server;
    HostName.clear();
    if (server.isEmpty())
        return;
    if (platform::SocketAddress::IsIpv6Literal(server)) {
        AddressText = platform::SocketAddress::WithoutBrackets(server);
        return;
    }
    for (QChar c : server) {
        if (c < u'0' || c > u'9') {
            AddressText.clear();
            HostName = server;
            return;
        }
    }
    AddressText = server;
}

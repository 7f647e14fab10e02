#include "socket_address.h"

#include <arpa/inet.h>
#include <cstring>

namespace platform {

SocketAddress::SocketAddress()
{
    storage_.ss_family = AF_INET;
}

SocketAddress::SocketAddress(const sockaddr_in &address)
{
    std::memcpy(&storage_, &address, sizeof address);
    storage_.ss_family = AF_INET;
}

SocketAddress::SocketAddress(const sockaddr_in6 &address)
{
    std::memcpy(&storage_, &address, sizeof address);
    storage_.ss_family = AF_INET6;
}

SocketAddress SocketAddress::FromStorage(const sockaddr_storage &storage, socklen_t length)
{
    SocketAddress result;
    if (storage.ss_family == AF_INET6 && length >= socklen_t(sizeof(sockaddr_in6)))
        result = SocketAddress(*reinterpret_cast<const sockaddr_in6 *>(&storage));
    else if (storage.ss_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in)))
        result = SocketAddress(*reinterpret_cast<const sockaddr_in *>(&storage));
    return result;
}

QString SocketAddress::WithoutBrackets(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(u'[') && text.endsWith(u']'))
        return text.mid(1, text.size() - 2);
    return text;
}

bool SocketAddress::IsIpv6Literal(const QString &text)
{
    const QByteArray latin = WithoutBrackets(text).toLatin1();
    in6_addr parsed{};
    return latin.contains(':') && ::inet_pton(AF_INET6, latin.constData(), &parsed) == 1;
}

bool SocketAddress::SetText(const QString &text)
{
    const quint16 port = Port();
    const bool bracketed = text.startsWith(u'[');
    const QByteArray latin = WithoutBrackets(text).toLatin1();
    in6_addr v6{};
    if (latin.contains(':') && ::inet_pton(AF_INET6, latin.constData(), &v6) == 1) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = v6;
        *this = SocketAddress(address);
        SetPort(port);
        return true;
    }
    in_addr v4{};
    if (bracketed || ::inet_aton(latin.constData(), &v4) == 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr = v4;
    *this = SocketAddress(address);
    SetPort(port);
    return true;
}

QString SocketAddress::Text() const
{
    char buffer[INET6_ADDRSTRLEN] = {};
    if (IsIpv6()) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&storage_);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, buffer, sizeof buffer);
    } else {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&storage_);
        ::inet_ntop(AF_INET, &v4->sin_addr, buffer, sizeof buffer);
    }
    return QString::fromLatin1(buffer);
}

quint16 SocketAddress::Port() const
{
    if (IsIpv6())
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&storage_)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in *>(&storage_)->sin_port);
}

void SocketAddress::SetPort(quint16 port)
{
    if (IsIpv6())
        reinterpret_cast<sockaddr_in6 *>(&storage_)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in *>(&storage_)->sin_port = htons(port);
}

quint32 SocketAddress::Ipv4() const
{
    if (IsIpv6())
        return INADDR_NONE;
    return reinterpret_cast<const sockaddr_in *>(&storage_)->sin_addr.s_addr;
}

void SocketAddress::SetIpv4(quint32 networkOrder)
{
    const quint16 port = Port();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = networkOrder;
    *this = SocketAddress(address);
    SetPort(port);
}

socklen_t SocketAddress::Length() const
{
    return IsIpv6() ? socklen_t(sizeof(sockaddr_in6)) : socklen_t(sizeof(sockaddr_in));
}

bool SocketAddress::operator==(const SocketAddress &other) const
{
    return Family() == other.Family() && std::memcmp(&storage_, &other.storage_, Length()) == 0;
}

}  // namespace platform

#pragma once
// A socket address of either family (IPv4 or IPv6) with its port, as the
// descriptor calls take it. Texts are the usual forms: dotted IPv4 (inet_addr's
// notion, so "127.1" too) and IPv6 with or without brackets ("::1", "[::1]").

#include <QString>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {

class SocketAddress {
public:
    SocketAddress();
    // Implicit: IPv4 callers hand their sockaddr_in on unchanged.
    SocketAddress(const sockaddr_in &address);  // NOLINT(google-explicit-constructor)
    SocketAddress(const sockaddr_in6 &address);  // NOLINT(google-explicit-constructor)
    // From what getsockname, getpeername or accept filled in.
    static SocketAddress FromStorage(const sockaddr_storage &storage, socklen_t length);

    // An address literal of either family; false (and this unchanged) when the
    // text is neither. A bracketed text must be an IPv6 literal.
    bool SetText(const QString &text);
    // Whether the text is an IPv6 literal, bracketed or not.
    static bool IsIpv6Literal(const QString &text);
    // "[::1]" -> "::1"; any other text unchanged.
    static QString WithoutBrackets(const QString &text);

    int Family() const { return storage_.ss_family; }
    bool IsIpv6() const { return Family() == AF_INET6; }
    // Dotted IPv4 or compressed IPv6 (no brackets, no zone).
    QString Text() const;
    quint16 Port() const;
    void SetPort(quint16 port);
    // The IPv4 address in network byte order; INADDR_NONE for an IPv6 one.
    quint32 Ipv4() const;
    void SetIpv4(quint32 networkOrder);

    const sockaddr *Raw() const { return reinterpret_cast<const sockaddr *>(&storage_); }
    socklen_t Length() const;

    bool operator==(const SocketAddress &other) const;

private:
    sockaddr_storage storage_{};
};

}  // namespace platform

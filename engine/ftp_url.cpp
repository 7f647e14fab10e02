#include "ftp_url.h"

#include <arpa/inet.h>

namespace {

constexpr char Prefix[] = "ftp://";
constexpr qsizetype PrefixLength = sizeof(Prefix) - 1;

// Every byte up to and including the blank counts as blank, as the classic
// string trim treats it; a URL pasted with its line end still opens.
QByteArray TrimBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return text.mid(begin, end - begin);
}

bool StartsWithPrefix(const QByteArray &text)
{
    if (text.size() < PrefixLength)
        return false;
    for (qsizetype i = 0; i < PrefixLength; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != Prefix[i])
            return false;
    }
    return true;
}

// A user, password or path holding one of these would split the command
// line it is sent on (or cut it short on servers written in C).
bool HasLineBreak(const QByteArray &text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%XY" becomes the byte XY; a "%" without two hex digits after it stays.
QByteArray PercentDecoded(QByteArrayView text)
{
    QByteArray decoded;
    decoded.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            decoded += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

bool AllDigits(QByteArrayView text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// "[v6]" or "[v6]:port" (any digits as the port here; ParsePort judges them).
bool IsBracketedHostAndPort(QByteArrayView text)
{
    const qsizetype close = text.indexOf(']');
    if (!text.startsWith('[') || close < 0)
        return false;
    const QByteArrayView after = text.sliced(close + 1);
    return after.isEmpty() || (after.startsWith(':') && AllDigits(after.sliced(1)));
}

// The text before the first "/" cannot be "host" or "host:port" when a ":" in
// it is followed by something other than digits: it is a login whose password
// goes on past the "/". A bracketed IPv6 host is a host.
bool PasswordHoldsSlash(QByteArrayView head)
{
    if (IsBracketedHostAndPort(head))
        return false;
    const qsizetype colon = head.indexOf(':');
    if (colon < 0)
        return false;
    for (char c : head.sliced(colon + 1))
        if (c < '0' || c > '9')
            return true;
    return false;
}

// Decimal 1..65535; an empty port text means the default port.
bool ParsePort(const QByteArray &text, quint16 *port)
{
    if (text.isEmpty()) {
        *port = 21;
        return true;
    }
    if (text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    *port = quint16(value);
    return true;
}

FtpUrl Invalid(FtpUrl::Status status)
{
    FtpUrl url;
    url.status = status;
    return url;
}

}  // namespace

FtpUrl SplitFtpUrl(const QByteArray &address)
{
    QByteArray rest = TrimBlanks(address);
    if (!StartsWithPrefix(rest))
        return Invalid(FtpUrl::UnsupportedProtocol);
    rest.remove(0, PrefixLength);
    if (HasLineBreak(rest))
        return Invalid(FtpUrl::InvalidSyntax);

    FtpUrl url;
    // The login, if any, ends at the last "@" before the host's "/" (see the header).
    const qsizetype slash = rest.indexOf('/');
    qsizetype hostEnd = slash < 0 ? rest.size() : slash;
    const qsizetype firstAt = rest.indexOf('@');
    if (slash >= 0 && firstAt > slash && PasswordHoldsSlash(QByteArrayView(rest).first(slash))) {
        const qsizetype next = rest.indexOf('/', firstAt);
        hostEnd = next < 0 ? rest.size() : next;
    }
    const qsizetype at = QByteArrayView(rest).first(hostEnd).lastIndexOf('@');
    QByteArray userPart;
    if (at >= 0) {
        url.hasUserPart = true;
        userPart = rest.left(at);
        rest.remove(0, at + 1);
    }

    const qsizetype pathStart = rest.indexOf('/');
    if (pathStart >= 0) {
        url.path = rest.mid(pathStart);
        rest.truncate(pathStart);
    } else {
        url.path = QByteArrayLiteral("/");
    }

    if (url.hasUserPart) {
        const qsizetype colon = userPart.indexOf(':');
        if (colon < 0)
            return Invalid(FtpUrl::InvalidSyntax);
        url.user = PercentDecoded(QByteArrayView(userPart).first(colon));
        url.password = PercentDecoded(QByteArrayView(userPart).sliced(colon + 1));
        if (HasLineBreak(url.user) || HasLineBreak(url.password))
            return Invalid(FtpUrl::InvalidSyntax);
    } else {
        url.user = QByteArray(FtpAnonymousUser);
        url.password = QByteArray(FtpAnonymousPassword);
    }

    if (rest.startsWith('[')) {
        // "[v6]" or "[v6]:port": the brackets hold an IPv6 literal and nothing else.
        const qsizetype close = rest.indexOf(']');
        if (close < 0)
            return Invalid(FtpUrl::InvalidSyntax);
        url.host = rest.mid(1, close - 1);
        in6_addr parsed{};
        if (!url.host.contains(':') || ::inet_pton(AF_INET6, url.host.constData(), &parsed) != 1)
            return Invalid(FtpUrl::InvalidSyntax);
        const QByteArray after = rest.mid(close + 1);
        if (!after.isEmpty() && (!after.startsWith(':') || !ParsePort(after.mid(1), &url.port)))
            return Invalid(FtpUrl::InvalidSyntax);
        url.fileName = url.path.mid(url.path.lastIndexOf('/') + 1);
        url.status = FtpUrl::Ok;
        return url;
    }
    const qsizetype colon = rest.indexOf(':');
    if (colon >= 0) {
        url.host = rest.left(colon);
        if (!ParsePort(rest.mid(colon + 1), &url.port))
            return Invalid(FtpUrl::InvalidSyntax);
    } else {
        url.host = rest;
    }
    if (url.host.isEmpty())
        return Invalid(FtpUrl::InvalidSyntax);

    url.fileName = url.path.mid(url.path.lastIndexOf('/') + 1);
    url.status = FtpUrl::Ok;
    return url;
}

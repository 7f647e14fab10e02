#include "ftp_parse.h"

#include <QList>

namespace ftpparse {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal field 0..255, blanks around it allowed.
std::optional<int> ByteField(QByteArray field)
{
    field = field.trimmed();
    if (field.isEmpty() || field.size() > 3)
        return std::nullopt;
    int value = 0;
    for (char c : field) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<PasvAddress> ParsePasvReply(const QByteArray &reply)
{
    QByteArray inner;
    qsizetype open = reply.indexOf('(');
    if (open >= 0) {
        qsizetype close = reply.indexOf(')', open + 1);
        inner = close < 0 ? reply.mid(open + 1) : reply.mid(open + 1, close - open - 1);
    } else {
        // "227 Entering Passive Mode 127,0,0,1,4,1": skip the code, then start
        // at the first digit.
        qsizetype i = qMin<qsizetype>(reply.size(), 4);
        while (i < reply.size() && !IsDigit(reply.at(i)))
            ++i;
        inner = reply.mid(i);
        // Stop at trailing text after the last number ("... 4,1. Ready").
        qsizetype end = 0;
        while (end < inner.size() && (IsDigit(inner.at(end)) || inner.at(end) == ','
                                      || inner.at(end) == ' '))
            ++end;
        inner.truncate(end);
    }
    const QList<QByteArray> fields = inner.split(',');
    if (fields.size() < 6)
        return std::nullopt;
    int numbers[6];
    for (int i = 0; i < 6; ++i) {
        std::optional<int> value = ByteField(fields.at(i));
        if (!value)
            return std::nullopt;
        numbers[i] = *value;
    }
    PasvAddress address;
    address.host = QStringLiteral("%1.%2.%3.%4").arg(numbers[0]).arg(numbers[1]).arg(numbers[2]).arg(numbers[3]);
    address.port = quint16(numbers[4] * 256 + numbers[5]);
    return address;
}

std::optional<quint16> ParseEpsvReply(const QByteArray &reply)
{
    // Where the fields start: after "(", else after the reply code.
    const qsizetype open = reply.indexOf('(');
    qsizetype i = open >= 0 ? open + 1 : qMin<qsizetype>(reply.size(), 4);
    while (i < reply.size() && reply.at(i) == ' ')
        ++i;
    if (open < 0) {
        // "229 Entering Extended Passive Mode |||6446|": the first character
        // that can be a delimiter and is repeated three times.
        while (i + 2 < reply.size()
               && !(reply.at(i) == reply.at(i + 1) && reply.at(i) == reply.at(i + 2)
                    && reply.at(i) >= 33 && reply.at(i) <= 126 && !IsDigit(reply.at(i))))
            ++i;
    }
    if (i >= reply.size())
        return std::nullopt;
    const char delimiter = reply.at(i);
    if (delimiter < 33 || delimiter > 126 || IsDigit(delimiter))
        return std::nullopt;
    // d proto d address d port d: the port is the fourth field.
    qsizetype start = i;
    for (int field = 0; field < 3; ++field) {
        start = reply.indexOf(delimiter, start + (field == 0 ? 0 : 1));
        if (start < 0)
            return std::nullopt;
    }
    const qsizetype end = reply.indexOf(delimiter, start + 1);
    if (end < 0)
        return std::nullopt;
    const QByteArray text = reply.mid(start + 1, end - start - 1).trimmed();
    const std::optional<qint64> port = ParseSizeText(text);
    if (!port || *port < 1 || *port > 65535)
        return std::nullopt;
    return quint16(*port);
}

QByteArray FileSizeFromReply(const QByteArray &reply)
{
    qsizetype open = reply.indexOf('(');
    if (open < 0)
        return QByteArray();
    qsizetype blank = reply.indexOf(' ', open + 1);
    return blank < 0 ? reply.mid(open + 1) : reply.mid(open + 1, blank - open - 1);
}

std::optional<qint64> AnnouncedByteCount(const QByteArray &reply)
{
    const QByteArray size = FileSizeFromReply(reply);
    const qsizetype after = reply.indexOf('(') + 1 + size.size();
    if (size.isEmpty() || !reply.mid(after).startsWith(" bytes"))
        return std::nullopt;
    return ParseSizeText(size);
}

QByteArray PortArgument(const QString &dottedAddress, quint16 port)
{
    QByteArray argument = dottedAddress.toLatin1();
    argument.replace('.', ',');
    argument += ',' + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
    return argument;
}

QByteArray EprtArgument(const QString &address, quint16 port)
{
    const char family = address.contains(u':') ? '2' : '1';
    return QByteArray("|") + family + '|' + address.toLatin1() + '|' + QByteArray::number(port) + '|';
}

QByteArray RemoteFullPath(const QByteArray &directory, const QByteArray &name)
{
    if (directory.endsWith('/'))
        return directory + name;
    return directory + '/' + name;
}

std::optional<qint64> ParseSizeText(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace ftpparse

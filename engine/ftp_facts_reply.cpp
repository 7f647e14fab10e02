#include "engine/ftp_facts_reply.h"

#include "engine/ftp_mlsx.h"
#include "engine/ftp_parse.h"

#include <QTimeZone>

namespace ftpfacts {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The text after "213 " with the blanks around it removed; nothing for another reply.
std::optional<QByteArrayView> FactText(QByteArrayView reply)
{
    if (!reply.startsWith("213") || (reply.size() > 3 && !IsBlank(reply.at(3))))
        return std::nullopt;
    QByteArrayView text = reply.sliced(3);
    while (!text.isEmpty() && (IsBlank(text.front()) || text.front() == '\r' || text.front() == '\n'))
        text = text.sliced(1);
    while (!text.isEmpty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n'))
        text.chop(1);
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

}  // namespace

std::optional<qint64> ParseSizeReply(QByteArrayView reply)
{
    const std::optional<QByteArrayView> text = FactText(reply);
    if (!text)
        return std::nullopt;
    return ftpparse::ParseSizeText(*text);
}

QDateTime ParseMdtmReply(QByteArrayView reply)
{
    const std::optional<QByteArrayView> found = FactText(reply);
    if (!found)
        return {};
    QByteArray text = found->toByteArray();
    text.replace(',', '.');
    qsizetype digits = 0;
    while (digits < text.size() && IsDigit(text.at(digits)))
        ++digits;
    // The year 2000 bug of old servers: "19" followed by the years since 1900.
    if (digits == 15 && text.startsWith("19"))
        text = QByteArray::number(1900 + text.mid(2, 3).toInt()) + text.mid(5);
    return ftpmlsx::ParseTime(text);
}

QByteArray TimeArgument(const QDateTime &moment)
{
    if (!moment.isValid())
        return {};
    const QDateTime utc = moment.toUTC();
    if (utc.date().year() < 1 || utc.date().year() > 9999)
        return {};
    return utc.toString(u"yyyyMMddHHmmss").toLatin1();
}

}  // namespace ftpfacts

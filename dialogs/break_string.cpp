#include "dialogs/break_string.h"

#include "platform/codepage.h"

#include <algorithm>

using namespace Qt::StringLiterals;

TBreakString::TBreakString(QObject *parent)
    : QObject(parent)
{
}

QString TBreakString::SeparatorMessage()
{
    return u"TBreakString Error: 不合法的格式字串(1)!"_s;
}

QString TBreakString::WidthsMessage()
{
    return u"TBreakString Error: 不合法的格式字串(2)!"_s;
}

QString TBreakString::IndexMessage()
{
    return u"TBreakString Error: 索引超出範圍!"_s;
}

void TBreakString::Split()
{
    if (SourceString.isEmpty()) {
        parts_.clear();
        return;
    }
    parts_.clear();
    if (Separator.isEmpty())
        throw EFormatedTextException(SeparatorMessage());
    if (Fixed)
        SplitFixed();
    else
        SplitAtSeparator();
}

QByteArray TBreakString::Parts(int n) const
{
    if (n < 0 || n >= Count())
        throw EFormatedTextException(IndexMessage());
    return parts_.at(n);
}

// The text after the last separator is the last part, so a source ending in
// the separator ends with an empty part.
void TBreakString::SplitAtSeparator()
{
    const QByteArray &source = SourceString;
    if (Separator.size() == 1) {
        const char separator = Separator.at(0);
        qsizetype start = 0;
        qsizetype i = 0;
        while (i < source.size()) {
            const auto byte = static_cast<unsigned char>(source.at(i));
            // A lead byte takes its trail byte with it, but never past the end:
            // a lone lead byte at the end must not swallow the final part.
            if (platform::IsDbcsLeadByte(byte) && i + 1 < source.size()) {
                i += 2;
                continue;
            }
            if (source.at(i) == separator) {
                Store(source.mid(start, i - start));
                start = i + 1;
            }
            ++i;
        }
        Store(source.mid(start));
        return;
    }
    qsizetype start = 0;
    for (;;) {
        const qsizetype found = source.indexOf(Separator, start);
        if (found < 0)
            break;
        Store(source.mid(start, found - start));
        start = found + Separator.size();
    }
    Store(source.mid(start));
}

void TBreakString::SplitFixed()
{
    qsizetype position = 0;
    for (const QByteArray &item : Separator.split('/')) {
        bool ok = false;
        const int width = item.toInt(&ok);
        // Only plain digits: toInt would also take blanks and a sign.
        const bool digitsOnly = !item.isEmpty()
            && std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!ok || !digitsOnly) {
            parts_.clear();
            throw EFormatedTextException(WidthsMessage());
        }
        Store(position < SourceString.size() ? SourceString.mid(position, width) : QByteArray());
        position += width;
    }
}

void TBreakString::Store(QByteArray part)
{
    if (Trim) {
        qsizetype first = 0;
        qsizetype last = part.size();
        while (first < last && static_cast<unsigned char>(part.at(first)) <= ' ')
            ++first;
        while (last > first && static_cast<unsigned char>(part.at(last - 1)) <= ' ')
            --last;
        part = part.mid(first, last - first);
    } else if (FillZero) {
        for (qsizetype i = 0; i < part.size() && part.at(i) == ' '; ++i)
            part[i] = '0';
    }
    parts_.append(part);
}

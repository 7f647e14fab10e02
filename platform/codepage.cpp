#include "codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

namespace {
constexpr const char *kAnsiCodec = "GB18030";
}

bool IsValidUtf8(QByteArrayView bytes)
{
    // Qt's decoder flags overlong forms, surrogates, code points past U+10FFFF and a
    // sequence cut off at the end; the famous GBK pair C1 AA ("联") is overlong.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    Q_UNUSED(ignored);
    return !decoder.hasError();
}

namespace {
QString WithoutByteOrderMark(QString text)
{
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}
} // namespace

QString DecodeAnsi(QByteArrayView bytes)
{
    // Listings decode every name: keep one converter of each kind per thread instead of
    // opening the GB18030 converter for each line.
    thread_local QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    thread_local QStringDecoder gb(kAnsiCodec, QStringConverter::Flag::Stateless);
    utf8.resetState();
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return WithoutByteOrderMark(std::move(text));
    if (!gb.isValid())
        return QString::fromLatin1(bytes.data(), bytes.size());
    gb.resetState();
    return WithoutByteOrderMark(gb.decode(bytes));
}

QByteArray EncodeAnsi(QStringView text)
{
    thread_local QStringEncoder gb(kAnsiCodec, QStringConverter::Flag::Stateless);
    if (!gb.isValid())
        return text.toUtf8();
    gb.resetState();
    return gb.encode(text);
}

bool IsDbcsLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

QStringList SplitTextLines(QStringView text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start).toString());
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start).toString());
    return lines;
}

bool ReadAnsiTextFile(const QString &path, QStringList *lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (lines)
        *lines = SplitTextLines(DecodeAnsi(bytes));
    return true;
}

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, bool directWriteFallback)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    QSaveFile file(path);
    // A file we may write in a folder we may not (a settings file handed to the user
    // in a system folder) is still written, in place, when the caller allows it.
    file.setDirectWriteFallback(directWriteFallback);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool WriteAnsiTextFile(const QString &path, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines) {
        text += line;
        text += u"\r\n";
    }
    return WriteFileAtomically(path, EncodeAnsi(text));
}

} // namespace platform

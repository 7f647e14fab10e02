#include "dialogs/site_list.h"

#include "dialogs/break_string.h"
#include "platform/codepage.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// A site's seven fields with their paths fit many times over; anything longer
// is garbage and is dropped without being held.
constexpr qsizetype kMaxLineBytes = 1 << 20;
constexpr qsizetype kChunkBytes = 1 << 16;

// Calls take(line) for each line of the file; an overlong line is reported as
// dropped instead. False when the file cannot be opened.
bool ForEachLine(const QString &path, const std::function<void(const QByteArray &)> &take,
                 const std::function<void()> &dropped)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray line;
    bool overlong = false;
    bool afterCr = false;
    bool pending = false;  // bytes (or an overlong line) since the last line end
    auto finish = [&] {
        if (overlong)
            dropped();
        else
            take(line);
        line.clear();
        overlong = false;
        pending = false;
    };
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(kChunkBytes);
        if (chunk.isEmpty())
            break;
        qsizetype start = 0;
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            const char c = chunk.at(i);
            if (c != '\r' && c != '\n') {
                afterCr = false;
                continue;
            }
            if (c == '\n' && afterCr && i == start) {
                // The LF of a CR LF.
                afterCr = false;
                start = i + 1;
                continue;
            }
            if (!overlong)
                line.append(chunk.constData() + start, i - start);
            if (line.size() > kMaxLineBytes) {
                line.clear();
                overlong = true;
            }
            finish();
            afterCr = c == '\r';
            start = i + 1;
        }
        if (start < chunk.size()) {
            pending = true;
            if (!overlong) {
                line.append(chunk.constData() + start, chunk.size() - start);
                if (line.size() > kMaxLineBytes) {
                    line.clear();
                    overlong = true;
                }
            }
        }
    }
    if (pending)
        finish();
    return true;
}

// A file that is valid UTF-8 throughout (line ends are ASCII, so line by line
// tells) is read as UTF-8; anything else as GB18030.
bool FileIsUtf8(const QString &path)
{
    bool valid = true;
    bool first = true;
    ForEachLine(
        path,
        [&](const QByteArray &line) {
            QByteArrayView bytes(line);
            if (first && bytes.startsWith("\xEF\xBB\xBF"))
                bytes = bytes.sliced(3);
            first = false;
            if (valid && !platform::IsValidUtf8(bytes))
                valid = false;
        },
        [&] { first = false; });
    return valid;
}

QString DecodeGb18030(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

} // namespace

SiteEntry SiteEntry::FromFields(const QStringList &fields)
{
    SiteEntry site;
    QString *targets[FieldCount] = {&site.name, &site.server, &site.username, &site.port,
                                    &site.localpath, &site.remotepath, &site.anonymous};
    for (int i = 0; i < FieldCount && i < fields.size(); ++i)
        *targets[i] = fields.at(i);
    return site;
}

QString SiteListFileName()
{
    return platform::SettingsFilePath(u"list.ini"_s);
}

std::optional<SiteEntry> ParseSiteLine(const QByteArray &line)
{
    TBreakString splitter;
    splitter.Separator = "|";
    splitter.SourceString = line;
    splitter.Split();
    if (splitter.Count() != SiteEntry::FieldCount)
        return std::nullopt;
    QStringList fields;
    for (int i = 0; i < SiteEntry::FieldCount; ++i)
        fields << DecodeGb18030(splitter.Parts(i));
    return SiteEntry::FromFields(fields);
}

SiteListRead ReadSiteList(const QString &path)
{
    SiteListRead result;
    const QFileInfo file(path);
    if (!file.exists()) {
        // A new installation has no list yet: that is not a failure.
        result.opened = true;
        return result;
    }
    if (!file.isFile())
        return result;
    const bool utf8 = FileIsUtf8(path);
    bool first = true;
    result.opened = ForEachLine(
        path,
        [&](const QByteArray &line) {
            QByteArray bytes = line;
            if (utf8) {
                if (first && bytes.startsWith("\xEF\xBB\xBF"))
                    bytes.remove(0, 3);
                // Split GB18030 bytes in both cases: UTF-8's trail bytes would
                // fool the double-byte scan.
                bytes = platform::EncodeAnsi(QString::fromUtf8(bytes));
            }
            first = false;
            if (std::optional<SiteEntry> site = ParseSiteLine(bytes))
                result.sites.append(*site);
            else
                ++result.skippedLines;
        },
        [&] {
            first = false;
            ++result.skippedLines;
        });
    return result;
}

QByteArray SiteLine(const SiteEntry &site)
{
    QByteArray line;
    const QStringList fields = site.Fields();
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '|';
        line += platform::EncodeAnsi(fields.at(i));
    }
    return line;
}

bool WriteSiteList(const QString &path, const QList<SiteEntry> &sites)
{
    QByteArray bytes;
    for (const SiteEntry &site : sites)
        bytes += SiteLine(site) + "\r\n";
    // No direct-write fallback: the old list must survive any failure.
    return platform::WriteFileAtomically(path, bytes, false);
}

QString CannotOpenFileMessage(const QString &path)
{
    return u"Cannot open file %1"_s.arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

QString CannotCreateFileMessage(const QString &path)
{
    return u"Cannot create file %1"_s.arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

#include "dialogs/site_options.h"

#include "platform/codepage.h"
#include "platform/folders.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Far more than any real list; a larger file is not read whole.
constexpr qint64 kMaxFileBytes = 16 << 20;

}  // namespace

QString EncryptionText(int encryption)
{
    switch (encryption) {
    case SiteOptions::PlainOnly: return QCoreApplication::translate("SiteOptions", "只使用普通 FTP (不安全)");
    case SiteOptions::TlsIfSupported: return QCoreApplication::translate("SiteOptions", "如果服务器支持, 使用显式 TLS");
    case SiteOptions::TlsExplicitRequired: return QCoreApplication::translate("SiteOptions", "要求显式 TLS");
    case SiteOptions::TlsImplicitRequired: return QCoreApplication::translate("SiteOptions", "要求隐式 TLS");
    default: break;
    }
    return QString();
}

QString SiteOptionsFileName()
{
    return platform::SettingsFilePath(u"list-options.ini"_s);
}

QHash<QString, SiteOptions> ParseSiteOptions(const QByteArray &bytes)
{
    QHash<QString, SiteOptions> options;
    const QString text = QString::fromUtf8(bytes);
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QList<QStringView> fields = line.split(u'|');
        if (fields.size() != 3 || fields[0].isEmpty())
            continue;
        bool encryptionOk = false;
        bool passiveOk = false;
        const int encryption = fields[1].toInt(&encryptionOk);
        const int passive = fields[2].toInt(&passiveOk);
        if (!encryptionOk || encryption < 0 || encryption >= SiteOptions::EncryptionCount || !passiveOk
            || (passive != 0 && passive != 1))
            continue;
        options.insert(fields[0].toString(), SiteOptions{encryption, passive == 1});
    }
    return options;
}

QHash<QString, SiteOptions> ReadSiteOptions(const QString &path)
{
    QFile file(path);
    if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly))
        return {};
    return ParseSiteOptions(file.read(kMaxFileBytes));
}

bool WriteSiteOptions(const QString &path, const QHash<QString, SiteOptions> &options)
{
    QStringList names = options.keys();
    std::sort(names.begin(), names.end());
    QByteArray bytes;
    for (const QString &name : names) {
        const SiteOptions &site = options.value(name);
        bytes += u"%1|%2|%3\r\n"_s.arg(name).arg(site.encryption).arg(site.passive ? 1 : 0).toUtf8();
    }
    return platform::WriteFileAtomically(path, bytes, false);
}

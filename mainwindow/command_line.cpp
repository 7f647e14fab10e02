#include "mainwindow/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

bool HasLineBreakOrNul(const QString &text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

QByteArray Escaped(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

}  // namespace

QByteArray FtpAddress::EngineUrl() const
{
    const QByteArray hostPart = host.contains(u':') ? '[' + host.toUtf8() + ']' : host.toUtf8();
    QByteArray login;
    if (!user.isEmpty())
        login = Escaped(user) + ':' + Escaped(password) + '@';
    return "ftp://" + login + hostPart + ':' + QByteArray::number(port) + path;
}

FtpAddress ParseFtpAddress(const QString &text, QString *error)
{
    FtpAddress address;
    error->clear();
    const QString trimmed = text.trimmed();
    // Escaped or not, a line break would end a command on the control connection.
    if (HasLineBreakOrNul(trimmed) || HasLineBreakOrNul(QUrl::fromPercentEncoding(trimmed.toUtf8()))) {
        *error = QCoreApplication::translate("CommandLine", "地址中不能含有换行符或空字符");
        return address;
    }
    const QString scheme = trimmed.section(u"://"_s, 0, 0).toLower();
    if (!trimmed.contains(u"://"_s) || (scheme != u"ftp" && scheme != u"ftps")) {
        *error = QCoreApplication::translate("CommandLine", "不是 ftp:// 或 ftps:// 地址");
        return address;
    }
    address.implicitTls = scheme == u"ftps";
    // The port is checked on the text: an absurd one must be named, not taken for a bad address.
    const QString authority = trimmed.section(u"://"_s, 1).section(u'/', 0, 0).section(u'@', -1);
    const qsizetype colon = authority.lastIndexOf(u':');
    if (colon >= 0 && colon > authority.lastIndexOf(u']')) {
        bool ok = false;
        const QString digits = authority.mid(colon + 1);
        const int port = digits.toInt(&ok);
        if (!digits.isEmpty() && (!ok || port < 1 || port > 65535)) {
            *error = QCoreApplication::translate("CommandLine", "端口号无效: %1").arg(digits.left(20));
            return address;
        }
    }
    const QUrl url(trimmed, QUrl::StrictMode);
    address.host = url.host(QUrl::FullyDecoded);
    if (!url.isValid() || address.host.isEmpty()) {
        *error = url.isValid() ? QCoreApplication::translate("CommandLine", "地址中没有主机名") : QCoreApplication::translate("CommandLine", "地址无效: %1").arg(url.errorString());
        return address;
    }
    address.port = url.port(address.implicitTls ? 990 : 21);
    address.user = url.userName(QUrl::FullyDecoded);
    address.password = url.password(QUrl::FullyDecoded);
    address.hasPassword = url.userInfo(QUrl::FullyEncoded).contains(u':');
    const QString path = url.path(QUrl::FullyDecoded);
    address.path = path.isEmpty() ? QByteArray("/") : path.toUtf8();
    return address;
}

CommandLine ParseCommandLine(const QStringList &arguments, const QString &version)
{
    CommandLine result;
    QCommandLineParser parser;
    // The parser names the program after the running file (or not at all
    // before the application object exists): the user types "tarvo".
    const auto usage = [&parser] {
        return parser.helpText().replace(QRegularExpression(u"^Usage: \\S+"_s), u"Usage: tarvo"_s);
    };
    parser.setApplicationDescription(QCoreApplication::translate("CommandLine", "Tarvo: FTP 客户端, 本地磁盘和 FTP 服务器并排显示"));
    const QCommandLineOption help({u"h"_s, u"help"_s}, QCoreApplication::translate("CommandLine", "显示这个帮助并退出"));
    const QCommandLineOption versionOption({u"v"_s, u"version"_s}, QCoreApplication::translate("CommandLine", "显示版本并退出"));
    parser.addOption(help);
    parser.addOption(versionOption);
    parser.addPositionalArgument(QCoreApplication::translate("CommandLine", "地址"), QCoreApplication::translate("CommandLine", "要打开的 ftp:// 或 ftps:// 地址 (ftp://用户@主机:端口/路径)"),
                                 QCoreApplication::translate("CommandLine", "[ftp://用户@主机:端口/路径]"));
    if (!parser.parse(arguments)) {
        result = {true, 2, parser.errorText() + u'\n' + usage(), QString()};
        return result;
    }
    if (parser.isSet(help)) {
        result = {true, 0, usage(), QString()};
        return result;
    }
    if (parser.isSet(versionOption)) {
        result = {true, 0, u"Tarvo %1\n"_s.arg(version), QString()};
        return result;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        result = {true, 2, QCoreApplication::translate("CommandLine", "只能给出一个地址\n") + usage(), QString()};
        return result;
    }
    result.address = positional.value(0);
    // A bad address is said here, where the one who typed it looks.
    QString error;
    if (!result.address.isEmpty() && (ParseFtpAddress(result.address, &error), !error.isEmpty()))
        result = {true, 2, QCoreApplication::translate("CommandLine", "不能打开地址: %1\n").arg(error), QString()};
    return result;
}

#include "engine_notices.h"

#include "main_settings.h"
#include "platform/dialogs.h"

#include <algorithm>
#include <limits>
#include <QStringList>

namespace {

using platform::Dialogs;

// Wide enough for any product of two 64-bit values, so no size or time the
// engine reports can overflow the statistics.
__extension__ typedef __int128 Wide;

qint64 Saturated(Wide value)
{
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    if (value > kMax)
        return kMax;
    if (value < kMin)
        return kMin;
    return qint64(value);
}

QString Number(qint64 value)
{
    return QString::number(value);
}

const QString kResumeAnswer = QStringLiteral("Resume");
const QString kOverwriteAnswer = QStringLiteral("overwrite");

// Yes resumes, No overwrites, Cancel (or closing the box) skips the file.
QString AskResume(QWidget *parent, const QString &text)
{
    const int button = platform::CurrentDialogs().MessageBox(parent, text, QStringLiteral("信息"),
                                                             Dialogs::Information, Dialogs::YesNoCancel);
    if (button == Dialogs::Yes)
        return kResumeAnswer;
    if (button == Dialogs::No)
        return kOverwriteAnswer;
    return QString();
}

QString AskOverwrite(QWidget *parent, const QString &text)
{
    const int button = platform::CurrentDialogs().MessageBox(parent, text, QStringLiteral("确认"),
                                                             Dialogs::Question, Dialogs::YesCancel);
    return button == Dialogs::Yes ? kOverwriteAnswer : QString();
}

// A file shorter than its counterpart: ask, resume or overwrite as the policy says.
QString AnswerResume(QWidget *parent, int policy, const QString &text)
{
    switch (policy) {
    case ResumeAsk:
        return AskResume(parent, text);
    case ResumeAlways:
        return kResumeAnswer;
    case OverwriteAlways:
        return kOverwriteAnswer;
    }
    return QString();
}

// A file at least as long as its counterpart: "resume always" has nothing to
// resume, so the file is skipped.
QString AnswerOverwrite(QWidget *parent, int policy, const QString &text)
{
    switch (policy) {
    case ResumeAsk:
        return AskOverwrite(parent, text);
    case ResumeAlways:
        return QString();
    case OverwriteAlways:
        return kOverwriteAnswer;
    }
    return QString();
}

// Thousands grouped by ",", whatever the locale.
QString GroupedNumber(qint64 value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return value < 0 ? u'-' + digits : digits;
}

QString SideFacts(const QString &side, qint64 size, const QDateTime &time)
{
    QStringList parts;
    if (size >= 0)
        parts << GroupedNumber(size) + QStringLiteral(" 字节");
    if (time.isValid())
        parts << time.toLocalTime().toString(u"yyyy-MM-dd HH:mm");
    return parts.isEmpty() ? QString() : side + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

// The question's own line, then the facts of both files when there are any.
QString WithFacts(const QString &question, const QuestionContext &context)
{
    const QString facts = FileFactsLine(context);
    return facts.isEmpty() ? question : question + u'\n' + facts;
}

QString AskTyped(QWidget *parent, const QString &caption, const QString &prompt)
{
    QString value;
    if (!platform::CurrentDialogs().AskText(parent, caption, prompt, value))
        return QString();
    return value;
}

} // namespace

bool InfoStatusText(FtpInfo info, const QString &addinfo, QString *text)
{
    QString result;
    switch (info) {
    case ftpiConnected:
        result = QStringLiteral("  已经连接到 ") + addinfo;
        break;
    case ftpiDisconnected:
        result = QStringLiteral("  退出连接");
        break;
    case ftpiResolving:
        result = QStringLiteral(" 正在查找 ") + addinfo;
        break;
    case ftpiConnecting:
        result = QStringLiteral(" 连接 ") + addinfo;
        break;
    case ftpiResumeFailed:
        result = QStringLiteral(" 该主机不支持续传 ");
        break;
    case ftpiLoggedIn:
        result = QStringLiteral("登陆成功");
        break;
    case ftpiListingLine:
        result = QStringLiteral(" 正在获取主机当前文件列表.....");
        break;
    default:
        return false;
    }
    if (text)
        *text = result;
    return true;
}

QString FileSizeText(const QString &addinfo)
{
    return QStringLiteral("文件总大小:") + addinfo + QStringLiteral("字节");
}

QString ResumeSupportedText()
{
    return QStringLiteral("该主机支持续传");
}

ErrorNotice ErrorNoticeFor(FtpError error, const QString &addinfo, const QString &target)
{
    const auto message = [](const QString &caption, const QString &text) {
        return ErrorNotice{ErrorNotice::Message, caption, text};
    };
    const auto status = [](const QString &text) { return ErrorNotice{ErrorNotice::Status, QString(), text}; };

    switch (error) {
    case ftpeWinsockInit:
    case ftpeAddressNotAvailable:
        return message(QStringLiteral("Winsock 错误"),
                       QStringLiteral("Winsock 接口不能初始化，请确认您的机器装有 Winsock."));
    case ftpeNetworkDown:
    case ftpeNetworkUnreachable:
    case ftpeHostUnreachable:
        return message(QStringLiteral("网络错误"), QStringLiteral("网络不通，请确认你目前已经在网络上."));
    case ftpeInvalidAddress:
    case ftpeResolve:
        return message(QStringLiteral("解析域名错误"),
                       QStringLiteral("软件不能解析您要连线的FTP服务器，请确认该服务器是否存在"));
    case ftpeInternal:
    case ftpeGeneral:
    case ftpeUnknown:
        return message(QStringLiteral("Winsock 错误"), QStringLiteral("Winsock 发生错误"));
    case ftpeConnectionAborted:
    case ftpeConnectionReset:
    case ftpeReserved17:
        return message(QStringLiteral("连接错误"), QStringLiteral("已经退出连接!"));
    case ftpeTimeout:
        return message(QStringLiteral("超时连接错误"), QStringLiteral("连接超时,已经退出当前连接."));
    case ftpeOutOfSockets:
        return message(QString(), QStringLiteral("Winsock 使用过量，请关闭一些Winsock 软件，然后再连接"));
    case ftpeConnectionRefused:
        // Nothing listens there: the login details were never sent, so they are not the cause.
        return message(QStringLiteral("连接错误"),
                       QStringLiteral("无法连接到 %1: 连接被拒绝").arg(target.isEmpty() ? QStringLiteral("服务器") : target));
    case ftpeProtocol:
        return message(QStringLiteral("Winsock 错误"), QStringLiteral("Winsock 错误"));
    case ftpeTransferAborted:
        return message(QStringLiteral("传输终止"), QStringLiteral("传输被终止."));
    case ftpeServerNotReady:
        return message(QStringLiteral("服务器错误"), QStringLiteral("FTP 服务器 Down 了"));
    case ftpeLoginRefused:
        return message(QStringLiteral("拒绝访问"), QStringLiteral("访问拒绝，请确认用户名和密码正确"));
    case ftpeDataError:
        return message(QStringLiteral("传输错误"), QStringLiteral("传输数据中发生错误"));
    case ftpeChmodRefused:
        return message(QStringLiteral("修改拒绝"), QStringLiteral("拒绝修改，属性必须在 0..0477 之间"));
    case ftpeOpenLocalFile:
    case ftpeNoRemoteFile:
        return status(QStringLiteral("  不能打开文件 ") + addinfo);
    case ftpeWriteLocalFile:
        return status(QStringLiteral("  不能写文件 ") + addinfo);
    case ftpeReadLocalFile:
        return status(QStringLiteral("  不能读文件 ") + addinfo);
    case ftpeTlsRequired:
        return message(QStringLiteral("加密错误"),
                       QStringLiteral("服务器不支持 TLS 加密; 按照设置, 不以明文登陆."));
    case ftpeTlsHandshake:
        return message(QStringLiteral("加密错误"), QStringLiteral("TLS 加密连接建立失败."));
    case ftpeCertificateRejected:
        return message(QStringLiteral("证书错误"), QStringLiteral("服务器的证书没有被接受, 连接已断开."));
    case ftpeNone:
    case ftpeNoServer:
    case ftpeReserved20:
    case ftpeReserved25:
        break;
    }
    return ErrorNotice{};
}

TransferStatistics ComputeTransferStatistics(qint64 bytesTransferred, qint64 elapsedMs, qint64 resumePosition,
                                             qint64 totalSize)
{
    const Wide b = bytesTransferred;
    const Wide t = elapsedMs;
    const Wide r = resumePosition;
    const Wide s = totalSize;

    TransferStatistics stats;
    // Unknown without a size; never past the whole file, whatever came.
    stats.percent = s > 0 ? std::clamp<qint64>(Saturated(b * 100 / s), 0, 100) : -1;

    Wide rate = 0;
    if (t > 0 && b > 0)
        rate = (r != 0 ? b - r : b) * 1000 / t;
    stats.rate = Saturated(rate < 0 ? -rate : rate);

    const qint64 seconds = elapsedMs / 1000;
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    const qint64 secs = seconds % 3600 % 60;

    stats.size = QStringLiteral("传输大小:") + Number(bytesTransferred) + QStringLiteral("字节");
    if (stats.percent >= 0)
        stats.size += u' ' + Number(stats.percent) + u'%';
    stats.time = QStringLiteral("时间:")
        + QString::asprintf("%2lld:%2.2lld:%2.2lld", qlonglong(hours), qlonglong(minutes), qlonglong(secs));
    stats.speed = QStringLiteral("传输速率:") + Number(stats.rate) + QStringLiteral("(字节/秒)");
    return stats;
}

QString FileFactsLine(const QuestionContext &context)
{
    QStringList sides;
    for (const QString &side : {SideFacts(QStringLiteral("本地"), context.localSize, context.localTime),
                                SideFacts(QStringLiteral("远程"), context.remoteSize, context.remoteTime)})
        if (!side.isEmpty())
            sides << side;
    return sides.join(QStringLiteral("; "));
}

QString AnswerEngineQuestion(QWidget *parent, TMFtpInfoNeeded need, const QuestionContext &context)
{
    switch (need) {
    case needServer:
        return AskTyped(parent, QStringLiteral("服务器"), QStringLiteral("请输入 FTP 服务器名称"));
    case needUsername:
        return AskTyped(parent, QStringLiteral("用户名"), QStringLiteral("请输入登陆用户名"));
    case needResumeDownload:
        return AnswerResume(parent, context.downresume,
                            WithFacts(QStringLiteral("文件 ") + context.localFile
                                          + QStringLiteral(" 已经存在,且长度小于远程文件,要续传吗?"),
                                      context));
    case needOverwriteLocal:
        return AnswerOverwrite(parent, context.downresume,
                               WithFacts(QStringLiteral("文件 ") + context.localFile
                                             + QStringLiteral(" 已经存在，且长度不小于远程文件，要覆盖原来文件吗?"),
                                         context));
    case needResumeUpload:
        return AnswerResume(parent, context.upresume,
                            WithFacts(QStringLiteral("远程文件 ") + context.remoteFile
                                          + QStringLiteral(" 已经存在,且长度小于本地文件,要续传吗?"),
                                      context));
    case needOverwriteRemote:
        return AnswerOverwrite(parent, context.upresume,
                               WithFacts(QStringLiteral("远程文件 ") + context.remoteFile
                                             + QStringLiteral(" 已经存在，且长度不小于本地文件，要覆盖原来文件吗?"),
                                         context));
    case needPassword: {
        // A site without a stored password: ask rather than send an empty one.
        QString value;
        if (!platform::CurrentDialogs().AskPassword(parent, QStringLiteral("密码"), QStringLiteral("请输入登陆密码"),
                                                    value))
            return QString();
        return value;
    }
    case needAccount:
    case needLocalFile:
        break;
    }
    return QString();
}

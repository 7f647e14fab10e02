#include "engine_notices.h"

#include "main_settings.h"
#include "platform/dialogs.h"

#include <algorithm>
#include <limits>
#include <QCoreApplication>
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
    const int button = platform::CurrentDialogs().MessageBox(parent, text, QCoreApplication::translate("EngineNotices", "信息"),
                                                             Dialogs::Information, Dialogs::YesNoCancel);
    if (button == Dialogs::Yes)
        return kResumeAnswer;
    if (button == Dialogs::No)
        return kOverwriteAnswer;
    return QString();
}

QString AskOverwrite(QWidget *parent, const QString &text)
{
    const int button = platform::CurrentDialogs().MessageBox(parent, text, QCoreApplication::translate("EngineNotices", "确认"),
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
        parts << GroupedNumber(size) + QCoreApplication::translate("EngineNotices", " 字节");
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
        result = QCoreApplication::translate("EngineNotices", "  已经连接到 ") + addinfo;
        break;
    case ftpiDisconnected:
        result = QCoreApplication::translate("EngineNotices", "  退出连接");
        break;
    case ftpiResolving:
        result = QCoreApplication::translate("EngineNotices", " 正在查找 ") + addinfo;
        break;
    case ftpiConnecting:
        result = QCoreApplication::translate("EngineNotices", " 连接 ") + addinfo;
        break;
    case ftpiResumeFailed:
        result = QCoreApplication::translate("EngineNotices", " 该主机不支持续传 ");
        break;
    case ftpiLoggedIn:
        result = QCoreApplication::translate("EngineNotices", "登陆成功");
        break;
    case ftpiListingLine:
        result = QCoreApplication::translate("EngineNotices", " 正在获取主机当前文件列表.....");
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
    return QCoreApplication::translate("EngineNotices", "文件总大小:") + addinfo + QCoreApplication::translate("EngineNotices", "字节");
}

QString ResumeSupportedText()
{
    return QCoreApplication::translate("EngineNotices", "该主机支持续传");
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
        return message(QCoreApplication::translate("EngineNotices", "Winsock 错误"),
                       QCoreApplication::translate("EngineNotices", "Winsock 接口不能初始化，请确认您的机器装有 Winsock."));
    case ftpeNetworkDown:
    case ftpeNetworkUnreachable:
    case ftpeHostUnreachable:
        return message(QCoreApplication::translate("EngineNotices", "网络错误"), QCoreApplication::translate("EngineNotices", "网络不通，请确认你目前已经在网络上."));
    case ftpeInvalidAddress:
    case ftpeResolve:
        return message(QCoreApplication::translate("EngineNotices", "解析域名错误"),
                       QCoreApplication::translate("EngineNotices", "软件不能解析您要连线的FTP服务器，请确认该服务器是否存在"));
    case ftpeInternal:
    case ftpeGeneral:
    case ftpeUnknown:
        return message(QCoreApplication::translate("EngineNotices", "Winsock 错误"), QCoreApplication::translate("EngineNotices", "Winsock 发生错误"));
    case ftpeConnectionAborted:
    case ftpeConnectionReset:
    case ftpeReserved17:
        return message(QCoreApplication::translate("EngineNotices", "连接错误"), QCoreApplication::translate("EngineNotices", "已经退出连接!"));
    case ftpeTimeout:
        return message(QCoreApplication::translate("EngineNotices", "超时连接错误"), QCoreApplication::translate("EngineNotices", "连接超时,已经退出当前连接."));
    case ftpeOutOfSockets:
        return message(QString(), QCoreApplication::translate("EngineNotices", "Winsock 使用过量，请关闭一些Winsock 软件，然后再连接"));
    case ftpeConnectionRefused:
        // Nothing listens there: the login details were never sent, so they are not the cause.
        return message(QCoreApplication::translate("EngineNotices", "连接错误"),
                       QCoreApplication::translate("EngineNotices", "无法连接到 %1: 连接被拒绝").arg(target.isEmpty() ? QCoreApplication::translate("EngineNotices", "服务器") : target));
    case ftpeProtocol:
        return message(QCoreApplication::translate("EngineNotices", "Winsock 错误"), QCoreApplication::translate("EngineNotices", "Winsock 错误"));
    case ftpeTransferAborted:
        return message(QCoreApplication::translate("EngineNotices", "传输终止"), QCoreApplication::translate("EngineNotices", "传输被终止."));
    case ftpeServerNotReady:
        return message(QCoreApplication::translate("EngineNotices", "服务器错误"), QCoreApplication::translate("EngineNotices", "FTP 服务器 Down 了"));
    case ftpeLoginRefused:
        return message(QCoreApplication::translate("EngineNotices", "拒绝访问"), QCoreApplication::translate("EngineNotices", "访问拒绝，请确认用户名和密码正确"));
    case ftpeDataError:
        return message(QCoreApplication::translate("EngineNotices", "传输错误"), QCoreApplication::translate("EngineNotices", "传输数据中发生错误"));
    case ftpeChmodRefused:
        return message(QCoreApplication::translate("EngineNotices", "修改拒绝"), QCoreApplication::translate("EngineNotices", "拒绝修改，属性必须在 0..0477 之间"));
    case ftpeOpenLocalFile:
    case ftpeNoRemoteFile:
        return status(QCoreApplication::translate("EngineNotices", "  不能打开文件 ") + addinfo);
    case ftpeWriteLocalFile:
        return status(QCoreApplication::translate("EngineNotices", "  不能写文件 ") + addinfo);
    case ftpeReadLocalFile:
        return status(QCoreApplication::translate("EngineNotices", "  不能读文件 ") + addinfo);
    case ftpeTlsRequired:
        return message(QCoreApplication::translate("EngineNotices", "加密错误"),
                       QCoreApplication::translate("EngineNotices", "服务器不支持 TLS 加密; 按照设置, 不以明文登陆."));
    case ftpeTlsHandshake:
        return message(QCoreApplication::translate("EngineNotices", "加密错误"), QCoreApplication::translate("EngineNotices", "TLS 加密连接建立失败."));
    case ftpeCertificateRejected:
        return message(QCoreApplication::translate("EngineNotices", "证书错误"), QCoreApplication::translate("EngineNotices", "服务器的证书没有被接受, 连接已断开."));
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

    stats.size = QCoreApplication::translate("EngineNotices", "传输大小:") + Number(bytesTransferred) + QCoreApplication::translate("EngineNotices", "字节");
    if (stats.percent >= 0)
        stats.size += u' ' + Number(stats.percent) + u'%';
    stats.time = QCoreApplication::translate("EngineNotices", "时间:")
        + QString::asprintf("%2lld:%2.2lld:%2.2lld", qlonglong(hours), qlonglong(minutes), qlonglong(secs));
    stats.speed = QCoreApplication::translate("EngineNotices", "传输速率:") + Number(stats.rate) + QCoreApplication::translate("EngineNotices", "(字节/秒)");
    return stats;
}

QString FileFactsLine(const QuestionContext &context)
{
    QStringList sides;
    for (const QString &side : {SideFacts(QCoreApplication::translate("EngineNotices", "本地"), context.localSize, context.localTime),
                                SideFacts(QCoreApplication::translate("EngineNotices", "远程"), context.remoteSize, context.remoteTime)})
        if (!side.isEmpty())
            sides << side;
    return sides.join(QStringLiteral("; "));
}

QString SkippedTransferLine(TMFtpInfoNeeded need, const QString &answer, const QuestionContext &context)
{
    if (answer == kResumeAnswer || answer == kOverwriteAnswer)
        return QString();
    switch (need) {
    case needResumeDownload:
    case needOverwriteLocal:
        return QCoreApplication::translate("EngineNotices", "已跳过, 本地文件保持原样: ") + context.localFile;
    case needResumeUpload:
    case needOverwriteRemote:
        return QCoreApplication::translate("EngineNotices", "已跳过, 远程文件保持原样: ") + context.remoteFile;
    default:
        return QString();
    }
}

QString AnswerEngineQuestion(QWidget *parent, TMFtpInfoNeeded need, const QuestionContext &context)
{
    switch (need) {
    case needServer:
        return AskTyped(parent, QCoreApplication::translate("EngineNotices", "服务器"), QCoreApplication::translate("EngineNotices", "请输入 FTP 服务器名称"));
    case needUsername:
        return AskTyped(parent, QCoreApplication::translate("EngineNotices", "用户名"), QCoreApplication::translate("EngineNotices", "请输入登陆用户名"));
    case needResumeDownload:
        return AnswerResume(parent, context.downresume,
                            WithFacts(QCoreApplication::translate("EngineNotices", "文件 ") + context.localFile
                                          + QCoreApplication::translate("EngineNotices", " 已经存在,且长度小于远程文件,要续传吗?"),
                                      context));
    case needOverwriteLocal:
        return AnswerOverwrite(parent, context.downresume,
                               WithFacts(QCoreApplication::translate("EngineNotices", "文件 ") + context.localFile
                                             + QCoreApplication::translate("EngineNotices", " 已经存在，且长度不小于远程文件，要覆盖原来文件吗?"),
                                         context));
    case needResumeUpload:
        return AnswerResume(parent, context.upresume,
                            WithFacts(QCoreApplication::translate("EngineNotices", "远程文件 ") + context.remoteFile
                                          + QCoreApplication::translate("EngineNotices", " 已经存在,且长度小于本地文件,要续传吗?"),
                                      context));
    case needOverwriteRemote:
        return AnswerOverwrite(parent, context.upresume,
                               WithFacts(QCoreApplication::translate("EngineNotices", "远程文件 ") + context.remoteFile
                                             + QCoreApplication::translate("EngineNotices", " 已经存在，且长度不小于本地文件，要覆盖原来文件吗?"),
                                         context));
    case needPassword: {
        // A site without a stored password: ask rather than send an empty one.
        QString value;
        if (!platform::CurrentDialogs().AskPassword(parent, QCoreApplication::translate("EngineNotices", "密码"), QCoreApplication::translate("EngineNotices", "请输入登陆密码"),
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

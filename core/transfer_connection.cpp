#include "core/transfer_connection.h"

#include "engine/ftp.h"

#include <QFileInfo>
#include <QTimer>
#include <utility>

namespace {

// Progress goes to the window at most this often per connection.
constexpr int kProgressIntervalMs = 100;
// How long after a failed file a close still counts as the cause.
constexpr int kCloseAfterFailureMs = 300;

} // namespace

void ConnectionProfile::ApplyTo(TMFtp &ftp) const
{
    ftp.SetServer(server);
    ftp.Port = port;
    ftp.Username = username;
    ftp.SetPassword(password);
    ftp.Account = account;
    ftp.TlsMode = tlsMode;
    ftp.Passive = passive;
    ftp.ProxyType = proxyType;
    ftp.ProxyServer = proxyServer;
    ftp.TimeOutConnect = timeoutSeconds;
    ftp.KeepUploadTime = keepUploadTime;
    ftp.AcceptDataFromAnyAddress = acceptDataFromAnyAddress;
    ftp.TrustStoreFile = trustStoreFile;
    ftp.TransferMode = BinaryTransfer;
    ftp.ServerType = ftpstAutoDetect;
    // A transfer connection lists nothing; it keeps itself alive with NOOPs
    // only while it waits for its next file.
    ftp.SetNoopInterval(30);
}

bool IsConnectionFailure(FtpError error)
{
    switch (error) {
    case ftpeNetworkDown:
    case ftpeConnectionAborted:
    case ftpeConnectionReset:
    case ftpeTimeout:
    case ftpeNetworkUnreachable:
    case ftpeConnectionRefused:
    case ftpeHostUnreachable:
    case ftpeDataError:  // a data connection that failed or ended short
        return true;
    default:
        return false;
    }
}

TransferConnection::TransferConnection(int number, ConnectionProfile profile,
                                       std::shared_ptr<RateLimiter> downloadLimit,
                                       std::shared_ptr<RateLimiter> uploadLimit, AskQuestion askQuestion,
                                       AskCertificate askCertificate)
    : number_(number), profile_(std::move(profile)), downloadLimit_(std::move(downloadLimit)),
      uploadLimit_(std::move(uploadLimit)), askQuestion_(std::move(askQuestion)),
      askCertificate_(std::move(askCertificate))
{
}

TransferConnection::~TransferConnection() = default;

void TransferConnection::Open()
{
    // Made here, in the connection's own thread, so its sockets and timers live there.
    ftp_ = std::make_unique<TMFtp>();
    profile_.ApplyTo(*ftp_);
    ftp_->DownloadLimit = downloadLimit_;
    ftp_->UploadLimit = uploadLimit_;
    Wire();
    ftp_->Connect();
}

void TransferConnection::Wire()
{
    ftp_->OnLoggedIn = [this](QObject *) { OnLoggedIn(); };
    ftp_->OnFtpError = [this](QObject *, FtpError error, const QString &addinfo) { OnError(error, addinfo); };
    ftp_->OnFtpInfo = [this](QObject *, FtpInfo info, const QString &addinfo) { OnInfo(info, addinfo); };
    ftp_->OnFileReceived = [this](QObject *) { OnTransferDone(); };
    ftp_->OnFileStored = [this](QObject *) { OnTransferDone(); };
    ftp_->OnFtpQuit = [this](QObject *) { OnQuit(); };
    ftp_->OnFtpNeedInfo = [this](QObject *, TMFtpInfoNeeded need, QString &value) { NeedInfo(need, value); };
    ftp_->OnFtpCertificate = [this](QObject *, const platform::TlsCertificateInfo &certificate, bool changed,
                                    TMFtpCertificateAnswer &answer) {
        if (profile_.acceptedCertificates.contains(certificate.sha256))
            answer = certAcceptOnce;
        else
            answer = askCertificate_ ? askCertificate_(certificate, changed) : certReject;
    };
}

void TransferConnection::OnLoggedIn()
{
    loggedIn_ = true;
    emit LoggedIn(number_);
}

void TransferConnection::Run(const TransferJob &job)
{
    job_ = job;
    outcome_ = TransferOutcome();
    // A download target that is not there yet is this attempt's own.
    outcome_.targetWritten = job.targetWritten
        || (job.direction == TransferJob::Download && !QFileInfo::exists(job.localPath));
    lastRefusal_.clear();
    resumeOffset_ = 0;
    total_ = job.size;
    running_ = true;
    sinceProgress_.start();
    if (!ftp_ || !ftp_->Connected) {
        outcome_.error = ftpeConnectionAborted;
        outcome_.retryable = true;
        running_ = false;
        emit Finished(number_, job_.id, outcome_);
        return;
    }
    ftp_->RemoteFile = job.remotePath;
    ftp_->LocalFile = job.localPath;
    if (job.direction == TransferJob::Download)
        ftp_->Download();
    else
        ftp_->Upload();
}

void TransferConnection::Abort()
{
    if (ftp_ && running_)
        ftp_->Abort();
}

void TransferConnection::Drop()
{
    closed_ = true;
    failurePending_ = false;
    if (ftp_) {
        ftp_->OnFtpQuit = nullptr;
        ftp_->OnFtpError = nullptr;
        ftp_->OnFtpInfo = nullptr;
        ftp_->Disconnect();
    }
}

void TransferConnection::Close()
{
    if (!ftp_ || closed_) {
        closed_ = true;
        emit Closed(number_);
        return;
    }
    if (ftp_->Connected)
        ftp_->Quit();
    else
        OnQuit();
}

void TransferConnection::OnError(FtpError error, const QString &addinfo)
{
    if (!loggedIn_) {
        // The quit notice that follows ends the attempt; the first cause is kept.
        if (outcome_.error == ftpeNone) {
            outcome_.error = error;
            outcome_.detail = addinfo.isEmpty() ? lastRefusal_ : addinfo;
        }
        return;
    }
    if (!running_ || outcome_.error != ftpeNone)
        return;
    outcome_.error = error;
    outcome_.detail = addinfo.isEmpty() ? lastRefusal_ : addinfo;
    outcome_.retryable = IsConnectionFailure(error);
}

void TransferConnection::OnInfo(FtpInfo info, const QString &addinfo)
{
    switch (info) {
    case ftpiReply:
        if (addinfo.startsWith(u'4') || addinfo.startsWith(u'5'))
            lastRefusal_ = addinfo.trimmed();
        // 125/150: the transfer command was taken, past any question.
        else if (running_ && addinfo.startsWith(u'1'))
            outcome_.targetWritten = true;
        break;
    case ftpiFileSize: {
        bool ok = false;
        const qint64 size = addinfo.trimmed().toLongLong(&ok);
        // After REST servers differ on announcing the rest or the whole file.
        if (job_.size <= 0 && ok && size > 0)
            total_ = size;
        ReportProgress(true);
        break;
    }
    case ftpiProgress:
        if (running_ && !ftp_->ReceivingListing)
            ReportProgress(false);
        break;
    case ftpiAccessDenied:
        if (running_ && outcome_.error == ftpeNone) {
            outcome_.error = ftpeNoRemoteFile;
            outcome_.detail = lastRefusal_;
        }
        break;
    default:
        break;
    }
}

qint64 TransferConnection::BytesOnTarget() const
{
    return job_.direction == TransferJob::Download ? resumeOffset_ + ftp_->BytesTransferred : ftp_->BytesTransferred;
}

void TransferConnection::ReportProgress(bool force)
{
    if (!force && sinceProgress_.elapsed() < kProgressIntervalMs)
        return;
    sinceProgress_.restart();
    emit Progress(number_, job_.id, BytesOnTarget(), total_);
}

void TransferConnection::OnTransferDone()
{
    if (!running_)
        return;
    running_ = false;
    outcome_.ok = ftp_->Success();
    outcome_.bytesDone = BytesOnTarget();
    if (outcome_.ok) {
        outcome_.error = ftpeNone;
        outcome_.retryable = false;
    } else if (outcome_.error == ftpeNone) {
        outcome_.error = ftp_->Connected ? ftpeGeneral : ftpeConnectionAborted;
        outcome_.detail = lastRefusal_;
        outcome_.retryable = !ftp_->Connected;
    }
    // A 4xx refusal is transient by definition (425 no data connection, 421, 450 busy).
    if (!outcome_.ok && lastRefusal_.startsWith(u'4'))
        outcome_.retryable = true;
    ReportProgress(true);
    if (!outcome_.ok && !outcome_.retryable) {
        // Servers end a broken session with a last refusal ("500 OOPS", 421)
        // and then close: a close that follows at once makes it the
        // connection's failure, worth another try.
        failurePending_ = true;
        QTimer::singleShot(kCloseAfterFailureMs, this, [this] {
            if (std::exchange(failurePending_, false))
                emit Finished(number_, job_.id, outcome_);
        });
        return;
    }
    emit Finished(number_, job_.id, outcome_);
}

void TransferConnection::OnQuit()
{
    if (closed_)
        return;
    closed_ = true;
    if (std::exchange(failurePending_, false)) {
        outcome_.retryable = true;
        emit Finished(number_, job_.id, outcome_);
    }
    if (!loggedIn_) {
        emit LoginFailed(number_, outcome_.error == ftpeNone ? ftpeConnectionAborted : outcome_.error,
                         outcome_.detail);
    } else if (running_) {
        // The completion never comes now: the file failed with its connection.
        running_ = false;
        if (outcome_.error == ftpeNone)
            outcome_.error = ftpeConnectionAborted;
        outcome_.retryable = true;
        outcome_.bytesDone = BytesOnTarget();
        emit Finished(number_, job_.id, outcome_);
    }
    emit Closed(number_);
}

void TransferConnection::NeedInfo(TMFtpInfoNeeded need, QString &value)
{
    TransferQuestion question;
    question.need = need;
    question.localFile = ftp_->LocalFile;
    question.remoteFile = ftp_->RemoteFile;
    question.remoteSize = ftp_->QuestionRemoteSize();
    question.remoteTime = ftp_->QuestionRemoteTime();
    // A retry meets what its own failed attempt left: it goes on from there.
    // An attempt that failed before it touched the target leaves the
    // question to the user, as the first attempt would have.
    const bool retry = job_.attempts > 1 && job_.targetWritten;
    switch (need) {
    case needResumeDownload:
    case needResumeUpload:
        if (retry) {
            value = QStringLiteral("Resume");
            if (need == needResumeDownload)
                resumeOffset_ = QFileInfo(ftp_->LocalFile).size();
            return;
        }
        break;
    case needOverwriteLocal:
    case needOverwriteRemote:
        if (retry) {
            value = QStringLiteral("overwrite");
            return;
        }
        break;
    case needUsername:
        value = QString::fromUtf8(profile_.username);
        return;
    case needPassword:
        value = QString::fromUtf8(profile_.password);
        return;
    default:
        break;
    }
    value = askQuestion_ ? askQuestion_(question) : QString();
    if (value == u"Resume" || value == u"overwrite")
        outcome_.targetWritten = true;
    if (need == needResumeDownload && value == u"Resume")
        resumeOffset_ = QFileInfo(ftp_->LocalFile).size();
}

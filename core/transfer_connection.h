#pragma once
// One transfer connection of the pool: an engine of its own, logged in like
// the browsing connection, running one file at a time. It lives in a thread of
// its own, so that a long upload (whose sender runs the event loop while it
// waits on the socket) never holds up the window or the other connections.
// Every call comes in queued; every report goes out as a signal.

#include "core/connection_profile.h"
#include "core/transfer_job.h"
#include "engine/rate_limiter.h"
#include "platform/tls_session.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <memory>

class TMFtp;

class TransferConnection : public QObject {
    Q_OBJECT
public:
    // Answered in the pool's thread; the connection waits meanwhile.
    using AskQuestion = std::function<QString(const TransferQuestion &)>;
    using AskCertificate = std::function<TMFtpCertificateAnswer(const platform::TlsCertificateInfo &, bool changed)>;

    TransferConnection(int number, ConnectionProfile profile, std::shared_ptr<RateLimiter> downloadLimit,
                       std::shared_ptr<RateLimiter> uploadLimit, AskQuestion askQuestion,
                       AskCertificate askCertificate);
    ~TransferConnection() override;

    int Number() const { return number_; }

public slots:
    void Open();
    void Run(const TransferJob &job);
    // Stops the running file (it finishes as failed).
    void Abort();
    // QUIT, then the connection reports Closed.
    void Close();
    // Closes the sockets at once and reports nothing more: the pool is done with it.
    void Drop();

signals:
    void LoggedIn(int number);
    // The connection never got in (refused, or lost before the login ended).
    void LoginFailed(int number, FtpError error, const QString &detail);
    void Progress(int number, quint64 jobId, qint64 bytesDone, qint64 total);
    void Finished(int number, quint64 jobId, const TransferOutcome &outcome);
    // Gone: after Close, or the server or the network ended it.
    void Closed(int number);

private:
    void Wire();
    void OnLoggedIn();
    void OnError(FtpError error, const QString &addinfo);
    void OnInfo(FtpInfo info, const QString &addinfo);
    void OnTransferDone();
    void OnQuit();
    void NeedInfo(TMFtpInfoNeeded need, QString &value);
    void ReportProgress(bool force);
    qint64 BytesOnTarget() const;

    const int number_;
    const ConnectionProfile profile_;
    std::shared_ptr<RateLimiter> downloadLimit_, uploadLimit_;
    AskQuestion askQuestion_;
    AskCertificate askCertificate_;
    std::unique_ptr<TMFtp> ftp_;
    bool loggedIn_ = false;
    bool closed_ = false;
    bool running_ = false;
    bool failurePending_ = false;  // a failed file waits to see whether the connection closes
    TransferJob job_;
    TransferOutcome outcome_;
    QString lastRefusal_;
    qint64 resumeOffset_ = 0;  // a resumed download: what the local file held
    qint64 total_ = -1;
    QElapsedTimer sinceProgress_;
};

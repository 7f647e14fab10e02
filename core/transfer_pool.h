#pragma once
// The transfer connections of one session: files wait here in the order they
// came and start in that order on as many connections as the setting allows.
// Connections open when files wait and close after an idle minute. A file
// whose connection failed is tried again a few times; a server that takes no
// more connections keeps the ones it took, and when it takes none the owner
// is told and runs the waiting files itself. Every result goes to the one
// owner of its batch through the signals below.

#include "core/connection_profile.h"
#include "core/transfer_connection.h"
#include "core/transfer_job.h"
#include "engine/rate_limiter.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>

class QThread;
class QTimer;

class TransferPool : public QObject {
    Q_OBJECT
public:
    explicit TransferPool(QObject *parent = nullptr);
    ~TransferPool() override;

    // The session's login. A new one closes the connections of the old.
    void SetProfile(const ConnectionProfile &profile);
    const ConnectionProfile &Profile() const { return profile_; }
    // Certificates the user accepted for this session only.
    void AcceptCertificate(const QString &sha256);
    void SetMaxConnections(int count);
    int MaxConnections() const { return maxConnections_; }
    // Automatic retries of a file after connection failures.
    void SetRetryLimit(int retries) { retryLimit_ = std::max(0, retries); }
    // Bytes per second shared by all connections; 0: none.
    void SetSpeedLimits(qint64 download, qint64 upload);
    // The limits themselves, for the browsing connection to share when it
    // carries files too.
    std::shared_ptr<RateLimiter> DownloadLimiter() const { return downloadLimit_; }
    std::shared_ptr<RateLimiter> UploadLimiter() const { return uploadLimit_; }
    void SetIdleCloseMs(int ms) { idleCloseMs_ = ms; }

    // Asked in this object's thread, one at a time, while the connection waits.
    std::function<QString(const TransferQuestion &)> OnQuestion;
    std::function<TMFtpCertificateAnswer(const platform::TlsCertificateInfo &, bool changed)> OnCertificate;

    // Adds a file to the waiting ones (an id is given when it has none).
    // False, and nothing added, when the same target waits or runs already.
    bool Submit(TransferJob job);
    bool TargetBusy(const TransferJob &job) const;
    // The waiting files of a batch (0: of every batch), taken out.
    QList<TransferJob> TakeWaiting(quint64 batch = 0);
    // A batch ends: its waiting files go, its running ones are stopped.
    void Cancel(quint64 batch);
    // The session ends: everything is dropped and every connection closed.
    void CloseAll();

    int WaitingCount() const { return int(waiting_.size()); }
    int RunningCount() const { return int(running_.size()); }
    bool Busy() const { return !waiting_.empty() || !running_.empty(); }
    bool BatchBusy(quint64 batch) const;
    // Connections open or opening.
    int ConnectionCount() const { return int(connections_.size()); }
    // How many connections the server took before it refused one; 0 while none refused.
    int LearnedLimit() const { return learnedLimit_; }

signals:
    void JobStarted(const TransferJob &job, int connection);
    void JobProgress(const TransferJob &job, qint64 bytesDone, qint64 total);
    // The file failed on its connection and waits again for another attempt.
    void JobRetrying(const TransferJob &job, const TransferOutcome &outcome);
    // The last word on a file.
    void JobFinished(const TransferJob &job, const TransferOutcome &outcome);
    // No transfer connection could log in: the waiting files stay here for
    // the owner to take (TakeWaiting).
    void ConnectionsRefused(FtpError error, const QString &detail);

private:
    struct Connection {
        TransferConnection *worker = nullptr;
        QThread *thread = nullptr;
        QTimer *idleTimer = nullptr;
        bool loggedIn = false;
        bool closing = false;
        quint64 jobId = 0;  // running; 0 when idle
    };

    void Dispatch();
    // Files that may move at once: the setting, or fewer where the server said so.
    int Limit() const;
    void OpenConnection();
    void StartOn(int number, Connection &connection);
    void Release(int number);
    void CloseConnection(int number);
    void OnLoggedIn(int number);
    void OnLoginFailed(int number, FtpError error, const QString &detail);
    void OnProgress(int number, quint64 jobId, qint64 bytesDone, qint64 total);
    void OnFinished(int number, quint64 jobId, const TransferOutcome &outcome);
    void OnClosed(int number);
    void ForgetTarget(const TransferJob &job);
    QString AskInOwnerThread(const TransferQuestion &question);
    TMFtpCertificateAnswer AskCertificateInOwnerThread(const platform::TlsCertificateInfo &certificate, bool changed);
    static void Retire(TransferConnection *worker);

    ConnectionProfile profile_;
    int maxConnections_ = 2;
    int retryLimit_ = 2;
    int idleCloseMs_ = 60 * 1000;
    int learnedLimit_ = 0;
    bool refused_ = false;
    bool loginsBlocked_ = false;  // a login failed with none in: no new attempts for now
    int nextNumber_ = 1;
    quint64 nextJobId_ = 1;
    std::shared_ptr<RateLimiter> downloadLimit_, uploadLimit_;
    std::deque<TransferJob> waiting_;
    QHash<quint64, TransferJob> running_;
    QSet<QString> targets_;
    QSet<quint64> cancelled_;
    std::map<int, Connection> connections_;
    QMutex questionGate_;
    std::atomic_bool closing_ = false;
};

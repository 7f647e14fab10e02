#include "core/transfer_pool.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <utility>

namespace {

// Threads of closed connections get this long to finish before the pool goes.
constexpr int kThreadEndWaitMs = 3000;

void RegisterTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<TransferJob>();
        qRegisterMetaType<TransferOutcome>();
        qRegisterMetaType<FtpError>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

TransferPool::TransferPool(QObject *parent)
    : QObject(parent), downloadLimit_(std::make_shared<RateLimiter>()), uploadLimit_(std::make_shared<RateLimiter>())
{
    RegisterTypes();
}

TransferPool::~TransferPool()
{
    closing_ = true;
    // A connection waiting on a question in this thread is let go first.
    QCoreApplication::removePostedEvents(this);
    std::map<int, Connection> connections;
    connections.swap(connections_);
    for (auto &[number, connection] : connections) {
        TransferConnection *worker = connection.worker;
        QThread *thread = connection.thread;
        worker->disconnect(this);
        Retire(worker);
        if (!thread->wait(kThreadEndWaitMs))
            qWarning("A transfer connection did not end in time");
        else
            delete thread;
    }
}

// The connection's own thread drops its sockets (an upload waiting inside
// its sender sees that and unwinds) and ends; the connection is deleted once
// no frame of it is left on that thread's stack.
void TransferPool::Retire(TransferConnection *worker)
{
    QMetaObject::invokeMethod(worker, [worker] {
        worker->Drop();
        worker->deleteLater();
        QThread::currentThread()->quit();
    }, Qt::QueuedConnection);
}

void TransferPool::SetProfile(const ConnectionProfile &profile)
{
    CloseAll();
    profile_ = profile;
    learnedLimit_ = 0;
    loginsBlocked_ = false;
    refused_ = false;
}

void TransferPool::AcceptCertificate(const QString &sha256)
{
    if (!profile_.acceptedCertificates.contains(sha256))
        profile_.acceptedCertificates << sha256;
}

void TransferPool::SetMaxConnections(int count)
{
    maxConnections_ = std::clamp(count, 1, 10);
    Dispatch();
}

int TransferPool::Limit() const
{
    return learnedLimit_ > 0 ? std::min(learnedLimit_, maxConnections_) : maxConnections_;
}

void TransferPool::SetSpeedLimits(qint64 download, qint64 upload)
{
    if (downloadLimit_->Rate() != download)
        downloadLimit_->SetRate(download);
    if (uploadLimit_->Rate() != upload)
        uploadLimit_->SetRate(upload);
}

bool TransferPool::TargetBusy(const TransferJob &job) const
{
    return targets_.contains(job.TargetKey());
}

bool TransferPool::Submit(TransferJob job)
{
    if (TargetBusy(job))
        return false;
    if (job.id == 0)
        job.id = nextJobId_++;
    else
        nextJobId_ = std::max(nextJobId_, job.id + 1);
    targets_.insert(job.TargetKey());
    waiting_.push_back(job);
    // Several files come in one go: they are handed out once that is over.
    QMetaObject::invokeMethod(this, &TransferPool::Dispatch, Qt::QueuedConnection);
    return true;
}

QList<TransferJob> TransferPool::TakeWaiting(quint64 batch)
{
    QList<TransferJob> taken;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (batch == 0 || it->batch == batch) {
            ForgetTarget(*it);
            taken << *it;
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void TransferPool::Cancel(quint64 batch)
{
    TakeWaiting(batch);
    for (auto &[number, connection] : connections_) {
        if (connection.jobId == 0 || running_.value(connection.jobId).batch != batch)
            continue;
        cancelled_.insert(connection.jobId);
        QMetaObject::invokeMethod(connection.worker, &TransferConnection::Abort, Qt::QueuedConnection);
    }
}

void TransferPool::CloseAll()
{
    for (const TransferJob &job : std::as_const(running_))
        cancelled_.insert(job.id);
    TakeWaiting();
    for (auto &[number, connection] : connections_)
        CloseConnection(number);
}

bool TransferPool::BatchBusy(quint64 batch) const
{
    for (const TransferJob &job : waiting_) {
        if (job.batch == batch)
            return true;
    }
    for (const TransferJob &job : running_) {
        if (job.batch == batch)
            return true;
    }
    return false;
}

void TransferPool::ForgetTarget(const TransferJob &job)
{
    targets_.remove(job.TargetKey());
}

void TransferPool::Dispatch()
{
    if (closing_)
        return;
    if (refused_ && !waiting_.empty()) {
        emit ConnectionsRefused(ftpeLoginRefused, QString());
        return;
    }
    const int limit = Limit();
    int opening = 0;
    for (auto &[number, connection] : connections_) {
        if (waiting_.empty())
            break;
        if (connection.closing)
            continue;
        if (!connection.loggedIn) {
            ++opening;
            continue;
        }
        // A count lowered meanwhile holds back the connections over it.
        if (connection.jobId == 0 && RunningCount() < limit)
            StartOn(number, connection);
    }
    int live = 0;
    for (const auto &[number, connection] : connections_)
        live += connection.closing ? 0 : 1;
    while (!loginsBlocked_ && int(waiting_.size()) > opening && live < limit) {
        OpenConnection();
        ++opening;
        ++live;
    }
}

void TransferPool::OpenConnection()
{
    const int number = nextNumber_++;
    auto *worker = new TransferConnection(
        number, profile_, downloadLimit_, uploadLimit_,
        [this](const TransferQuestion &question) { return AskInOwnerThread(question); },
        [this](const platform::TlsCertificateInfo &certificate, bool changed) {
            return AskCertificateInOwnerThread(certificate, changed);
        });
    auto *thread = new QThread;
    thread->setObjectName(QStringLiteral("transfer-%1").arg(number));
    worker->moveToThread(thread);
    connect(worker, &TransferConnection::LoggedIn, this, &TransferPool::OnLoggedIn);
    connect(worker, &TransferConnection::LoginFailed, this, &TransferPool::OnLoginFailed);
    connect(worker, &TransferConnection::Progress, this, &TransferPool::OnProgress);
    connect(worker, &TransferConnection::Finished, this, &TransferPool::OnFinished);
    connect(worker, &TransferConnection::Closed, this, &TransferPool::OnClosed);
    Connection connection;
    connection.worker = worker;
    connection.thread = thread;
    connection.idleTimer = new QTimer(this);
    connection.idleTimer->setSingleShot(true);
    connect(connection.idleTimer, &QTimer::timeout, this, [this, number] { CloseConnection(number); });
    connections_[number] = connection;
    thread->start();
    QMetaObject::invokeMethod(worker, &TransferConnection::Open, Qt::QueuedConnection);
}

void TransferPool::StartOn(int number, Connection &connection)
{
    TransferJob job = waiting_.front();
    waiting_.pop_front();
    ++job.attempts;
    connection.jobId = job.id;
    connection.idleTimer->stop();
    running_.insert(job.id, job);
    emit JobStarted(job, number);
    QMetaObject::invokeMethod(connection.worker, [worker = connection.worker, job] { worker->Run(job); },
                              Qt::QueuedConnection);
}

void TransferPool::OnLoggedIn(int number)
{
    auto it = connections_.find(number);
    if (it == connections_.end())
        return;
    it->second.loggedIn = true;
    if (std::exchange(loginsBlocked_, false) || learnedLimit_ > 0) {
        int loggedIn = 0;
        for (const auto &[other, connection] : connections_)
            loggedIn += connection.loggedIn && !connection.closing ? 1 : 0;
        learnedLimit_ = std::max(learnedLimit_, loggedIn);
    }
    Release(number);
}

// A connection without a file: the next waiting one, or the idle countdown.
void TransferPool::Release(int number)
{
    auto it = connections_.find(number);
    if (it == connections_.end() || it->second.closing)
        return;
    it->second.jobId = 0;
    if (!waiting_.empty() && RunningCount() < Limit())
        StartOn(number, it->second);
    else
        it->second.idleTimer->start(idleCloseMs_);
    Dispatch();
}

void TransferPool::OnLoginFailed(int failed, FtpError error, const QString &detail)
{
    if (auto it = connections_.find(failed); it != connections_.end())
        it->second.closing = true;  // its Closed follows
    int loggedIn = 0, opening = 0;
    for (const auto &[number, connection] : connections_) {
        if (!connection.closing)
            ++(connection.loggedIn ? loggedIn : opening);
    }
    if (loggedIn > 0) {
        // The server takes this many at once: the pool keeps to them.
        learnedLimit_ = loggedIn;
        return;
    }
    // No more attempts until one of those under way gets in.
    loginsBlocked_ = true;
    if (opening > 0)
        return;
    if (IsConnectionFailure(error)) {
        // Nothing answers at all (the server went away): the waiting files
        // fail with that rather than wait for a connection that may never come.
        loginsBlocked_ = false;
        TransferOutcome outcome;
        outcome.error = error;
        outcome.detail = detail;
        const QList<TransferJob> unreachable = TakeWaiting();
        for (const TransferJob &job : unreachable)
            emit JobFinished(job, outcome);
        return;
    }
    refused_ = true;
    if (!waiting_.empty())
        emit ConnectionsRefused(error, detail);
}

void TransferPool::OnProgress(int, quint64 jobId, qint64 bytesDone, qint64 total)
{
    const auto it = running_.constFind(jobId);
    if (it != running_.constEnd())
        emit JobProgress(*it, bytesDone, total);
}

void TransferPool::OnFinished(int number, quint64 jobId, const TransferOutcome &outcome)
{
    const auto it = running_.find(jobId);
    if (it == running_.end())
        return;
    const TransferJob job = *it;
    running_.erase(it);
    const bool cancelled = cancelled_.remove(jobId);
    if (!outcome.ok && outcome.retryable && !cancelled && job.attempts <= retryLimit_) {
        // It keeps its place at the front: the start order stays as it came.
        TransferJob again = job;
        again.targetWritten = outcome.targetWritten;
        waiting_.push_front(again);
        emit JobRetrying(again, outcome);
    } else {
        ForgetTarget(job);
        emit JobFinished(job, outcome);
    }
    auto connection = connections_.find(number);
    if (connection != connections_.end() && connection->second.jobId == jobId)
        connection->second.jobId = 0;
    // A connection that failed is not trusted with another file: a new one opens.
    if (outcome.retryable)
        CloseConnection(number);
    Release(number);
}

void TransferPool::CloseConnection(int number)
{
    auto it = connections_.find(number);
    if (it == connections_.end() || it->second.closing)
        return;
    it->second.closing = true;
    it->second.idleTimer->stop();
    QMetaObject::invokeMethod(it->second.worker, &TransferConnection::Close, Qt::QueuedConnection);
}

void TransferPool::OnClosed(int number)
{
    auto it = connections_.find(number);
    if (it == connections_.end())
        return;
    Connection connection = it->second;
    connections_.erase(it);
    connection.idleTimer->deleteLater();
    TransferConnection *worker = connection.worker;
    QThread *thread = connection.thread;
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    Retire(worker);
    // A file it held was reported with its Finished; the rest wait for another.
    Dispatch();
}


QString TransferPool::AskInOwnerThread(const TransferQuestion &question)
{
    QMutexLocker gate(&questionGate_);
    QString answer;
    if (closing_)
        return answer;
    QMetaObject::invokeMethod(this, [this, &answer, &question] {
        if (OnQuestion && !closing_)
            answer = OnQuestion(question);
    }, Qt::BlockingQueuedConnection);
    return answer;
}

TMFtpCertificateAnswer TransferPool::AskCertificateInOwnerThread(const platform::TlsCertificateInfo &certificate,
                                                                 bool changed)
{
    QMutexLocker gate(&questionGate_);
    TMFtpCertificateAnswer answer = certReject;
    if (closing_)
        return answer;
    QMetaObject::invokeMethod(this, [this, &answer, &certificate, changed] {
        if (OnCertificate && !closing_)
            answer = OnCertificate(certificate, changed);
        if (answer == certAcceptOnce)
            AcceptCertificate(certificate.sha256);
    }, Qt::BlockingQueuedConnection);
    return answer;
}

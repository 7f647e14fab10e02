#include "platform/password_store.h"

#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;

namespace platform {

namespace {

// Some QtKeychain builds fall back to a plain settings file when no keyring answers;
// a password must never reach the disk in clear, so every job has it off.
template <typename Job>
Job *NewJob(const QString &key)
{
    auto *job = new Job(PasswordStore::Service());
    job->setInsecureFallback(false);
    job->setAutoDelete(true);
    job->setKey(key);
    return job;
}

PasswordStore::Result ResultOf(const QKeychain::Job &job)
{
    PasswordStore::Result result;
    switch (job.error()) {
    case QKeychain::NoError:
        result.outcome = PasswordStore::Done;
        break;
    case QKeychain::EntryNotFound:
        result.outcome = PasswordStore::NotFound;
        break;
    default:
        result.outcome = PasswordStore::Failed;
        result.error = job.errorString();
        if (result.error.isEmpty())
            result.error = u"QtKeychain error %1"_s.arg(int(job.error()));
        break;
    }
    return result;
}

} // namespace

PasswordStore::PasswordStore(QObject *parent)
    : QObject(parent)
{
}

QString PasswordStore::Service()
{
    return u"Tarvo"_s;
}

QString PasswordStore::SiteKey(const QString &siteName)
{
    return u"site:"_s + siteName;
}

// The jobs are not children of the store: QtKeychain deletes each one after it finishes,
// and a job destroyed while the keyring still holds its request would be answered into
// freed memory. The store as the connection's context is what drops a late answer.
void PasswordStore::Read(const QString &key, Callback done)
{
    auto *job = NewJob<QKeychain::ReadPasswordJob>(key);
    connect(job, &QKeychain::Job::finished, this, [job, done = std::move(done)] {
        Result result = ResultOf(*job);
        if (result.outcome == Done)
            result.password = job->textData();
        if (done)
            done(result);
    });
    job->start();
}

void PasswordStore::Write(const QString &key, const QString &password, Callback done)
{
    auto *job = NewJob<QKeychain::WritePasswordJob>(key);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [job, done = std::move(done)] {
        if (done)
            done(ResultOf(*job));
    });
    job->start();
}

void PasswordStore::Remove(const QString &key, Callback done)
{
    auto *job = NewJob<QKeychain::DeletePasswordJob>(key);
    connect(job, &QKeychain::Job::finished, this, [job, done = std::move(done)] {
        if (done)
            done(ResultOf(*job));
    });
    job->start();
}

} // namespace platform

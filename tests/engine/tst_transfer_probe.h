#pragma once
// What the transfer tests need around a TMFtp: every event recorded in order
// (progress only counted), need-info answers, actions hooked to an info, the
// login, and files of known content.

#include "support/byte_pattern.h"
#include "engine/ftp.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTest>
#include <functional>

namespace transfertest {

struct Probe {
    TMFtp &ftp;
    // "info:N", "error:N", "ready", "quit" and the completion events by name.
    QStringList sequence;
    QList<QPair<FtpInfo, QString>> infos;  // everything but ftpiProgress
    QList<FtpError> errors;
    QList<TMFtpInfoNeeded> needs;
    QHash<int, QString> answers;
    int progress = 0;
    // Runs after an info has been recorded (e.g. Abort at the first progress).
    std::function<void(FtpInfo, const QString &)> onInfo;

    explicit Probe(TMFtp &engine) : ftp(engine)
    {
        ftp.OnFtpInfo = [this](QObject *sender, FtpInfo info, const QString &text) {
            if (sender != &ftp)
                QFAIL("info from another sender");
            if (info == ftpiProgress)
                ++progress;
            else
                infos.append({info, text});
            if (info != ftpiProgress && info != ftpiListingLine && info != ftpiReply)
                sequence << QStringLiteral("info:%1").arg(int(info));
            if (onInfo)
                onInfo(info, text);
        };
        ftp.OnFtpError = [this](QObject *, FtpError error, const QString &) {
            errors << error;
            sequence << QStringLiteral("error:%1").arg(int(error));
        };
        ftp.OnFtpNeedInfo = [this](QObject *, TMFtpInfoNeeded need, QString &value) {
            needs << need;
            if (answers.contains(int(need)))
                value = answers.value(int(need));
        };
        ftp.OnFtpReady = [this](QObject *) { sequence << QStringLiteral("ready"); };
        ftp.OnFtpQuit = [this](QObject *) { sequence << QStringLiteral("quit"); };
        const QList<QPair<TMFtp::Notify *, QString>> completions = {
            {&ftp.OnLoggedIn, QStringLiteral("LoggedIn")},
            {&ftp.OnFileReceived, QStringLiteral("FileReceived")},
            {&ftp.OnFileReceivedii, QStringLiteral("FileReceivedii")},
            {&ftp.OnFileStored, QStringLiteral("FileStored")},
            {&ftp.OnFileStoredii, QStringLiteral("FileStoredii")},
            {&ftp.OnListingDone, QStringLiteral("ListingDone")},
        };
        for (const auto &[event, name] : completions) {
            const QString word = name;
            *event = [this, word](QObject *) { sequence << word; };
        }
    }

    int Count(const QString &word) const { return int(sequence.count(word)); }
    int InfoCount(FtpInfo info) const
    {
        int n = 0;
        for (const auto &entry : infos)
            n += entry.first == info;
        return n;
    }
    // The control dialogue as the engine logged it, for failure messages.
    QString Dialogue() const
    {
        QString text;
        for (const auto &entry : infos)
            if (entry.first == ftpiCommand || entry.first == ftpiReply)
                text += (entry.first == ftpiCommand ? QStringLiteral("> ") : QStringLiteral("< ")) + entry.second;
        return text;
    }
    QStringList InfoTexts(FtpInfo info) const
    {
        QStringList texts;
        for (const auto &entry : infos)
            if (entry.first == info)
                texts << entry.second;
        return texts;
    }
    void Forget()
    {
        sequence.clear();
        infos.clear();
        errors.clear();
        needs.clear();
        progress = 0;
    }
};

inline bool Login(TMFtp &ftp, Probe &probe, const QString &host, quint16 port, const QByteArray &user,
                  const QByteArray &password, int timeoutMs = 10000)
{
    ftp.SetServer(host);
    ftp.Port = port;
    ftp.Username = user;
    ftp.SetPassword(password);
    ftp.Connect();
    const bool in = QTest::qWaitFor([&] { return probe.Count(QStringLiteral("LoggedIn")) == 1 || probe.Count(QStringLiteral("quit")) > 0; }, timeoutMs);
    return in && probe.Count(QStringLiteral("LoggedIn")) == 1 && ftp.Connected;
}

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray Sha256OfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

inline QByteArray Sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

}  // namespace transfertest

#pragma once
// Records, in order, everything a TMFtp reports, for the command tests.

#include "engine/ftp.h"

#include <QByteArrayList>
#include <QStringList>
#include <QTest>

class EngineProbe {
public:
    explicit EngineProbe(TMFtp &ftp) : ftp_(ftp)
    {
        ftp.OnFtpInfo = [this](QObject *sender, FtpInfo info, const QString &text) {
            senderOk_ = senderOk_ && sender == &ftp_;
            if (info == ftpiCommand) {
                QByteArray line = text.toUtf8();
                line.chop(2);
                commands << line;
                return;
            }
            if (info == ftpiReply) {
                replies += text;
                return;
            }
            if (info == ftpiProgress || info == ftpiListingLine)
                return;
            events << QStringLiteral("info %1 %2").arg(int(info)).arg(text);
        };
        ftp.OnFtpError = [this](QObject *, FtpError error, const QString &) {
            events << QStringLiteral("error %1").arg(int(error));
        };
        ftp.OnFtpNeedInfo = [this](QObject *, TMFtpInfoNeeded need, QString &value) {
            events << QStringLiteral("need %1").arg(int(need));
            if (need == needLocalFile)
                value = localFileAnswer;
        };
        ftp.OnFtpReady = [this](QObject *) { events << QStringLiteral("ready"); };
        ftp.OnFtpQuit = [this](QObject *) { events << QStringLiteral("quit"); };
        Hook(ftp.OnLoggedIn, "OnLoggedIn");
        Hook(ftp.OnDirectoryChanged, "OnDirectoryChanged");
        Hook(ftp.OnDirectoryCreated, "OnDirectoryCreated");
        Hook(ftp.OnDirectoryDeleted, "OnDirectoryDeleted");
        Hook(ftp.OnFileDeleted, "OnFileDeleted");
        Hook(ftp.OnFileReceived, "OnFileReceived");
        Hook(ftp.OnFileStored, "OnFileStored");
        Hook(ftp.OnFileReceivedii, "OnFileReceivedii");
        Hook(ftp.OnFileStoredii, "OnFileStoredii");
        Hook(ftp.OnListingDone, "OnListingDone");
        Hook(ftp.OnFileRenamed, "OnFileRenamed");
        Hook(ftp.OnDirRenamed, "OnDirRenamed");
    }

    QStringList events;        // "info N text", "error N", "need N", "ready", "quit", completion names
    QByteArrayList commands;   // every command as logged, without CR LF
    QString localFileAnswer;   // the answer to needLocalFile
    QString replies;           // the control text received, for failure messages
    // The Success each completion event saw, in order.
    QList<bool> successes;

    void Clear()
    {
        events.clear();
        commands.clear();
        successes.clear();
        replies.clear();
    }
    bool SendersOk() const { return senderOk_; }
    int Count(const QString &event) const { return int(events.count(event)); }
    // Waits until the event has been raised (at least `times` times in all).
    bool WaitFor(const QString &event, int times = 1, int timeoutMs = 5000) const
    {
        return QTest::qWaitFor([&] { return Count(event) >= times; }, timeoutMs);
    }
    QString Dump() const
    {
        return events.join(QStringLiteral(" | ")) + QStringLiteral("\ncommands: ")
               + QString::fromUtf8(commands.join(" | ")) + QStringLiteral("\nreplies: ") + replies;
    }

    // Connects and waits for OnLoggedIn; false (with Dump() telling why) otherwise.
    bool Login(const QString &host, quint16 port, const QByteArray &user, const QByteArray &password)
    {
        ftp_.SetServer(host);
        ftp_.Port = port;
        ftp_.Username = user;
        ftp_.SetPassword(password);
        ftp_.Connect();
        return WaitFor(QStringLiteral("OnLoggedIn"), Count(QStringLiteral("OnLoggedIn")) + 1, 8000);
    }

private:
    void Hook(TMFtp::Notify &event, const char *name)
    {
        const QString label = QString::fromLatin1(name);
        event = [this, label](QObject *sender) {
            senderOk_ = senderOk_ && sender == &ftp_;
            events << label;
            successes << ftp_.Success();
        };
    }

    TMFtp &ftp_;
    bool senderOk_ = true;
};

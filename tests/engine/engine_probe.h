#pragma once
// Records everything a TMFtp reports, in order, for the engine tests.

#include "engine/ftp.h"

#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct EngineProbe {
    // Every event as one word ("info:4", "error:27", "ready", "LoggedIn", "quit").
    QStringList sequence;
    QList<QPair<FtpInfo, QString>> infos;
    QList<QPair<FtpError, QString>> errors;
    QList<TMFtpInfoNeeded> needs;
    // Answers handed back to need-info questions, by question.
    QHash<int, QString> answers;

    explicit EngineProbe(TMFtp &ftp)
    {
        ftp.OnFtpInfo = [this](QObject *, FtpInfo info, const QString &text) {
            infos.append({info, text});
            sequence << QStringLiteral("info:%1").arg(int(info));
        };
        ftp.OnFtpError = [this](QObject *, FtpError error, const QString &text) {
            errors.append({error, text});
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
            {&ftp.OnDirectoryChanged, QStringLiteral("DirectoryChanged")},
            {&ftp.OnDirectoryCreated, QStringLiteral("DirectoryCreated")},
            {&ftp.OnDirectoryDeleted, QStringLiteral("DirectoryDeleted")},
            {&ftp.OnFileDeleted, QStringLiteral("FileDeleted")},
            {&ftp.OnFileReceived, QStringLiteral("FileReceived")},
            {&ftp.OnFileStored, QStringLiteral("FileStored")},
            {&ftp.OnFileReceivedii, QStringLiteral("FileReceivedii")},
            {&ftp.OnFileStoredii, QStringLiteral("FileStoredii")},
            {&ftp.OnListingDone, QStringLiteral("ListingDone")},
            {&ftp.OnFileRenamed, QStringLiteral("FileRenamed")},
            {&ftp.OnDirRenamed, QStringLiteral("DirRenamed")},
        };
        for (const auto &[event, name] : completions) {
            QString word = name;
            *event = [this, word](QObject *) { sequence << word; };
        }
    }

    int Count(const QString &word) const { return sequence.count(word); }
    int InfoCount(FtpInfo info) const
    {
        int n = 0;
        for (const auto &entry : infos)
            n += entry.first == info;
        return n;
    }
    QStringList InfoTexts(FtpInfo info) const
    {
        QStringList texts;
        for (const auto &entry : infos)
            if (entry.first == info)
                texts << entry.second;
        return texts;
    }
    // The commands the engine logged as sent, CR LF removed.
    QStringList Commands() const
    {
        QStringList commands;
        for (const QString &text : InfoTexts(ftpiCommand))
            commands << QString(text).remove(QStringLiteral("\r\n"));
        return commands;
    }
    QList<FtpError> ErrorCodes() const
    {
        QList<FtpError> codes;
        for (const auto &entry : errors)
            codes << entry.first;
        return codes;
    }
};

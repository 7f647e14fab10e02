#pragma once
// Records every notice, error and end of a SendMail, for the tests.

#include "mail/inetmail.h"

#include <QList>
#include <QPair>
#include <QStringList>

struct MailRecorder {
    QList<QPair<SendMailInfo, QString>> infos;
    QList<QPair<SendMailError, QString>> errors;
    int done = 0;

    void Attach(SendMail &mail)
    {
        mail.OnMailInfo = [this](QObject *, SendMailInfo info, const QString &text) { infos.append({info, text}); };
        mail.OnMailError = [this](QObject *, SendMailError error, const QString &text) { errors.append({error, text}); };
        mail.OnDone = [this](QObject *) { ++done; };
    }

    QStringList TextsOf(SendMailInfo info) const
    {
        QStringList texts;
        for (const auto &entry : infos)
            if (entry.first == info)
                texts.append(entry.second);
        return texts;
    }
    bool Has(SendMailInfo info) const { return !TextsOf(info).isEmpty(); }
    // The notices other than the traces, in order.
    QList<SendMailInfo> Steps() const
    {
        QList<SendMailInfo> steps;
        for (const auto &entry : infos)
            if (entry.first != smTraceIn && entry.first != smTraceOut)
                steps.append(entry.first);
        return steps;
    }
};

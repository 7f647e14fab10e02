#pragma once
// What a server's EHLO reply offers: STARTTLS and the AUTH mechanisms. The
// reply is outside input, so anything that is not a plain keyword is ignored
// rather than trusted.

#include <QByteArray>
#include <QByteArrayList>

struct SmtpCapabilities {
    bool startTls = false;
    QByteArrayList authMechanisms;  // upper case, in the server's order, no duplicates

    // Reads the lines of one EHLO reply (with their "250-" / "250 " prefixes;
    // the first line names the server and is not a keyword).
    static SmtpCapabilities Parse(const QByteArrayList &replyLines);

    // The login method to use: PLAIN, else LOGIN; empty when neither is offered.
    QByteArray ChooseAuth() const;
};

// The SMTP sender's handling of whatever a server answers: the input is the
// server's side of the dialogue, handed out one line for each batch the
// client sends (or after a short silence of the client), then the server
// closes. Every send must end in exactly one OnDone, whatever came in; a
// send still running at the time limit is cancelled as the progress dialog
// would, and must end then.

#include "mail/inetmail.h"
#include "mail/reply_lines.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace {

QCoreApplication *app = nullptr;
QTcpServer *server = nullptr;

void checkFraming(const QByteArray &input)
{
    ReplyLines framer;
    // Three ways of cutting the same bytes must give the same lines.
    QByteArrayList whole, single;
    QByteArray line;
    framer.Append(input);
    while (framer.Take(line) == ReplyLines::Line)
        whole.append(line);
    framer.Clear();
    for (char c : input) {
        framer.Append(QByteArray(1, c));
        ReplyLines::Result result;
        while ((result = framer.Take(line)) == ReplyLines::Line)
            single.append(line);
        if (result == ReplyLines::Overlong)
            return;  // the single-byte walk stops at the first overlong line
        if (framer.Pending().size() > ReplyLines::MaxLine)
            std::abort();
    }
    if (input.size() < ReplyLines::MaxLine && whole != single)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    app = new QCoreApplication(*argc, *argv);
    server = new QTcpServer;
    if (!server->listen(QHostAddress::LocalHost, 0))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    checkFraming(input);

    QByteArrayList pieces = input.split('\n');
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
        pieces[i].append('\n');

    SendMail mail;
    mail.SetSMTP_Server(QStringLiteral("127.0.0.1"));
    mail.SMTP_Port = server->serverPort();
    mail.FROM_Address = QStringLiteral("me@client.test");
    mail.TO_Address = QStringLiteral("you@server.test");
    mail.Listcc = QStringList{QStringLiteral("cc@server.test")};
    mail.Subject = QStringLiteral("fuzz");
    mail.MailText = QStringList{QStringLiteral("line"), QStringLiteral(".")};
    int done = 0;
    QEventLoop loop;
    mail.OnDone = [&](QObject *) {
        ++done;
        loop.quit();
    };

    std::unique_ptr<QTcpSocket> peer;
    QObject::connect(server, &QTcpServer::newConnection, &loop, [&] {
        peer.reset(server->nextPendingConnection());
        auto next = [&] {
            if (!peer)
                return;
            peer->readAll();
            if (pieces.isEmpty()) {
                peer->disconnectFromHost();
                return;
            }
            peer->write(pieces.takeFirst());
            if (pieces.isEmpty())
                peer->disconnectFromHost();
        };
        QObject::connect(peer.get(), &QTcpSocket::readyRead, &loop, next);
        // A reply that the client waits for without sending anything.
        auto *quiet = new QTimer(peer.get());
        QObject::connect(quiet, &QTimer::timeout, &loop, next);
        quiet->start(5);
        next();
    });

    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(5000);
    mail.SetAction(TMailAction::Send_Mail);
    if (done == 0)
        loop.exec();
    QObject::disconnect(server, nullptr, &loop, nullptr);
    if (done == 0) {
        mail.SetAction(TMailAction::Cancel_SendMail);
        QCoreApplication::processEvents();
    }
    // The server has closed: the send must have ended, once.
    if (done != 1 || mail.MailBusy())
        std::abort();
    QCoreApplication::processEvents();
    if (done != 1)
        std::abort();
    return 0;
}

#include "http_peer.h"

#include "support/peer_server.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

HttpPeer::HttpPeer() = default;
HttpPeer::~HttpPeer() = default;

bool HttpPeer::Start(QString *whyNot)
{
    server_ = testsupport::PeerServer::StartScript(
        testsupport::PeerScriptsFolder() + QStringLiteral("/http_peer.py"),
        {QStringLiteral("--root"), QStringLiteral("{root}"), QStringLiteral("--port"), QStringLiteral("{port}")},
        whyNot);
    return server_ != nullptr;
}

bool HttpPeer::StartTls(const QString &certificateFile, const QString &keyFile, QString *whyNot)
{
    tls_ = true;
    server_ = testsupport::PeerServer::StartScript(
        testsupport::PeerScriptsFolder() + QStringLiteral("/http_peer.py"),
        {QStringLiteral("--root"), QStringLiteral("{root}"), QStringLiteral("--port"), QStringLiteral("{port}"),
         QStringLiteral("--cert"), certificateFile, QStringLiteral("--key"), keyFile},
        whyNot);
    return server_ != nullptr;
}

quint16 HttpPeer::Port() const
{
    return server_->Port();
}

QString HttpPeer::root() const
{
    return server_->Root();
}

QString HttpPeer::BaseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? QStringLiteral("https") : QStringLiteral("http")).arg(Port());
}

void HttpPeer::SetRoutes(const QJsonObject &routes)
{
    // Written whole and renamed into place: the peer reads it on every request.
    QSaveFile file(root() + QStringLiteral("/routes.json"));
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(routes).toJson());
    file.commit();
}

QJsonObject HttpPeer::Send(const QByteArray &latin1)
{
    return {{QStringLiteral("send"), QString::fromLatin1(latin1)}};
}

QJsonObject HttpPeer::Sleep(int ms)
{
    return {{QStringLiteral("sleep"), ms}};
}

QJsonObject HttpPeer::Repeat(const QByteArray &latin1, int count, int pauseMs)
{
    return {{QStringLiteral("repeat"), QString::fromLatin1(latin1)},
            {QStringLiteral("count"), count},
            {QStringLiteral("pause"), pauseMs}};
}

QJsonObject HttpPeer::Hold(int ms)
{
    return {{QStringLiteral("hold"), ms}};
}

QList<PeerRequest> HttpPeer::Requests() const
{
    QList<PeerRequest> requests;
    QFile log(root() + QStringLiteral("/requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        QJsonObject entry = QJsonDocument::fromJson(line).object();
        requests.append({entry.value(QStringLiteral("path")).toString(),
                         entry.value(QStringLiteral("target")).toString(),
                         QByteArray::fromBase64(entry.value(QStringLiteral("head")).toString().toLatin1()),
                         QByteArray::fromBase64(entry.value(QStringLiteral("body")).toString().toLatin1())});
    }
    return requests;
}

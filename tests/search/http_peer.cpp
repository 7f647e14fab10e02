#include "http_peer.h"

#ifdef TARVO_HAVE_TESTSUPPORT
#include "support/peer_server.h"
#else
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#endif

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

HttpPeer::HttpPeer() = default;
HttpPeer::~HttpPeer()
{
#ifndef TARVO_HAVE_TESTSUPPORT
    if (process_) {
        process_->kill();
        process_->waitForFinished(5000);
    }
#endif
}

#ifdef TARVO_HAVE_TESTSUPPORT
bool HttpPeer::Start(QString *whyNot)
{
    server_ = testsupport::PeerServer::StartScript(
        testsupport::PeerScriptsFolder() + QStringLiteral("/http_peer.py"),
        {QStringLiteral("--root"), QStringLiteral("{root}"), QStringLiteral("--port"), QStringLiteral("{port}")},
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
#else
bool HttpPeer::Start(QString *whyNot)
{
    folder_ = std::make_unique<QTemporaryDir>();
    process_ = std::make_unique<QProcess>();
    QString source = QProcessEnvironment::systemEnvironment().value(QStringLiteral("TARVO_SOURCE_DIR"));
    process_->start(QStringLiteral("/usr/bin/python3"),
                    {source + QStringLiteral("/tests/peers/http_peer.py"), QStringLiteral("--root"), folder_->path()});
    if (!process_->waitForStarted(5000) || !process_->waitForReadyRead(10000)) {
        *whyNot = QStringLiteral("http_peer.py did not start: ") + QString::fromLocal8Bit(process_->readAllStandardError());
        return false;
    }
    QRegularExpressionMatch m = QRegularExpression(QStringLiteral("PORT (\\d+)"))
                                    .match(QString::fromLatin1(process_->readAllStandardOutput()));
    port_ = quint16(m.captured(1).toUInt());
    return port_ != 0;
}

quint16 HttpPeer::Port() const
{
    return port_;
}

QString HttpPeer::root() const
{
    return folder_->path();
}
#endif

QString HttpPeer::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(Port());
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

#pragma once
// The scripted HTTP peer (tests/peers/http_peer.py) as the tests use it: a
// process on a free loopback port whose answers are set per path, and the log
// of the requests it received.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <memory>

namespace testsupport {
class PeerServer;
}

struct PeerRequest {
    QString path;
    QString target;
    QByteArray head;  // request line and header lines, CR LF, up to the empty line
    QByteArray body;
};

class HttpPeer {
public:
    HttpPeer();
    ~HttpPeer();

    // False (with the reason) when the script could not be started.
    bool Start(QString *whyNot);
    // HTTPS with the certificate and key (PEM files).
    bool StartTls(const QString &certificateFile, const QString &keyFile, QString *whyNot);
    quint16 Port() const;
    QString BaseUrl() const;  // "http://127.0.0.1:port", "https://..." with TLS

    // Replaces all routes: path -> list of steps (see the script).
    void SetRoutes(const QJsonObject &routes);
    // Helpers for the common steps.
    static QJsonObject Send(const QByteArray &latin1);
    static QJsonObject Sleep(int ms);
    static QJsonObject Repeat(const QByteArray &latin1, int count, int pauseMs);
    static QJsonObject Hold(int ms);

    QList<PeerRequest> Requests() const;

private:
    QString root() const;
    std::unique_ptr<testsupport::PeerServer> server_;
    bool tls_ = false;
};

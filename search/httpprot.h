#pragma once
// THttpCli: the HTTP/1.0 client component. It runs over its own TWSocket;
// a request goes lookup -> connect -> header -> body -> closed, each step
// driven by a socket event, and ends with the deferred Ready state and
// OnRequestDone. Get, Post and Head wait for the end while keeping the event
// loop running, so the user can still press "stop" (Abort).

#include "http_chunked.h"
#include "http_response.h"
#include "wsocket.h"

#include "platform/exceptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QIODevice;

enum class THttpState {
    Ready = 0,
    Connecting = 1,
    Resolving = 2,
    WaitingHeader = 3,
    WaitingBody = 4,
    Aborting = 5,
};

enum THttpRequest { httpGET = 1, httpPOST = 2, httpHEAD = 3 };

// RequestDoneError beside 0, 3 (aborted), the socket's numbers and the TLS
// layer's (platform::TlsErrorNumber): the client's own reasons.
enum THttpRequestError : int {
    httperrAborted = 3,
    httperrIncomplete = 12101,   // the body ended before its length or last chunk, or its coding is broken
    httperrCertificate = 12102,  // the server's certificate was not accepted
    httperrUnsupported = 12103,  // a scheme other than http and https, or https through a proxy
};

// What the owner answers about a certificate that failed verification.
enum THttpCertificateAnswer { httpCertReject, httpCertAcceptOnce, httpCertAlwaysTrust };

class EHttpException : public platform::Exception {
public:
    EHttpException(const QString &message, int errorCode)
        : platform::Exception(message), errorCode_(errorCode) {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

class THttpCli : public QObject {
    Q_OBJECT
public:
    // A redirect chain longer than this is a loop (or as good as one).
    static constexpr int MaxRedirects = 20;
    // All header lines of one request, redirects included: past this the
    // server is not sending a header any more.
    static constexpr qsizetype MaxHeaderBytes = 256 * 1024;

    using Notify = std::function<void(QObject *sender)>;
    using DataEvent = std::function<void(QObject *sender, const char *buffer, int length)>;

    explicit THttpCli(QObject *parent = nullptr);
    ~THttpCli() override;

    // Published properties.
    QString URL;
    QString Proxy;
    QString ProxyPort = QStringLiteral("80");
    QString Sender;
    QString Agent;
    QString Reference;
    QString Username;
    QString Password;
    QString ProxyUsername;
    QString ProxyPassword;
    bool NoCache = false;
    QDateTime ModifiedSince;  // invalid: none
    QString Cookie;
    QString ContentTypePost = QStringLiteral("application/x-www-form-urlencoded");
    bool MultiThreaded = false;

    // Published events; empty ones are skipped.
    std::function<void(QObject *sender, const QByteArray &line)> OnCommand;
    Notify OnHeaderBegin;
    Notify OnHeaderEnd;
    Notify OnHeaderData;
    Notify OnDocBegin;
    DataEvent OnDocData;
    Notify OnDocEnd;
    Notify OnSendBegin;
    DataEvent OnSendData;
    Notify OnSendEnd;
    Notify OnStateChange;
    std::function<void(QObject *sender, int requestType, int error)> OnRequestDone;
    Notify OnLocationChange;
    std::function<void(QObject *sender, const QString &text)> OnTrace;
    // An https server's certificate failed verification and is not in the
    // trust store: the owner decides (no handler: rejected). endpoint is
    // "host:port". The event loop may run inside (a question to the user).
    std::function<void(QObject *sender, const QString &endpoint, const platform::TlsCertificateInfo &certificate,
                       bool changed, THttpCertificateAnswer &answer)>
        OnCertificate;
    // The file of always-trusted certificates; empty: the settings folder's.
    QString TrustStoreFile;

    // Run-time state. The streams belong to the caller and must outlive the request.
    QIODevice *ReceiveStream = nullptr;
    QIODevice *SendStream = nullptr;
    int StatusCode = 0;
    QString ReasonPhrase;
    qint64 ContentLength = -1;
    QString ContentType;
    QList<QByteArray> ReceivedHeader;
    QList<QByteArray> AuthChallenges;
    int RequestType = httpGET;
    int RequestDoneError = 0;
    // The https server's certificate of the last request (null over http).
    platform::TlsCertificateInfo ServerCertificate;
    qint64 RcvdCount = 0;
    qint64 SentCount = 0;
    THttpState HttpState() const { return state_; }

    // Synchronous: return when the request has ended; a status of 400 or more
    // raises EHttpException with the reason phrase.
    void Get();
    void Post();
    void Head();
    void Abort();

    TWSocket &CtrlSocket() { return socket_; }

private:
    void doRequestSync(int requestType);
    void startRequest(int requestType);
    // Both return false when a handler has deleted the client: touch nothing then.
    [[nodiscard]] bool setState(THttpState state);
    void startLookup();

    // Socket events, one handler each.
    void socketDnsLookupDone(int error);
    void socketSessionConnected(int error);
    void socketDataAvailable();
    void socketDataSent();
    void socketSessionClosed(int error);
    void socketTlsDone(int error);
    bool acceptCertificate(const platform::TlsCertificateInfo &certificate);
    bool secure() const;
    QString defaultPort() const;
    QString incompleteResponse(int closeError) const;
    void deliverBody(const char *data, int length);

    void sendRequest();
    void sendNextBodyChunk();
    QByteArray requestTarget() const;
    HttpResponseReader::LineVerdict headerLine(const QByteArray &line);
    HttpResponseReader::LineVerdict headerEnd();
    void applyLocation(const QByteArray &location);
    void bodyChunk(const char *data, int length);
    void failRequest(const QString &reason);
    void closingStep();
    void post(std::function<void()> step);
    [[nodiscard]] bool fire(const Notify &event);

    TWSocket socket_;
    HttpResponseReader reader_;
    HttpChunkedDecoder chunked_;
    bool chunkedBody_ = false;
    THttpState state_ = THttpState::Ready;

    // Where the request goes: the target (URL or redirect) and the connection
    // (the target, or the proxy).
    QString targetProto_;
    QString targetHost_;
    QString targetPort_;
    QString path_;
    QString connectHost_;
    QString connectPort_;
    QString requestUser_;
    QString requestPassword_;

    bool headerBegun_ = false;
    bool locationSeen_ = false;
    bool redirecting_ = false;
    int redirects_ = 0;
    qsizetype headerBytes_ = 0;
    int bodyChunks_ = 0;
    bool closingDone_ = true;
    bool sendingBody_ = false;
    bool sendEnded_ = false;
    bool receiving_ = false;
    bool readAgain_ = false;
    quint64 request_ = 0;  // posted steps of an earlier request are dropped
};

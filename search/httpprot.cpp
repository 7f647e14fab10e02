#include "httpprot.h"

#include "http_url.h"
#include "socket_error_text.h"

#include "platform/codepage.h"
#include "platform/tls_trust_store.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QIODevice>
#include <QPointer>

using LineVerdict = HttpResponseReader::LineVerdict;

THttpCli::THttpCli(QObject *parent) : QObject(parent), socket_(this)
{
    socket_.OnDnsLookupDone = [this](QObject *, int error) { socketDnsLookupDone(error); };
    socket_.OnSessionConnected = [this](QObject *, int error) { socketSessionConnected(error); };
    socket_.OnDataAvailable = [this](QObject *, int) { socketDataAvailable(); };
    socket_.OnDataSent = [this](QObject *, int) { socketDataSent(); };
    socket_.OnSessionClosed = [this](QObject *, int error) { socketSessionClosed(error); };
    socket_.OnTlsDone = [this](QObject *, int error) { socketTlsDone(error); };
    reader_.OnLine = [this](const QByteArray &line) { return headerLine(line); };
    reader_.OnBody = [this](const char *data, int length) { bodyChunk(data, length); };
}

THttpCli::~THttpCli()
{
    socket_.OnDnsLookupDone = nullptr;
    socket_.OnSessionConnected = nullptr;
    socket_.OnDataAvailable = nullptr;
    socket_.OnDataSent = nullptr;
    socket_.OnSessionClosed = nullptr;
    socket_.OnTlsDone = nullptr;
}

bool THttpCli::fire(const Notify &event)
{
    Notify handler = event;
    if (!handler)
        return true;
    QPointer<THttpCli> self(this);
    handler(this);
    return !self.isNull();
}

bool THttpCli::setState(THttpState state)
{
    if (state_ == state)
        return true;
    state_ = state;
    return fire(OnStateChange);
}

void THttpCli::post(std::function<void()> step)
{
    QPointer<THttpCli> self(this);
    quint64 request = request_;
    QMetaObject::invokeMethod(this, [self, request, step = std::move(step)] {
        if (self && self->request_ == request)
            step();
    }, Qt::QueuedConnection);
}

void THttpCli::Get() { doRequestSync(httpGET); }
void THttpCli::Post() { doRequestSync(httpPOST); }
void THttpCli::Head() { doRequestSync(httpHEAD); }

void THttpCli::doRequestSync(int requestType)
{
    QPointer<THttpCli> self(this);
    startRequest(requestType);
    while (self && state_ != THttpState::Ready) {
        if (MultiThreaded) {
            // Outside the user-interface thread: this thread's own messages.
            if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
                dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
        } else {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    if (self && StatusCode >= 400)
        throw EHttpException(ReasonPhrase, StatusCode);
}

void THttpCli::startRequest(int requestType)
{
    if (state_ != THttpState::Ready)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    if (requestType == httpPOST && !SendStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post"), 2);

    ++request_;
    ReceivedHeader.clear();
    AuthChallenges.clear();
    RequestType = requestType;
    RequestDoneError = 0;
    if (!setState(THttpState::Connecting))
        return;
    StatusCode = 0;
    ReasonPhrase.clear();
    ContentLength = -1;
    ContentType.clear();
    RcvdCount = 0;
    SentCount = 0;
    headerBytes_ = 0;
    bodyChunks_ = 0;
    headerBegun_ = false;
    locationSeen_ = false;
    redirecting_ = false;
    redirects_ = 0;
    closingDone_ = false;
    ServerCertificate = {};

    HttpUrlParts url = ParseURL(URL);
    targetProto_ = url.Proto.isEmpty() ? QStringLiteral("http") : url.Proto;
    targetHost_ = url.Host;
    targetPort_ = url.Port;
    path_ = url.Path.isEmpty() ? QStringLiteral("/") : url.Path;
    requestUser_ = url.User.isEmpty() ? Username : url.User;
    requestPassword_ = url.User.isEmpty() ? Password : url.Pass;
    if (Proxy.isEmpty()) {
        connectHost_ = targetHost_;
        connectPort_ = targetPort_.isEmpty() ? defaultPort() : targetPort_;
    } else {
        HttpUrlParts proxy = ParseURL(Proxy);
        connectHost_ = proxy.Host;
        connectPort_ = proxy.Port.isEmpty() ? ProxyPort : proxy.Port;
    }
    startLookup();
}

bool THttpCli::secure() const
{
    return targetProto_.compare(u"https", Qt::CaseInsensitive) == 0;
}

QString THttpCli::defaultPort() const
{
    return secure() ? QStringLiteral("443") : QStringLiteral("80");
}

void THttpCli::startLookup()
{
    reader_.Reset();
    // Each response of a redirect chain frames its own body.
    ContentLength = -1;
    chunkedBody_ = false;
    chunked_.Reset();
    if (!setState(THttpState::Resolving))
        return;
    if (!secure() && targetProto_.compare(u"http", Qt::CaseInsensitive) != 0) {
        RequestDoneError = httperrUnsupported;
        failRequest(QStringLiteral("Unsupported protocol \"%1\"").arg(targetProto_));
        return;
    }
    try {
        socket_.DnsLookup(connectHost_);
    } catch (const ESocketException &) {
        // An empty host: the lookup has already completed with its error.
    }
}

void THttpCli::socketDnsLookupDone(int error)
{
    if (state_ != THttpState::Resolving)
        return;  // aborted meanwhile
    if (error != 0) {
        StatusCode = 404;
        ReasonPhrase = QStringLiteral("can't resolve hostname to IP address");
        closingStep();
        return;
    }
    if (!setState(THttpState::Connecting))
        return;
    try {
        socket_.SetAddr(socket_.DnsResult());
        socket_.SetPort(connectPort_);
        socket_.SetProto(QStringLiteral("tcp"));
        socket_.Connect();
    } catch (const ESocketException &) {
        int code = socket_.LastError();
        RequestDoneError = code;
        StatusCode = 404;
        ReasonPhrase = QStringLiteral("can't connect: %1 (Error #%2)").arg(SocketErrorText(code)).arg(code);
        socket_.Close();
        closingStep();
    }
}

void THttpCli::socketSessionConnected(int error)
{
    if (state_ != THttpState::Connecting)
        return;
    if (error != 0) {
        RequestDoneError = error;
        StatusCode = 404;
        ReasonPhrase = QStringLiteral("%1 (Error #%2)").arg(SocketErrorText(error)).arg(error);
        closingStep();
        return;
    }
    if (secure()) {
        // A proxy would need CONNECT, which this client does not speak.
        if (!Proxy.isEmpty()) {
            RequestDoneError = httperrUnsupported;
            failRequest(QStringLiteral("https:// addresses cannot go through the proxy"));
            return;
        }
        int tlsError = socket_.StartTls(targetHost_);
        if (tlsError != 0) {
            RequestDoneError = tlsError;
            failRequest(QStringLiteral("TLS with %1 could not start: %2").arg(targetHost_, platform::TlsErrorText(tlsError)));
        }
        return;  // the request goes out once the handshake and the certificate are through
    }
    if (!setState(THttpState::WaitingHeader))
        return;
    sendRequest();
}

void THttpCli::socketTlsDone(int error)
{
    if (state_ != THttpState::Connecting)
        return;
    if (error != 0) {
        RequestDoneError = error;
        QString text = platform::TlsErrorText(error);
        if (!socket_.TlsErrorText().isEmpty())
            text += QStringLiteral(": ") + socket_.TlsErrorText();
        failRequest(QStringLiteral("TLS with %1 failed: %2").arg(targetHost_, text));
        return;
    }
    ServerCertificate = socket_.TlsCertificate();
    QPointer<THttpCli> self(this);
    const quint64 request = request_;
    const bool accepted = acceptCertificate(ServerCertificate);
    // The question may have run the event loop: the request may be gone.
    if (!self || request != request_ || state_ != THttpState::Connecting || socket_.State() != wsConnected)
        return;
    if (!accepted) {
        RequestDoneError = httperrCertificate;
        failRequest(QStringLiteral("The certificate of %1 was not accepted: %2").arg(targetHost_, ServerCertificate.Problems()));
        return;
    }
    if (!setState(THttpState::WaitingHeader))
        return;
    sendRequest();
}

bool THttpCli::acceptCertificate(const platform::TlsCertificateInfo &certificate)
{
    if (certificate.IsNull())
        return false;
    if (certificate.Verified())
        return true;
    platform::TlsTrustStore store(TrustStoreFile);
    const QString key = platform::TlsTrustStore::Key(targetHost_, quint16(connectPort_.toUInt()));
    if (store.IsTrusted(key, certificate.sha256))
        return true;
    if (!OnCertificate)
        return false;
    const bool changed = store.HasOther(key, certificate.sha256);
    THttpCertificateAnswer answer = httpCertReject;
    QPointer<THttpCli> self(this);
    auto handler = OnCertificate;
    handler(this, key, certificate, changed, answer);
    if (!self)
        return false;
    if (answer == httpCertAlwaysTrust)
        store.Trust(key, certificate.sha256);
    return answer == httpCertAcceptOnce || answer == httpCertAlwaysTrust;
}

QByteArray THttpCli::requestTarget() const
{
    QString target = path_;
    if (!Proxy.isEmpty()) {
        // A proxy needs the absolute address; a port the URL names goes with it.
        target = targetProto_ + QStringLiteral("://") + targetHost_
                 + (targetPort_.isEmpty() ? QString() : u':' + targetPort_) + path_;
    }
    // Blanks, control characters and 8-bit bytes cannot stand in a request
    // line (a lone CR from a hostile Location would even start a new header).
    QByteArray bytes = target.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) {
            out += '%';
            out += QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

QByteArray Rfc1123Date(const QDateTime &when)
{
    static const char *const Days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Written as it stands, not converted to GMT.
    QDate date = when.date();
    QTime time = when.time();
    return QByteArray(Days[date.dayOfWeek() - 1]) + ", "
           + QByteArray::number(date.day()).rightJustified(2, '0') + ' ' + Months[date.month() - 1] + ' '
           + QByteArray::number(date.year()).rightJustified(4, '0') + ' '
           + time.toString(QStringLiteral("hh:mm:ss")).toLatin1() + " GMT";
}

QByteArray BasicCredentials(const QString &user, const QString &password)
{
    return (user + u':' + password).toUtf8().toBase64();
}

}  // namespace

void THttpCli::sendRequest()
{
    static const char *const Methods[] = {"", "GET", "POST", "HEAD"};
    QList<QByteArray> lines;
    auto line = [&](const QByteArray &text) { lines.append(text); };

    line(QByteArray(Methods[RequestType]) + ' ' + requestTarget() + " HTTP/1.0");
    if (!Sender.isEmpty())
        line("From: " + Sender.toUtf8());
    if (!Reference.isEmpty())
        line("Referer: " + Reference.toUtf8());
    if (RequestType == httpPOST)
        line("Content-Type: " + ContentTypePost.toUtf8());
    if (!Agent.isEmpty())
        line("User-Agent: " + Agent.toUtf8());
    line("Host: " + targetHost_.toUtf8());
    if (NoCache)
        line("Pragma: no-cache");
    if (RequestType == httpPOST)
        line("Content-Length: " + QByteArray::number(SendStream ? SendStream->size() : 0));
    if (ModifiedSince.isValid())
        line("If-Modified-Since: " + Rfc1123Date(ModifiedSince));
    if (!requestUser_.isEmpty())
        line("Authorization: Basic " + BasicCredentials(requestUser_, requestPassword_));
    if (!Proxy.isEmpty() && !ProxyUsername.isEmpty())
        line("Proxy-Authorization: Basic " + BasicCredentials(ProxyUsername, ProxyPassword));
    if (!Cookie.isEmpty())
        line("Cookie: " + Cookie.toUtf8());
    line(QByteArray());

    // The handlers may abort or even delete the client while it is queued.
    QPointer<THttpCli> self(this);
    if (!fire(OnHeaderBegin))
        return;
    QByteArray request;
    for (const QByteArray &text : std::as_const(lines)) {
        if (text.isEmpty() && !fire(OnHeaderEnd))
            return;
        if (OnCommand) {
            std::function<void(QObject *, const QByteArray &)> handler = OnCommand;
            handler(this, text);
            if (!self)
                return;
        }
        request += text;
        request += "\r\n";
    }
    if (state_ != THttpState::WaitingHeader)
        return;  // aborted meanwhile

    sendingBody_ = RequestType == httpPOST;
    sendEnded_ = false;
    if (sendingBody_ && SendStream)
        SendStream->seek(0);
    socket_.Send(request.constData(), int(request.size()));
}

void THttpCli::socketDataSent()
{
    if (sendingBody_ && state_ == THttpState::WaitingHeader)
        sendNextBodyChunk();
}

void THttpCli::sendNextBodyChunk()
{
    char chunk[HttpResponseReader::BufferSize];
    qint64 length = SendStream ? SendStream->read(chunk, sizeof chunk) : 0;
    if (length <= 0) {
        sendingBody_ = false;
        if (!sendEnded_) {
            sendEnded_ = true;
            (void)fire(OnSendEnd);
        }
        return;
    }
    if (SentCount == 0 && !fire(OnSendBegin))
        return;
    SentCount += length;
    QPointer<THttpCli> self(this);
    if (OnSendData)
        OnSendData(this, chunk, int(length));
    if (self && socket_.State() == wsConnected)
        socket_.Send(chunk, int(length));
}

void THttpCli::socketDataAvailable()
{
    // A handler that pumps events must not get a second read inside the
    // first: the buffer is in use. Note it and read once more afterwards.
    if (receiving_) {
        readAgain_ = true;
        return;
    }
    receiving_ = true;
    QPointer<THttpCli> self(this);
    do {
        readAgain_ = false;
        if (state_ != THttpState::WaitingHeader && state_ != THttpState::WaitingBody) {
            // Nothing wants the bytes: drain them so the socket goes on.
            char discard[HttpResponseReader::BufferSize];
            if (socket_.Receive(discard, sizeof discard) <= 0)
                break;
            continue;
        }
        int got = socket_.Receive(reader_.FreeSpace(), reader_.FreeCount());
        if (got <= 0)
            break;
        if (!reader_.Filled(got)) {
            failRequest(QStringLiteral("Response header line too long (more than %1 bytes)")
                            .arg(HttpResponseReader::MaxFill));
            break;
        }
    } while (self && readAgain_);
    if (self)
        receiving_ = false;
}

LineVerdict THttpCli::headerLine(const QByteArray &line)
{
    if (state_ != THttpState::WaitingHeader)
        return LineVerdict::Stop;
    if (!headerBegun_) {
        headerBegun_ = true;
        if (!fire(OnHeaderBegin))
            return LineVerdict::Gone;
        if (state_ != THttpState::WaitingHeader)
            return LineVerdict::Stop;
    }
    if (line.isEmpty())
        return headerEnd();

    headerBytes_ += line.size();
    if (headerBytes_ > MaxHeaderBytes) {
        failRequest(QStringLiteral("Response header too large (more than %1 bytes)").arg(MaxHeaderBytes));
        return LineVerdict::Stop;
    }
    ReceivedHeader.append(line);

    int code = 0;
    QByteArray reason;
    QByteArray name;
    QByteArray value;
    switch (ParseStatusLine(line, &code, &reason)) {
    case StatusLineKind::Status:
        StatusCode = code;
        ReasonPhrase = platform::DecodeAnsi(reason);
        break;
    case StatusLineKind::Malformed:
        failRequest(QStringLiteral("Invalid status line in the response"));
        return LineVerdict::Stop;
    case StatusLineKind::NotStatus:
        if (!ParseHeaderField(line, &name, &value))
            break;
        if (name == "location") {
            applyLocation(value);
        } else if (name == "content-length") {
            bool ok = false;
            qint64 length = value.trimmed().toLongLong(&ok);
            if (ok)
                ContentLength = length;
        } else if (name == "transfer-encoding") {
            chunkedBody_ = value.toLower().contains("chunked");
        } else if (name == "content-type") {
            ContentType = QString::fromLatin1(value);
        } else if (name == "www-authenticate") {
            AuthChallenges.append(value);
        }
        break;
    }

    if (!fire(OnHeaderData))
        return LineVerdict::Gone;
    if (state_ != THttpState::WaitingHeader)
        return LineVerdict::Stop;
    if (StatusCode >= 400) {
        // The body of an error response is not read.
        socket_.Close();
        return LineVerdict::Stop;
    }
    return LineVerdict::Continue;
}

void THttpCli::applyLocation(const QByteArray &location)
{
    if (location.isEmpty())
        return;
    locationSeen_ = true;
    QString text = platform::DecodeAnsi(location);
    if (text.startsWith(u'/') && !text.startsWith(u"//")) {
        path_ = text;
        return;
    }
    HttpUrlParts url = ParseURL(text);
    if (url.Proto.isEmpty()) {
        // Relative to the directory of the current document.
        QString directory = path_.left(path_.indexOf(u'?') >= 0 ? path_.indexOf(u'?') : path_.size());
        directory = directory.left(directory.lastIndexOf(u'/') + 1);
        path_ = (directory.isEmpty() ? QStringLiteral("/") : directory) + text;
        return;
    }
    path_ = url.Path.isEmpty() ? QStringLiteral("/") : url.Path;
    if (!url.Host.isEmpty()) {
        targetHost_ = url.Host;
        targetPort_ = url.Port;
    } else if (!url.Port.isEmpty()) {
        targetPort_ = url.Port;
    }
    if (!url.Proto.isEmpty())
        targetProto_ = url.Proto;
    if (Proxy.isEmpty()) {
        connectHost_ = targetHost_;
        connectPort_ = targetPort_.isEmpty() ? defaultPort() : targetPort_;
    }
}

LineVerdict THttpCli::headerEnd()
{
    if (locationSeen_) {
        if (redirects_ >= MaxRedirects) {
            failRequest(QStringLiteral("Too many redirections (more than %1)").arg(MaxRedirects));
            return LineVerdict::Stop;
        }
        ++redirects_;
        locationSeen_ = false;
        redirecting_ = true;
        socket_.Close();
        return LineVerdict::Stop;
    }
    if (!setState(THttpState::WaitingBody) || !fire(OnHeaderEnd))
        return LineVerdict::Gone;
    if (state_ != THttpState::WaitingBody)
        return LineVerdict::Stop;
    return LineVerdict::Body;
}

void THttpCli::bodyChunk(const char *data, int length)
{
    if (state_ != THttpState::WaitingBody && state_ != THttpState::Aborting)
        return;
    if (!chunkedBody_) {
        deliverBody(data, length);
        return;
    }
    QByteArray decoded;
    const HttpChunkedDecoder::Result result = chunked_.Feed(data, length, &decoded);
    QPointer<THttpCli> self(this);
    if (!decoded.isEmpty())
        deliverBody(decoded.constData(), int(decoded.size()));
    if (!self || state_ != THttpState::WaitingBody)
        return;
    if (result == HttpChunkedDecoder::Result::Invalid) {
        RequestDoneError = httperrIncomplete;
        failRequest(QStringLiteral("Invalid chunked body in the response"));
    } else if (result == HttpChunkedDecoder::Result::Done && socket_.State() != wsClosed) {
        socket_.Close();  // the document is complete, whatever the server does next
    }
}

void THttpCli::deliverBody(const char *data, int length)
{
    if (bodyChunks_ == 0 && !fire(OnDocBegin))
        return;
    QPointer<THttpCli> self(this);
    ++bodyChunks_;
    RcvdCount += length;
    if (OnDocData)
        OnDocData(this, data, length);
    if (self && ReceiveStream)
        ReceiveStream->write(data, length);
}

void THttpCli::failRequest(const QString &reason)
{
    StatusCode = 404;
    ReasonPhrase = reason;
    redirecting_ = false;
    if (socket_.State() != wsClosed)
        socket_.Close();  // its closed event ends the request
    else
        closingStep();
}

QString THttpCli::incompleteResponse(int closeError) const
{
    if (state_ == THttpState::WaitingHeader)
        return QStringLiteral("Connection closed before the end of the response header");
    if (state_ != THttpState::WaitingBody || RequestType == httpHEAD)
        return {};
    if (chunkedBody_) {
        return chunked_.Complete() ? QString()
                                   : QStringLiteral("Document truncated: the connection closed before the last chunk");
    }
    if (ContentLength >= 0) {
        return RcvdCount >= ContentLength
                   ? QString()
                   : QStringLiteral("Document truncated: %1 of %2 bytes received").arg(RcvdCount).arg(ContentLength);
    }
    // Without a length only a clean close ends the document; a reset or a TLS
    // stream cut without close_notify may have cut it.
    if (closeError != 0) {
        const QString why = platform::TlsErrorText(closeError);
        return QStringLiteral("Document truncated: the connection ended with %1 (Error #%2)")
            .arg(why.isEmpty() ? SocketErrorText(closeError) : why)
            .arg(closeError);
    }
    return {};
}

void THttpCli::socketSessionClosed(int error)
{
    if (closingDone_)
        return;
    // A failure already told (or a server error, closed on purpose) keeps its words.
    if (!redirecting_ && StatusCode < 400) {
        const QString why = incompleteResponse(error);
        if (!why.isEmpty()) {
            StatusCode = 404;
            ReasonPhrase = why;
            if (RequestDoneError == 0)
                RequestDoneError = httperrIncomplete;
        }
    }
    if (redirecting_) {
        redirecting_ = false;
        if (!fire(OnLocationChange))
            return;
        post([this] {
            if (!closingDone_ && state_ != THttpState::Aborting)
                startLookup();
        });
        return;
    }
    closingStep();
}

void THttpCli::closingStep()
{
    if (closingDone_)
        return;
    closingDone_ = true;
    redirecting_ = false;
    sendingBody_ = false;
    if (bodyChunks_ > 0 && !fire(OnDocEnd))
        return;
    post([this] {
        // Queued before Ready is set: a handler of the state change may
        // already start the next request, whose figures must not leak in here.
        QPointer<THttpCli> self(this);
        int requestType = RequestType;
        int error = RequestDoneError;
        QMetaObject::invokeMethod(this, [self, requestType, error] {
            if (self && self->OnRequestDone)
                self->OnRequestDone(self, requestType, error);
        }, Qt::QueuedConnection);
        (void)setState(THttpState::Ready);
    });
}

void THttpCli::Abort()
{
    if (state_ == THttpState::Ready) {
        if (socket_.State() != wsClosed)
            socket_.Close();
        return;
    }
    if (closingDone_ || state_ == THttpState::Aborting)
        return;  // already ending
    bool wasResolving = state_ == THttpState::Resolving;
    if (!setState(THttpState::Aborting))
        return;
    if (wasResolving) {
        try {
            socket_.CancelDnsLookup();
        } catch (const ESocketException &) {
        }
    }
    StatusCode = 304;
    ReasonPhrase = QStringLiteral("Connection aborted on request");
    RequestDoneError = 3;
    redirecting_ = false;
    if (wasResolving || socket_.State() == wsClosed)
        closingStep();  // between a redirect's close and its next lookup, too
    else
        socket_.Close();
}

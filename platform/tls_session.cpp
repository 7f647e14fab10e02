#include "tls_session.h"

#include <QHostAddress>
#include <QStringList>
#include <QTimeZone>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/socket.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace platform {

namespace detail {

int StoreNewSession(SSL *ssl, SSL_SESSION *session)
{
    auto *owner = static_cast<TlsSession *>(SSL_get_app_data(ssl));
    if (!owner)
        return 0;
    owner->KeepSession(session);
    return 1;  // the reference is ours now
}

}  // namespace detail

namespace {

// The descriptor as OpenSSL's transport. OpenSSL's own socket BIO writes with
// write(2), which raises SIGPIPE on a connection the peer has closed; this one
// sends with MSG_NOSIGNAL, as AsyncSocket does for plain data.
struct DescriptorBio {
    int fd = -1;
    bool eof = false;
};

int BioWrite(BIO *bio, const char *data, int count)
{
    auto *state = static_cast<DescriptorBio *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(state->fd, data, size_t(count), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return int(sent);
}

int BioRead(BIO *bio, char *buffer, int count)
{
    auto *state = static_cast<DescriptorBio *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const ssize_t got = ::recv(state->fd, buffer, size_t(count), 0);
    if (got == 0)
        state->eof = true;
    else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return int(got);
}

int BioPuts(BIO *bio, const char *text)
{
    return BioWrite(bio, text, int(std::strlen(text)));
}

long BioControl(BIO *bio, int command, long, void *)
{
    auto *state = static_cast<DescriptorBio *>(BIO_get_data(bio));
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        // Tells OpenSSL that a read of 0 was the end of the stream: without
        // close_notify before it, that is a truncation.
        return state && state->eof ? 1 : 0;
    default:
        return 0;
    }
}

int BioCreate(BIO *bio)
{
    BIO_set_data(bio, new DescriptorBio);
    BIO_set_init(bio, 1);
    return 1;
}

int BioDestroy(BIO *bio)
{
    delete static_cast<DescriptorBio *>(BIO_get_data(bio));
    BIO_set_data(bio, nullptr);
    return 1;
}

BIO_METHOD *DescriptorMethod()
{
    static BIO_METHOD *method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                     "tarvo descriptor");
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_puts(m, BioPuts);
        BIO_meth_set_ctrl(m, BioControl);
        BIO_meth_set_create(m, BioCreate);
        BIO_meth_set_destroy(m, BioDestroy);
        return m;
    }();
    return method;
}

QString NameText(const X509_NAME *name)
{
    BIO *out = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(out, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    const QString text = QString::fromUtf8(data, qsizetype(length));
    BIO_free(out);
    return text;
}

QDateTime TimeOf(const ASN1_TIME *time)
{
    tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return QDateTime();
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), QTimeZone::utc());
}

bool IsAddress(const QString &host)
{
    QHostAddress address;
    return address.setAddress(host);
}

}  // namespace

QString TlsErrorText(int error)
{
    switch (error) {
    case TlsErrorHandshake: return QStringLiteral("TLS handshake failed");
    case TlsErrorTruncated: return QStringLiteral("TLS stream ended without close_notify (truncated)");
    case TlsErrorProtocol: return QStringLiteral("TLS protocol error");
    case TlsErrorUnavailable: return QStringLiteral("TLS is not available");
    }
    return QString();
}

QString TlsCertificateInfo::Problems() const
{
    QStringList problems;
    if (IsNull())
        return QStringLiteral("no certificate");
    if (verifyCode != 0)
        problems << verifyText;
    if (!hostMatches)
        problems << QStringLiteral("the certificate is not for %1").arg(hostName);
    return problems.join(QStringLiteral("; "));
}

TlsSession::TlsSession(std::shared_ptr<TlsContext> context) : context_(std::move(context)) {}

TlsSession::~TlsSession()
{
    if (ssl_) {
        SSL_set_app_data(ssl_, nullptr);
        SSL_free(ssl_);
    }
}

bool TlsSession::Begin(int fd, const QString &hostName, const TlsSessionHandle &reuse)
{
    ERR_clear_error();
    if (!context_ || !context_->Handle()) {
        errorText_ = context_ ? context_->ErrorText() : QStringLiteral("no TLS context");
        return false;
    }
    ssl_ = SSL_new(context_->Handle());
    BIO *bio = ssl_ ? BIO_new(DescriptorMethod()) : nullptr;
    if (!bio) {
        errorText_ = TakeOpenSslErrors();
        return false;
    }
    static_cast<DescriptorBio *>(BIO_get_data(bio))->fd = fd;
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_app_data(ssl_, this);
    SSL_set_connect_state(ssl_);
    hostName_ = hostName;
    const QByteArray name = hostName.toUtf8();
    if (IsAddress(hostName)) {
        // An address literal: no SNI, and the certificate must name the address.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.constData());
    } else if (!name.isEmpty()) {
        SSL_set_tlsext_host_name(ssl_, name.constData());
        SSL_set1_host(ssl_, name.constData());
    }
    if (reuse && SSL_SESSION_is_resumable(reuse.get()))
        SSL_set_session(ssl_, reuse.get());
    return true;
}

TlsSession::Result TlsSession::Classify(int ret)
{
    const int systemError = errno;
    switch (SSL_get_error(ssl_, ret)) {
    case SSL_ERROR_WANT_READ:
        return Result::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return Result::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        return Result::Closed;
    case SSL_ERROR_SYSCALL:
        fatal_ = true;
        errorText_ = TakeOpenSslErrors();
        if (systemError == 0 || ret == 0) {
            systemError_ = 0;
            return Result::Truncated;
        }
        systemError_ = systemError;
        errorText_ = QString::fromLocal8Bit(std::strerror(systemError));
        return Result::Failed;
    case SSL_ERROR_SSL: {
        fatal_ = true;
        systemError_ = 0;
        const int reason = ERR_GET_REASON(ERR_peek_error());
        errorText_ = TakeOpenSslErrors();
        return reason == SSL_R_UNEXPECTED_EOF_WHILE_READING ? Result::Truncated : Result::Failed;
    }
    default:
        fatal_ = true;
        errorText_ = TakeOpenSslErrors();
        return Result::Failed;
    }
}

TlsSession::Result TlsSession::Handshake()
{
    if (!ssl_ || fatal_)
        return Result::Failed;
    if (established_)
        return Result::Done;
    ERR_clear_error();
    errno = 0;
    const int ret = SSL_do_handshake(ssl_);
    if (ret == 1) {
        established_ = true;
        return Result::Done;
    }
    return Classify(ret);
}

TlsSession::Result TlsSession::Read(char *buffer, qint64 count, qint64 *got)
{
    *got = 0;
    if (!ssl_ || fatal_)
        return Result::Failed;
    ERR_clear_error();
    errno = 0;
    const int ret = SSL_read(ssl_, buffer, int(qMin<qint64>(count, INT_MAX)));
    if (ret > 0) {
        *got = ret;
        return Result::Done;
    }
    return Classify(ret);
}

TlsSession::Result TlsSession::Peek(qint64 *got)
{
    *got = 0;
    if (!ssl_ || fatal_)
        return Result::Failed;
    ERR_clear_error();
    errno = 0;
    char probe;
    const int ret = SSL_peek(ssl_, &probe, 1);
    if (ret > 0) {
        *got = 1;
        return Result::Done;
    }
    return Classify(ret);
}

TlsSession::Result TlsSession::Write(const char *data, qint64 count, qint64 *taken)
{
    *taken = 0;
    if (!ssl_ || fatal_)
        return Result::Failed;
    if (count <= 0)
        return Result::Done;
    ERR_clear_error();
    errno = 0;
    const int ret = SSL_write(ssl_, data, int(qMin<qint64>(count, INT_MAX)));
    if (ret > 0) {
        *taken = ret;
        return Result::Done;
    }
    return Classify(ret);
}

TlsSession::Result TlsSession::Shutdown()
{
    if (!ssl_ || fatal_ || !established_ || shutdownSent_)
        return Result::Done;
    ERR_clear_error();
    errno = 0;
    const int ret = SSL_shutdown(ssl_);
    if (ret >= 0) {
        shutdownSent_ = true;
        return Result::Done;
    }
    const Result result = Classify(ret);
    return result == Result::WantRead ? Result::Done : result;
}

bool TlsSession::HasPending() const
{
    return ssl_ && !fatal_ && SSL_pending(ssl_) > 0;
}

QString TlsSession::Protocol() const
{
    return ssl_ ? QString::fromLatin1(SSL_get_version(ssl_)) : QString();
}

QString TlsSession::Cipher() const
{
    return ssl_ ? QString::fromLatin1(SSL_get_cipher_name(ssl_)) : QString();
}

TlsCertificateInfo TlsSession::Certificate() const
{
    TlsCertificateInfo info;
    info.hostName = hostName_;
    if (!ssl_)
        return info;
    X509 *cert = SSL_get0_peer_certificate(ssl_);
    if (!cert)
        return info;
    info.subject = NameText(X509_get_subject_name(cert));
    info.issuer = NameText(X509_get_issuer_name(cert));
    info.notBefore = TimeOf(X509_get0_notBefore(cert));
    info.notAfter = TimeOf(X509_get0_notAfter(cert));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) == 1)
        info.sha256 = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
    const int derLength = i2d_X509(cert, nullptr);
    if (derLength > 0) {
        info.der.resize(derLength);
        auto *out = reinterpret_cast<unsigned char *>(info.der.data());
        i2d_X509(cert, &out);
    }
    const long verify = SSL_get_verify_result(ssl_);
    const QByteArray name = hostName_.toUtf8();
    if (IsAddress(hostName_))
        info.hostMatches = X509_check_ip_asc(cert, name.constData(), 0) == 1;
    else
        info.hostMatches = !name.isEmpty() && X509_check_host(cert, name.constData(), size_t(name.size()), 0, nullptr) == 1;
    info.verifyCode = int(verify);
    info.verifyText = QString::fromLatin1(X509_verify_cert_error_string(verify));
    ERR_clear_error();
    return info;
}

TlsSessionHandle TlsSession::Session() const
{
    if (latest_)
        return latest_;
    if (!ssl_ || !established_)
        return nullptr;
    SSL_SESSION *session = SSL_get1_session(ssl_);
    return session ? TlsSessionHandle(session, SSL_SESSION_free) : nullptr;
}

bool TlsSession::SessionReused() const
{
    return ssl_ && SSL_session_reused(ssl_) == 1;
}

void TlsSession::KeepSession(ssl_session_st *session)
{
    latest_ = TlsSessionHandle(session, SSL_SESSION_free);
    issued_.push_back(latest_);
}

std::vector<TlsSessionHandle> TlsSession::TakeIssuedSessions()
{
    std::vector<TlsSessionHandle> taken;
    taken.swap(issued_);
    return taken;
}

}  // namespace platform

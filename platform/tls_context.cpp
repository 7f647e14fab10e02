#include "tls_context.h"

#include <QFile>
#include <QMutex>

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace platform {

namespace detail {
// In tls_session.cpp: stores a new session in the connection that received it.
int StoreNewSession(SSL *ssl, SSL_SESSION *session);
}

namespace {

QMutex &Lock()
{
    static QMutex mutex;
    return mutex;
}

std::shared_ptr<TlsContext> &Shared()
{
    static std::shared_ptr<TlsContext> context;
    return context;
}

QStringList &ExtraFiles()
{
    static QStringList files;
    return files;
}

}  // namespace

QString TakeOpenSslErrors()
{
    QStringList texts;
    while (unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        texts << QString::fromLatin1(buffer);
    }
    return texts.join(QStringLiteral("; "));
}

TlsContext::TlsContext()
{
    ERR_clear_error();
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (!ctx_) {
        error_ = TakeOpenSslErrors();
        return;
    }
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    // The result is read after the handshake; the owner decides what a
    // failure means, so the handshake itself always goes on.
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    if (SSL_CTX_set_default_verify_paths(ctx_) != 1)
        error_ = TakeOpenSslErrors();
    for (const QString &file : ExtraFiles())
        if (SSL_CTX_load_verify_locations(ctx_, QFile::encodeName(file).constData(), nullptr) != 1)
            error_ = TakeOpenSslErrors();
    // Partial writes: a send reports what went out, like a socket's send.
    SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Client sessions go to the connection that received them (kept there for
    // the data connections), not into OpenSSL's own cache.
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx_, &detail::StoreNewSession);
}

TlsContext::~TlsContext()
{
    if (ctx_)
        SSL_CTX_free(ctx_);
}

std::shared_ptr<TlsContext> TlsContext::Client()
{
    QMutexLocker locker(&Lock());
    if (!Shared())
        Shared() = std::shared_ptr<TlsContext>(new TlsContext);
    return Shared();
}

void TlsContext::AddTrustedCertificateFile(const QString &path)
{
    QMutexLocker locker(&Lock());
    ExtraFiles() << path;
    Shared().reset();
}

void TlsContext::Reset()
{
    QMutexLocker locker(&Lock());
    ExtraFiles().clear();
    Shared().reset();
}

}  // namespace platform

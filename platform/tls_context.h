#pragma once
// The client TLS context (OpenSSL 3) that every TLS connection of the program
// is made from: TLS 1.2 at least, the system's CA store, and a client session
// cache that hands each connection the sessions its server issued (TLS 1.3
// tickets arrive after the handshake), so that FTP data connections can
// resume the control connection's session.
//
// The certificate is verified during the handshake but a failure does not
// stop it: the owner reads the result (TlsCertificateInfo) and decides.

#include <QString>
#include <QStringList>
#include <memory>

struct ssl_ctx_st;
struct ssl_session_st;

namespace platform {

// A TLS session for resumption; shared, released with its last holder.
using TlsSessionHandle = std::shared_ptr<ssl_session_st>;

class TlsContext {
public:
    // The program's client context, made at the first use.
    static std::shared_ptr<TlsContext> Client();

    // Certificates (PEM files) trusted besides the system store, for tests
    // and private CAs; applies to the connections made afterwards.
    static void AddTrustedCertificateFile(const QString &path);
    // Forgets the context: the next Client() makes a new one (tests).
    static void Reset();

    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    ssl_ctx_st *Handle() const { return ctx_; }
    // Why the context could not be made (Handle() is null then).
    QString ErrorText() const { return error_; }

private:
    TlsContext();
    ssl_ctx_st *ctx_ = nullptr;
    QString error_;
};

// The OpenSSL error queue as one line (and the queue emptied).
QString TakeOpenSslErrors();

}  // namespace platform

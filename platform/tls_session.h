#pragma once
// One TLS client connection (OpenSSL 3) over a non-blocking descriptor that
// the platform's AsyncSocket owns. Every call returns at once and says what
// it waits for (the descriptor readable or writable); AsyncSocket maps that
// onto its notifications, so owners see the same edge-like events with and
// without TLS.
//
// After the handshake it tells the protocol version, the cipher and the
// server's certificate (TlsCertificateInfo), and keeps the latest session the
// server issued for resumption by another connection.

#include "tls_context.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

struct ssl_st;
struct bio_st;

namespace platform {

// Error numbers of the TLS layer, apart from the Winsock range (owners tell
// them apart from socket errors).
enum TlsErrorNumber : int {
    TlsErrorHandshake = 12001,   // the handshake failed (or the peer left during it)
    TlsErrorTruncated = 12002,   // the stream ended without the peer's close_notify
    TlsErrorProtocol = 12003,    // a TLS failure after the handshake (bad record, alert)
    TlsErrorUnavailable = 12004, // no TLS context (the library could not be set up)
};

// Text for a TLS error number ("" for other numbers).
QString TlsErrorText(int error);

// The server's certificate as the handshake found it.
struct TlsCertificateInfo {
    QString subject;           // RFC 2253 form
    QString issuer;
    QDateTime notBefore;       // UTC
    QDateTime notAfter;
    QString sha256;            // fingerprint of the DER certificate, lower-case hex
    QString hostName;          // the name (or address) it was checked against
    bool hostMatches = false;  // the certificate names hostName
    int verifyCode = 0;        // X509_V_OK (0) or OpenSSL's X509_V_ERR_... number
    QString verifyText;        // OpenSSL's text for verifyCode
    QByteArray der;

    bool IsNull() const { return sha256.isEmpty(); }
    // Chain verified against the trusted CAs and the host name matches.
    bool Verified() const { return !IsNull() && verifyCode == 0 && hostMatches; }
    // Everything wrong with it, for a dialog or a log ("" when verified).
    QString Problems() const;
};

class TlsSession {
public:
    enum class Result { Done, WantRead, WantWrite, Closed, Truncated, Failed };

    explicit TlsSession(std::shared_ptr<TlsContext> context = TlsContext::Client());
    ~TlsSession();
    TlsSession(const TlsSession &) = delete;
    TlsSession &operator=(const TlsSession &) = delete;

    // Binds to the descriptor as the client; the host name is sent as SNI (not
    // for an address) and checked in the certificate. `reuse` (may be null) is
    // offered for resumption. False with ErrorText() when it cannot start.
    bool Begin(int fd, const QString &hostName, const TlsSessionHandle &reuse);

    Result Handshake();
    // Done with *got > 0 bytes (up to count).
    Result Read(char *buffer, qint64 count, qint64 *got);
    // Done with *got = 1 when application data can be read; records that are
    // not data (a session ticket) are consumed.
    Result Peek(qint64 *got);
    Result Write(const char *data, qint64 count, qint64 *taken);
    // Sends close_notify; Done once it is out (the peer's is not waited for).
    Result Shutdown();

    bool Established() const { return established_; }
    // Decrypted bytes wait inside OpenSSL: no descriptor notification will tell.
    bool HasPending() const;
    QString Protocol() const;
    QString Cipher() const;
    TlsCertificateInfo Certificate() const;
    // The latest session for another connection to resume (null before any).
    TlsSessionHandle Session() const;
    // The sessions the server issued since the last call, oldest first. A
    // TLS 1.3 server with a session cache honours each ticket once, so a
    // client that opens many connections keeps them all (FTP data connections).
    std::vector<TlsSessionHandle> TakeIssuedSessions();
    bool SessionReused() const;
    // The errno behind the last Failed (0: a TLS failure, not the socket's).
    int SystemError() const { return systemError_; }
    QString ErrorText() const { return errorText_; }

    // For the context's new-session callback.
    void KeepSession(ssl_session_st *session);

private:
    Result Classify(int ret);

    std::shared_ptr<TlsContext> context_;
    ssl_st *ssl_ = nullptr;
    bool established_ = false;
    bool fatal_ = false;
    bool shutdownSent_ = false;
    int systemError_ = 0;
    QString errorText_;
    QString hostName_;
    TlsSessionHandle latest_;
    std::vector<TlsSessionHandle> issued_;
};

}  // namespace platform

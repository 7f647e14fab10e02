#pragma once
// An SMTP server whose replies the test writes: default replies for a plain
// dialogue, overridden per command and occurrence, with closes, silences and
// replies split across writes. Runs in the test's own event loop on a free
// loopback port and records everything the client sent.

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class ScriptedSmtpPeer : public QObject {
    Q_OBJECT
public:
    // Special replies.
    static inline const QByteArray Close = QByteArrayLiteral("<close>");    // close, no reply (or after the reply it ends)
    static inline const QByteArray Silent = QByteArrayLiteral("<silent>");  // no reply at all

    explicit ScriptedSmtpPeer(QObject *parent = nullptr);
    ~ScriptedSmtpPeer() override;

    bool Listen();
    quint16 Port() const { return server_.serverPort(); }

    // The greeting (or Close / Silent).
    QByteArray Greeting = QByteArrayLiteral("220 scripted.test ESMTP ready\r\n");
    // Writes every reply in two pieces, the second a little later.
    bool SplitWrites = false;

    // Overrides the reply to the given occurrence (0-based) of a command verb
    // ("HELO", "MAIL", "RCPT", "DATA", ".", "QUIT"); occurrence -1: every one.
    void SetReply(const QByteArray &verb, const QByteArray &reply, int occurrence = -1);

    // What the client sent: command lines (without CR LF), and the data of
    // each message as received (still dot-stuffed, without the final ".").
    QByteArrayList Commands;
    QByteArrayList RawMessages;
    int Connections = 0;
    bool ClientClosed = false;

    // A message with the data-phase dot rule undone.
    static QByteArray Unstuff(const QByteArray &raw);
    // The header lines (unfolded) and the body of a message.
    static QByteArrayList HeaderLines(const QByteArray &message);
    static QByteArray Body(const QByteArray &message);

private:
    void Accept();
    void Read();
    void Answer(const QByteArray &verb, const QByteArray &defaultReply);
    void Write(const QByteArray &bytes);

    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QByteArray buffer_;
    bool inData_ = false;
    QHash<QByteArray, int> seen_;
    QHash<QByteArray, QHash<int, QByteArray>> replies_;
};

#pragma once
// ScriptedFtpPeer: an in-process FTP server on 127.0.0.1 whose every answer the
// test decides, for the protocol cases that real servers will not produce on
// demand (replies split across reads, several replies in one read, a 226 before
// or after the data close, a 426 then 226, silence, a dropped connection...).
// It runs on the test's Qt event loop: drive it with QTRY_VERIFY / QTRY_COMPARE.
//
// Quick start:
//
//     ScriptedFtpPeer peer;
//     QVERIFY(peer.Listen());                        // 127.0.0.1, free port: peer.Port()
//     peer.On("SYST", Reply::Line(215, "MACOS Peter's Server"));
//     peer.On("REST 100", Reply::Line(502, "REST not implemented."));  // exact line
//     peer.SetTransfer("LIST", Transfer::Data(listingBytes));
//     ... let the client connect, log in and list ...
//     QTRY_COMPARE(peer.CommandCount("LIST"), 1);
//     QCOMPARE(peer.Commands(), (QByteArrayList{"USER u", "PASS p", "SYST", ...}));
//
// Answers. Every command gets, in this order of precedence:
//   1. a one-shot reply from Queue() (consumed; exact-line keys before verb keys),
//   2. a persistent reply from On() (exact-line keys before verb keys),
//   3. the built-in behaviour below.
// A key without a space is a verb, matched case-insensitively ("list" == "LIST");
// a key with a space is an exact command line ("REST 100", "CWD /pub"), the verb
// part case-insensitive, the rest byte-exact.
//
// Built-in behaviour (a plain, successful login and session):
//   USER 331, PASS 230, ACCT 230, SYST "215 UNIX Type: L8", PWD 257 "/", CWD 250,
//   CDUP 250, TYPE/MODE/STRU 200, NOOP 200, MKD 257, RMD 250, DELE 250, RNFR 350,
//   RNTO 250, SITE 200, HELP 214, REST "350 Restarting at N.", QUIT 221 and close,
//   anything else "502 Command not implemented.".
//   PASV opens a data listener on 127.0.0.1 and answers 227 (see
//   SetPassiveAnnounce); EPSV does the same with a 229 naming the port alone;
//   PORT notes the address and answers 200.
//   LIST, NLST, MLSD, RETR, STOR, APPE and STOU run a data transfer (see
//   Transfer). Each PASV or PORT serves one transfer, as on real servers; a
//   transfer command without one is answered "425 Use PORT or PASV first.".
//   ABOR stops a running transfer and answers its 426 then "226 ABOR command
//   successful.", or "225 No transfer to abort." when none runs.
// Order: everything the peer says on one control connection goes out in order.
// A Pause in a reply delays all that follows it — later answers, and the data of
// a transfer, which starts only once its opening reply has been written.
// The script may be changed at any time; a change applies to the commands that
// arrive after it.
// Side effects happen even when a reply is overridden: REST always sets the
// offset of the next transfer, PORT always notes the address, ABOR always stops
// the running transfer. Overriding PASV, or a transfer verb, means "answer only
// this": no listener is opened, no data moves.
//
// Safety: the peer never connects anywhere but 127.0.0.0/8 (a PORT elsewhere is
// answered 425), and it will not send a 227 that announces an address outside
// 127.0.0.0/8 — a client that obeys it would send traffic off this machine. Such
// a reply is replaced by a 421 with a warning. To test address handling announce
// 127.0.0.2 and the like (nothing listens there: the connect is refused).
//
// What happened is recorded for the checks: Commands() (lines as the client sent
// them, CR LF and leading Telnet bytes removed), RawCommands(), Received() (every
// in-band byte of every control connection), Urgent() (bytes that came out of
// band), Transfers() (one record per transfer command).

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpServer;

namespace testsupport {

class ControlSession;

// One scripted answer: steps played in order on the control connection. A step
// waits for the ones before it, so pauses delay everything after them, including
// the answers to later commands.
class Reply {
public:
    struct Step {
        enum class Kind { Write, Pause, Close, Reset };
        Kind kind = Kind::Write;
        QByteArray bytes;  // Write
        int ms = 0;        // Pause
    };

    // An empty reply says nothing: the command is never answered.
    Reply() = default;

    // Bytes written as given, in one write (so several replies in one string
    // reach the client together). Nothing is added: include the CR LFs.
    static Reply Raw(const QByteArray &bytes);
    // "code text\r\n".
    static Reply Line(int code, const QByteArray &text);
    // Each line + CR LF, all in one write: Lines({"230-Welcome", "230 Done."}).
    static Reply Lines(const QByteArrayList &lines);
    // The chunks written one by one with `pauseMs` between them, so the client
    // gets them in separate reads: Split({"22", "0 Ready\r\n"}, 100).
    static Reply Split(const QByteArrayList &chunks, int pauseMs);
    // Never answered (same as Reply()).
    static Reply Silent();
    // The control connection is closed at once (FIN), no answer.
    static Reply Close();
    // The control connection is reset (RST): the client sees ECONNRESET.
    static Reply Reset();

    Reply &Write(const QByteArray &bytes);
    Reply &Pause(int ms);
    Reply &ThenClose();  // close after the steps before it have been written
    Reply &ThenReset();

    const QList<Step> &Steps() const { return steps_; }
    bool IsSilent() const { return steps_.isEmpty(); }

private:
    QList<Step> steps_;
};

// How one data transfer (LIST, NLST, MLSD, RETR, STOR, APPE, STOU) goes.
struct Transfer {
    enum class Ending {
        ReplyAfterClose,   // the usual order: data closed, then (gapMs later) the final reply
        ReplyBeforeClose,  // the final reply first, the data closed gapMs later
        AbortThenReply,    // data closed, then (gapMs later) `aborted` (426) and `done` (226)
        Stall,             // after the data nothing: no close, no reply, until ABOR (426, 226) or
                           // the client closes the data connection (426)
    };
    enum class Connection {
        Open,       // the data connection is made (accepted from PASV or connected to PORT)
        Refuse,     // no data connection: a connection made to the PASV port is dropped,
                    // the listener closed, and `refused` (425) answered
        NeverOpen,  // `opening` (if not empty) is answered, then nothing: a connection to the
                    // PASV port is left idle (the kernel completes it, no byte ever moves),
                    // a PORT address is never connected to
    };

    // Listing text or file bytes sent to the client. RETR sends it from the REST
    // offset on; the other verbs send all of it. Ignored for uploads.
    QByteArray data;
    Ending ending = Ending::ReplyAfterClose;
    Connection connection = Connection::Open;
    QByteArray opening = "150 Opening data connection.\r\n";  // sent once the data connection is there
    QByteArray done = "226 Transfer complete.\r\n";
    QByteArray aborted = "426 Connection closed; transfer aborted.\r\n";
    QByteArray refused = "425 Can't open data connection.\r\n";
    // Sending in pieces: chunkSize bytes per write (0: all at once), with
    // chunkPauseMs between them — slow enough for a client to ABOR mid-way.
    int chunkSize = 0;
    int chunkPauseMs = 0;
    // Downloads: send only this many bytes of `data`. Uploads: drop the data
    // connection (RST) once this many bytes came. Then `ending` applies.
    // -1: no limit.
    qint64 stopAfter = -1;
    // Downloads and listings: time between the data close and the final reply
    // (in either order), so that the client meets them one after the other. A
    // test of the order itself may want more on a busy machine.
    int gapMs = 50;

    // Shorthands.
    static Transfer Data(const QByteArray &bytes, Ending ending = Ending::ReplyAfterClose);
    static Transfer Refused();
    static Transfer Never();
};

// What became of one transfer command.
struct TransferRecord {
    enum class End {
        Running,            // still going (or stalled / never opened, waiting for ABOR)
        Done,               // the peer played its script to the end
        ClientClosedEarly,  // download: the client closed the data connection before all was sent
        Aborted,            // ended by ABOR or by the control connection's close
        Refused,            // answered 425: no PASV/PORT before it, Connection::Refuse, or PORT unreachable
    };
    QByteArray command;      // the command line as received ("RETR a.txt")
    bool passive = false;    // data over the PASV listener (false: to the PORT address)
    qint64 restOffset = 0;   // REST in force for this transfer, 0 without one
    bool connected = false;  // the data connection was established
    QByteArray received;     // bytes the client sent on the data connection (uploads)
    qint64 sent = 0;         // bytes the peer wrote to the data connection
    End end = End::Running;
};

class ScriptedFtpPeer : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        Normal,
        GreetingOnly,  // greets, records commands, never answers one
        Silent,        // accepts connections and never says anything
    };

    explicit ScriptedFtpPeer(QObject *parent = nullptr);
    ~ScriptedFtpPeer() override;

    // Starts listening on 127.0.0.1 on a free port. Connections are accepted
    // until the peer is destroyed or StopListening() runs; each one starts a
    // fresh session (own PASV/PORT/REST state) sharing the one script and record.
    bool Listen();
    void StopListening();
    QString Host() const { return QStringLiteral("127.0.0.1"); }
    quint16 Port() const { return port_; }
    // A port on 127.0.0.1 where nothing listens (connects are refused).
    static quint16 ClosedPort();

    // ---- the script ----
    void SetMode(Mode mode) { mode_ = mode; }
    // Connect to a PORT address as soon as the PORT line arrives, before any
    // answer to it (pyftpdlib does so); the transfer command then uses that
    // connection. Script a paused PORT reply to make the client see the
    // connection before the reply.
    void SetConnectOnPort(bool on) { connectOnPort_ = on; }
    void SetGreeting(const Reply &greeting) { greeting_ = greeting; }  // default "220 Tarvo scripted FTP peer ready."
    void On(const QByteArray &key, const Reply &reply);
    void Queue(const QByteArray &key, const Reply &reply);
    void SetTransfer(const QByteArray &verb, const Transfer &transfer);  // persistent, per verb
    // One-shot, used by the next transfer command of any verb (one that comes
    // before any PASV or PORT is answered 425 and leaves the plans alone).
    void QueueTransfer(const Transfer &transfer);
    // The 227 reply's address: `host` must be in 127.0.0.0/8 (checked: false
    // otherwise); `port` 0 keeps the listener's real port (another port makes the
    // client's connect go where nothing listens). The listener stays on 127.0.0.1.
    bool SetPassiveAnnounce(const QByteArray &host, quint16 port = 0);
    // The 227 text; "{addr}" becomes h1,h2,h3,h4,p1,p2. Default:
    // "227 Entering Passive Mode ({addr}).\r\n".
    void SetPassiveTemplate(const QByteArray &text) { passiveTemplate_ = text; }

    // ---- acting at any moment (on the newest control connection) ----
    void Send(const QByteArray &bytes);  // an unsolicited write, e.g. "421 Timeout.\r\n", after anything queued
    void CloseControl();                 // FIN, after anything already queued
    void ResetControl();                 // RST now, dropping anything queued

    // ---- the record ----
    QByteArrayList Commands() const { return commands_; }
    QByteArrayList RawCommands() const { return rawCommands_; }
    QByteArray LastCommand() const { return commands_.isEmpty() ? QByteArray() : commands_.last(); }
    int CommandCount(const QByteArray &verb) const;  // case-insensitive verb
    QByteArray Received() const { return received_; }
    QByteArray Urgent() const { return urgent_; }
    // Received().size() at the moment each urgent byte was read (the client's
    // urgent byte may be read a little before or after the bytes around it).
    QList<qsizetype> UrgentOffsets() const { return urgentOffsets_; }
    QList<TransferRecord> Transfers() const { return transfers_; }
    int ConnectionCount() const { return connectionCount_; }
    bool ControlOpen() const;  // the newest control connection is still open
    // The commands, one per line, bytes outside printable ASCII as \xNN: for
    // failure messages (QVERIFY2(..., qPrintable(peer.TranscriptText()))).
    QString TranscriptText() const;

    // Removes leading Telnet command bytes (IAC x pairs, and lone IAC or command
    // bytes whose partner went out of band) from a command line.
    static QByteArray StripTelnet(const QByteArray &line);

signals:
    void clientConnected();
    void commandReceived(const QByteArray &line);
    void controlClosed();
    void transferEnded(int index);

private:
    friend class ControlSession;
    void AcceptPending();
    std::optional<Reply> FindReply(const QByteArray &line, const QByteArray &verb);
    Transfer TakeTransfer(const QByteArray &verb);
    ControlSession *Newest() const;

    QTcpServer *server_ = nullptr;
    quint16 port_ = 0;
    Mode mode_ = Mode::Normal;
    bool connectOnPort_ = false;
    Reply greeting_;
    QHash<QByteArray, Reply> replies_;
    QHash<QByteArray, QList<Reply>> queued_;
    QHash<QByteArray, Transfer> transferPlans_;
    QList<Transfer> queuedTransfers_;
    QByteArray announceHost_;
    quint16 announcePort_ = 0;
    QByteArray passiveTemplate_ = "227 Entering Passive Mode ({addr}).\r\n";

    std::vector<std::unique_ptr<ControlSession>> sessions_;
    QByteArrayList commands_;
    QByteArrayList rawCommands_;
    QByteArray received_;
    QByteArray urgent_;
    QList<qsizetype> urgentOffsets_;
    QList<TransferRecord> transfers_;
    int connectionCount_ = 0;
};

}  // namespace testsupport

#pragma once
// TMFtp: the FTP client component. The object itself is the control
// connection; it owns the data and listening sockets, the keep-alive timer and
// the lists of the last listing. Every operation returns at once; the rest of
// the dialogue is driven by the server's replies through the reply states
// below, and each operation ends with the ready notice, which raises
// OnFtpReady and then the operation's completion event.
//
// Sources: ftp_control.cpp (connection, login, dispatcher, notices, errors),
// ftp_transfer.cpp (listings, downloads, uploads: operations and replies),
// ftp_data.cpp (the data connection: receiving, the sender),
// ftp_abort.cpp (Abort and the time-out of any wait on the server),
// ftp_download_length.cpp (a finished download against its announced size),
// ftp_commands.cpp (single commands, SITE CHMOD, ftp:// addresses),
// ftp_names.cpp (the encoding of typed names),
// ftp_features_session.cpp (FEAT at login, OPTS, MLSD listings),
// ftp_tls.cpp (FTPS: AUTH TLS, PBSZ, PROT, certificates, TLS data connections),
// ftp_file_facts.cpp (SIZE and MDTM before the resume question, MFMT after uploads).

#include "engine/ftp_features.h"
#include "engine/ftp_fileinfo.h"
#include "engine/ftp_listing.h"
#include "engine/ftp_types.h"
#include "engine/ftpsock.h"
#include "engine/line_framer.h"
#include "engine/rate_limiter.h"
#include "engine/reply_assembler.h"

#include "platform/tls_session.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

// Reply states: the number of the state that interprets the next reply line.
namespace ReplyState {
constexpr int Greeting = 0;
constexpr int User = 1;
constexpr int Pass = 2;
constexpr int Acct = 3;
constexpr int Syst = 5;
constexpr int LoginDirectory = 6;
constexpr int ListPwd = 7;
constexpr int ListType = 8;
constexpr int ListPort = 10;
constexpr int List = 12;
constexpr int Pasv = 13;
constexpr int AbortReplies = 14;
// EPSV (RFC 2428): on IPv6, or after a refused PASV.
constexpr int Epsv = 15;
constexpr int DownloadType = 20;
constexpr int DownloadPort = 21;
constexpr int Retr = 22;
constexpr int UploadType = 30;
constexpr int UploadPort = 31;
constexpr int Stor = 32;
// FTPS (RFC 4217) between the greeting and USER.
constexpr int Auth = 33;
constexpr int Pbsz = 34;
constexpr int Prot = 35;
constexpr int RenameFrom = 40;
constexpr int RenameTo = 41;
constexpr int Feat = 42;
constexpr int OptsUtf8 = 43;
constexpr int OptsMlst = 44;
constexpr int Mlsd = 45;
constexpr int SingleCommand = 50;
constexpr int Quit = 60;
constexpr int Idle = 100;
constexpr int RestProbe = 110;
constexpr int RestZero = 111;
constexpr int RestProbeBinary = 112;
constexpr int ResumeDownloadType = 120;
constexpr int ResumeDownloadPort = 121;
constexpr int ResumeDownloadRest = 122;
constexpr int ResumeUploadType = 130;
constexpr int ResumeUploadPort = 131;
constexpr int ResumeUploadRest = 132;
// The remote file's facts before the resume question, and its time after STOR.
constexpr int FactsType = 140;
constexpr int Size = 141;
constexpr int Mdtm = 142;
constexpr int Mfmt = 143;
constexpr int UrlStart = 200;
constexpr int UrlCwd = 201;
constexpr int UrlParent = 202;
constexpr int Chmod = 1000;
const char *Name(int state);
}  // namespace ReplyState

// Operation kinds: they select the completion event of the ready notice.
namespace OperationKind {
constexpr int None = 0;
constexpr int RenameDirectory = 1;
constexpr int Login = 2;
constexpr int ChangeDirectory = 3;
constexpr int MakeDirectory = 4;
constexpr int RemoveDirectory = 5;
constexpr int DeleteFile = 6;
constexpr int Download = 7;
constexpr int Downloadii = 8;
constexpr int Upload = 9;
constexpr int Uploadii = 10;
constexpr int List = 11;
constexpr int RenameFile = 12;
constexpr int ChangeDirectoryUp = 13;
}  // namespace OperationKind

class TMFtp : public Tmsocket {
public:
    // Private notices posted to the engine itself.
    static constexpr int QuitNotice = 1026;
    static constexpr int ReadyNotice = 1028;

    // Bytes moved per receive or send on the data connection. Bounds memory;
    // chosen from the transfer benchmark.
    static constexpr int TransferBlockSize = 256 * 1024;
    // A reply or listing line longer than this without CR LF is hostile.
    static constexpr int MaxPendingLine = 64 * 1024;

    using Notify = std::function<void(QObject *sender)>;
    using TMFtpInfoEvent = std::function<void(QObject *sender, FtpInfo info, const QString &addinfo)>;
    using TMFtpErrorEvent = std::function<void(QObject *sender, FtpError error, const QString &addinfo)>;
    using TMFtpInfoNeededEvent = std::function<void(QObject *sender, TMFtpInfoNeeded need, QString &value)>;
    // A server certificate that failed verification and is not in the trust
    // store; `changed`: another certificate is stored for this host and port.
    // The answer starts as certReject.
    using TMFtpCertificateEvent = std::function<void(QObject *sender, const platform::TlsCertificateInfo &certificate,
                                                     bool changed, TMFtpCertificateAnswer &answer)>;

    explicit TMFtp(QObject *parent = nullptr);
    ~TMFtp() override;

    // ---- operations (each returns at once) ----
    void Connect();
    void Quit();
    void Disconnect();
    void List();
    void Download();
    void Downloadii();
    void Upload();
    void Uploadii();
    void Abort();
    void ChangeDirectory(const QByteArray &path);
    void ChangeDirectoryUp();
    void MakeDirectory(const QByteArray &name);
    void RemoveDirectory(const QByteArray &name);
    void DeleteFile(const QByteArray &name);
    void RenameFile(const QByteArray &oldName, const QByteArray &newName);
    void RenameDirectory(const QByteArray &oldName, const QByteArray &newName);
    void ChangeMode(const QByteArray &fileName, unsigned mode);
    void OpenURL(const QByteArray &url, const QString &localFolder);
    QByteArray CurrentURL() const;

    // ---- published properties ----
    bool Busy() const { return busy_; }
    bool Success() const { return success_; }
    int NoopInterval() const { return keepAlive_.interval() / 1000; }
    // A keep-alive NOOP is out and its reply not yet in: what comes now is its exchange.
    bool KeepAliveInFlight() const { return noopPending_; }
    void SetNoopInterval(int seconds) { keepAlive_.setInterval(MillisecondsOf(seconds)); }
    // Seconds from a settings file as a timer's milliseconds; a huge value
    // would overflow the multiplication, so it is held at the timer's limit.
    static int MillisecondsOf(int seconds)
    {
        return int(std::clamp<qint64>(qint64(seconds) * 1000, 0, std::numeric_limits<int>::max()));
    }
    QByteArray Username;
    // Reading the password yields one "*" per character of the stored one.
    QByteArray Password() const { return QByteArray(MaskedLength(password_), '*'); }
    void SetPassword(const QByteArray &password) { password_ = password; }
    // The login this session was made with, for the session's further
    // connections: the owner may clear Username and the password meanwhile.
    QByteArray SessionUser() const { return sessionUser_; }
    QByteArray SessionPassword() const { return sessionPassword_; }
    QByteArray Account;
    TMFtpServerType ServerType = ftpstDefault;
    QByteArray CurrentDirectory() const { return currentDirectory_; }
    QByteArray InitialDirectory;
    QByteArray FileMask;
    bool Cache = true;  // stored only
    QByteArray ftpfilename2() const { return urlFileName_; }
    QString LocalFile;
    QByteArray RemoteFile;
    TTransferType TransferMode = BinaryTransfer;
    TMFtpProxyType ProxyType = proxyNone;
    QString ProxyServer;
    bool Passive = false;
    // The data connection mode the session uses now: Passive, unless a
    // passive (or active) data connection could not be made in this session
    // and the other mode worked instead.
    bool PassiveInEffect() const { return modeSwitched_ && Passive == switchedFrom_ ? !Passive : Passive; }
    // Active mode takes the data connection only from the control connection's
    // peer; servers behind a balancer may connect from another address.
    bool AcceptDataFromAnyAddress = false;
    QString Version() const { return QString(); }
    void SetVersion(const QString &) {}
    // Server, Port, TimeOutConnect and TimeOutArp come from Tmsocket.
    // List() asks for MLSD instead of LIST where the server offers it (and
    // no FileMask is set: a mask is LIST's argument).
    bool UseMlsd = true;
    // What the server's FEAT reply listed in this session; empty before it
    // and for a server without FEAT.
    const FtpFeatures &Features() const { return features_; }
    // FTPS. Explicit: AUTH TLS after the greeting, then PBSZ 0 and PROT P, then
    // USER; implicit: TLS from the first byte (the port is the owner's choice).
    TMFtpTlsMode TlsMode = tlsPlainOnly;
    // The trust store's file; empty: trusted-certificates.txt in the settings folder.
    QString TrustStoreFile;
    // After the handshake: whether the control connection and the data
    // connections (PROT P) are encrypted, and the server's certificate.
    bool ControlEncrypted() const { return TlsActive(); }
    bool DataEncrypted() const { return dataProtected_; }
    platform::TlsCertificateInfo ServerCertificate() const { return serverCertificate_; }
    // Whether the last TLS data connection resumed the control connection's session.
    bool DataSessionReused() const { return dataSessionReused_; }
    // After an upload, MFMT gives the remote copy the local file's modification
    // time, where the server lists MFMT. A refusal is only logged.
    bool KeepUploadTime = true;
    // Speed limits this connection shares with others; none when empty.
    std::shared_ptr<RateLimiter> DownloadLimit;
    std::shared_ptr<RateLimiter> UploadLimit;
    // While a resume-or-overwrite question is asked: the remote file's size in
    // bytes (SIZE's answer, else the listing's; -1 when neither gives it) and
    // its modification time in UTC (MDTM's answer; invalid without one).
    qint64 QuestionRemoteSize() const { return questionRemoteSize_; }
    QDateTime QuestionRemoteTime() const { return questionRemoteTime_; }

    // ---- public fields ----
    bool Connected = false;
    bool ReceivingListing = false;
    qint64 BytesTransferred = 0;
    qint64 ElapsedTime = 0;  // milliseconds
    qint64 ResumePosition = 0;
    QList<QByteArray> FileNames;
    QList<QByteArray> DirectoryNames;
    TMFtpFileInfoList FileInfos;
    TMFtpFileInfoList DirectoryInfos;

    // ---- events ----
    TMFtpInfoEvent OnFtpInfo;
    TMFtpErrorEvent OnFtpError;
    TMFtpInfoNeededEvent OnFtpNeedInfo;
    TMFtpCertificateEvent OnFtpCertificate;
    Notify OnFtpReady;
    Notify OnLoggedIn, OnDirectoryChanged, OnDirectoryCreated, OnDirectoryDeleted, OnFileDeleted,
        OnFileReceived, OnFileStored, OnFileReceivedii, OnFileStoredii, OnListingDone, OnFileRenamed,
        OnDirRenamed;
    Notify OnFtpQuit;

    // The encoding of names typed for this server (answers to the questions
    // too): UTF-8 when the server listed UTF8 in FEAT, or while the current
    // directory and the names last listed are UTF-8; else GB18030
    // (ftp_names.cpp).
    bool NamesUtf8() const;
    QByteArray EncodeName(const QString &text) const;

    // For tests and diagnostics.
    int CurrentReplyState() const { return replyState_; }
    int CurrentOperationKind() const { return operationKind_; }
    FtpError LastFtpError() const { return errorCode_; }
    bool ResumeSupported() const { return resumeSupported_; }
    bool LoggedIn() const { return loggedIn_; }
    // The last listing came by MLSD.
    bool ListedByMlsd() const { return mlsdListing_; }
    // Traces every reply-state change as "old -> new" when set.
    std::function<void(const char *from, const char *to)> OnStateTrace;

protected:
    void LookupDone() override;

private:
    // ---- control connection (ftp_control.cpp) ----
    void OnControlConnected();
    void OnControlRead();
    void OnControlClosed();
    void OnControlTimeout();
    void GreetingTimedOut();
    void OnNotice(int code);
    void HandleQuitNotice();
    void HandleReadyNotice();
    void RaiseCompletionEvent();
    void KeepAliveTick();
    void DispatchReply(const QByteArray &line);
    void InterpretReply(const QByteArray &line);
    void SetReplyState(int state);
    bool SendCommand(const QByteArray &command, int expectState);
    bool SendRaw(const QByteArray &bytes, bool urgent);
    bool CheckSocketError();
    bool CommonPreamble();
    void RaiseInfo(FtpInfo info, const QString &text = QString());
    void RaiseError(FtpError error);
    void PlainError(FtpError error);
    void FatalError(FtpError error);
    void PostReady();
    void PostQuit();
    void CloseDataSockets();
    void AskNeedInfo(TMFtpInfoNeeded need, QString &value);
    static QByteArray QuotedDirectory(const QByteArray &reply);
    // Characters, not bytes, of a password: one "*" each where it is shown.
    static qsizetype MaskedLength(const QByteArray &password);

    void AnswerGreeting(const QByteArray &line);
    void AnswerUser(const QByteArray &line);
    void AnswerPass(const QByteArray &line);
    void AnswerAcct(const QByteArray &line);
    void AnswerSyst(const QByteArray &line);
    // ---- what FEAT changes (ftp_features_session.cpp) ----
    void ResetSessionFeatures();
    void NoteFeatLine(const QByteArray &line);
    bool IsLateFeatLine(const QByteArray &line);
    void AnswerFeat(const QByteArray &line);      // 42
    void AnswerOptsUtf8(const QByteArray &line);  // 43
    void AnswerOptsMlst(const QByteArray &line);  // 44
    void AnswerMlsd(const QByteArray &line);      // 45
    void FeatTimedOut();
    void SendFeatureOptions();
    void SendOptsMlst();
    void StartResumeProbe();
    void SendListingCommand();
    void ListWithoutMlsd();
    // The next listing asks MLSD.
    bool ListsByMlsd() const;
    TMFtpServerType ListingStyle() const;
    FtpFeatures features_;
    QByteArray featReply_;        // the FEAT reply's lines so far
    bool featLate_ = false;       // FEAT timed out: its reply may still come
    bool mlsdRefused_ = false;    // MLSD got 500/502 in this session
    bool mlsdListing_ = false;    // the listing on the way is MLSD's
    void AnswerRestProbe(const QByteArray &line);
    void AnswerRestZero(const QByteArray &line);
    void AnswerRestProbeBinary(const QByteArray &line);
    void ContinueAfterResumeProbe();
    void SendLoginDirectory();
    void AnswerLoginDirectory(const QByteArray &line);
    void AnswerQuit(const QByteArray &line);
    void SendSyst();
    void RefuseLogin();

    // ---- FTPS (ftp_tls.cpp) ----
    void SendUser();
    void AnswerAuth(const QByteArray &line);  // 33
    void AnswerPbsz(const QByteArray &line);  // 34
    void AnswerProt(const QByteArray &line);  // 35
    void StartControlTls();
    void ControlTlsDone();
    void DataInClear(const QByteArray &line);
    void RefuseInsecureLogin(const QString &why);
    // Whether the certificate may be used: verified, trusted in the store, or
    // accepted by the owner's handler.
    bool AcceptCertificate(const platform::TlsCertificateInfo &certificate);
    // TLS on the data connection when PROT P is in force (true then); `then`
    // runs once the handshake is done.
    bool StartDataTls(std::function<void()> then);
    void BeginDataTls();
    bool dataTlsPending_ = false;          // connected; the handshake waits for the transfer command
    quint64 dataTlsSerial_ = 0;
    std::function<void()> dataTlsThen_;
    // Sessions for data connections to resume: every ticket the server issued
    // on the control and data connections, each used once, newest first; the
    // last one used when none is left.
    platform::TlsSessionHandle TakeDataSession();
    void CollectDataSessions();
    std::vector<platform::TlsSessionHandle> dataSessions_;
    platform::TlsSessionHandle lastDataSession_;
    static QString DataErrorText(const QString &what, int socketError, const QString &tlsDetail);
    QString tlsHostName_;                  // the name the certificate must carry
    bool dataProtected_ = false;           // PROT P is in force
    bool dataSessionReused_ = false;
    bool askingCertificate_ = false;       // the certificate handler runs: no time-out meanwhile
    platform::TlsCertificateInfo serverCertificate_;
    QByteArray sessionUser_, sessionPassword_;

    // ---- data connection and transfers (ftp_transfer.cpp, ftp_data.cpp) ----
    void AnswerListPwd(const QByteArray &line);
    void AnswerTransferType(const QByteArray &line);   // 8, 20, 30, 120, 130
    void AnswerDataPort(const QByteArray &line);       // 10, 21, 31, 121, 131
    void AnswerList(const QByteArray &line);           // 12
    void AnswerPasv(const QByteArray &line);           // 13
    void AnswerRetr(const QByteArray &line);           // 22
    void AnswerStor(const QByteArray &line);           // 32
    void AnswerRest(const QByteArray &line);           // 122, 132
    bool AnswerTransferEnd(const QByteArray &line);    // shared by 12, 22, 32
    void StartDownload(int kind);
    void StartUpload(int kind);
    // The checks both directions make before the local file is touched;
    // false when they have ended the operation.
    bool TransferNamesUsable();
    void SendTransferType(int typeState);
    // TYPE for a listing ('A') or a transfer; skipped when the server has
    // acknowledged that type in this session already.
    void SendType(char type, int typeState);
    // ---- setting up the data connection (ftp_data_channel.cpp) ----
    void OpenDataConnection(int targetState);
    void OpenPassiveDataConnection();
    void OpenActiveDataConnection();
    void AnswerEpsv(const QByteArray &line);           // 15
    void ConnectPassive(const QString &host, quint16 port);
    void PassiveConnected();
    void PassiveConnectFailed(int socketError);
    void ActiveConnectionNeverCame();
    bool RetryPassiveAfter425(const QByteArray &line);
    void RetryDataStep();
    bool retryDataStep_ = false;     // the abort exchange under way ends in RetryDataStep
    // Tries the other mode once per operation and keeps it for the session;
    // false when it was tried already.
    bool FallBackToActive(const QString &why);
    bool FallBackToPassive(const QString &why);
    void UseDataModeForSession(bool passive);
    void ResetDataModes();
    bool modeSwitched_ = false;      // PassiveInEffect() differs from Passive...
    bool switchedFrom_ = false;      // ...while Passive still holds this value
    bool dataPassive_ = false;       // the mode of this operation's data connection
    bool dataFallbackTried_ = false; // this operation tried the other mode already
    bool epsvTried_ = false;         // this operation asked EPSV after a refused PASV
    bool epsvForSession_ = false;    // PASV was refused and EPSV worked: EPSV from now on
    bool dataConnectPending_ = false;  // a passive connect is on its way; no reply is awaited
    int dataTarget_ = 0;             // the state that goes on once the data connection is set up
    void ListingReceiver();
    void ListingEnd();
    void FileReceiver();
    void FileEnd();
    void DataConnected();
    void UploadSender();
    void FileLine(const QByteArray &line);
    void FileListingLines();
    void FinishListingEnd(int closeError);
    void BeginTransferOperation(int kind);
    qint64 ListedRemoteSize(bool *found) const;
    void ContinueDownload();
    void ContinueUpload();
    bool OpenDownloadTarget(int &typeState);
    bool OpenUploadSource();
    bool DecideUploadStart(int &typeState);
    void SendTransferCommand(const QByteArray &command, int expectState);
    void ControlSideDone();
    void Saw426();
    void RefuseTransfer(FtpInfo info, const QString &text);
    void FailTransfer(FtpError error);
    void FailCommandStep(const QByteArray &line);
    // Closes the data side of the transfer: sockets, local file, a sender
    // still to start; code waiting in the event loop sees the serial change.
    void DropDataSide();
    // Posts the ready notice once per operation; during an Abort the end of
    // its replies posts it instead.
    void EndOperation();
    void AttachReceiver(void (TMFtp::*receiver)(), void (TMFtp::*end)());
    void AttachSender();
    bool AcceptDataConnection();
    void WatchForEarlyConnection();
    void TakeEarlyConnection();
    void DataConnectionFailed(int socketError, bool commandMayBeOut);
    void RefreshElapsed();
    void DrainDataSocket();
    void RunSender();
    enum class SendResult { Sent, Stale, Failed };
    SendResult SendDataBlock(const char *data, int count, quint64 serial);
    // The upload limit's share of `wanted` bytes, waiting (events running) until
    // there is one; 0 when the transfer was ended meanwhile.
    int TakeUploadShare(int wanted, quint64 serial);
    // The download limit allows nothing now: the reads go on after a pause.
    void PauseReceiving(int waitMs);
    QTimer receivePause_;
    bool draining_ = false;  // the data connection closed: the rest is read unthrottled
    // An upload's orderly TLS end (close_notify) before the final reply.
    SendResult ShutdownDataTls(quint64 serial);
    // Then the server's close of the data connection, a few seconds at most.
    SendResult AwaitDataPeerClose(quint64 serial);
    static constexpr int MaxDataCloseWaitMs = 5000;
    void StartSenderWhenCommandSent();
    void StartSenderAfterTls();
    bool sendAfterDataTls_ = false;  // a passive sender waits for the data handshake
    void FinishSenderSide();
    void CloseLocalFile();
    // Transfer bookkeeping. The serials let code that waited inside the event
    // loop notice that its transfer (or operation) was ended meanwhile.
    quint64 transferSerial_ = 0;
    bool operationEnded_ = false;
    bool dataFailed_ = false;           // the data connection failed or broke
    bool transferCommandSent_ = false;  // LIST, RETR or STOR is on the wire
    bool senderPending_ = false;        // connected before STOR was sent
    bool earlyConnection_ = false;      // the server connected before its PORT reply
    bool senderRunning_ = false;
    bool abortDeferred_ = false;        // Abort came before the transfer command
    // A listing line's events may run the event loop: reads meanwhile only
    // queue their lines, and a close waits until the lines before it are filed.
    bool filingListing_ = false;
    quint64 filingSerial_ = 0;
    bool listingEndPending_ = false;
    int listingEndError_ = 0;

    // ---- abort and time-outs (ftp_abort.cpp) ----
    // After ABOR every reply up to the 257 of a PWD sent behind it belongs to
    // the abort, so that none is left for the next operation to misread.
    void BeginAbortExchange();
    void AnswerAbortReplies(const QByteArray &line);  // 14
    void SendAbortSync();
    void FinishAbortExchange();
    void ArmAbortDrain(int ms);
    bool abortExchange_ = false;   // ABOR is out and its replies are being taken
    bool abortSending_ = false;    // the Telnet synch and ABOR are being written
    bool abortSyncDue_ = false;    // a reply came while ABOR was being written
    int abortSyncsSent_ = 0;       // NOOP and PWD pairs sent
    int abortRepliesSeen_ = 0;
    quint64 abortDrainSerial_ = 0;
    // Any wait on the server (a reply, data) longer than TimeOutConnect with
    // no traffic ends the operation with a time-out and closes the connection.
    void NoteTraffic() { lastTraffic_.start(); }
    bool AwaitingServer() const;
    void WatchdogTick();
    void InactivityTimedOut();
    int TimeoutMs() const { return MillisecondsOf(TimeOutConnect); }
    QTimer watchdog_;
    QElapsedTimer lastTraffic_;
    bool readyPending_ = false;    // a ready notice is posted and not yet handled

    // ---- SIZE, MDTM and MFMT (ftp_file_facts.cpp) ----
    // Listings can be stale or round their sizes: where the server offers SIZE
    // or MDTM, the question is asked with what they answer.
    void ForgetRemoteFacts();
    bool WantRemoteFacts(bool upload) const;
    void AskRemoteFacts(bool upload);
    void AnswerFactsType(const QByteArray &line);  // 140
    void AnswerSize(const QByteArray &line);       // 141
    void AnswerMdtm(const QByteArray &line);       // 142
    void SendMdtmOrDecide();
    void DecideTransferStart();
    // The size the question compares: SIZE's, else the listing's; kept for
    // QuestionRemoteSize().
    qint64 RemoteSizeForQuestion(bool *known);
    // After the 2xx to STOR; false when no MFMT goes out.
    bool SendMfmtAfterStor();
    void AnswerMfmt(const QByteArray &line);       // 143
    bool factsForUpload_ = false;
    std::optional<qint64> sizeAnswer_;   // SIZE's answer for this transfer
    qint64 questionRemoteSize_ = -1;
    QDateTime questionRemoteTime_;
    QDateTime uploadLocalTime_;          // the uploaded file's modification time, UTC
    // A question is with the owner: the engine waits for no server meanwhile.
    bool askingQuestion_ = false;

    // ---- the length of a download (ftp_download_length.cpp) ----
    // A binary download that ends short or long of the size the listing or
    // the 150 reply gave is a failure; a server that took REST and then sent
    // the whole file is caught here before the file is left corrupted.
    void VerifyDownloadLength();
    bool RecoverFromIgnoredRest();
    bool checkDownloadLength_ = false;
    qint64 downloadListedSize_ = -1;     // -1: the listing did not give it
    qint64 downloadAnnouncedSize_ = -1;  // "(n bytes)" of the 150 reply
    qint64 downloadOffset_ = 0;          // REST offset of this download

    // ---- single commands and ftp:// addresses (ftp_commands.cpp) ----
    void AnswerRenameFrom(const QByteArray &line);     // 40
    void AnswerRenameTo(const QByteArray &line);       // 41
    void AnswerSingleCommand(const QByteArray &line);  // 50
    void AnswerChmod(const QByteArray &line);          // 1000
    void AnswerUrlStart(const QByteArray &line);       // 200
    void AnswerUrlCwd(const QByteArray &line);         // 201
    void AnswerUrlParent(const QByteArray &line);      // 202
    // Holds an operation started while a SITE CHMOD reply is outstanding.
    bool HoldWhileChmodPending(std::function<void()> operation);
    // Refuses a name that would split the command line (CR or LF).
    bool RefuseUnsafeName(const QByteArray &name);
    void ReleaseHeldOperations();
    bool RefuseWhileBusy();
    bool LoginBeforeResumeProbe() const;
    void StartSingleCommand(int kind, const QByteArray &command, const QByteArray &name);
    void StartRename(int kind, const QByteArray &oldName, const QByteArray &newName);
    bool sendingChmod_ = false;    // the SITE line is being handed to the socket
    bool releasingHeld_ = false;   // the next hold check lets a released operation through
    // OpenURL sent QUIT to leave for another site: the quit notice logs in anew.
    bool urlReconnectDue_ = false;
    // A keep-alive NOOP's reply is still to come: operations wait for it, or
    // they would read it as the answer to their own first command.
    bool noopPending_ = false;
    quint64 noopSerial_ = 0;
    bool noopIgnored_ = false;     // this server left a keep-alive NOOP unanswered
    bool quitAccepted_ = false;    // QUIT was answered 2xx: the close is no failure
    bool quitByOwner_ = false;     // the QUIT on the wire is Quit()'s, not a refused login's
    void AnswerIdle(const QByteArray &line);           // 100
    void EndNoopWait();

    // ---- state ----
    Tmsocket dataSocket_;
    Tmsocket listenSocket_;
    QTimer keepAlive_;
    // A server that accepts the connection and never greets would hold the
    // login forever: the greeting gets the connect time-out too.
    QTimer greetingTimer_;
    bool busy_ = false;
    bool success_ = false;
    QByteArray password_;
    QByteArray currentDirectory_;
    QByteArray urlFileName_;
    bool loggedIn_ = false;
    bool urlPending_ = false;
    QString savedTargetServer_;
    bool resumeSupported_ = false;
    bool resumeProbedInBinary_ = false;
    // The representation type the server acknowledged last in this session
    // ('A' or 'I'), 0 when unknown: a new connection, or a TYPE still
    // unanswered or refused. typeRequested_ is the one on the wire.
    char sessionType_ = 0;
    char typeRequested_ = 0;
    int replyState_ = ReplyState::Greeting;
    int stateAfterPasv_ = 0;
    int operationKind_ = OperationKind::None;
    ReplyAssembler replyAssembler_;
    LineFramer replyFramer_{MaxPendingLine};
    LineFramer listingFramer_{MaxPendingLine};
    bool dispatching_ = false;
    bool abortRequested_ = false;
    bool dataDone_ = false;
    bool controlDone_ = false;
    bool localFileOpen_ = false;
    QFile localFile_;
    QByteArray renameTarget_;
    QByteArray urlPath_;
    QByteArray transferBuffer_;
    FtpError errorCode_ = ftpeNone;
    QString lastErrorText_;
    QElapsedTimer startTime_;
    ListingParser listingParser_;
    bool chmodPending_ = false;
    std::vector<std::function<void()>> heldOperations_;
};

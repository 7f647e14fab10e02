#pragma once
// One control connection of the ScriptedFtpPeer: reads command lines, plays
// the scripted replies in order, and runs the data side of its transfers.
// Internal to the peer; tests use ScriptedFtpPeer only.

#include "scripted_ftp_peer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

namespace testsupport {

class ControlSession : public QObject {
    Q_OBJECT
public:
    ControlSession(ScriptedFtpPeer *peer, QTcpSocket *socket);
    ~ControlSession() override;

    void Start();
    void Play(const Reply &reply);
    void CloseNow(bool reset);
    bool Open() const;

private:
    // A reply step, or an action that must wait for the steps before it.
    struct Step {
        Reply::Step::Kind kind = Reply::Step::Kind::Write;
        QByteArray bytes;
        int ms = 0;
        std::function<void()> action;  // set: run instead of kind
    };
    enum class DataMode { None, Passive, Active };

    // Control side (scripted_ftp_session.cpp).
    void OnReadable();
    void OnUrgent();
    void OnControlClosed();
    void HandleLine(const QByteArray &raw);
    void Dispatch(const QByteArray &line, const QByteArray &verb, const QByteArray &argument);
    void AnswerBuiltIn(const QByteArray &line, const QByteArray &verb, const QByteArray &argument);
    void AnswerPassive(bool extended);  // PASV (227) or EPSV (229)
    void NotePort(const QByteArray &argument);
    void AnswerAbort(const std::optional<Reply> &scripted);
    void Write(const QByteArray &bytes);
    void Enqueue(Step step);
    void Then(std::function<void()> action);
    void Pump();
    void WriteNow(const QByteArray &bytes);
    void ReleaseUrgentWatch();

    // Data side (scripted_ftp_transfer.cpp).
    void StartTransfer(const QByteArray &line, const QByteArray &verb);
    void OnPassiveConnection();
    void ConnectToPortNow();
    void Attach(QTcpSocket *socket);
    void BeginData();
    void SendNextChunk();
    void OnDataWritten();
    void OnDataReadable();
    void OnDataClosed();
    void FinishDownload();
    void FinishUpload(bool stoppedByPeer);
    void Conclude(TransferRecord::End end);
    bool StopTransfer(bool dropListener = true);
    void DropDataSockets();
    TransferRecord &Record();

    ScriptedFtpPeer *peer_;
    QTcpSocket *control_;
    QSocketNotifier *urgentNotifier_ = nullptr;
    int urgentFd_ = -1;
    QByteArray pendingInput_;
    QList<Step> steps_;
    QTimer pauseTimer_;
    bool pumping_ = false;
    bool closing_ = false;        // no more writes: closed or closing
    bool closedHandled_ = false;

    DataMode dataMode_ = DataMode::None;
    std::unique_ptr<QTcpServer> passiveListener_;
    QPointer<QTcpSocket> earlyData_;  // accepted from PASV (or connected to PORT) before the transfer command
    quint32 portAddress_ = 0;         // host order
    quint16 portPort_ = 0;
    bool portValid_ = false;
    qint64 restOffset_ = 0;

    // The running transfer. Deferred actions carry the generation they were
    // made for and do nothing once the transfer has ended or been replaced.
    int generation_ = 0;
    bool transferActive_ = false;
    bool finishing_ = false;       // the data has all been handed over (or the upload ended)
    bool peerClosing_ = false;     // the peer is closing the data connection itself
    std::function<void()> afterPeerClose_;
    bool waitingForConnection_ = false;
    int record_ = -1;
    Transfer plan_;
    bool upload_ = false;
    QByteArray payload_;
    qint64 payloadSent_ = 0;
    bool allQueued_ = false;
    QPointer<QTcpSocket> data_;
    QTimer chunkTimer_;
};

}  // namespace testsupport

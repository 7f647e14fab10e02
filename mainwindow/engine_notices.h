#pragma once
// What the main window makes of the engine's notices: the status texts of
// the info notices, the message boxes of the errors, the answers to the
// engine's questions, and the transfer statistics of the status bar. Plain
// functions so that every row of those tables is tested without a window.

#include "engine/ftp_types.h"

#include <QDateTime>
#include <QString>

class QWidget;

// Panel 0's new text for an info notice; false when the notice leaves panel 0 alone.
bool InfoStatusText(FtpInfo info, const QString &addinfo, QString *text);

// Panel 1 for ftpiFileSize: "文件总大小:" + addinfo + "字节".
QString FileSizeText(const QString &addinfo);

// The log line of the resume notice.
QString ResumeSupportedText();

struct ErrorNotice {
    enum Kind { Silent, Message, Status };
    Kind kind = Silent;
    QString caption;  // Message only
    QString text;     // the message, or panel 0's new text
};
// target: "host:port" of the connection the error belongs to, for the errors that name it.
ErrorNotice ErrorNoticeFor(FtpError error, const QString &addinfo, const QString &target = QString());

// Panels 2, 3 and 4 while a file moves. 64-bit arithmetic throughout.
struct TransferStatistics {
    qint64 percent = 0;  // 0..100; -1 when the size is not known
    qint64 rate = 0;  // bytes per second, since the resume point when there is one
    QString size;     // panel 2
    QString time;     // panel 3
    QString speed;    // panel 4
};
TransferStatistics ComputeTransferStatistics(qint64 bytesTransferred, qint64 elapsedMs,
                                             qint64 resumePosition, qint64 totalSize);

// What the engine's question is answered with ("Resume", "overwrite", a typed
// text, or empty for cancel). Asks through the dialogs seam when the settings
// say so; parent is the window the questions belong to (its font lays out
// the text prompts).
struct QuestionContext {
    int downresume = 1;
    int upresume = 1;
    QString localFile;   // engine LocalFile
    QString remoteFile;  // engine RemoteFile, decoded for display
    // For the question's second line, each shown when known: sizes in bytes
    // (-1: unknown) and modification times (invalid: unknown).
    qint64 localSize = -1;
    QDateTime localTime;
    qint64 remoteSize = -1;  // engine QuestionRemoteSize()
    QDateTime remoteTime;    // engine QuestionRemoteTime()
};
// "本地: 1,234 字节, 2026-12-08 10:15; 远程: 5,678 字节, 2026-12-08 10:20", times
// in this machine's local time, each part only when known; empty when
// nothing is known.
QString FileFactsLine(const QuestionContext &context);
QString AnswerEngineQuestion(QWidget *parent, TMFtpInfoNeeded need, const QuestionContext &context);

// The log line for an answer that leaves an existing file as it is (the
// engine then ends the transfer without moving a byte); empty for any other.
QString SkippedTransferLine(TMFtpInfoNeeded need, const QString &answer, const QuestionContext &context);

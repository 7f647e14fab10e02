#pragma once
// What the main-window tests share: a settings folder of their own, the
// scripted dialogs, readers of the log's lines with their colours, and the
// steps of a window logged in to a real server.

#include "engine/ftp.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/tform1.h"
#include "peer_server.h"
#include "platform/folders.h"
#include "scripted_dialogs.h"
#include "widgets/combobox98.h"

#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QList>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>

struct LogLine {
    QString text;
    QColor color;
};

inline QList<LogLine> LogLines(const TForm1 &form)
{
    QList<LogLine> lines;
    form.FlushLog();
    for (QTextBlock block = form.richedit1->document()->begin(); block.isValid(); block = block.next()) {
        QColor color;
        if (block.begin() != block.end())
            color = block.begin().fragment().charFormat().foreground().color();
        lines.append({block.text(), color});
    }
    return lines;
}

// The commands the window sent, in order, from the blue lines of the log:
// whole lines whose verb is one of these.
inline QStringList Commands(const TForm1 &form, const QStringList &verbs)
{
    QStringList commands;
    for (const LogLine &line : LogLines(form)) {
        if (line.color == QColor(0, 0, 255) && verbs.contains(line.text.section(u' ', 0, 0)))
            commands << line.text;
    }
    return commands;
}

// The arguments of every command of this verb that the window sent.
inline QStringList CommandArguments(const TForm1 &form, const QString &verb)
{
    QStringList arguments;
    for (const QString &line : Commands(form, QStringList{verb}))
        arguments << line.section(u' ', 1);
    return arguments;
}

// A settings folder of the test's own, so that no ftp.ini of the machine is
// read or written.
class SettingsFolder {
public:
    // With an empty site list: without one the first show reports "Cannot open
    // file"; the tests of that remove it.
    SettingsFolder()
    {
        platform::SetSettingsFolderOverride(dir_.path());
        (void)QFile(dir_.filePath(QStringLiteral("list.ini"))).open(QIODevice::WriteOnly);
    }
    ~SettingsFolder() { platform::SetSettingsFolderOverride(QString()); }
    QString Path() const { return dir_.path(); }
    QString File(const QString &name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

// The window with the desktop seams pointed at recorders.
struct FormUnderTest {
    FormUnderTest()
    {
        form = std::make_unique<TForm1>();
        // Transfers on the browsing connection, one after another: what these
        // tests watch. The tests of the transfer connections ask for more.
        MainSettings.transfers = 1;
        form->OpenDocument = [this](const QString &path) {
            opened << path;
            return true;
        };
        form->StartInstance = [this](const QString &program) {
            started << program;
            return true;
        };
    }
    std::unique_ptr<TForm1> form;
    QStringList opened;
    QStringList started;
};

// Logged in, nothing running: no command out, no walk, no queue run.
inline bool Idle(const TForm1 &form)
{
    return form.ftp1->LoggedIn() && !form.ftp1->Busy() && !form.UiBusy() && !form.WalkRunning();
}

// Fills the login bar, connects, and waits for the first listing.
inline bool Login(TForm1 &form, const QString &host, quint16 port, const QString &user, const QString &password)
{
    form.show();
    // The test servers speak plain FTP: no warning about it in the log under test.
    form.encryption->setCurrentIndex(0);
    form.server->setEditText(host);
    form.port->setValue(port);
    form.username->setText(user);
    form.password->setText(password);
    form.Button1Click();
    return QTest::qWaitFor([&] { return Idle(form) && form.ftppath->count() > 0; }, 10000);
}

inline bool Login(TForm1 &form, const testsupport::PeerServer &server)
{
    return Login(form, server.Host(), server.Port(), server.User(), server.Password());
}

// Selects exactly these names (server bytes) in the remote list.
inline void SelectRemote(TForm1 &form, const QList<QByteArray> &names)
{
    form.ftpview->SelectionModel()->clear();
    for (const QByteArray &name : names) {
        const int row = form.ftpviewModel->rowOfName(name);
        QVERIFY2(row >= 0, name.constData());
        form.ftpview->SetSelected(row, true);
    }
}

// The same, names given as text (sent as UTF-8).
inline void SelectRemoteNames(TForm1 &form, const QStringList &names)
{
    QList<QByteArray> bytes;
    for (const QString &name : names)
        bytes << name.toUtf8();
    SelectRemote(form, bytes);
}

inline QByteArray ReadLocal(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool WriteLocal(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

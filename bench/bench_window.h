#pragma once
// The main window as the tree benchmarks drive it: offscreen, with its
// settings in a folder of its own, the local pane in the target folder, a
// login typed into the login bar and a remote entry dropped on the local list.

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "mainwindow/tform1.h"
#include "platform/folders.h"
#include "widgets/combobox98.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace bench {

// Processor seconds (user and system) of this process or of its waited-for
// children: on a shared machine they vary less than the wall-clock time.
inline double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline int CountFiles(const QString &root)
{
    int count = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

// Runs the event loop as the program does (QTest::qWaitFor would sleep 10 ms
// between its looks, a delay on every reply of a walk of thousands of steps).
inline bool WaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    bool reached = done();
    if (reached)
        return true;
    QEventLoop loop;
    QTimer look;
    QElapsedTimer timer;
    timer.start();
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        reached = reached || done();
        if (reached || timer.elapsed() > timeoutMs)
            loop.quit();
    });
    look.start(2);
    loop.exec();
    return reached;
}

// The browsing connection has nothing to do and the window runs no walk.
inline bool WindowIdle(const TForm1 &form)
{
    return form.ftp1->LoggedIn() && !form.ftp1->Busy() && !form.UiBusy() && !form.WalkRunning();
}

class BenchWindow {
public:
    // The window reads ftp.ini when it is made, so the settings go there first.
    BenchWindow(const TMainSettings &settings, const QString &target)
    {
        platform::SetSettingsFolderOverride(settingsFolder_.path());
        // An empty site list: a missing one is reported in a message box at the first show.
        (void)QFile(settingsFolder_.filePath(QStringLiteral("list.ini"))).open(QIODevice::WriteOnly);
        WriteSettingsFile(SettingsFileName(), settings);
        form_ = std::make_unique<TForm1>();
        MainSettings = settings;
        form_->show();
        QDir().mkpath(target);
        QDir::setCurrent(target);
        form_->SetLocalDirectory(target);
    }
    ~BenchWindow()
    {
        if (form_->ftp1->Connected) {
            WaitUntil([this] { return WindowIdle(*form_); }, 10000);
            form_->ftp1->Quit();
            WaitUntil([this] { return !form_->ftp1->Connected; }, 5000);
        }
        form_.reset();
        platform::SetSettingsFolderOverride(QString());
    }
    BenchWindow(const BenchWindow &) = delete;
    BenchWindow &operator=(const BenchWindow &) = delete;

    TForm1 &form() { return *form_; }

    // Types the login into the login bar and waits for the first listing.
    bool LogIn(const QString &host, quint16 port, const QString &user, const QString &password, bool passive)
    {
        form_->ftp1->Passive = passive;
        form_->server->setEditText(host);
        form_->port->setValue(port);
        form_->username->setText(user);
        form_->password->setText(password);
        form_->Button1Click();
        if (!WaitUntil([this] { return WindowIdle(*form_) && form_->ftppath->count() > 0; }, 20000)) {
            std::fprintf(stderr, "login failed: %s\n", qPrintable(form_->PanelText(0)));
            return false;
        }
        return true;
    }

    // Selects one entry of the remote list and drops it on the local list.
    bool DropRemoteEntry(const QByteArray &name)
    {
        const int row = form_->ftpviewModel->rowOfName(name);
        if (row < 0) {
            std::fprintf(stderr, "no %s in the listing of %s\n", name.constData(),
                         form_->ftp1->CurrentDirectory().constData());
            return false;
        }
        form_->ftpview->SetSelected(row, true);
        form_->FileList1DragDrop(form_->ftpview);
        return true;
    }

private:
    QTemporaryDir settingsFolder_;
    std::unique_ptr<TForm1> form_;
};

}  // namespace bench

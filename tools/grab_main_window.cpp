// Grabs the main window connected to an FTP server into a PNG, for the README
// (with "pub" and "readme.txt" of the demo server put in the batch queue):
//   tarvo_screenshot HOST PORT USER PASSWORD OUT.png
// (with TARVO_GRAB_RUNNING=1 the queue is started, slowed to 256 KiB/s over
// three connections, and grabbed while its entries run),
// or the prompt dialog and the about box into a folder:
//   tarvo_screenshot --dialogs FOLDER
// Run it under QT_QPA_PLATFORM=offscreen. Settings are read from and kept in
// a temporary folder, so no ftp.ini is touched.

#include "engine/ftp.h"
#include "dialogs/tform2.h"
#include "dialogs/tform3.h"
#include "dialogs/tform4.h"
#include "mainwindow/about_box.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "mainwindow/tform1.h"
#include "mainwindow/translation.h"
#include "platform/prompt_query.h"
#include "platform/certificate_dialog.h"
#include "platform/tls_session.h"
#include "platform/application.h"
#include "platform/codepage.h"
#include "platform/folders.h"
#include "widgets/combobox98.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QTabWidget>
#include <QLineEdit>
#include <QPixmap>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

bool WaitFor(const std::function<bool()> &condition, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    platform::Application application(argc, argv);
    application.setApplicationName(QStringLiteral("Tarvo Ftp 软件"));
    // TARVO_LANGUAGE=en grabs the English windows, as the program shows them.
    InstallTranslation(LanguageFromEnvironment());
    if (argc == 3 && QByteArray(argv[1]) == "--dialogs") {
        const QString folder = QString::fromLocal8Bit(argv[2]);
        QTemporaryDir settings;
        platform::SetSettingsFolderOverride(settings.path());
        QFile sites(settings.path() + QStringLiteral("/list.ini"));
        if (!sites.open(QIODevice::WriteOnly))
            return 1;
        sites.write(platform::EncodeAnsi(u"工作站点|ftp.example.org|guest|21|/tmp|/pub|no\r\n"
                                         u"镜像|mirror.example.net|anonymous|2121|/tmp|/|yes\r\n"));
        sites.close();
        TForm1 form;
        form.show();  // creates the secondary windows
        platform::PromptQueryDialog prompt(QStringLiteral("改变当前目录"), QStringLiteral("请输入你的目的目录"),
                                           QStringLiteral("/pub/源代码"), form.font());
        prompt.show();
        TAboutBox about;
        about.show();
        form.Form2->show();
        form.Form3->show();
        form.Form4->show();
        WaitFor([] { return false; }, 300);
        bool saved = prompt.grab().save(folder + QStringLiteral("/prompt.png"))
                     && about.grab().save(folder + QStringLiteral("/about.png"))
                     && form.Form2->grab().save(folder + QStringLiteral("/sites.png"))
                     && form.Form3->grab().save(folder + QStringLiteral("/permissions.png"));
        for (int page = 0; saved && page < form.Form4->PageControl1->count(); ++page) {
            form.Form4->PageControl1->setCurrentIndex(page);
            WaitFor([] { return false; }, 100);
            saved = form.Form4->grab().save(folder + QStringLiteral("/config-%1.png").arg(page + 1));
        }
        // The certificate question, unknown and changed: grabbed while it waits for an answer.
        platform::TlsCertificateInfo certificate;
        certificate.subject = QStringLiteral("CN=ftp.example.org,O=Example");
        certificate.issuer = certificate.subject;
        certificate.notBefore = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        certificate.notAfter = QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC);
        certificate.sha256 = QStringLiteral("5f2a").repeated(16);
        certificate.hostName = QStringLiteral("ftp.example.org");
        certificate.hostMatches = true;
        certificate.verifyCode = 18;
        for (bool changed : {false, true}) {
            QTimer::singleShot(300, [&, changed] {
                QWidget *question = QApplication::activeModalWidget();
                saved = saved && question
                        && question->grab().save(folder + (changed ? QStringLiteral("/certificate-changed.png")
                                                                   : QStringLiteral("/certificate.png")));
                if (question)
                    question->close();
            });
            platform::AskCertificateInWindow(&form, QStringLiteral("ftp.example.org:21"), certificate, changed);
        }
        return saved ? 0 : 1;
    }
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD OUT.png\n", argv[0]);
        return 2;
    }
    QTemporaryDir settings;
    platform::SetSettingsFolderOverride(settings.path());
    // An empty site list: a missing one is reported in a message box at the first show.
    (void)QFile(settings.filePath(QStringLiteral("list.ini"))).open(QIODevice::WriteOnly);

    TForm1 form;
    form.resize(1100, 680);  // as on a desktop: the offscreen screen is small
    form.show();
    form.server->setEditText(QString::fromLocal8Bit(argv[1]));
    form.port->setValue(QString::fromLocal8Bit(argv[2]).toInt());
    form.username->setText(QString::fromLocal8Bit(argv[3]));
    form.password->setText(QString::fromLocal8Bit(argv[4]));
    form.passwordKeyDown(Qt::Key_Return);
    if (!WaitFor([&] { return form.ftp1->LoggedIn() && !form.ftp1->Busy(); }, 15000)) {
        std::fprintf(stderr, "no login to %s:%s\n", argv[1], argv[2]);
        return 1;
    }
    // A queue with a directory and a file shows its columns and icons.
    form.ftpview->SelectionModel()->clear();
    for (const QByteArray &name : {QByteArray("pub"), QByteArray("readme.txt")}) {
        const int row = form.ftpviewModel->rowOfName(name);
        if (row >= 0)
            form.ftpview->SetSelected(row, true);
    }
    const bool running = qEnvironmentVariableIsSet("TARVO_GRAB_RUNNING");
    // The entries' targets are taken from the local pane: a running queue
    // writes into the temporary folder, never into the working directory.
    if (running)
        form.SetDrivePath(settings.path());
    form.spoolDragDrop(form.ftpview);
    if (running) {
        MainSettings.transfers = 3;
        MainSettings.downlimit = 256;
        form.N74Click();
        WaitFor([] { return false; }, 2000);
    }
    WaitFor([] { return false; }, 300);  // let the last repaint settle
    if (!form.grab().save(QString::fromLocal8Bit(argv[5]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[5]);
        return 1;
    }
    return 0;
}

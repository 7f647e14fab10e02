// The remote pane against a real FTP server: the listing in the list, sorting
// by column, the directory history, the remote commands, and the recursive
// delete and case conversion, each checked on the server's disk.

#include "form1_fixture.h"

#include "engine/ftp.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "support/peer_server.h"
#include "widgets/combobox98.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

namespace {

QStringList Captions(const TForm1 &form)
{
    QStringList names;
    for (int row = 0; row < form.ftpviewModel->count(); ++row)
        names << QString::fromUtf8(form.ftpviewModel->entry(row).name);
    return names;
}

} // namespace

class TestForm1Remote : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listingSortingAndHistory();
    void commandsChangeTheServersDisk();
    void recursiveDelete();
    void caseConversion_data();
    void caseConversion();

private:

    std::unique_ptr<PeerServer> server_;
    std::unique_ptr<SettingsFolder> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
    QString startDirectory_;
};

void TestForm1Remote::initTestCase()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    server_ = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(server_, qPrintable(why));
}

void TestForm1Remote::init()
{
    startDirectory_ = QDir::currentPath();
    settings_ = std::make_unique<SettingsFolder>();
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
    QDir(server_->Root()).removeRecursively();
    QDir().mkpath(server_->Root());
    server_->HandOverTree();
}

void TestForm1Remote::cleanup()
{
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
    dialogs_.reset();
    settings_.reset();
    QDir::setCurrent(startDirectory_);
}

void TestForm1Remote::listingSortingAndHistory()
{
    QVERIFY(server_->PutFile(u"b.txt"_s, "12345"));
    QVERIFY(server_->PutFile(u"A.txt"_s, "1"));
    QVERIFY(server_->PutFile(u"zdir/inner.txt"_s, "x"));
    QVERIFY(server_->PutFile(u"Adir/inner.txt"_s, "x"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));

    // Directories first, files after; the listing is sorted by permissions,
    // equal permissions by name.
    QCOMPARE(Captions(form), (QStringList{u"Adir"_s, u"zdir"_s, u"A.txt"_s, u"b.txt"_s}));
    QCOMPARE(form.ftppath->count(), 1);
    QCOMPARE(form.ftppath->currentText(), u"/"_s);

    // A column clicked twice reverses files and directories; directories stay on top.
    form.ftpviewColumnClick(RemoteListModel::NameColumn);
    QCOMPARE(Captions(form), (QStringList{u"zdir"_s, u"Adir"_s, u"b.txt"_s, u"A.txt"_s}));
    form.ftpviewColumnClick(RemoteListModel::NameColumn);
    QCOMPARE(Captions(form), (QStringList{u"Adir"_s, u"zdir"_s, u"A.txt"_s, u"b.txt"_s}));

    // Double click enters a directory; every listing adds to the history.
    SelectRemoteNames(form, {u"zdir"_s});
    form.ftpviewDblClick();
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/zdir"));
    QTRY_VERIFY(Idle(form) && form.ftppath->count() == 2);
    QCOMPARE(Captions(form), QStringList{u"inner.txt"_s});
    QCOMPARE(form.ftppath->currentText(), u"/zdir"_s);

    // Typing into the history changes nothing; choosing an item does.
    form.ftppath->setEditText(u"/Adir"_s);
    QTest::qWait(100);
    QCOMPARE(form.ftp1->CurrentDirectory(), QByteArray("/zdir"));
    form.ftppathChange(0);
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/"));
    QTRY_VERIFY(Idle(form) && form.ftppath->count() == 3);
}

void TestForm1Remote::commandsChangeTheServersDisk()
{
    QVERIFY(server_->PutFile(u"old.txt"_s, "data"));
    QVERIFY(server_->PutFile(u"sub/keep.txt"_s, "k"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    ScriptedDialogs &dialogs = **dialogs_;

    // 建立目录, blanks turned into "_".
    dialogs.QueueText(true, u"new dir"_s);
    form.N32Click();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(server_->PathOf(u"new_dir"_s)).isDir(), 5000);
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("new_dir") >= 0);
    QCOMPARE(dialogs.CallsOf(ScriptedDialogs::AskTextKind).last().caption, u"目录"_s);

    // 重命名: the in-place edit, accepted.
    SelectRemoteNames(form, {u"old.txt"_s});
    form.N23Click();
    QAbstractItemView *view = form.ftpview->ActiveView();
    QTRY_VERIFY(view->indexWidget(view->currentIndex()) || view->findChild<QLineEdit *>());
    auto *editor = view->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(u"renamed.txt"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(server_->Exists(u"renamed.txt"_s), 5000);
    QVERIFY(!server_->Exists(u"old.txt"_s));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("renamed.txt") >= 0);

    // 移动文件 into a subdirectory.
    SelectRemoteNames(form, {u"renamed.txt"_s});
    dialogs.QueueText(true, u"/sub"_s);
    form.N35Click();
    QTRY_VERIFY_WITH_TIMEOUT(server_->Exists(u"sub/renamed.txt"_s), 5000);
    QCOMPARE(server_->ReadFile(u"sub/renamed.txt"_s), QByteArray("data"));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("renamed.txt") < 0);

    // 改变当前目录 by prompt, with the current directory as start text.
    dialogs.QueueText(true, u"/sub"_s);
    form.N36Click();
    QCOMPARE(dialogs.CallsOf(ScriptedDialogs::AskTextKind).last().initial, u"/"_s);
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/sub"));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("keep.txt") >= 0);

    // The parent-directory button.
    form.ToolbarButton972Click();
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/"));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("sub") >= 0);
}

void TestForm1Remote::recursiveDelete()
{
    QVERIFY(server_->PutFile(u"lone.txt"_s, "1"));
    QVERIFY(server_->PutFile(u"tree/a.txt"_s, "a"));
    QVERIFY(server_->PutFile(u"tree/mid/b.txt"_s, "b"));
    QVERIFY(server_->PutFile(u"tree/mid/deep/c.txt"_s, "c"));
    QVERIFY(server_->MakeDirectory(u"empty"_s));
    QVERIFY(server_->PutFile(u"stays.txt"_s, "s"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));

    SelectRemoteNames(form, {u"lone.txt"_s, u"tree"_s});
    form.N22Click();
    QTRY_VERIFY_WITH_TIMEOUT(!server_->Exists(u"tree"_s), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form) && form.ftp1->CurrentDirectory() == "/", 5000);
    QVERIFY(!server_->Exists(u"lone.txt"_s));
    QVERIFY(server_->Exists(u"stays.txt"_s));
    QCOMPARE(Commands(form, {u"DELE"_s, u"RMD"_s}),
             (QStringList{u"DELE /lone.txt"_s, u"DELE a.txt"_s, u"DELE b.txt"_s, u"DELE c.txt"_s,
                          u"RMD /tree/mid/deep"_s, u"RMD /tree/mid"_s, u"RMD /tree"_s}));
    // It ends by listing the directory where it began.
    QTRY_COMPARE(Captions(form), (QStringList{u"empty"_s, u"stays.txt"_s}));

    // An empty directory is removed right after its listing.
    SelectRemoteNames(form, {u"empty"_s});
    form.N22Click();
    QTRY_VERIFY_WITH_TIMEOUT(!server_->Exists(u"empty"_s), 5000);
    QTRY_VERIFY(Idle(form));
    QCOMPARE(Captions(form), QStringList{u"stays.txt"_s});
}

void TestForm1Remote::caseConversion_data()
{
    QTest::addColumn<bool>("upper");
    QTest::newRow("upper") << true;
    QTest::newRow("lower") << false;
}

void TestForm1Remote::caseConversion()
{
    QFETCH(bool, upper);
    QVERIFY(server_->PutFile(u"Top/Mid/Leaf.txt"_s, "l"));
    QVERIFY(server_->PutFile(u"Top/File.txt"_s, "f"));
    QVERIFY(server_->PutFile(u"Other.txt"_s, "o"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));

    SelectRemoteNames(form, {u"Top"_s});
    upper ? form.N89Click() : form.N90Click();
    const auto convert = [upper](const QString &name) { return upper ? name.toUpper() : name.toLower(); };
    QTRY_VERIFY_WITH_TIMEOUT(server_->Exists(convert(u"Top/Mid/Leaf.txt"_s)), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QVERIFY(server_->Exists(convert(u"Top/File.txt"_s)));
    QVERIFY(server_->Exists(u"Other.txt"_s));  // not selected, not touched
    // The directory is renamed before its contents.
    QCOMPARE(Commands(form, {u"RNFR"_s}), (QStringList{u"RNFR /Top"_s, u"RNFR File.txt"_s,
                                                       u"RNFR /"_s + convert(u"Top"_s) + u"/Mid"_s,
                                                       u"RNFR Leaf.txt"_s}));
    QCOMPARE(form.ftp1->CurrentDirectory(), (u"/"_s + convert(u"Top"_s) + u"/"_s + convert(u"Mid"_s)).toUtf8());
}

QTEST_MAIN(TestForm1Remote)
#include "tst_form1_remote.moc"

// Site passwords go to the desktop's keyring and nowhere else. CTest runs each
// row in the session it needs: "keyring" inside a D-Bus session of its own with
// an unlocked gnome-keyring, "no keyring" with the session bus address pointing
// nowhere. Either way the settings files must never hold the password.

#include "dialogs/tform2.h"
#include "mainwindow/form1_fixture.h"
#include "platform/password_store.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using platform::PasswordStore;

namespace {

// Every file under a folder that holds the bytes.
QStringList FilesHolding(const QString &folder, const QByteArray &bytes)
{
    QStringList found;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(bytes))
            found << file.fileName();
    }
    return found;
}

// The keyring's own answer for a site, read past the window.
PasswordStore::Result KeptFor(const QString &siteName)
{
    PasswordStore store;
    std::optional<PasswordStore::Result> answer;
    store.Read(PasswordStore::SiteKey(siteName), [&](const PasswordStore::Result &r) { answer = r; });
    if (!QTest::qWaitFor([&] { return answer.has_value(); }))
        return {PasswordStore::Failed, {}, u"no answer"_s};
    return *answer;
}

} // namespace

class TestSitePasswords : public QObject {
    Q_OBJECT
private slots:
    void keptOnlyInTheKeyring_data();
    void keptOnlyInTheKeyring();
};

void TestSitePasswords::keptOnlyInTheKeyring_data()
{
    QTest::addColumn<bool>("keyring");
    QTest::newRow("keyring") << true;
    QTest::newRow("no keyring") << false;
}

void TestSitePasswords::keptOnlyInTheKeyring()
{
    QFETCH(bool, keyring);
    if (keyring && qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        QSKIP("needs a session bus with an unlocked keyring (run through ctest)");

    // A fallback file of QtKeychain's would land under XDG_CONFIG_HOME: look there too.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    QTemporaryDir local;
    const QString secret = u"kept-secret-%1"_s.arg(QCoreApplication::applicationPid());
    QStringList logins;
    int connects = 0;
    SiteManagerHost host;
    host.SetLogin = [&](const QString &user, const QString &password) { logins << user + u' ' + password; };
    host.Connect = [&] { ++connects; };

    {
        TForm2 form(host);
        form.name->setText(u"work"_s);
        form.server->setText(u"127.0.0.1"_s);
        form.username->setText(u"zhang"_s);
        form.password->setText(secret);
        form.localpath->setText(local.path());
        form.savePassword->setChecked(true);
        if (!keyring)
            dialogs->QueueButton(platform::Dialogs::Ok);
        form.Button8->click();
        form.Button3->click();
        if (keyring) {
            QTRY_COMPARE(KeptFor(u"work"_s).password, secret);
        } else {
            QTRY_COMPARE(dialogs->CallsOf(ScriptedDialogs::MessageBoxKind).size(), 1);
            QVERIFY(dialogs->Calls().constLast().text.startsWith(u"无法把密码保存到系统密钥环: "_s));
            QCOMPARE(KeptFor(u"work"_s).outcome, PasswordStore::Failed);
        }
    }
    QCOMPARE(FilesHolding(settings.Path(), secret.toUtf8()), QStringList());
    QCOMPARE(FilesHolding(config.path(), secret.toUtf8()), QStringList());

    // A restart: selecting the site and connecting at once (a double click) waits
    // for the keyring; without one the login goes out without a password, for the
    // engine to ask.
    TForm2 form(host);
    form.SelectRow(0);
    form.Button1->click();
    QTRY_COMPARE(connects, 1);
    QCOMPARE(logins, QStringList{u"zhang "_s + (keyring ? secret : QString())});
    QCOMPARE(form.savePassword->isChecked(), keyring);

    // Deleting the site deletes its password.
    form.SelectRow(0);
    form.Button4->click();
    if (keyring)
        QTRY_COMPARE(KeptFor(u"work"_s).outcome, PasswordStore::NotFound);
    QCOMPARE(dialogs->UnexpectedCount(), 0);
}

QTEST_MAIN(TestSitePasswords)
#include "tst_site_passwords.moc"

#pragma once
// Passwords live in the desktop's keyring (the Secret Service over D-Bus, through
// QtKeychain), never in the program's files. The keyring answers asynchronously and may
// first ask the user to unlock it, so every operation returns at once and reports later,
// on this thread, through its callback. Nothing here blocks or runs a nested event loop:
// the windows already re-enter through the engine, and one more loop would let a click
// run inside another. Without a keyring the operations fail; there is no fallback file.

#include <QObject>
#include <QString>
#include <functional>

namespace platform {

class PasswordStore : public QObject {
    Q_OBJECT
public:
    enum Outcome { Done, NotFound, Failed };
    struct Result {
        Outcome outcome = Failed;
        QString password;   // Read: what the keyring holds
        QString error;      // Failed: the keyring's own words
    };
    using Callback = std::function<void(const Result &)>;

    explicit PasswordStore(QObject *parent = nullptr);

    // The keyring's service name of this program's entries.
    static QString Service();
    // The entry of a site of the site manager.
    static QString SiteKey(const QString &siteName);

    // The callback runs once, later, unless this store is gone by then.
    void Read(const QString &key, Callback done);
    void Write(const QString &key, const QString &password, Callback done);
    // A key that holds nothing is no failure: it ends as NotFound or Done.
    void Remove(const QString &key, Callback done);
};

} // namespace platform

#pragma once
// The in-memory server history of the login bar: one row per remembered
// server with the user name, password and port typed with it. It lives only
// while the program runs: never saved, never shown.

#include <QList>
#include <QString>

class ServerHistory {
public:
    struct Row {
        QString server;
        QString username;
        QString password;
        QString port;  // decimal text
    };

    // Enter in the login bar: every row of this server (exact, case-sensitive)
    // takes the other values; without one a row is appended. True when a row
    // was appended (the caller then adds the server to its combo's items).
    bool Remember(const QString &server, const QString &username, const QString &password, int port);

    // The first row whose server equals the text exactly, or nullptr.
    const Row *Find(const QString &server) const;

    const QList<Row> &Rows() const { return rows_; }

private:
    QList<Row> rows_;
};

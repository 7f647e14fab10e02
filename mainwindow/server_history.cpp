#include "server_history.h"

bool ServerHistory::Remember(const QString &server, const QString &username, const QString &password, int port)
{
    const QString portText = QString::number(port);
    bool matched = false;
    // Every row of the server is refreshed, not only the first: the table never
    // holds two, but nothing is lost if it ever does.
    for (Row &row : rows_) {
        if (row.server != server)
            continue;
        row.username = username;
        row.password = password;
        row.port = portText;
        matched = true;
    }
    if (matched)
        return false;
    rows_.append(Row{server, username, password, portText});
    return true;
}

const ServerHistory::Row *ServerHistory::Find(const QString &server) const
{
    for (const Row &row : rows_) {
        if (row.server == server)
            return &row;
    }
    return nullptr;
}

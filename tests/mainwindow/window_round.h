#pragma once
// What the window tests against real servers repeat for every test function:
// the servers started once, and per test function a fresh settings folder,
// scripted dialogs, a local folder, default settings and empty server roots.

#include "form1_fixture.h"
#include "mainwindow/main_settings.h"
#include "peer_server.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <memory>

// pyftpdlib and vsftpd, each when the machine has it.
class TestServers {
public:
    using Kind = testsupport::PeerServer::Kind;

    // False with the reason when a server that is there does not start.
    bool Start(QString *why)
    {
        for (Kind kind : {Kind::Pyftpdlib, Kind::Vsftpd}) {
            QString missing;
            if (!testsupport::PeerServer::Available(kind, &missing)) {
                qWarning("%s", qPrintable(missing));
                continue;
            }
            auto server = testsupport::PeerServer::Start(kind, why);
            if (!server)
                return false;
            servers_[kind] = std::move(server);
        }
        return true;
    }

    testsupport::PeerServer *Find(Kind kind) const
    {
        auto it = servers_.find(kind);
        return it == servers_.end() ? nullptr : it->second.get();
    }

    void EmptyRoots()
    {
        for (auto &[kind, server] : servers_) {
            QDir(server->Root()).removeRecursively();
            QDir().mkpath(server->Root());
            server->HandOverTree();
        }
    }

private:
    std::map<Kind, std::unique_ptr<testsupport::PeerServer>> servers_;
};

// One test function's surroundings; the test's cleanup checks
// dialogs->UnexpectedCount() before dropping it.
struct WindowRound {
    WindowRound() { MainSettings = TMainSettings(); }
    ~WindowRound()
    {
        MainSettings = TMainSettings();
        QDir::setCurrent(startDirectory);
    }
    QString startDirectory = QDir::currentPath();
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    QTemporaryDir local;
};

// Data rows for both servers, in an int column "server"; the test function
// takes its server with NEED_SERVER.
#define SERVER_ROWS(name, ...)                                                                                \
    QTest::newRow(name " pyftpdlib") << int(TestServers::Kind::Pyftpdlib) __VA_ARGS__;                        \
    QTest::newRow(name " vsftpd") << int(TestServers::Kind::Vsftpd) __VA_ARGS__

#define NEED_SERVER(var)                                                                                      \
    testsupport::PeerServer *var = [this] {                                                                   \
        QFETCH(int, server);                                                                                  \
        return servers_.Find(TestServers::Kind(server));                                                      \
    }();                                                                                                      \
    if (!var)                                                                                                 \
        QSKIP("server not available here")

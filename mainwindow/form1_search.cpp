// The search window's ties to the main window: the engine address from the
// settings, FTP hits opened through the engine, and the connected server's
// own search, whose walk (RemoteSearchWalk) runs over ftp1 like the tree
// download: change to a folder, list it, hand the listing to the walk. Its
// listings are not shown in the remote pane; at the end the walk goes back
// to the folder it started from, whose listing the pane shows as usual.

#include "mainwindow/tform1.h"

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/remote_list_model.h"
#include "platform/codepage.h"
#include "search/ftpsearch.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace {

const QColor kSkipColor(255, 0, 0);

} // namespace

void TForm1::WireSearchWindow()
{
    search->EngineAddress = [] { return MainSettings.searchengine; };
    search->StartServerSearch = [this](const QString &mask, int limit) { return StartServerSearch(mask, limit); };
    search->StopServerSearch = [this] { StopServerSearch(); };
    search->OpenServerHit = [this](const QByteArray &path, bool isDirectory, const QString &localFolder) {
        OpenServerSearchHit(path, isDirectory, localFolder);
    };
}

QString TForm1::StartServerSearch(const QString &mask, int limit)
{
    if (!ftp1->Connected || !ftp1->LoggedIn())
        return tr("没有连接到 FTP 服务器。请先连接, 再按文件名搜索当前服务器。");
    if (uiBusy_ || ftp1->Busy() || TransferWalkRunning())
        return tr("正在执行其它操作, 请等它结束后再搜索。");
    browsing_.Search.MaxHits = limit;
    browsing_.Search.MaxDepth = MainSettings.walkdepth;
    browsing_.Search.DecodeRemote = [](const QByteArray &bytes) { return platform::DecodeAnsi(bytes); };
    const RemoteSearchStep step = browsing_.Search.start(mask, ftp1->CurrentDirectory());
    SetBusy();
    RunSearchStep(step);
    return {};
}

void TForm1::StopServerSearch()
{
    if (!browsing_.Search.running())
        return;
    // The folder change or listing in flight ends it, and the walk goes back.
    browsing_.Search.stop();
    if (!browsing_.SearchStepInFlight() || !ftp1->Busy()) {
        CancelServerSearch();
        SetIdle();
    }
}

void TForm1::RunSearchStep(const RemoteSearchStep &step)
{
    for (const QString &line : step.log)
        AppendLog(line, kSkipColor, false);
    if (!step.hits.isEmpty()) {
        std::vector<SearchHit> rows;
        rows.reserve(size_t(step.hits.size()));
        // The engine forgets the login once in: the session's target is the window's.
        const QString site = u"ftp://"_s + ConnectionTarget();
        for (const RemoteSearchHit &hit : step.hits) {
            SearchHit row;
            row.Size = hit.isDirectory ? tr("<目录>") : platform::DecodeAnsi(hit.size);
            row.Time = platform::DecodeAnsi(hit.date);
            // Shown only; opening uses the path's bytes.
            row.Link = site + platform::DecodeAnsi(hit.path) + (hit.isDirectory ? u"/"_s : QString());
            row.Ftp = true;
            row.ServerHit = true;
            row.Directory = hit.isDirectory;
            row.RemotePath = hit.path;
            rows.push_back(std::move(row));
        }
        search->ServerSearchHits(rows);
    }
    browsing_.SetSearchStepInFlight(step.kind == RemoteSearchStep::ChangeDirectory || step.kind == RemoteSearchStep::List);
    switch (step.kind) {
    case RemoteSearchStep::ChangeDirectory:
        search->ServerSearchProgress(tr("正在搜索 %1 (已找到 %2 个)").arg(platform::DecodeAnsi(step.path))
                                         .arg(browsing_.Search.hitCount()));
        ftp1->ChangeDirectory(step.path);
        break;
    case RemoteSearchStep::List:
        ftp1->List();
        break;
    case RemoteSearchStep::Finished: {
        QString summary = tr("搜索结束: 找到 %1 个, 搜索了 %2 个目录").arg(browsing_.Search.hitCount())
                              .arg(browsing_.Search.directoriesListed());
        if (browsing_.Search.directoriesSkipped() > 0)
            summary += tr(", 跳过 %1 个目录").arg(browsing_.Search.directoriesSkipped());
        if (browsing_.Search.limitReached())
            summary += tr(" (已达到返回结果条数)");
        if (browsing_.Search.stopped())
            summary += tr(" (已停止)");
        search->ServerSearchEnded(summary);
        // Back where it started: its listing fills the pane and ends the busy state.
        if (!step.path.isEmpty())
            ftp1->ChangeDirectory(step.path);
        else
            SetIdle();
        break;
    }
    case RemoteSearchStep::None:
        break;
    }
}

bool TForm1::SearchTookDirectoryChange()
{
    if (browsing_.OwnerOfDirectoryChange() != BrowsingOwner::SearchWalk)
        return false;
    RunSearchStep(browsing_.Search.onDirectoryChanged(ftp1->Success()));
    return true;
}

bool TForm1::SearchTookListing()
{
    if (browsing_.OwnerOfListing() != BrowsingOwner::SearchWalk)
        return false;
    RunSearchStep(browsing_.Search.onListing(
        ftp1->CurrentDirectory(),
        RemoteItemsFromListing(ftp1->DirectoryNames, ftp1->DirectoryInfos, ftp1->FileNames, ftp1->FileInfos),
        ftp1->Success()));
    return true;
}

void TForm1::CancelServerSearch()
{
    if (!browsing_.Search.running() && !browsing_.SearchStepInFlight())
        return;
    // Stopped from the main window while a folder change or listing of the
    // search is in flight: the server may be in one of the searched folders.
    const QByteArray start = ftp1->Connected && ftp1->Busy() ? browsing_.Search.startDirectory() : QByteArray();
    browsing_.Search.cancel();
    browsing_.SetSearchStepInFlight(false);
    if (search)
        search->ServerSearchEnded(tr("搜索已中断"));
    // The pane's folder again once the engine is free.
    if (!start.isEmpty() && !returnHomeWhenReady_)
        returnHomeWhenReady_ = {start, LocalDirectory()};
}

void TForm1::OpenServerSearchHit(const QByteArray &remotePath, bool isDirectory, const QString &localFolder)
{
    // The session's login as the login bar holds it: the engine opens the
    // address as it opens the engine's hits, logging in to the same server.
    const QByteArray login = username->text().isEmpty()
                                 ? QByteArray()
                                 : username->text().toUtf8().toPercentEncoding() + ':'
                                       + password->text().toUtf8().toPercentEncoding() + '@';
    QByteArray url = "ftp://" + login + ConnectionTarget().toUtf8() + remotePath;
    if (isDirectory && !url.endsWith('/'))
        url += '/';
    OpenUrlDownload(url, localFolder);
}

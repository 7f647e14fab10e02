// Remote list benchmark: a UNIX-style listing of N entries (100 000 by
// default, one in five a directory) from the received bytes to a sorted,
// painted view: lines cut and parsed by the engine's listing parser and filed
// into the name and info lists, the model filled, sorted by the permissions
// column as after every listing, shown in a report view and painted; then a
// column click (sort by size, descending). Prints each phase; asserts nothing.
// Then the memory the model holds: heap in use (malloc's own count) and RSS
// before and after a model is filled and sorted from the engine's lists.
//
//   QT_QPA_PLATFORM=offscreen bench_remote_list [--entries N] [--rounds N]
//   QT_QPA_PLATFORM=offscreen bench_remote_list --entries 2000000 --rounds 0

#include "engine/ftp_fileinfo.h"
#include "engine/ftp_listing.h"
#include "mainwindow/remote_list_model.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QPixmap>
#include <QTreeView>

#include <cstdio>
#include <malloc.h>

namespace {

QByteArray MakeListing(int entries)
{
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QByteArray data;
    data.reserve(qsizetype(entries) * 72);
    data += "total 123456\r\n";
    for (int i = 0; i < entries; ++i) {
        const bool dir = i % 5 == 0;
        // Names spread over the alphabet, not in listing order, so the sort has work.
        const unsigned key = unsigned(i) * 2654435761u;
        data += dir ? "drwxr-xr-x" : (i % 3 ? "-rw-r--r--" : "-rwxr-x---");
        data += "    1 user     group    ";
        data += QByteArray::number(dir ? 4096 : qint64(key % 50000000u));
        data += ' ';
        data += months[key % 12];
        data += ' ';
        data += QByteArray::number(1 + key % 28);
        data += (key & 1) ? " 2024 " : " 12:30 ";
        data += dir ? "dir_" : "file_";
        data += QByteArray::number(key, 16);
        data += dir ? "" : ".dat";
        data += "\r\n";
    }
    return data;
}

// Bytes handed out by malloc and still in use, small blocks and mapped ones.
qint64 HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

qint64 StatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The peak RSS from here on (Linux resets VmHWM when "5" is written here).
void ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct EngineLists {
    QByteArrayList dirNames, fileNames;
    TMFtpFileInfoList dirInfos, fileInfos;
};

// Received bytes to the engine's lists, as the engine files them.
void ParseListing(const QByteArray &listing, EngineLists &lists)
{
    ListingParser listingParser;
    qsizetype from = 0;
    while (from < listing.size()) {
        qsizetype end = listing.indexOf('\n', from);
        if (end < 0)
            end = listing.size();
        qsizetype lineEnd = end;
        if (lineEnd > from && listing.at(lineEnd - 1) == '\r')
            --lineEnd;
        const ParsedEntry e = listingParser.Parse(ftpstUNIX, listing.mid(from, lineEnd - from));
        from = end + 1;
        if (!e.accepted)
            continue;
        if (e.directory) {
            lists.dirNames.append(e.name);
            lists.dirInfos.Add(e.attributes, e.date, e.size, QByteArray(), QByteArray());
        } else {
            lists.fileNames.append(e.name);
            lists.fileInfos.Add(e.attributes, e.date, e.size, QByteArray(), QByteArray());
        }
    }
}

double Ms(QElapsedTimer &timer)
{
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("entries"), QStringLiteral("Listing entries."), QStringLiteral("N"),
                      QStringLiteral("100000")});
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Repetitions."), QStringLiteral("N"),
                      QStringLiteral("3")});
    parser.process(app);
    const int entries = parser.value(QStringLiteral("entries")).toInt();
    const int rounds = parser.value(QStringLiteral("rounds")).toInt();

    QByteArray listing = MakeListing(entries);
    std::printf("remote listing: %d entries, %.1f MiB of LIST data, platform %s\n", entries,
                double(listing.size()) / (1024.0 * 1024.0), qPrintable(QApplication::platformName()));
    std::printf("%-6s %10s %10s %10s %10s %10s %10s %10s\n", "round", "parse", "fill", "sort", "show",
                "paint", "total", "click");

    QFileIconProvider icons;
    for (int round = 1; round <= rounds; ++round) {
        QElapsedTimer timer, total;
        timer.start();
        total.start();

        EngineLists lists;
        ParseListing(listing, lists);
        const auto &[dirNames, fileNames, dirInfos, fileInfos] = lists;
        const double parseMs = Ms(timer);

        RemoteListModel model;
        model.setIconProvider([&icons](bool isDirectory) {
            return icons.icon(isDirectory ? QFileIconProvider::Folder : QFileIconProvider::File);
        });
        QTreeView view;
        view.setRootIsDecorated(false);
        view.setUniformRowHeights(true);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.resize(900, 700);
        view.setModel(&model);
        timer.restart();

        model.Fill(dirNames, dirInfos, fileNames, fileInfos);
        const double fillMs = Ms(timer);
        model.Sort(RemoteListModel::PermissionsColumn, false);
        const double sortMs = Ms(timer);
        view.show();
        QCoreApplication::processEvents();
        const double showMs = Ms(timer);
        const QPixmap painted = view.grab();
        const double paintMs = Ms(timer);
        const double totalMs = double(total.nsecsElapsed()) / 1e6;

        // A click on the size column, painted again.
        model.Sort(RemoteListModel::SizeColumn, true);
        view.grab();
        const double clickMs = Ms(timer);

        // The model alone, without a view listening to it.
        RemoteListModel bare;
        bare.Fill(dirNames, dirInfos, fileNames, fileInfos);
        timer.restart();
        bare.Sort(RemoteListModel::PermissionsColumn, false);
        const double bareSortMs = Ms(timer);

        std::printf("%-6d %8.1fms %8.1fms %8.1fms %8.1fms %8.1fms %8.1fms %8.1fms   (%d rows, %dx%d; sort without a view %.1fms)\n", round,
                    parseMs, fillMs, sortMs, showMs, paintMs, totalMs, clickMs, model.rowCount(),
                    painted.width(), painted.height(), bareSortMs);
    }

    // The model's memory, without a view: the engine's lists stay, as they do
    // in the window, so what the model adds is the difference.
    QByteArray().swap(listing);
    {
        malloc_trim(0);
        const qint64 heapAtStart = HeapInUse();
        EngineLists lists;
        ParseListing(MakeListing(entries), lists);
        malloc_trim(0);
        const qint64 heapBefore = HeapInUse(), rssBefore = StatusKb("VmRSS:");
        ResetPeak();
        QElapsedTimer timer;
        timer.start();
        RemoteListModel model;
        model.Fill(lists.dirNames, lists.dirInfos, lists.fileNames, lists.fileInfos);
        const double fillMs = Ms(timer);
        model.Sort(RemoteListModel::PermissionsColumn, false);
        const double sortMs = Ms(timer);
        const qint64 peakKb = StatusKb("VmHWM:");
        malloc_trim(0);
        const qint64 heapAfter = HeapInUse(), rssAfter = StatusKb("VmRSS:");
        const double rows = double(qMax(1, model.count()));
        std::printf("model of %d rows: fill %.1f ms, sort %.1f ms\n", model.count(), fillMs, sortMs);
        std::printf("heap in use: engine lists %.1f MB, with the model %.1f MB: the model %.1f MB, %.1f bytes "
                    "per row\n",
                    double(heapBefore) / 1e6, double(heapAfter) / 1e6, double(heapAfter - heapBefore) / 1e6,
                    double(heapAfter - heapBefore) / rows);
        std::printf("VmRSS: engine lists %lld KiB, with the model %lld KiB (%.1f bytes per row); peak while filling and sorting %lld KiB\n",
                    rssBefore, rssAfter, double(rssAfter - rssBefore) * 1024.0 / rows, peakKb);
        // The model shares the names' bytes with the engine's lists: without
        // them it holds the names alone.
        lists = EngineLists();
        malloc_trim(0);
        std::printf("the model alone, after the engine's lists are gone: heap %.1f MB (%.1f bytes per row), "
                    "VmRSS %lld KiB\n",
                    double(HeapInUse()) / 1e6, double(HeapInUse() - heapAtStart) / rows, StatusKb("VmRSS:"));
    }
    return 0;
}

// Listing memory benchmark: the engine lists N synthetic UNIX entries (one in
// ten a directory, sizes spread, a few hundred distinct dates) from the
// scripted peer over loopback, and the heap it holds afterwards is divided by
// N: bytes per entry, and bytes per entry beyond the names' own bytes. The
// peer's copy of the listing exists before and after, so it cancels out.
// Prints figures and asserts nothing.
//
//   bench_listing_memory [--entries N]

#include "engine/ftp.h"
#include "scripted_ftp_peer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTest>

#include <cstdio>
#include <malloc.h>

using testsupport::ScriptedFtpPeer;
using testsupport::Transfer;

namespace {

// Bytes handed out by malloc and still in use, small blocks and mapped ones.
qint64 HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

qint64 RssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

QByteArray MakeListing(int entries)
{
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QByteArray data;
    data.reserve(qsizetype(entries) * 80);
    data += "total 123456\r\n";
    for (int i = 0; i < entries; ++i) {
        const bool dir = i % 10 == 0;
        const unsigned key = unsigned(i) * 2654435761u;
        data += dir ? "drwxr-xr-x" : (i % 3 ? "-rw-r--r--" : "-rwxr-x---");
        data += "    1 1001     1001     ";
        data += QByteArray::number(dir ? 4096 : qint64(key % 50000000u));
        data += ' ';
        data += months[(key >> 8) % 12];
        data += ' ';
        data += QByteArray::number(1 + (key >> 12) % 28);
        if (key & 1) {
            data += " 20";
            data += QByteArray::number(10 + (key >> 4) % 14);
        } else {
            data += ' ';
            data += QByteArray::number(10 + (key >> 16) % 14);
            data += ":";
            data += QByteArray::number(10 + (key >> 20) % 50);
        }
        data += dir ? " dir-" : " file-";
        data += QByteArray::number(i);
        data += dir ? "" : ".dat";
        data += "\r\n";
    }
    return data;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addHelpOption();
    options.addOption({QStringLiteral("entries"), QStringLiteral("listing entries"), QStringLiteral("N"),
                       QStringLiteral("2000000")});
    options.process(app);
    const int entries = qMax(1, options.value(QStringLiteral("entries")).toInt());

    ScriptedFtpPeer peer;
    if (!peer.Listen()) {
        std::fprintf(stderr, "the scripted peer cannot listen\n");
        return 1;
    }
    Transfer listing = Transfer::Data(MakeListing(entries));
    listing.chunkSize = 1 << 20;
    peer.SetTransfer("LIST", listing);

    TMFtp ftp;
    bool loggedIn = false, listed = false;
    ftp.OnLoggedIn = [&](QObject *) { loggedIn = true; };
    ftp.OnListingDone = [&](QObject *) { listed = true; };
    ftp.SetServer(peer.Host());
    ftp.Port = peer.Port();
    ftp.Username = "u";
    ftp.SetPassword("p");
    ftp.Passive = true;
    ftp.Connect();
    if (!QTest::qWaitFor([&] { return loggedIn; }, 10000)) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }

    malloc_trim(0);
    const qint64 heapBefore = HeapInUse();
    const qint64 rssBefore = RssKb();
    QElapsedTimer timer;
    timer.start();
    ftp.List();
    if (!QTest::qWaitFor([&] { return listed && !ftp.Busy(); }, 600000)) {
        std::fprintf(stderr, "the listing did not end\n");
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    // The peer's socket buffers are gone once the client has read them all.
    (void)QTest::qWaitFor([&] { return !peer.Transfers().isEmpty()
                                       && peer.Transfers().last().end != testsupport::TransferRecord::End::Running; },
                          10000);
    malloc_trim(0);
    const qint64 heapAfter = HeapInUse();
    const qint64 rssAfter = RssKb();

    const qsizetype filed = ftp.FileNames.size() + ftp.DirectoryNames.size();
    qint64 nameBytes = 0;
    for (const QList<QByteArray> *names : {&ftp.FileNames, &ftp.DirectoryNames})
        for (const QByteArray &name : *names)
            nameBytes += name.size();
    const double perEntry = double(heapAfter - heapBefore) / double(qMax<qsizetype>(filed, 1));
    std::printf("listing of %d lines: %lld entries filed in %.2f s\n", entries, qlonglong(filed), seconds);
    std::printf("heap held after the listing: %.1f MB, %.1f bytes per entry, %.1f beyond the name's "
                "%.1f bytes\n",
                double(heapAfter - heapBefore) / 1e6, perEntry, perEntry - double(nameBytes) / double(filed),
                double(nameBytes) / double(filed));
    // Counted after the measurement: each distinct date text is held once.
    QSet<QByteArray> dates;
    for (const TMFtpFileInfoList *infos : {&ftp.FileInfos, &ftp.DirectoryInfos}) {
        QByteArray date;
        for (int i = 0; i < infos->Count(); ++i)
            if (infos->GetInfo(i, 1, date))
                dates.insert(date);
    }
    std::printf("distinct dates: %lld (%.1f%% of the entries)\n", qlonglong(dates.size()),
                100.0 * double(dates.size()) / double(qMax<qsizetype>(filed, 1)));
    std::printf("VmRSS before %lld KiB, after %lld KiB (%.1f bytes per entry)\n", rssBefore, rssAfter,
                double(rssAfter - rssBefore) * 1024.0 / double(qMax<qsizetype>(filed, 1)));
    return 0;
}

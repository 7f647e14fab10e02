// Local list benchmark: a folder of 100 000 files (on tmpfs when /dev/shm is writable)
// from setting the list's directory to a sorted, painted report view, by name and by
// size, with "ls" on the same folder beside it. It prints figures and asserts nothing.
//
//   bench_local_list [--files N] [--rounds N]

#include "widgets/file_list.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

qint64 RssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Sparse files of varied sizes and a few suffixes, plus some folders.
bool Fill(const QString &folder, int files)
{
    static const char *const suffixes[] = {".txt", ".jpg", ".tar.gz", ".cpp", "", ".pdf", ".html", ".mp3"};
    for (int i = 0; i < files; ++i) {
        const QByteArray name = QFile::encodeName(folder) + '/'
            + QByteArray("file").append(QByteArray::number((i * 7919) % files)).append(suffixes[i % 8]);
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const bool sized = ::ftruncate(fd, (static_cast<off_t>(i) * 104729) % 50000000) == 0;
        ::close(fd);
        if (!sized)
            return false;
    }
    for (int i = 0; i < files / 1000; ++i)
        QDir(folder).mkdir(QStringLiteral("folder%1").arg(i));
    return true;
}

// From setting Directory to the painted, sorted view.
double Round(const QString &folder, TFileInfo sortBy, int *rows)
{
    TFileList list;
    list.SetViewStyle(TFileListView::vsReport);
    list.SetViewColumns({fiAll});
    list.SetFileTypes({ftAll});
    list.SetMask(QStringLiteral("*"));
    list.resize(900, 700);
    list.show();
    if (sortBy != fiName)
        list.SetSortColumn(sortBy);   // an empty list: only the column is chosen
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    list.SetDirectory(folder);
    QCoreApplication::processEvents();
    list.grab();
    const double ms = clock.nsecsElapsed() / 1e6;
    *rows = list.Count();
    return ms;
}

double Resort(const QString &folder, TFileInfo sortBy)
{
    TFileList list;
    list.SetViewStyle(TFileListView::vsReport);
    list.SetViewColumns({fiAll});
    list.SetDirectory(folder);
    list.resize(900, 700);
    list.show();
    list.grab();
    QElapsedTimer clock;
    clock.start();
    list.SetSortColumn(sortBy);
    list.grab();
    return clock.nsecsElapsed() / 1e6;
}

double Peer(const QString &folder, const QStringList &options)
{
    QProcess ls;
    ls.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    ls.start(QStringLiteral("ls"), options + QStringList{folder});
    if (!ls.waitForFinished(60000))
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption filesOption(QStringLiteral("files"), QStringLiteral("Files in the folder."), QStringLiteral("N"), QStringLiteral("100000"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Rounds of each measure."), QStringLiteral("N"), QStringLiteral("3"));
    parser.addOptions({filesOption, roundsOption});
    parser.process(app);
    const int files = parser.value(filesOption).toInt();
    const int rounds = qMax(1, parser.value(roundsOption).toInt());

    const QString shm = QStringLiteral("/dev/shm");
    const bool onTmpfs = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable();
    QTemporaryDir folder(onTmpfs ? shm + QStringLiteral("/tarvo-bench-XXXXXX") : QDir::tempPath() + QStringLiteral("/tarvo-bench-XXXXXX"));
    QElapsedTimer fillClock;
    fillClock.start();
    if (!folder.isValid() || !Fill(folder.path(), files)) {
        std::fprintf(stderr, "cannot fill %s\n", qPrintable(folder.path()));
        return 1;
    }
    std::printf("folder %s (%s): %d files, %d folders, made in %.0f ms\n", qPrintable(folder.path()),
                onTmpfs ? "tmpfs" : "disk", files, files / 1000, fillClock.nsecsElapsed() / 1e6);
    std::printf("RSS before: %lld kB\n", RssKb());

    for (const auto &[info, label] : {std::pair{fiName, "name"}, std::pair{fiSize, "size"}}) {
        for (int round = 1; round <= rounds; ++round) {
            int rows = 0;
            const double ms = Round(folder.path(), info, &rows);
            std::printf("directory set -> sorted by %-4s and painted: %8.1f ms (%d rows, round %d)\n", label, ms, rows, round);
        }
    }
    std::printf("RSS after: %lld kB\n", RssKb());
    for (const auto &[info, label] : {std::pair{fiSize, "size"}, std::pair{fiType, "type"}, std::pair{fiModified, "modified"}})
        std::printf("re-sort of the filled list by %-8s and paint: %8.1f ms\n", label, Resort(folder.path(), info));
    std::printf("peer: ls -l (by name)  %8.1f ms\n", Peer(folder.path(), {QStringLiteral("-l")}));
    std::printf("peer: ls -lS (by size) %8.1f ms\n", Peer(folder.path(), {QStringLiteral("-lS")}));
    return 0;
}

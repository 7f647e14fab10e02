#pragma once
// A program run to its end with its own resource figures: wall time and
// processor time from wait4, and the peak resident size from GNU time.
//
// Not wait4's ru_maxrss of our own child: Linux carries the high-water mark of
// the memory a process had before exec into its figure, so a child started from
// the benchmark reports at least the benchmark's own size (a /bin/true started
// from a 200 MiB process reports 208 MiB). /usr/bin/time is small when it forks
// the program, and its ru_maxrss (%M) is the program's own.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace bench {

struct MeasuredProcess {
    bool started = false;
    bool finished = false;  // false: killed when the time ran out
    int exitCode = -1;
    double seconds = 0;     // from spawn to exit
    double cpuSeconds = 0;  // user and system
    long peakRssKb = -1;    // -1: /usr/bin/time is missing
    QByteArray output;      // standard output and error together
};

inline MeasuredProcess RunMeasured(const QString &program, const QStringList &arguments,
                                   const QString &workingDirectory, int timeoutSeconds)
{
    MeasuredProcess result;
    // A file, not a pipe: nobody reads while the child runs, and a full pipe would stall it.
    QTemporaryFile log;
    QTemporaryFile peak;
    if (!log.open() || !peak.open())
        return result;
    const QString timeProgram = QStringLiteral("/usr/bin/time");
    const bool timed = QFile::exists(timeProgram);
    const QByteArray programBytes = QFile::encodeName(timed ? timeProgram : program);
    std::vector<QByteArray> argumentBytes{programBytes};
    if (timed) {
        for (const char *argument : {"-f", "%M", "-o"})
            argumentBytes.emplace_back(argument);
        argumentBytes.push_back(QFile::encodeName(peak.fileName()));
        argumentBytes.push_back(QFile::encodeName(program));
    }
    for (const QString &argument : arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, log.handle(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, log.handle(), STDERR_FILENO);
    const QByteArray directory = QFile::encodeName(workingDirectory);
    posix_spawn_file_actions_addchdir_np(&actions, directory.constData());
    // A group of its own, so that a run out of time is ended with whatever it started.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    QElapsedTimer timer;
    timer.start();
    const int spawned = posix_spawnp(&pid, programBytes.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return result;
    result.started = true;

    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return result;
        if (timer.elapsed() > qint64(timeoutSeconds) * 1000) {
            kill(-pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            result.seconds = timer.nsecsElapsed() / 1e9;
            log.seek(0);
            result.output = log.readAll();
            return result;
        }
        // Polled: a millisecond of lateness on runs of a second or more.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    result.seconds = timer.nsecsElapsed() / 1e9;
    result.finished = true;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (timed) {
        // "Command exited with non-zero status N" may come first; the figure is the last line.
        peak.seek(0);
        const QList<QByteArray> lines = peak.readAll().trimmed().split('\n');
        bool number = false;
        const long kb = lines.last().trimmed().toLong(&number);
        result.peakRssKb = number ? kb : -1;
    }
    log.seek(0);
    result.output = log.readAll();
    return result;
}

}  // namespace bench

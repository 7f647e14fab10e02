#pragma once
// A program run to its end with its own resource figures: wall time, processor
// time and peak resident size from wait4, so each run's peak is its own (the
// RUSAGE_CHILDREN maximum would mix every child the benchmark ever waited for).

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
    long peakRssKb = 0;     // ru_maxrss
    QByteArray output;      // standard output and error together
};

inline MeasuredProcess RunMeasured(const QString &program, const QStringList &arguments,
                                   const QString &workingDirectory, int timeoutSeconds)
{
    MeasuredProcess result;
    // A file, not a pipe: nobody reads while the child runs, and a full pipe would stall it.
    QTemporaryFile log;
    if (!log.open())
        return result;
    const QByteArray programBytes = QFile::encodeName(program);
    std::vector<QByteArray> argumentBytes{programBytes};
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
    pid_t pid = -1;
    QElapsedTimer timer;
    timer.start();
    const int spawned = posix_spawnp(&pid, programBytes.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
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
            kill(pid, SIGKILL);
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
    result.peakRssKb = usage.ru_maxrss;
    log.seek(0);
    result.output = log.readAll();
    return result;
}

}  // namespace bench

#include "port_block.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Below Linux's default ephemeral range (32768-60999), above the usual services.
constexpr int kRangeStart = 20000;
constexpr int kRangeEnd = 32000;
constexpr int kStride = 20;
constexpr int kAttempts = 200;

QString LockFolder()
{
    const QString folder = QDir::tempPath() + QStringLiteral("/tarvo-peer-ports");
    QDir().mkpath(folder);
    // Shared by root and ordinary users running tests on the same machine.
    ::chmod(QFile::encodeName(folder).constData(), 01777);
    return folder;
}

}  // namespace

bool PortBlock::PortFree(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // No SO_REUSEADDR: a port still in TIME_WAIT counts as taken, which keeps
    // blocks away from ports a previous test has just used.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

std::unique_ptr<PortBlock> PortBlock::Reserve(int count, QString *whyNot)
{
    if (count < 1 || count >= kStride) {
        if (whyNot)
            *whyNot = QStringLiteral("a port block holds 1 to %1 ports, %2 asked").arg(kStride - 1).arg(count);
        return nullptr;
    }
    const QString folder = LockFolder();
    const int blockCount = (kRangeEnd - kRangeStart) / kStride;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int first = kRangeStart + kStride * QRandomGenerator::global()->bounded(blockCount);
        const QByteArray lockPath = QFile::encodeName(folder + QStringLiteral("/%1.lock").arg(first));
        const int fd = ::open(lockPath.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        bool allFree = true;
        for (int i = 0; i < count && allFree; ++i)
            allFree = PortFree(quint16(first + i));
        if (!allFree) {
            ::close(fd);
            continue;
        }
        return std::unique_ptr<PortBlock>(new PortBlock(quint16(first), count, fd));
    }
    if (whyNot)
        *whyNot = QStringLiteral("no block of %1 free ports found in %2-%3").arg(count).arg(kRangeStart).arg(kRangeEnd);
    return nullptr;
}

PortBlock::~PortBlock()
{
    ::close(lockFd_);  // releases the flock
}

}  // namespace testsupport

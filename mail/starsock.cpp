#include "starsock.h"

#include "platform/winsock_errors.h"

#include <cerrno>
#include <unistd.h>

TStarSocket::TStarSocket(QObject *parent) : LineSocket(parent)
{
    // No countdown by default: the owner publishes its own time-outs.
    TimeOutConnect = 0;
    TimeOutArp = 0;
}

QString TStarSocket::LocalHostName()
{
    char buffer[256] = {};
    if (::gethostname(buffer, 255) != 0) {
        LastError = quint16(platform::winsockErrorFromErrno(errno));
        return QString();
    }
    buffer[255] = '\0';
    LastError = 0;
    return QString::fromLocal8Bit(buffer);
}

#include "socket_error_text.h"

#include <algorithm>
#include <iterator>

namespace {

struct ErrorText {
    int code;
    const char16_t *text;
};

// Sorted by number for the binary search below.
constexpr ErrorText Table[] = {
    {0, u"No Error"},
    {10004, u"Interrupted system call"},
    {10009, u"Bad file number"},
    {10013, u"Permission denied"},
    {10014, u"Bad address"},
    {10022, u"Invalid argument"},
    {10024, u"Too many open files"},
    {10035, u"Operation would block"},
    {10036, u"Operation now in progress"},
    {10037, u"Operation already in progress"},
    {10038, u"Socket operation on non-socket"},
    {10039, u"Destination address required"},
    {10040, u"Message too long"},
    {10041, u"Protocol wrong type for socket"},
    {10042, u"Protocol not available"},
    {10043, u"Protocol not supported"},
    {10044, u"Socket type not supported"},
    {10045, u"Operation not supported on socket"},
    {10046, u"Protocol family not supported"},
    {10047, u"Address family not supported by protocol family"},
    {10048, u"Address already in use"},
    {10049, u"Address not available"},
    {10050, u"Network is down"},
    {10051, u"Network is unreachable"},
    {10052, u"Network dropped connection on reset"},
    // The local side gave the connection up: shown to the user in Chinese.
    {10053, u"退出连接"},
    {10054, u"Connection reset by peer"},
    {10055, u"No buffer space available"},
    {10056, u"Socket is already connected"},
    {10057, u"Socket is not connected"},
    {10058, u"Can't send after socket shutdown"},
    {10059, u"Too many references: can't splice"},
    {10060, u"Connection timed out"},
    {10061, u"Connection refused"},
    {10062, u"Too many levels of symbolic links"},
    {10063, u"File name too long"},
    {10064, u"Host is down"},
    {10065, u"No route to host"},
    {10066, u"Directory not empty"},
    {10067, u"Too many processes"},
    {10068, u"Too many users"},
    {10069, u"Disc quota exceeded"},
    {10070, u"Stale NFS file handle"},
    {10071, u"Too many levels of remote in path"},
    {10091, u"Network sub-system is unusable"},
    {10092, u"WinSock DLL cannot support this application"},
    {10093, u"WinSock not initialized"},
    {11001, u"Host not found"},
    {11002, u"Non-authoritative host not found"},
    {11003, u"Non-recoverable error"},
    {11004, u"No Data"},
};
static_assert(std::size(Table) == 51);

}  // namespace

QString SocketErrorText(int errorCode)
{
    auto it = std::lower_bound(std::begin(Table), std::end(Table), errorCode,
                               [](const ErrorText &entry, int code) { return entry.code < code; });
    if (it == std::end(Table) || it->code != errorCode)
        return QStringLiteral("Not a WinSock error");
    return QString::fromUtf16(it->text);
}

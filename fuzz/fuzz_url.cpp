// libFuzzer target: ftp:// address splitting takes whatever the user pastes.

#include "engine/ftp_url.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const FtpUrl url = SplitFtpUrl(input);
    if (url.status != FtpUrl::Ok)
        return 0;
    // What OpenURL relies on: a usable host and port, a rooted path whose last
    // segment is the file name, and nothing that could split a command line.
    if (url.host.isEmpty() || url.port == 0 || !url.path.startsWith('/'))
        abort();
    if (!url.path.endsWith(url.fileName) || url.fileName.contains('/'))
        abort();
    for (const QByteArray *part : {&url.user, &url.password, &url.path, &url.host})
        if (part->contains('\r') || part->contains('\n') || part->contains('\0'))
            abort();
    if (url.host.contains('/') || url.host.contains(':'))
        abort();
    return 0;
}

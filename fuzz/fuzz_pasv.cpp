// PASV replies, the size in a 150 reply and listing size texts come from the
// server: whatever the bytes, the readers must not crash, and what they accept
// must be consistent.

#include "engine/ftp_parse.h"

#include <QStringList>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));

    if (const std::optional<ftpparse::PasvAddress> address = ftpparse::ParsePasvReply(reply)) {
        const QStringList parts = address->host.split(QLatin1Char('.'));
        if (parts.size() != 4)
            std::abort();
        for (const QString &part : parts) {
            bool ok = false;
            const int value = part.toInt(&ok);
            if (!ok || value < 0 || value > 255)
                std::abort();
        }
        // What we would announce for that address reads back the same.
        const QByteArray argument = ftpparse::PortArgument(address->host, address->port);
        const std::optional<ftpparse::PasvAddress> back = ftpparse::ParsePasvReply("227 (" + argument + ")");
        if (!back || back->host != address->host || back->port != address->port)
            std::abort();
    }

    const QByteArray sizeText = ftpparse::FileSizeFromReply(reply);
    if (!sizeText.isEmpty() && !reply.contains(sizeText))
        std::abort();

    if (const std::optional<qint64> value = ftpparse::ParseSizeText(reply)) {
        if (*value < 0)
            std::abort();
    }
    return 0;
}

// The encoding of names typed for this server: the one its names are decoded
// with, so that what the user answers reaches the server as it would list it.

#include "engine/ftp.h"

#include "platform/codepage.h"

bool TMFtp::NamesUtf8() const
{
    if (features_.utf8)
        return true;
    // The window decides the same way after each listing.
    if (!platform::IsValidUtf8(currentDirectory_))
        return false;
    for (const QList<QByteArray> *names : {&DirectoryNames, &FileNames})
        for (const QByteArray &name : *names)
            if (!platform::IsValidUtf8(name))
                return false;
    return true;
}

QByteArray TMFtp::EncodeName(const QString &text) const
{
    return NamesUtf8() ? text.toUtf8() : platform::EncodeAnsi(text);
}

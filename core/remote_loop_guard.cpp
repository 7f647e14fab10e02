#include "core/remote_loop_guard.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <algorithm>

QByteArray ListingSignature(const QList<RemoteItem> &listing)
{
    QByteArrayList lines;
    lines.reserve(listing.size());
    for (const RemoteItem &item : listing)
        lines << (item.isDirectory ? "d " : "f ") + item.attributes + ' ' + item.details + ' ' + item.name;
    std::sort(lines.begin(), lines.end());
    return QCryptographicHash::hash(lines.join('\n'), QCryptographicHash::Sha1);
}

void RemoteLoopGuard::clear()
{
    m_signatures.clear();
}

void RemoteLoopGuard::record(const QByteArray &path, const QList<RemoteItem> &listing)
{
    m_signatures.insert(WithoutTrailingSlash(path), ListingSignature(listing));
}

bool RemoteLoopGuard::enter(const QByteArray &path, const QList<RemoteItem> &listing)
{
    const QByteArray here = WithoutTrailingSlash(path);
    if (m_signatures.contains(here))
        return false;
    const QByteArray signature = ListingSignature(listing);
    // Only the ancestors count, looked up one by one: a walk of many folders
    // stays linear.
    qsizetype slash = here.size();
    while (slash > 0 && (slash = here.lastIndexOf('/', slash - 1)) >= 0) {
        const QByteArray ancestor = slash == 0 ? QByteArray("/") : here.left(slash);
        const auto it = m_signatures.constFind(ancestor);
        if (ancestor != here && it != m_signatures.cend() && it.value() == signature)
            return false;
    }
    m_signatures.insert(here, signature);
    return true;
}

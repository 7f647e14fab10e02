#include "mainwindow/remote_loop_guard.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <algorithm>

namespace {

bool IsAncestor(const QByteArray &ancestor, const QByteArray &path)
{
    if (ancestor == "/")
        return path.size() > 1 && path.startsWith('/');
    return path.size() > ancestor.size() && path.startsWith(ancestor) && path.at(ancestor.size()) == '/';
}

} // namespace

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
    for (auto it = m_signatures.cbegin(); it != m_signatures.cend(); ++it) {
        if (it.value() == signature && IsAncestor(it.key(), here))
            return false;
    }
    m_signatures.insert(here, signature);
    return true;
}

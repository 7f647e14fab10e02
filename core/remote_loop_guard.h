#pragma once
// Loop detection shared by the remote walks that descend through listings
// (tree download, server search): a directory is not entered twice in one
// walk, by the path the server reports, nor when it holds exactly what one of
// its ancestors in the walk holds, down to sizes and times (the same
// directory reached again through a link whose target the server does not
// name; MLSD often types links by their target).

#include "core/remote_tree_walks.h"

#include <QByteArray>
#include <QHash>
#include <QList>

class RemoteLoopGuard
{
public:
    void clear();
    // The directory a walk starts in: recorded without a check.
    void record(const QByteArray &path, const QList<RemoteItem> &listing);
    // False for a loop; otherwise records the directory and returns true.
    bool enter(const QByteArray &path, const QList<RemoteItem> &listing);
    qsizetype size() const { return m_signatures.size(); }

private:
    // Entered path (without a final "/") -> the signature of what it held.
    QHash<QByteArray, QByteArray> m_signatures;
};

// What a listing holds, as a short digest.
QByteArray ListingSignature(const QList<RemoteItem> &listing);

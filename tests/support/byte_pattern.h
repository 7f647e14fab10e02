#pragma once
// Test content whose bytes differ from block to block, so a lost, doubled or
// shifted block shows.

#include <QByteArray>

inline QByteArray Pattern(qint64 size, quint32 seed = 1)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 12345u;
    for (qint64 i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 16);
    }
    return bytes;
}

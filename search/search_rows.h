#pragma once
// Cutting the hits out of the search engine's result page. The engine marks
// each hit's line with "<B>size</B>time<A HREF="link">name</A>"; the page is
// cut by those markers only, never parsed as HTML.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct SearchHit {
    QString Size;   // between "<B>" and "</B>"
    QString Time;   // between "</B>" and the link
    QString Link;   // the link's target; web links get the engine's host in front
    bool Ftp = false;  // icon 0 for FTP links, icon 1 for the rest
    // A hit of the connected FTP server's own search: opened by its path (the
    // server's bytes), not by the link, which is only shown.
    bool ServerHit = false;
    bool Directory = false;
    QByteArray RemotePath;
};

// The line with every "amp;" removed, over and over until none is left
// ("&amp;amp;" gives "&").
QString RemoveAmp(const QString &line);

// Whether a link counts as FTP: its first six characters, in lower case, are "ftp://".
bool IsFtpLink(const QString &link);

// One row from a line that contains "<B>". Lines lacking the other markers
// still give a row, with empty or partial texts.
SearchHit CutResultRow(const QString &line, const QString &engineHost);

// The page as text lines (CR LF, LF or CR end a line), each line decoded on
// its own so that a line cut off by an abort does not spoil the others.
QStringList PageLines(const QByteArray &page);

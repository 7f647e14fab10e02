#pragma once

#include <QByteArray>

// Listing styles. The numbers are stored in settings and set by the SYST
// detection, so the order never changes.
enum TMFtpServerType {
    ftpstDefault = 0,
    ftpstAutoDetect,
    ftpstUNIX,
    ftpstULTRIX,
    ftpstU5000,
    ftpstSINTMftpD,
    ftpstVmsMultinet,
    ftpstVmsUcx,
    ftpstMVS,
    ftpstMacFtpd,
    ftpstClix,
    ftpstQVT,
    ftpstNCSA,
    ftpstChameleon,
    ftpstVM,
    ftpstVMVPS,
};

// One line of a LIST reply, turned into a directory entry. Every text is the
// server's bytes: the name goes back to the server unchanged.
struct ParsedEntry {
    bool accepted = false;
    QByteArray name;
    bool directory = false;
    QByteArray attributes;
    QByteArray date;
    QByteArray size;
};

// Parses listing lines by the style in force. Pure per line, except for the
// one VMS line that a server may break after a long versioned name.
class ListingParser
{
public:
    // A VMS name is a few hundred bytes at most; anything longer than this
    // waiting for its continuation is garbage and is dropped.
    static constexpr qsizetype MaxPendingLength = 64 * 1024;

    ParsedEntry Parse(TMFtpServerType style, const QByteArray &line);

    // Forgets a VMS line still waiting for its continuation; called when a
    // new listing starts so that the last listing's tail cannot leak into it.
    void Reset();

    const QByteArray &PendingLine() const { return m_pending; }

    // Word n (from 0) of a line: columns split at blanks only (a run of
    // blanks counts as one), and the text after the last blank is never a word.
    static QByteArray Word(const QByteArray &line, int n);

private:
    static ParsedEntry ParseUnix(const QByteArray &line);
    ParsedEntry ParseVms(const QByteArray &line);
    static ParsedEntry ParseVm(const QByteArray &line);
    static ParsedEntry ParseVmVps(const QByteArray &line);
    static ParsedEntry ParseWithoutRule(const QByteArray &line);

    QByteArray m_pending;
};

#pragma once

#include <QByteArray>
#include <QTimeZone>

#include <optional>

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
    // SYST did not decide: each line picks its rule. EPLF ("+" first), DOS
    // and IIS (a date first), else UNIX, with or without a group column.
    ftpstDetect,
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

    // The UNIX styles (default, UNIX, ULTRIX, U5000, SINTMftpD) read a line
    // that starts with "+" by the EPLF rule and one that starts with a digit
    // by the DOS rule: no UNIX line starts so.
    ParsedEntry Parse(TMFtpServerType style, const QByteArray &line);

    // One line of an MLSD listing. Refused: a line without facts or without
    // the blank before the name, the directory itself and its parent
    // (cdir, pdir), devices and other special types, and names that are no
    // plain names (empty, ".", "..", holding "/", NUL, CR or LF). Attributes
    // are UNIX.mode as "drwxr-xr-x" ("l" alone for a link without it), the
    // date the modify fact in local time as "YYYY-MM-DD HH:MM".
    ParsedEntry ParseMlsd(const QByteArray &line) const;

    // The zone MLSD and EPLF times are shown in: this machine's local time
    // unless set (tests set one).
    void SetTimeZone(const std::optional<QTimeZone> &zone) { m_zone = zone; }

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
    // "12-08-26  10:15AM  <DIR>  name", "12-08-2026  22:15  1234 name".
    static ParsedEntry ParseDos(const QByteArray &line);
    // "+i8388621.29609,m824255902,/,\tdev".
    ParsedEntry ParseEplf(const QByteArray &line) const;
    // A UNIX line whose columns are found by its month: also without a group
    // (or link count) column. Lines with all columns read as ParseUnix.
    static ParsedEntry ParseUnixLocated(const QByteArray &line);
    ParsedEntry ParseUnixFamily(const QByteArray &line, bool locate) const;

    QByteArray m_pending;
    std::optional<QTimeZone> m_zone;
};

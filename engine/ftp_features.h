#pragma once
// The FEAT reply (RFC 2389) read into a record of what the server offers.
// Pure: no state, no sockets, so it can be fuzzed and tested by table.

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

struct FtpFeatures {
    // The server answered FEAT with 211 (possibly listing nothing). False for
    // a refusal (500, 502...), silence, or before FEAT was asked.
    bool answered = false;

    bool utf8 = false;        // UTF8 (RFC 2640)
    bool mlst = false;        // MLST (RFC 3659)
    bool mlsd = false;        // MLSD: implied by MLST, or listed on its own
    bool size = false;        // SIZE
    bool mdtm = false;        // MDTM
    bool mfmt = false;        // MFMT
    bool restStream = false;  // REST STREAM
    bool epsv = false;        // EPSV
    bool eprt = false;        // EPRT
    bool authTls = false;     // AUTH TLS (or TLS-C, TLS-P)
    bool authSsl = false;     // AUTH SSL
    bool pbsz = false;        // PBSZ
    bool prot = false;        // PROT
    bool clnt = false;        // CLNT
    bool tvfs = false;        // TVFS

    // The facts MLST names, as the server spells them, without the "*";
    // enabled[i] is whether fact i is marked "*" (sent without OPTS MLST).
    QByteArrayList mlstFacts;
    QList<bool> mlstFactEnabled;

    // Every feature line: the keyword upper-cased, one blank, then its
    // parameters with blanks and tabs around them removed.
    QByteArrayList lines;

    // Whether the keyword (any case) was listed, for features without a flag.
    bool Has(QByteArrayView keyword) const;
    // Whether MLST names the fact (any case), and whether it is on by default.
    bool HasFact(QByteArrayView fact) const;
    bool FactEnabled(QByteArrayView fact) const;
};

namespace ftpfeatures {

// The complete FEAT reply: its lines separated by CR LF or a bare LF, the
// last one with or without its line end. Read loosely: feature lines with any
// leading blanks or tabs, odd spacing and case, lines in the "211-" form, and
// a reply whose closing line is missing. A reply that is not 211 (500 or 502
// for a server without FEAT) gives an empty record; a single-line 211 says
// the server has no features.
FtpFeatures ParseFeatReply(QByteArrayView reply);

// The argument of "OPTS MLST" that turns on the facts a listing needs (type,
// size, sizd, modify, perm, UNIX.mode) besides those the server sends
// already; empty when nothing needs turning on. Spelled as the server lists
// them, each followed by ";".
QByteArray OptsMlstArgument(const FtpFeatures &features);

}  // namespace ftpfeatures

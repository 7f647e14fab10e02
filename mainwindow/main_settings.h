#pragma once
// MainSettings: the in-memory record of ftp.ini, one per process. The main
// window reads it at creation, the configuration dialog at every show; only
// the configuration dialog's OK writes it back. Field names are the file's keys.

#include <QString>

// Value names of the numeric fields (the file stores the numbers). A stored
// number outside 1..3 is kept as it is and takes none of the branches.
enum ResumePolicy : int { ResumeAsk = 1, ResumeAlways = 2, OverwriteAlways = 3 };
enum NameCase : int { CaseKeep = 1, CaseUpper = 2, CaseLower = 3 };
enum AfterTransferAction : int { AfterTransferNothing = 1, AfterTransferClose = 2, AfterTransferLogout = 3 };
enum AfterConnectAction : int { AfterConnectList = 1, AfterConnectRunQueue = 2, AfterConnectMirror = 3 };

struct TMainSettings {
    QString email;
    QString initdir;  // default: the working directory at the moment of reading
    int timeout = 300;
    int nooptime = 5;
    int upresume = ResumeAsk;
    int upfilenamecase = CaseKeep;
    int downresume = ResumeAsk;
    int downfilenamecase = CaseKeep;
    int aftertransfer = AfterTransferNothing;
    int afterconnect = AfterConnectList;
    QString editor;
    // How many folder levels a tree transfer goes down at most.
    int walkdepth = 64;
    // Deleting in either pane asks first (1, the default) or not (0).
    bool confirmdelete = true;
    // Data connections: passive (1, the default: works behind routers) or active (0).
    bool passive = true;
    // Uploads keep the local file's modification time where the server can set it (MFMT).
    bool keepuploadtime = true;
    // The windows' language from the next start: "zh" (the default), "en", or
    // "auto" for the desktop's (Chinese when it is Chinese, else English).
    QString language = QStringLiteral("zh");
    // How often a queue entry is tried again by itself after a connection failure.
    int retries = 2;
    // How many files are transferred at once, each over a connection of its
    // own (1..10); with 1 the browsing connection carries the transfers.
    int transfers = 2;
    // Speed limits shared by all transfers, in KiB/s; 0: none.
    int downlimit = 0;
    int uplimit = 0;
    // The FTP search engine's address ("host[:port]", or with http:// or
    // https:// in front); empty: the built-in reserved address, which the
    // search window explains instead of querying.
    QString searchengine;

    bool operator==(const TMainSettings &) const = default;
};

extern TMainSettings MainSettings;

// ftp.ini in the settings folder.
QString SettingsFileName();

// Reads ftp.ini into MainSettings. A missing, unreadable or garbled file gives
// the defaults, without a message.
void LoadSettings();
// Writes MainSettings to ftp.ini: all twelve keys in their order, other keys
// and sections kept. False when it cannot be written (not reported).
bool SaveSettings();

// The same on a file of the caller's choice (tests).
TMainSettings ReadSettingsFile(const QString &path);
bool WriteSettingsFile(const QString &path, const TMainSettings &settings);

// An integer value as the file holds it: "0x"/"0X" followed by hexadecimal
// digits when the text is longer than two characters, otherwise decimal; text
// that is not a number (or empty) gives the default.
int SettingsInteger(const QString &text, int defaultValue);

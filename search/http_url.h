#pragma once
// Splitting of the addresses the HTTP client is given or redirected to.

#include <QString>

struct HttpUrlParts {
    QString Proto;
    QString User;
    QString Pass;
    QString Host;
    QString Port;
    QString Path;  // from the first "/" of what follows the authority, query included
};

// Scheme "://" authority path; also "/path", "//host/path", "http:/path" and
// "mailto:...". Nothing is decoded or validated.
HttpUrlParts ParseURL(const QString &url);

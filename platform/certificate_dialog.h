#pragma once
// The window that shows a server certificate which failed verification and
// asks whether to go on: the real answer behind Dialogs::AskCertificate, for
// the FTP and the mail connections alike.

#include "dialogs.h"

#include <QString>

class QWidget;

namespace platform {

struct TlsCertificateInfo;

// What is wrong with the certificate, in the user's words (one problem a line).
QString CertificateProblemText(const TlsCertificateInfo &certificate);
// "AB:CD:..." for a lower-case hex fingerprint.
QString GroupedFingerprint(const QString &sha256);

Dialogs::CertificateAnswer AskCertificateInWindow(QWidget *parent, const QString &endpoint,
                                                  const TlsCertificateInfo &certificate, bool changed);

}  // namespace platform

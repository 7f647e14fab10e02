#include "smtp_capabilities.h"

namespace {

// SASL mechanism names: upper-case letters, digits, "-" and "_", at most 20
// characters (RFC 4422).
bool isMechanism(const QByteArray &token)
{
    if (token.isEmpty() || token.size() > 20)
        return false;
    for (char c : token)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

}  // namespace

SmtpCapabilities SmtpCapabilities::Parse(const QByteArrayList &replyLines)
{
    SmtpCapabilities capabilities;
    for (qsizetype i = 1; i < replyLines.size(); ++i) {
        const QByteArray &line = replyLines.at(i);
        if (line.size() < 4 || !line.startsWith("250"))
            continue;
        // "AUTH=PLAIN LOGIN" is what servers written for old Outlook versions add.
        QByteArray text = line.mid(4).toUpper();
        text.replace('=', ' ').replace('\t', ' ');
        const QByteArrayList tokens = text.simplified().split(' ');
        if (tokens.isEmpty())
            continue;
        if (tokens.first() == "STARTTLS" && tokens.size() == 1) {
            capabilities.startTls = true;
        } else if (tokens.first() == "AUTH") {
            for (qsizetype t = 1; t < tokens.size(); ++t)
                if (isMechanism(tokens.at(t)) && !capabilities.authMechanisms.contains(tokens.at(t)))
                    capabilities.authMechanisms.append(tokens.at(t));
        }
    }
    return capabilities;
}

QByteArray SmtpCapabilities::ChooseAuth() const
{
    for (const char *preferred : {"PLAIN", "LOGIN"})
        if (authMechanisms.contains(preferred))
            return preferred;
    return QByteArray();
}

#include "engine/ftp_features.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArrayView Trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text.at(begin)))
        ++begin;
    while (end > begin && IsBlank(text.at(end - 1)))
        --end;
    return text.sliced(begin, end - begin);
}

bool SameText(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "211-", "211 " or a bare "211": the code of a reply line, else -1.
int ReplyCode(QByteArrayView line, char *separator)
{
    if (line.size() < 3 || !IsDigit(line.at(0)) || !IsDigit(line.at(1)) || !IsDigit(line.at(2)))
        return -1;
    const char after = line.size() > 3 ? line.at(3) : ' ';
    if (after != ' ' && after != '-')
        return -1;
    *separator = after;
    return (line.at(0) - '0') * 100 + (line.at(1) - '0') * 10 + (line.at(2) - '0');
}

// A fact name goes back to the server in OPTS MLST: nothing that could end
// or split the command line.
bool Printable(QByteArrayView word)
{
    for (char c : word)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

// The parameter words of AUTH and the like: split at blanks, tabs, ";" and ",".
QList<QByteArrayView> Words(QByteArrayView text)
{
    QList<QByteArrayView> words;
    qsizetype begin = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool separator = i == text.size() || IsBlank(text.at(i)) || text.at(i) == ';' || text.at(i) == ',';
        if (separator) {
            if (begin >= 0)
                words.append(text.sliced(begin, i - begin));
            begin = -1;
        } else if (begin < 0) {
            begin = i;
        }
    }
    return words;
}

void ReadMlstFacts(QByteArrayView parameters, FtpFeatures &features)
{
    qsizetype begin = 0;
    while (begin <= parameters.size()) {
        qsizetype end = parameters.indexOf(';', begin);
        if (end < 0)
            end = parameters.size();
        QByteArrayView fact = Trimmed(parameters.sliced(begin, end - begin));
        begin = end + 1;
        bool enabled = false;
        if (fact.endsWith('*')) {
            enabled = true;
            fact = Trimmed(fact.chopped(1));
        }
        // Facts hold no blanks: "type* size*" from a sloppy server is one word each.
        for (QByteArrayView word : Words(fact)) {
            bool starred = enabled;
            if (word.endsWith('*')) {
                starred = true;
                word.chop(1);
            }
            if (word.isEmpty() || !Printable(word) || features.HasFact(word))
                continue;
            features.mlstFacts.append(word.toByteArray());
            features.mlstFactEnabled.append(starred);
        }
    }
}

void ReadFeatureLine(QByteArrayView line, FtpFeatures &features)
{
    line = Trimmed(line);
    if (line.isEmpty())
        return;
    qsizetype cut = 0;
    while (cut < line.size() && !IsBlank(line.at(cut)))
        ++cut;
    const QByteArray keyword = line.first(cut).toByteArray().toUpper();
    const QByteArrayView parameters = Trimmed(line.sliced(cut));
    features.lines.append(parameters.isEmpty() ? keyword : keyword + ' ' + parameters.toByteArray());

    if (keyword == "UTF8") {
        features.utf8 = true;
    } else if (keyword == "MLST") {
        features.mlst = true;
        features.mlsd = true;
        ReadMlstFacts(parameters, features);
    } else if (keyword == "MLSD") {
        features.mlsd = true;
    } else if (keyword == "SIZE") {
        features.size = true;
    } else if (keyword == "MDTM") {
        features.mdtm = true;
    } else if (keyword == "MFMT") {
        features.mfmt = true;
    } else if (keyword == "REST") {
        for (QByteArrayView word : Words(parameters))
            features.restStream = features.restStream || SameText(word, "STREAM");
    } else if (keyword == "EPSV") {
        features.epsv = true;
    } else if (keyword == "EPRT") {
        features.eprt = true;
    } else if (keyword == "AUTH") {
        for (QByteArrayView word : Words(parameters)) {
            if (SameText(word, "TLS") || SameText(word, "TLS-C") || SameText(word, "TLS-P"))
                features.authTls = true;
            else if (SameText(word, "SSL"))
                features.authSsl = true;
        }
    } else if (keyword == "PBSZ") {
        features.pbsz = true;
    } else if (keyword == "PROT") {
        features.prot = true;
    } else if (keyword == "CLNT") {
        features.clnt = true;
    } else if (keyword == "TVFS") {
        features.tvfs = true;
    }
}

}  // namespace

bool FtpFeatures::Has(QByteArrayView keyword) const
{
    for (const QByteArray &line : lines) {
        const qsizetype blank = line.indexOf(' ');
        if (SameText(blank < 0 ? QByteArrayView(line) : QByteArrayView(line).first(blank), keyword))
            return true;
    }
    return false;
}

bool FtpFeatures::HasFact(QByteArrayView fact) const
{
    for (const QByteArray &known : mlstFacts)
        if (SameText(known, fact))
            return true;
    return false;
}

bool FtpFeatures::FactEnabled(QByteArrayView fact) const
{
    for (qsizetype i = 0; i < mlstFacts.size(); ++i)
        if (SameText(mlstFacts.at(i), fact))
            return mlstFactEnabled.at(i);
    return false;
}

namespace ftpfeatures {

FtpFeatures ParseFeatReply(QByteArrayView reply)
{
    FtpFeatures features;
    int code = -1;            // of the first line that carries one
    bool closed = false;      // a "211 " line ended the reply
    QList<QByteArrayView> featureLines;
    qsizetype begin = 0;
    while (begin < reply.size() && !closed) {
        qsizetype end = reply.indexOf('\n', begin);
        if (end < 0)
            end = reply.size();
        QByteArrayView line = reply.sliced(begin, end - begin);
        begin = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        char separator = 0;
        const int lineCode = ReplyCode(line, &separator);
        if (lineCode < 0) {
            featureLines.append(line);  // RFC 2389: a feature line, led by a blank
            continue;
        }
        if (code < 0) {
            code = lineCode;  // the opening line: its text is a heading
            closed = separator == ' ';
            continue;
        }
        if (separator == ' ' && lineCode == code) {
            closed = true;
            continue;
        }
        // "211-MDTM": some servers put the code in front of every line.
        featureLines.append(line.sliced(qMin<qsizetype>(4, line.size())));
    }
    if (code != 211)
        return features;
    features.answered = true;
    for (QByteArrayView line : featureLines)
        ReadFeatureLine(line, features);
    return features;
}

QByteArray OptsMlstArgument(const FtpFeatures &features)
{
    static const char *const wanted[] = {"type", "size", "sizd", "modify", "perm", "UNIX.mode"};
    bool missing = false;
    for (const char *fact : wanted)
        missing = missing || (features.HasFact(fact) && !features.FactEnabled(fact));
    if (!missing)
        return {};
    // The facts on by default stay on: OPTS MLST replaces the whole set.
    QByteArray argument;
    for (qsizetype i = 0; i < features.mlstFacts.size(); ++i) {
        bool want = features.mlstFactEnabled.at(i);
        for (const char *fact : wanted)
            want = want || SameText(features.mlstFacts.at(i), fact);
        if (want)
            argument += features.mlstFacts.at(i) + ';';
    }
    return argument;
}

}  // namespace ftpfeatures

#include "core/display_text.h"

#include "platform/codepage.h"

namespace {

bool IsPrintableAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7e)  // char may be signed: bytes above 0x7f are negative
            return false;
    }
    return true;
}

// Characters that would break a row or reorder what is shown around them.
bool IsRowBreaking(char16_t c)
{
    return c == 0x2028 || c == 0x2029                  // line and paragraph separators
        || (c >= 0x202a && c <= 0x202e)                // embeddings and overrides
        || (c >= 0x2066 && c <= 0x2069);               // isolates
}

QString Capped(QString text)
{
    if (text.size() <= kMaxDisplayLength)
        return text;
    qsizetype cut = kMaxDisplayLength - 1;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;  // never split a surrogate pair
    text.truncate(cut);
    text.append(QChar(0x2026));
    return text;
}

}  // namespace

QString SafeDisplayText(const QByteArray &bytes)
{
    if (IsPrintableAscii(bytes))
        return Capped(QString::fromLatin1(bytes.left(kMaxDisplayLength + 1)));
    QString text = platform::DecodeAnsi(bytes);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20)
            text[i] = QChar(char16_t(0x2400 + c));  // Control Pictures block
        else if (c == 0x7f)
            text[i] = QChar(char16_t(0x2421));
        else if ((c >= 0x80 && c <= 0x9f) || IsRowBreaking(c))
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    return Capped(std::move(text));
}

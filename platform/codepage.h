#pragma once
// Text in the "ANSI code page". Old settings and site files are GB2312/GBK, newer ones
// and most servers speak UTF-8: valid UTF-8 reads as UTF-8, anything else as GB18030
// (a superset of GB2312 and GBK, so old files read unchanged). What we write is GB18030.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace platform {

// UTF-8 when the bytes are valid UTF-8 (a leading byte-order mark is dropped), else GB18030.
QString DecodeAnsi(QByteArrayView bytes);

// GB18030; it covers all of Unicode, so nothing is lost.
QByteArray EncodeAnsi(QStringView text);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing cut off).
bool IsValidUtf8(QByteArrayView bytes);

// GBK rule: 0x81..0xFE lead a two-byte character. A scanner that splits on an ASCII
// byte ("|", "\\") must step over the trail byte, which can be 0x40..0xFE.
bool IsDbcsLeadByte(unsigned char byte);

// Splits decoded text into lines at CR LF, LF or a lone CR; a final line end does not
// start another (empty) line.
QStringList SplitTextLines(QStringView text);

// False when the file cannot be opened. Lines as SplitTextLines.
bool ReadAnsiTextFile(const QString &path, QStringList *lines);

// GB18030 with CR LF after every line, written through a temporary file and renamed into
// place so that a failed write never leaves half a file; creates the parent folder.
bool WriteAnsiTextFile(const QString &path, const QStringList &lines);

// The same, for bytes already encoded. Where the folder cannot take the
// temporary file the file is written in place, unless `directWriteFallback` is
// off (then such a write fails and the old file stays whole).
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, bool directWriteFallback = true);

} // namespace platform

#pragma once
// TBreakString: splits a line of ANSI bytes into parts, either at a separator
// (stepping over double-byte characters, whose trail byte may equal an ASCII
// separator) or at fixed widths ("3/8/2"). The site list reads list.ini with it.

#include "platform/exceptions.h"

#include <QByteArray>
#include <QList>
#include <QObject>

// Raised for a bad separator or width list and for a part index out of range.
class EFormatedTextException : public platform::Exception {
public:
    using platform::Exception::Exception;
};

class TBreakString : public QObject {
    Q_OBJECT
public:
    explicit TBreakString(QObject *parent = nullptr);

    QByteArray SourceString;
    // Delimiter mode: the separator's bytes. Fixed mode: decimal widths joined by "/".
    QByteArray Separator;
    bool Fixed = false;
    // Trim wins over FillZero when both are on.
    bool Trim = false;
    bool FillZero = false;

    // Parts of the last split.
    int Count() const { return int(parts_.size()); }

    // Throws EFormatedTextException for an empty separator or a bad width list;
    // the parts are then empty.
    void Split();
    // Part n of the last split, 0-based; throws for any other n.
    QByteArray Parts(int n) const;

    // The component's three messages.
    static QString SeparatorMessage();
    static QString WidthsMessage();
    static QString IndexMessage();

private:
    void SplitAtSeparator();
    void SplitFixed();
    void Store(QByteArray part);

    QList<QByteArray> parts_;
};

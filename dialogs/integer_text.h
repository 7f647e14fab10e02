#pragma once
// The dialogs' integer fields: decimal text with an optional sign, and the
// message shown when a field holds anything else.

#include <QString>
#include <optional>

// The value of a decimal integer text (an optional "+" or "-", then digits,
// within int's range); none for anything else, blanks included.
std::optional<int> IntegerText(const QString &text);

// "'%s' is not a valid integer value" with the field's text.
QString NotAnIntegerMessage(const QString &text);

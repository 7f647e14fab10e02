#pragma once
// The language the windows speak. Chinese is the source text of every window
// and the default; English comes from translations/tarvo_en.ts, compiled into
// the program.

#include <QString>

// "en" or "zh": TARVO_LANGUAGE when it names one of them, otherwise "zh".
// (The desktop's own language does not switch it.)
QString LanguageFromEnvironment();

// Installs the program's translation for language ("en"), or none for the
// Chinese source, together with Qt's own texts (standard dialogs, context
// menus) for that language where Qt ships them, and makes that language's
// locale the default (dates, type names). Replaces what an earlier call
// installed. Returns false when the program's translation could not be loaded.
bool InstallTranslation(const QString &language);

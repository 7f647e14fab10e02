#pragma once
// The language the windows speak. Chinese is the source text of every window
// and the default; English comes from translations/tarvo_en.ts, compiled into
// the program.

#include <QString>

// "en" or "zh": TARVO_LANGUAGE when it names one of them, otherwise "zh".
QString LanguageFromEnvironment();

// The language to speak: TARVO_LANGUAGE when it names one, else the setting
// ("zh", "en", or "auto": the desktop's language, Chinese when it is Chinese
// and English otherwise). Chinese unless something says otherwise.
QString ChosenLanguage(const QString &setting);

// Installs the program's translation for language ("en"), or none for the
// Chinese source, together with Qt's own texts (standard dialogs, context
// menus) for that language where Qt ships them, and makes that language's
// locale the default (dates, type names). Replaces what an earlier call
// installed. Returns false when the program's translation could not be loaded.
bool InstallTranslation(const QString &language);

#include "mainwindow/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace {

// Qt's own translation files are named by locale, not by language alone.
QString QtLocaleOf(const QString &language)
{
    return language == u"en" ? QStringLiteral("en") : QStringLiteral("zh_CN");
}

std::unique_ptr<QTranslator> &ProgramTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator> &QtTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

void Remove(std::unique_ptr<QTranslator> &translator)
{
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
}

} // namespace

QString LanguageFromEnvironment()
{
    const QString wanted = qEnvironmentVariable("TARVO_LANGUAGE").trimmed().toLower();
    return wanted == u"en" ? QStringLiteral("en") : QStringLiteral("zh");
}

QString ChosenLanguage(const QString &setting)
{
    const QString forced = qEnvironmentVariable("TARVO_LANGUAGE").trimmed().toLower();
    if (forced == u"en" || forced == u"zh")
        return forced;
    if (setting == u"en")
        return QStringLiteral("en");
    if (setting == u"auto")
        return QLocale::system().language() == QLocale::Chinese ? QStringLiteral("zh") : QStringLiteral("en");
    return QStringLiteral("zh");
}

bool InstallTranslation(const QString &language)
{
    Remove(ProgramTranslator());
    Remove(QtTranslator());
    // Dates, numbers and the type names of the lists speak the same language
    // (British English: its 24-hour times fit the lists' date columns).
    QLocale::setDefault(language == u"en" ? QLocale(QLocale::English, QLocale::UnitedKingdom)
                                          : QLocale(QLocale::Chinese, QLocale::China));

    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QStringLiteral("qtbase_") + QtLocaleOf(language),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        QtTranslator() = std::move(qt);
    }

    if (language != u"en")
        return true;  // Chinese is the source text: nothing of ours to load
    auto program = std::make_unique<QTranslator>();
    if (!program->load(QStringLiteral(":/translations/tarvo_en.qm")))
        return false;
    QCoreApplication::installTranslator(program.get());
    ProgramTranslator() = std::move(program);
    return true;
}

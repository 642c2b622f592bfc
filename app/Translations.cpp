#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

void Remove(QTranslator *&translator)
{
    if (!translator)
        return;
    QCoreApplication::removeTranslator(translator);
    delete translator;
    translator = nullptr;
}

// Installed when it has a file for the locale's language; the owner keeps it until it goes.
QTranslator *Load(const QLocale &locale, const QString &name, const QString &folder)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, name, QStringLiteral("_"), folder)) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

} // namespace

bool InstallTranslations(const QLocale &locale)
{
    static QTranslator *qt = nullptr;
    static QTranslator *own = nullptr;
    Remove(own);
    Remove(qt);
    // English is the language of the texts themselves: a "vor-nex_en" would only be looked for.
    if (locale.language() == QLocale::English || locale.language() == QLocale::C)
        return false;
    qt = Load(locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    own = Load(locale, QStringLiteral("vor-nex"), QStringLiteral(":/i18n"));
    return own != nullptr;
}

#include "platform/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Installs one of Qt's catalogs for the locale. English catalogs are empty (Qt's texts are
// English already); Qt installs no empty translator, so those count as not found.
bool installCatalog(QCoreApplication &app, const QLocale &locale, const QString &catalog)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(locale, catalog, QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && app.installTranslator(translator))
        return true;
    delete translator;
    return false;
}

} // namespace

bool installQtTranslations(QCoreApplication &app, const QLocale &locale)
{
    // Some languages still come as one old "qt" catalog instead of the per-module ones.
    const bool base = installCatalog(app, locale, QStringLiteral("qtbase"))
                      || installCatalog(app, locale, QStringLiteral("qt"));
    installCatalog(app, locale, QStringLiteral("qtmultimedia"));
    return base;
}

#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void installTranslations()
{
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    auto* ours = new QTranslator(QCoreApplication::instance());
    if (ours->load(QLocale::system(), QStringLiteral("tidewatch"), QStringLiteral("_"),
                   QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(ours);
}

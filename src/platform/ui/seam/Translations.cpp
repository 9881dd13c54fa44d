// Qt's own dialog texts in Spanish, from the installed translation catalogue.

#include "platform/ui/seam/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallSpanishTranslations(QCoreApplication& app) {
    // The translator lives as long as the application: Qt keeps only a pointer to it.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Spanish, QLocale::Spain), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

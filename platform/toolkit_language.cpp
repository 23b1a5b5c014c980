#include "platform/toolkit_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tallyfox::platform {

bool installToolkitJapanese(QCoreApplication& application)
{
    auto* texts = new QTranslator(&application);
    if (!texts->load(QLocale(QLocale::Japanese, QLocale::Japan),
                     QStringLiteral("qtbase"),
                     QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete texts;
        return false;
    }
    return QCoreApplication::installTranslator(texts);
}

} // namespace tallyfox::platform

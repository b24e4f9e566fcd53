#include "widgets/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace translation {

bool installSpanish(const QString& programFolder)
{
    const QDir program(programFolder);
    const QStringList folders = {
        program.filePath(QStringLiteral("translations")),
        program.filePath(QStringLiteral("../share/quelvana/translations")),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
    };
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QStringLiteral("qtbase_es"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
        delete translator;
    }
    return false;
}

} // namespace translation

#include "widgets/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>

namespace translation {
namespace {

// Texts of Qt's widgets that its Spanish catalogue leaves in English: the file dialog's types
// of a folder and of a drive.
class MissingTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (!context || !sourceText || std::strcmp(context, "QAbstractFileIconProvider") != 0)
            return QString();
        if (std::strcmp(sourceText, "Folder") == 0)
            return QStringLiteral("Carpeta");
        if (std::strcmp(sourceText, "Drive") == 0)
            return QStringLiteral("Unidad");
        return QString();
    }
};

} // namespace

void setSpanishLocale()
{
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
}

bool installSpanish(const QString& programFolder)
{
    setSpanishLocale();
    QCoreApplication::installTranslator(new MissingTexts(QCoreApplication::instance()));
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

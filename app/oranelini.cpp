#include "app/oranelini.h"

#include "components/platform/engineerror.h"
#include "components/platform/inifile.h"

#include <QDir>
#include <QFileInfo>

namespace oranelini {
namespace {

// What to do instead: Oranel finds the file beside a Quelvana it can reach.
const QString UsePortableFolder = QStringLiteral(
    "Para que Oranel lea el resultado, descomprima el archivo portátil de Quelvana "
    "(quelvana-VERSIÓN-portatil) junto a Oranel, en una carpeta en la que pueda escribir, y "
    "arranque el quelvana de esa carpeta: Oranel.ini se escribe a su lado.");

} // namespace

bool isSystemFolder(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return false;
#else
    const QFileInfo info(folder);
    const QString path =
        QDir::cleanPath(info.exists() ? info.canonicalFilePath() : info.absoluteFilePath());
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        const QString root = QLatin1String(system);
        if (path == root || path.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
#endif
}

void writeStatus(const QString& executableFolder, int status)
{
    const QString path = QDir(executableFolder).filePath(QStringLiteral("Oranel.ini"));
    if (isSystemFolder(executableFolder))
        throw EngineError(QStringLiteral("Quelvana no deja Oranel.ini en «%1», que es una "
                                         "carpeta de programas del sistema. ")
                              .arg(QDir::toNativeSeparators(executableFolder)) +
                          UsePortableFolder);
    try {
        ini::writeKey(path, QStringLiteral("Transformadores"), QStringLiteral("Transformado"),
                      QString::number(status));
    } catch (const EngineError& error) {
        throw EngineError(error.message() + QLatin1Char(' ') + UsePortableFolder);
    }
}

} // namespace oranelini

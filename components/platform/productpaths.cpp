// Where the product's files are: the timetable folder, the files installed with the program,
// and paths found without regard to letter case.
#include "components/platform/platform.h"
#include "components/platform/platform_os.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>

namespace platform {

QString timetableFolder()
{
    const QString chosen = qEnvironmentVariable("QUELVANA_TIMETABLE_FOLDER");
    if (!chosen.isEmpty())
        return resolveLetterCase(chosen);
    return os::defaultTimetableFolder();
}

QStringList filesNamed(const QString& folder, const QString& fileName)
{
    QStringList out;
    const QDir dir(folder);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            out << dir.filePath(entry);
    }
    return out;
}

QString resolveLetterCase(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    QStringList parts = clean.split(QLatin1Char('/'));
    QString resolved = parts.takeFirst(); // "" for an absolute path, a drive, or a first name
    if (resolved.isEmpty() && clean.startsWith(QLatin1Char('/')))
        resolved = QStringLiteral("/");
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        const QDir parent(resolved.isEmpty() ? QStringLiteral(".") : resolved);
        QString found = part;
        if (!QFileInfo::exists(parent.filePath(part))) {
            const QStringList entries = parent.entryList(QDir::AllEntries | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot);
            const auto match = std::find_if(entries.begin(), entries.end(), [&](const QString& e) {
                return e.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (match == entries.end()) {
                // Nothing further down can exist: the rest stays as given.
                QStringList rest = parts.mid(i);
                return QDir::cleanPath(parent.filePath(rest.join(QLatin1Char('/'))));
            }
            found = *match;
        }
        resolved = resolved.isEmpty() ? found : QDir(resolved).filePath(found);
    }
    return QDir::cleanPath(resolved);
}

QString executableFolder(const char* argv0)
{
    const QString self = os::programFile();
    if (!self.isEmpty())
        return QFileInfo(self).absolutePath();
    return QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath();
}

QString dataFile(const QString& executableFolder, const QString& name)
{
    const QString beside = resolveLetterCase(QDir(executableFolder).filePath(name));
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = resolveLetterCase(
        QDir(executableFolder).filePath(QStringLiteral("../share/quelvana/") + name));
    return QFileInfo::exists(installed) ? QDir::cleanPath(installed) : beside;
}

bool isTemporaryOf(const QString& name, const QString& base)
{
    const QString start = QLatin1Char('.') + base + QLatin1Char('.');
    const QString end = QStringLiteral(".nuevo");
    if (!name.startsWith(start) || !name.endsWith(end) || name.size() <= start.size() + end.size())
        return false;
    for (const QChar c :
         QStringView(name).mid(start.size(), name.size() - start.size() - end.size()))
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('z')))
            return false;
    return true;
}

QString temporaryFolder(QString* problem)
{
    const QStringList candidates = os::temporaryFolders();
    for (const QString& candidate : candidates) {
        const QFileInfo folder(candidate);
        if (folder.isAbsolute() && folder.isDir() && folder.isWritable() && folder.isExecutable())
            return QDir::cleanPath(folder.absoluteFilePath());
    }
    if (problem)
        *problem = QStringLiteral("no hay ninguna carpeta temporal en la que se pueda escribir "
                                  "(%1)")
                       .arg(candidates.join(QStringLiteral(", ")));
    return QString();
}

} // namespace platform

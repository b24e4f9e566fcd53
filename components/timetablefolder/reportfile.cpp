#include "components/timetablefolder/reportfile.h"

#include "components/platform/paths.h"
#include "components/platform/platform.h"
#include "components/timetablefolder/ownnames.h"

#include <QDir>
#include <QStringList>

namespace reportfile {

QString save(const QString& timetableFolder, const QString& backup, const QByteArray& contents)
{
    QStringList failed;
    // The backup is the program's own folder; the timetable folder may be a link the user made.
    auto write = [&](const QString& folderPath, platform::Folder::Link link) {
        platform::Folder folder(folderPath, link);
        QString error = folder.error();
        if (folder.isOpen() && folder.writeFile(ownnames::Report, contents, &error))
            return true;
        failed << QStringLiteral("No se pudo guardar el informe «%1»: %2.")
                      .arg(platform::shown(QDir(folderPath).filePath(ownnames::Report)), error);
        return false;
    };
    if (!backup.isEmpty())
        write(backup, platform::Folder::Link::Refused);
    if (!write(timetableFolder, platform::Folder::Link::Followed)) {
        platform::Folder folder(timetableFolder, platform::Folder::Link::Followed);
        QString ignored;
        if (folder.isOpen() && folder.kindOf(ownnames::Report) == platform::EntryKind::File &&
            folder.removeFile(ownnames::Report, &ignored))
            failed << QStringLiteral("Se ha quitado «%1», que era el informe de una exportación "
                                     "anterior.")
                          .arg(platform::shown(QDir(timetableFolder).filePath(ownnames::Report)));
    }
    return failed.join(QLatin1Char('\n'));
}

} // namespace reportfile

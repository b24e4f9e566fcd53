#include "components/timetablefolder/markers.h"

#include "components/timetablefolder/ownnames.h"

#include <QDir>

namespace markers {

const QByteArray Staging = "Quelvana: tablas en preparación de una exportación.\n";
const QByteArray BackupRoot =
    "Quelvana: copias de las tablas que han sustituido las exportaciones.\n";
const QByteArray Backup = "Quelvana: copia de las tablas sustituidas en la carpeta de horarios.\n";
const QByteArray Scratch = "Quelvana: carpeta temporal de una prueba o una comprobación.\n";

using platform::EntryKind;

bool read(const platform::Folder& folder, QByteArray* contents)
{
    return folder.isOpen() && folder.readFile(ownnames::Marker, Limit, contents);
}

bool carries(const platform::Folder& folder, const QByteArray& contents)
{
    QByteArray bytes;
    return read(folder, &bytes) && bytes == contents;
}

bool makeMarkedFolder(platform::Folder& parent, const QString& name, const QByteArray& contents,
                      QString* error)
{
    const QString making = ownnames::folderInTheMaking();
    if (!parent.makeFolder(making, error))
        return false;
    platform::Folder folder(QDir(parent.path()).filePath(making));
    if (folder.isOpen() && folder.writeFile(ownnames::Marker, contents, error) &&
        parent.rename(making, name, error) && parent.sync(error))
        return true;
    if (!folder.isOpen())
        *error = folder.error();
    QString ignored;
    folder.removeFile(ownnames::Marker, &ignored);
    parent.removeFolder(making, &ignored);
    return false;
}

void removeLeftovers(platform::Folder& parent)
{
    for (const QString& name : parent.entries()) {
        if (!ownnames::isFolderInTheMaking(name) || parent.kindOf(name) != EntryKind::Folder)
            continue;
        platform::Folder folder(QDir(parent.path()).filePath(name));
        QString ignored;
        bool onlyMarker = folder.isOpen();
        for (const QString& entry : folder.entries())
            onlyMarker = onlyMarker && (entry == ownnames::Marker ||
                                        platform::isTemporaryOf(entry, ownnames::Marker));
        if (!onlyMarker)
            continue;
        for (const QString& entry : folder.entries())
            folder.removeFile(entry, &ignored);
        parent.removeFolder(name, &ignored);
    }
}

bool removeOwnFolder(platform::Folder& parent, const QString& name)
{
    if (parent.kindOf(name) != EntryKind::Folder)
        return false;
    platform::Folder folder(QDir(parent.path()).filePath(name));
    if (!folder.isOpen() || folder.kindOf(ownnames::Marker) != EntryKind::File)
        return false;
    const QStringList entries = folder.entries();
    for (const QString& entry : entries) {
        const EntryKind kind = folder.kindOf(entry);
        const bool removable = kind == EntryKind::File || kind == EntryKind::Link;
        if (entry != ownnames::Marker && (!ownnames::isOwnFile(entry) || !removable))
            return false;
    }
    QString ignored;
    for (const QString& entry : entries) {
        if (entry != ownnames::Marker && !folder.removeFile(entry, &ignored))
            return false;
    }
    if (!folder.sync(&ignored) || !folder.removeFile(ownnames::Marker, &ignored))
        return false;
    return parent.removeFolder(name, &ignored);
}

} // namespace markers

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

bool isDisposable(const platform::Folder& folder, const QString& name)
{
    const EntryKind kind = folder.kindOf(name);
    if (kind != EntryKind::File && kind != EntryKind::Link)
        return false;
    if (name == ownnames::Marker || ownnames::isOwnFile(name))
        return true;
    const qsizetype end = name.lastIndexOf(QLatin1Char('.'), name.size() - 7);
    if (end <= 1)
        return false;
    const QString base = name.mid(1, end - 1);
    return (base == ownnames::Marker || base == ownnames::Journal || ownnames::isOwnFile(base)) &&
           platform::isTemporaryOf(name, base);
}

namespace {

// Removes a folder whose entries are all disposable: them first, then the folder.
bool removeDisposable(platform::Folder& parent, const QString& name)
{
    platform::Folder folder(QDir(parent.path()).filePath(name));
    if (!folder.isOpen())
        return false;
    QString ignored;
    const QStringList entries = folder.entries();
    for (const QString& entry : entries) {
        if (!isDisposable(folder, entry))
            return false;
    }
    for (const QString& entry : entries) {
        if (!folder.removeFile(entry, &ignored))
            return false;
    }
    return parent.removeFolder(name, &ignored);
}

} // namespace

bool removeLeftover(platform::Folder& parent, const QString& name)
{
    QString ignored;
    const EntryKind kind = parent.kindOf(name);
    if (ownnames::isFolderInTheMaking(name) && kind == EntryKind::Folder)
        return removeDisposable(parent, name);
    if (kind == EntryKind::File && name.startsWith(QLatin1Char('.')) && name != ownnames::Marker &&
        isDisposable(parent, name))
        return parent.removeFile(name, &ignored);
    return false;
}

void removeLeftovers(platform::Folder& parent)
{
    for (const QString& name : parent.entries())
        removeLeftover(parent, name);
}

bool removeOwnFolder(platform::Folder& parent, const QString& name)
{
    if (parent.kindOf(name) != EntryKind::Folder)
        return false;
    {
        const platform::Folder folder(QDir(parent.path()).filePath(name));
        if (!folder.isOpen() || folder.kindOf(ownnames::Marker) != EntryKind::File)
            return false;
        for (const QString& entry : folder.entries()) {
            if (!isDisposable(folder, entry))
                return false;
        }
    }
    // Out of its place in one step first: a run that dies while it is being emptied leaves a
    // folder that is plainly the program's leftover, never one of its own names unmarked.
    const QString leaving = ownnames::folderInTheMaking();
    QString ignored;
    if (!parent.rename(name, leaving, &ignored))
        return false;
    parent.sync(&ignored);
    removeDisposable(parent, leaving);
    return true;
}

} // namespace markers

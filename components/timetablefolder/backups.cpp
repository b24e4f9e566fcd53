#include "components/timetablefolder/backups.h"

#include "components/platform/paths.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/ownnames.h"

#include <QDir>
#include <algorithm>

namespace backups {

using platform::EntryKind;

namespace {

QString joined(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name);
}

// A value of a marker line: printable ASCII only, as the program writes them.
bool isPlainValue(const QByteArray& value)
{
    return std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::optional<qint64> sequenceOf(const QByteArray& value)
{
    if (value.isEmpty() || value.size() > 15 || value.startsWith('0'))
        return std::nullopt;
    if (!std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return value.toLongLong();
}

bool isOrigin(const QString& origin)
{
    const QString restaurar = QStringLiteral("restaurar ");
    return origin == QLatin1String("exportar") ||
           (origin.startsWith(restaurar) && ownnames::isBackupName(origin.mid(restaurar.size())));
}

// Reads one `key=value` line of a backup's marker into `backup`; the problem when it is wrong.
QString readLine(const QByteArray& line, const QString& folderName, Backup& backup,
                 QStringList& seen)
{
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0 || !isPlainValue(line))
        return QStringLiteral("una línea no es «clave=valor»");
    const QString key = QString::fromLatin1(line.left(equals));
    const QByteArray raw = line.mid(equals + 1);
    const QString value = QString::fromLatin1(raw);
    const bool once = key != QLatin1String("archivo") && key != QLatin1String("sustituido");
    if (once && seen.contains(key))
        return QStringLiteral("«%1» aparece dos veces").arg(key);
    seen << key;
    if (key == QLatin1String("nombre"))
        return value == folderName ? QString()
                                   : QStringLiteral("es la marca de la copia «%1»").arg(value);
    if (key == QLatin1String("secuencia")) {
        const std::optional<qint64> sequence = sequenceOf(raw);
        if (!sequence || *sequence > LastSequence)
            return QStringLiteral("el número de secuencia «%1» no es válido").arg(value);
        backup.sequence = *sequence;
        return QString();
    }
    if (key == QLatin1String("fecha")) {
        backup.date = QDateTime::fromString(value, Qt::ISODate);
        return backup.date.isValid() ? QString()
                                     : QStringLiteral("la fecha «%1» no es válida").arg(value);
    }
    if (key == QLatin1String("orden")) {
        backup.origin = value;
        return isOrigin(value) ? QString()
                               : QStringLiteral("la orden «%1» no es válida").arg(value);
    }
    if (key == QLatin1String("archivo") || key == QLatin1String("sustituido")) {
        QStringList& names = key == QLatin1String("archivo") ? backup.files : backup.replaced;
        if (!ownnames::isTableFile(value))
            return QStringLiteral("«%1» no es una tabla de Quelvana").arg(value);
        if (names.contains(value))
            return QStringLiteral("«%1» aparece dos veces").arg(value);
        names << value;
        return QString();
    }
    return QStringLiteral("la clave «%1» no es de Quelvana").arg(key);
}

// A folder without a marker that an older version made: a name it gives, holding nothing but
// the program's files, a table among them.
std::optional<Backup> olderVersionBackup(const platform::Folder& root, const QString& name)
{
    if (!ownnames::isBackupName(name))
        return std::nullopt;
    const platform::Folder folder(joined(root.path(), name));
    if (!folder.isOpen())
        return std::nullopt;
    Backup backup;
    backup.name = name;
    backup.olderVersion = true;
    backup.date = QDateTime::fromString(name.left(19), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    backup.origin = QStringLiteral("exportar");
    for (const QString& entry : folder.entries()) {
        if (!ownnames::isOwnFile(entry) || folder.kindOf(entry) != EntryKind::File)
            return std::nullopt;
        if (ownnames::isTableFile(entry))
            backup.files << entry;
    }
    if (backup.files.isEmpty())
        return std::nullopt;
    backup.replaced = backup.files;
    return backup;
}

bool olderFirst(const Backup& a, const Backup& b)
{
    return std::tie(a.sequence, a.date, a.name) < std::tie(b.sequence, b.date, b.name);
}

} // namespace

QByteArray markerText(const Backup& backup)
{
    QByteArray text = markers::Backup;
    text += "nombre=" + backup.name.toLatin1() + '\n';
    text += "secuencia=" + QByteArray::number(backup.sequence) + '\n';
    text += "fecha=" + backup.date.toString(Qt::ISODate).toLatin1() + '\n';
    text += "orden=" + backup.origin.toLatin1() + '\n';
    for (const QString& name : backup.files)
        text += "archivo=" + name.toLatin1() + '\n';
    // Every table the commit replaces, also those that were not there before: what a restore of
    // this backup takes away again.
    for (const QString& name : backup.replaced)
        text += "sustituido=" + name.toLatin1() + '\n';
    return text;
}

std::optional<Backup> parseMarker(const QByteArray& text, const QString& folderName,
                                  QString* problem)
{
    if (!text.startsWith(markers::Backup) || !text.endsWith('\n')) {
        *problem = QStringLiteral("no es una marca de copia de Quelvana");
        return std::nullopt;
    }
    Backup backup;
    backup.name = folderName;
    QStringList seen;
    const QByteArray body = text.mid(markers::Backup.size());
    const QList<QByteArray> lines =
        body.isEmpty() ? QList<QByteArray>() : body.chopped(1).split('\n');
    for (const QByteArray& line : lines) {
        *problem = readLine(line, folderName, backup, seen);
        if (!problem->isEmpty())
            return std::nullopt;
    }
    if (!seen.contains(QLatin1String("secuencia")) || !seen.contains(QLatin1String("fecha"))) {
        *problem = QStringLiteral("le falta el número de secuencia o la fecha");
        return std::nullopt;
    }
    if (!seen.contains(QLatin1String("nombre")) && !ownnames::isBackupName(folderName)) {
        *problem = QStringLiteral("es la marca de otra copia");
        return std::nullopt;
    }
    if (backup.origin.isEmpty())
        backup.origin = QStringLiteral("exportar");
    return backup;
}

RootState rootState(const QString& timetableFolder, QString* what)
{
    const QString path = joined(timetableFolder, ownnames::BackupFolder);
    QString ignored;
    QString& said = what ? *what : ignored;
    switch (platform::entryKind(path)) {
    case EntryKind::Missing:
        return RootState::Missing;
    case EntryKind::Link:
        said = QStringLiteral("es un enlace");
        return RootState::Stranger;
    case EntryKind::File:
        said = QStringLiteral("es un archivo");
        return RootState::Stranger;
    case EntryKind::Other:
        said = QStringLiteral("no es una carpeta");
        return RootState::Stranger;
    case EntryKind::Folder:
        break;
    }
    const platform::Folder root(path);
    if (!root.isOpen()) {
        said = QStringLiteral("no se puede abrir (%1)").arg(root.error());
        return RootState::Stranger;
    }
    if (markers::carries(root, markers::BackupRoot))
        return RootState::Own;
    const QStringList entries = root.entries();
    const bool olderVersion =
        !entries.isEmpty() && root.kindOf(ownnames::Marker) == EntryKind::Missing &&
        std::all_of(entries.begin(), entries.end(), [&](const QString& name) {
            return root.kindOf(name) == EntryKind::Folder && olderVersionBackup(root, name);
        });
    if (olderVersion)
        return RootState::OlderVersion;
    said = QStringLiteral("no la ha creado Quelvana");
    return RootState::Stranger;
}

Listing list(const platform::Folder& root)
{
    Listing out;
    if (!root.isOpen())
        return out;
    for (const QString& name : root.entries()) {
        if (root.kindOf(name) != EntryKind::Folder || ownnames::isFolderInTheMaking(name))
            continue;
        const platform::Folder folder(joined(root.path(), name));
        QByteArray marker;
        if (folder.isOpen() && folder.kindOf(ownnames::Marker) != EntryKind::Missing) {
            QString problem = QStringLiteral("su marca no se puede leer o es demasiado grande");
            std::optional<Backup> backup;
            if (markers::read(folder, &marker))
                backup = parseMarker(marker, name, &problem);
            if (backup)
                out.own.push_back(std::move(*backup));
            else
                out.others.emplace_back(name, problem);
        } else if (std::optional<Backup> backup = olderVersionBackup(root, name)) {
            out.olderVersion.push_back(std::move(*backup));
        }
    }
    std::sort(out.own.begin(), out.own.end(), olderFirst);
    return out;
}

qint64 nextSequence(const Listing& listing)
{
    const qint64 last = listing.own.empty() ? 0 : listing.own.back().sequence;
    return std::min(last + 1, LastSequence);
}

std::optional<Backup> find(const QString& timetableFolder, const QString& name, QString* problem)
{
    const platform::Folder root(joined(timetableFolder, ownnames::BackupFolder));
    const RootState state = rootState(timetableFolder);
    if (state == RootState::Own || state == RootState::OlderVersion) {
        Listing listing = list(root);
        for (std::vector<Backup>* kind : {&listing.own, &listing.olderVersion}) {
            for (Backup& backup : *kind) {
                if (backup.name == name)
                    return std::move(backup);
            }
        }
        for (const auto& [other, why] : listing.others) {
            if (other == name) {
                *problem = QStringLiteral("La carpeta «%1» no es una copia que haya hecho "
                                          "Quelvana en esta carpeta de horarios: su marca %2.")
                               .arg(platform::shown(joined(root.path(), name)), why);
                return std::nullopt;
            }
        }
    }
    *problem = QStringLiteral("No hay ninguna copia «%1» en «%2»: «quelvana-cli restaurar» sin "
                              "nombre de copia las enumera.")
                   .arg(name, platform::shown(timetableFolder));
    return std::nullopt;
}

void prune(const QString& timetableFolder, const QString& keep)
{
    platform::Folder root(joined(timetableFolder, ownnames::BackupFolder));
    if (!root.isOpen() || !markers::carries(root, markers::BackupRoot))
        return;
    markers::removeLeftovers(root);
    const std::vector<Backup> own = list(root).own;
    qsizetype excess = qsizetype(own.size()) - Kept;
    for (const Backup& backup : own) {
        if (excess <= 0)
            break;
        if (backup.name == keep)
            continue;
        markers::removeOwnFolder(root, backup.name);
        --excess;
    }
    QString ignored;
    root.sync(&ignored);
}

} // namespace backups

#include "components/platform/engineerror.h"
#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/journal.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/ownnames.h"
#include "components/timetablefolder/recovery.h"
#include "fuzz/fuzzchecks.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

namespace fuzzchecks {

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Every file below `folder` whose name is not one the program may remove there, with its bytes.
QMap<QString, QByteArray> othersFiles(const QString& folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QFileInfo(path).fileName();
        if (ownnames::isOwnFile(name) || name == ownnames::Marker || name == ownnames::Journal ||
            name.endsWith(QLatin1String(".nuevo")))
            continue;
        QFile file(path);
        out.insert(path.mid(folder.size()), file.open(QIODevice::ReadOnly) ? file.readAll() : "?");
    }
    return out;
}

// A journal read back must hold nothing but the program's own names, and say the same once
// written again.
void checkJournalReading(const QByteArray& bytes, Outcome& outcome)
{
    QString problem;
    const std::optional<Journal> read = journal::parse(bytes, &problem);
    if (!read)
        return;
    QStringList names = read->saved;
    for (const Journal::Placed& placed : read->placed)
        names << placed.name;
    for (const QString& name : names) {
        if (!ownnames::isTableFile(name))
            outcome.violations << QStringLiteral("el diario nombra «%1»").arg(name);
    }
    if (!read->backup.isEmpty() && !ownnames::isBackupName(read->backup))
        outcome.violations << QStringLiteral("el diario nombra la copia «%1»").arg(read->backup);
    QString again;
    const std::optional<Journal> reread = journal::parse(journal::text(*read), &again);
    if (!reread || reread->saved != read->saved || reread->backup != read->backup ||
        reread->sequence != read->sequence || reread->origin != read->origin ||
        reread->placed.size() != read->placed.size())
        outcome.violations << QStringLiteral("el diario no se lee igual escrito de nuevo");
}

// The same for a backup's marker.
void checkMarkerReading(const QByteArray& bytes, Outcome& outcome)
{
    const QString folder = QStringLiteral("2026-12-10_09-05-07");
    QString problem;
    const std::optional<Backup> read = backups::parseMarker(bytes, folder, &problem);
    if (!read)
        return;
    for (const QString& name : read->files + read->replaced) {
        if (!ownnames::isTableFile(name))
            outcome.violations << QStringLiteral("la marca nombra «%1»").arg(name);
    }
    if (read->sequence < 1 || read->sequence > backups::LastSequence)
        outcome.violations << QStringLiteral("la marca da la secuencia %1").arg(read->sequence);
    const std::optional<Backup> reread =
        backups::parseMarker(backups::markerText(*read), folder, &problem);
    if (!reread || reread->files != read->files || reread->replaced != read->replaced ||
        reread->sequence != read->sequence)
        outcome.violations << QStringLiteral("la marca no se lee igual escrita de nuevo");
}

} // namespace

Outcome checkFolderFiles(const QByteArray& bytes, const QString& scratchFolder)
{
    Outcome outcome;
    checkJournalReading(bytes, outcome);
    checkMarkerReading(bytes, outcome);

    // The bytes up to the first blank line as the lines of an interrupted commit's journal (with
    // the checksum it needs), the rest as the marker of the backup it names, in a timetable
    // folder beside a folder of somebody else's: whatever recovery makes of them, it removes and
    // moves nothing but the program's own.
    const qsizetype blank = bytes.indexOf("\n\n");
    const QByteArray journalLines = blank < 0 ? bytes : bytes.left(blank + 1);
    const QByteArray markerLines = blank < 0 ? bytes : bytes.mid(blank + 2);
    QDir(scratchFolder).removeRecursively();
    const QString folder = QDir(scratchFolder).filePath(QStringLiteral("OTEMP"));
    const QString copies = QDir(folder).filePath(ownnames::BackupFolder);
    write(QDir(folder).filePath(QStringLiteral("PROFT.DBF")), "profesores");
    write(QDir(folder).filePath(QStringLiteral("SOLUC.DBF")), "horario de Oranel");
    write(QDir(folder).filePath(QStringLiteral("ORANEL.CFG")), "configuración");
    write(QDir(scratchFolder).filePath(QStringLiteral("fuera/victima.txt")), "de otro");
    write(QDir(copies).filePath(ownnames::Marker), markers::BackupRoot);
    write(QDir(copies).filePath(QStringLiteral("2026-12-10_09-05-07/.quelvana")),
          markers::Backup + markerLines);
    write(QDir(copies).filePath(QStringLiteral("2026-12-10_09-05-07/AULAT.DBF")), "aulas");
    const QString staging = QDir(folder).filePath(ownnames::StagingFolder);
    write(QDir(staging).filePath(ownnames::Marker), markers::Staging);
    write(QDir(staging).filePath(QStringLiteral("ASIGT.DBF")), "asignaciones");
    const QByteArray lines =
        "Quelvana: movimientos de una exportación que pone sus tablas en su sitio.\n" +
        journalLines;
    write(QDir(staging).filePath(ownnames::Journal),
          lines + "suma=" + QCryptographicHash::hash(lines, QCryptographicHash::Sha256).toHex() +
              "\nfin\n");
    const QMap<QString, QByteArray> before = othersFiles(scratchFolder);
    try {
        recovery::recover(folder);
        backups::prune(folder);
    } catch (const EngineError& error) {
        outcome.error = error.message();
    }
    if (othersFiles(scratchFolder) != before)
        outcome.violations << QStringLiteral("la recuperación ha tocado archivos que no son suyos");
    return outcome;
}

} // namespace fuzzchecks

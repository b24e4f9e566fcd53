#include "components/timetablefolder/tablestaging.h"

#include "components/dbase/dbftable.h"
#include "components/dbase/mdxindex.h"
#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

const QString TableStaging::StagingFolderName = QStringLiteral("quelvana-preparando");
const QString TableStaging::BackupFolderName = QStringLiteral("quelvana-copias");
const QString TableStaging::MarkerName = QStringLiteral(".quelvana");
const QString TableStaging::JournalName = QStringLiteral("quelvana-diario.txt");
const QString TableStaging::ReportName = QStringLiteral("quelvana-informe.txt");

using platform::EntryKind;

namespace {

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString joined(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name);
}

// The first line of each marker says what the folder is; a backup's marker goes on with its
// place in the order of backups, its date and the files moved into it.
const QByteArray StagingMarker = "Quelvana: tablas en preparación de una exportación.\n";
const QByteArray BackupRootMarker =
    "Quelvana: copias de las tablas que han sustituido las exportaciones.\n";
const QByteArray BackupMarker =
    "Quelvana: copia de las tablas sustituidas en la carpeta de horarios.\n";
const QByteArray JournalHeader =
    "Quelvana: movimientos de una exportación que pone sus tablas en su sitio.\n";
constexpr qint64 MarkerLimit = 1 << 20;

bool hasMarker(const platform::Folder& folder, const QByteArray& firstLine,
               QByteArray* contents = nullptr)
{
    QByteArray bytes;
    if (!folder.readFile(TableStaging::MarkerName, MarkerLimit, &bytes) ||
        !bytes.startsWith(firstLine))
        return false;
    if (contents)
        *contents = bytes;
    return true;
}

bool renameFile(const QString& from, const QString& to, QString* error)
{
    if (platform::entryKind(to) != EntryKind::Missing) {
        *error = QStringLiteral("ya existe «%1»").arg(shown(to));
        return false;
    }
    std::error_code code;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), code);
    if (!code)
        return true;
    *error = TableStaging::reasonOf(code);
    return false;
}

QString checkTableFile(const QString& path)
{
    if (path.endsWith(QStringLiteral(".DBF"), Qt::CaseInsensitive))
        return DbfTable::problemWithFile(path);
    if (path.endsWith(QStringLiteral(".MDX"), Qt::CaseInsensitive))
        return mdx::problemWithFile(path);
    return QString();
}

// What a working folder's entry is, for a message: "" when it is a folder of the program's own.
QString strangerIn(const QString& path, const QByteArray& marker)
{
    switch (platform::entryKind(path)) {
    case EntryKind::Missing:
        return QString();
    case EntryKind::Link:
        return QStringLiteral("es un enlace");
    case EntryKind::File:
        return QStringLiteral("es un archivo");
    case EntryKind::Other:
        return QStringLiteral("no es una carpeta");
    case EntryKind::Folder:
        break;
    }
    const platform::Folder folder(path);
    if (!folder.isOpen())
        return QStringLiteral("no se puede abrir (%1)").arg(folder.error());
    if (!hasMarker(folder, marker))
        return QStringLiteral("no la ha creado Quelvana");
    return QString();
}

using Backup = TableStaging::Backup;

std::optional<Backup> readBackup(const platform::Folder& root, const QString& name)
{
    if (root.kindOf(name) != EntryKind::Folder)
        return std::nullopt;
    const platform::Folder folder(joined(root.path(), name));
    QByteArray marker;
    if (!folder.isOpen() || !hasMarker(folder, BackupMarker, &marker))
        return std::nullopt;
    Backup backup;
    backup.name = name;
    bool sequenced = false;
    for (const QByteArray& line : marker.split('\n')) {
        const QString value = QString::fromUtf8(line.mid(line.indexOf('=') + 1));
        if (line.startsWith("secuencia="))
            backup.sequence = line.mid(10).toLongLong(&sequenced);
        else if (line.startsWith("archivo="))
            backup.files << value;
        else if (line.startsWith("sustituido="))
            backup.replaced << value;
        else if (line.startsWith("fecha="))
            backup.date = QDateTime::fromString(value, Qt::ISODate);
        else if (line.startsWith("orden="))
            backup.origin = value;
    }
    if (!sequenced)
        return std::nullopt;
    return backup;
}

// The program's own backups, oldest first.
std::vector<Backup> backupsIn(const platform::Folder& root)
{
    std::vector<Backup> out;
    for (const QString& name : root.entries()) {
        if (std::optional<Backup> backup = readBackup(root, name))
            out.push_back(std::move(*backup));
    }
    std::sort(out.begin(), out.end(),
              [](const Backup& a, const Backup& b) { return a.sequence < b.sequence; });
    return out;
}

// Removes the files the program put in a folder of its own (those named, and its marker last),
// then the folder when nothing else is left in it. True when the folder is gone.
bool removeOwnFolder(platform::Folder& parent, const QString& name, const QStringList& files)
{
    platform::Folder folder(joined(parent.path(), name));
    if (!folder.isOpen())
        return false;
    QString ignored;
    for (const QString& file : files) {
        const EntryKind kind = folder.kindOf(file);
        if ((kind == EntryKind::File || kind == EntryKind::Link) &&
            !folder.removeFile(file, &ignored))
            return false;
    }
    if (!folder.removeFile(TableStaging::MarkerName, &ignored))
        return false;
    return parent.removeFolder(name, &ignored);
}

// Every file or link in the staging folder (it holds nothing but what the run wrote there),
// with the marker last.
QStringList stagedEntries(const platform::Folder& staging)
{
    QStringList out;
    for (const QString& name : staging.entries()) {
        const EntryKind kind = staging.kindOf(name);
        if (name != TableStaging::MarkerName &&
            (kind == EntryKind::File || kind == EntryKind::Link))
            out << name;
    }
    return out;
}

// Only the newest backups of the program's own are kept; anything else in the backup folder
// is left alone. A backup that cannot be removed now is tried again by the next run.
void pruneBackups(const QString& timetableFolder)
{
    platform::Folder root(joined(timetableFolder, TableStaging::BackupFolderName));
    if (!root.isOpen() || !hasMarker(root, BackupRootMarker))
        return;
    std::vector<Backup> backups = backupsIn(root);
    const qsizetype excess = qsizetype(backups.size()) - TableStaging::KeptBackups;
    for (qsizetype i = 0; i < excess; ++i)
        removeOwnFolder(root, backups[size_t(i)].name,
                        backups[size_t(i)].files + QStringList{TableStaging::ReportName});
    QString ignored;
    root.sync(&ignored);
}

struct Journal {
    QString backup;     // the backup folder's name, "" when nothing was replaced
    QStringList saved;  // old files moved from the timetable folder into the backup
    QStringList placed; // staged files moved into the timetable folder
};

QByteArray journalText(const Journal& journal)
{
    QByteArray text = JournalHeader;
    if (!journal.backup.isEmpty())
        text += "copia=" + journal.backup.toUtf8() + '\n';
    for (const QString& name : journal.saved)
        text += "guardar=" + name.toUtf8() + '\n';
    for (const QString& name : journal.placed)
        text += "poner=" + name.toUtf8() + '\n';
    return text + "fin\n";
}

std::optional<Journal> parseJournal(const QByteArray& text)
{
    if (!text.startsWith(JournalHeader) || !text.endsWith("\nfin\n"))
        return std::nullopt;
    Journal journal;
    const QList<QByteArray> lines = text.mid(JournalHeader.size()).split('\n');
    for (const QByteArray& line : lines) {
        const QString value = QString::fromUtf8(line.mid(line.indexOf('=') + 1));
        if (line.startsWith("copia="))
            journal.backup = value;
        else if (line.startsWith("guardar="))
            journal.saved << value;
        else if (line.startsWith("poner="))
            journal.placed << value;
        else if (!line.isEmpty() && line != "fin")
            return std::nullopt;
    }
    if (journal.backup.isEmpty() != journal.saved.isEmpty())
        return std::nullopt;
    return journal;
}

QString refusedEntry(const QString& path, const QString& what)
{
    return QStringLiteral("En la carpeta de horarios hay «%1», que %2: Quelvana solo usa esa "
                          "carpeta si la ha creado él. Cámbiele el nombre o sáquela de la carpeta "
                          "de horarios, y vuelva a empezar. No se ha cambiado nada.")
        .arg(shown(path), what);
}

} // namespace

QString TableStaging::missingFolderMessage(const QString& timetableFolder)
{
    return QStringLiteral("No existe la carpeta de horarios «%1».").arg(shown(timetableFolder));
}

std::vector<TableStaging::Backup> TableStaging::backups(const QString& timetableFolder)
{
    const platform::Folder root(joined(timetableFolder, BackupFolderName));
    std::vector<Backup> out;
    if (root.isOpen() && hasMarker(root, BackupRootMarker))
        out = backupsIn(root);
    std::reverse(out.begin(), out.end());
    return out;
}

QString TableStaging::reasonOf(const std::error_code& code)
{
    return systemerror::reason(code);
}

QString TableStaging::workingFoldersProblem(const QString& timetableFolder)
{
    const QString staging = joined(timetableFolder, StagingFolderName);
    if (const QString what = strangerIn(staging, StagingMarker); !what.isEmpty())
        return refusedEntry(staging, what);
    const QString backups = joined(timetableFolder, BackupFolderName);
    if (const QString what = strangerIn(backups, BackupRootMarker); !what.isEmpty())
        return refusedEntry(backups, what);
    return QString();
}

TableStaging::TableStaging(const QString& timetableFolder, FileMover mover,
                           const QString& elsewhere)
    : m_timetable(timetableFolder), m_mover(mover ? std::move(mover) : FileMover(renameFile)),
      m_check(checkTableFile)
{
    if (platform::entryKind(m_timetable) == EntryKind::Missing || !QFileInfo(m_timetable).isDir())
        throw EngineError(missingFolderMessage(m_timetable));
    if (elsewhere.isEmpty()) {
        if (const QString problem = workingFoldersProblem(m_timetable); !problem.isEmpty())
            throw EngineError(problem);
    }
    const QString parentPath = elsewhere.isEmpty() ? m_timetable : elsewhere;
    // The timetable folder itself may be a link the user made; the program's own never are.
    platform::Folder parent(parentPath, platform::Folder::Link::Followed);
    if (!parent.isOpen())
        throw EngineError(QStringLiteral("No se puede usar la carpeta «%1»: %2.")
                              .arg(shown(parentPath), parent.error()));
    m_staging = joined(parentPath, StagingFolderName);
    auto cannotWrite = [&](const QString& why) {
        return EngineError(QStringLiteral("No se puede escribir en la carpeta «%1»: %2. No se ha "
                                          "cambiado nada.")
                               .arg(shown(parentPath), why));
    };
    QString error;
    if (parent.kindOf(StagingFolderName) == EntryKind::Missing) {
        if (!parent.makeFolder(StagingFolderName, &error))
            throw cannotWrite(error);
        platform::Folder staging(m_staging);
        if (!staging.writeFile(MarkerName, StagingMarker, &error) || !parent.sync(&error)) {
            staging.removeFile(MarkerName, &error);
            parent.removeFolder(StagingFolderName, &error);
            throw cannotWrite(error);
        }
        return;
    }
    // A folder left by a run that ended before its commit holds nothing anyone needs; one whose
    // commit was interrupted must be put right first.
    platform::Folder staging(m_staging);
    if (!staging.isOpen() || !hasMarker(staging, StagingMarker))
        throw EngineError(refusedEntry(m_staging, strangerIn(m_staging, StagingMarker)));
    if (staging.kindOf(JournalName) != EntryKind::Missing)
        throw EngineError(QStringLiteral("Una exportación anterior se interrumpió mientras ponía "
                                         "sus tablas en «%1»; hay que ponerla en orden antes de "
                                         "empezar otra.")
                              .arg(shown(m_timetable)));
    for (const QString& name : stagedEntries(staging)) {
        if (!staging.removeFile(name, &error))
            throw EngineError(QStringLiteral("No se pudo borrar «%1», que dejó una conversión "
                                             "interrumpida: %2.")
                                  .arg(shown(joined(m_staging, name)), error));
    }
}

TableStaging::~TableStaging()
{
    if (m_committed)
        return;
    platform::Folder parent(QFileInfo(m_staging).path(), platform::Folder::Link::Followed);
    platform::Folder staging(m_staging);
    if (parent.isOpen() && staging.isOpen())
        removeOwnFolder(parent, StagingFolderName, stagedEntries(staging));
}

void TableStaging::replaces(const QString& fileName)
{
    if (!m_replaced.contains(fileName, Qt::CaseInsensitive))
        m_replaced << fileName;
}

QString TableStaging::commit(const QDateTime& when)
{
    platform::Folder timetable(m_timetable, platform::Folder::Link::Followed);
    platform::Folder staging(m_staging);
    if (!timetable.isOpen() || !staging.isOpen())
        throw EngineError(
            QStringLiteral("No se puede usar la carpeta de horarios «%1»: %2.")
                .arg(shown(m_timetable), timetable.isOpen() ? staging.error() : timetable.error()));
    const auto unchanged = QStringLiteral(" La carpeta de horarios se ha dejado como estaba.");

    // Every staged file is whole and on the disk before anything moves.
    Journal journal;
    for (const QString& name : std::as_const(m_replaced)) {
        const EntryKind kind = staging.kindOf(name);
        if (kind == EntryKind::Missing)
            continue;
        const QString path = joined(m_staging, name);
        QString problem =
            kind == EntryKind::File ? m_check(path) : QStringLiteral("no es un archivo normal");
        QString syncError;
        if (problem.isEmpty() && !platform::syncFile(path, &syncError))
            problem = QStringLiteral("no se pudo guardar en el disco: %1").arg(syncError);
        if (!problem.isEmpty())
            throw EngineError(QStringLiteral("La tabla nueva «%1» no se ha escrito entera (%2).")
                                  .arg(shown(path), problem) +
                              unchanged);
        journal.placed << name;
    }

    QStringList old;
    for (const QString& name : std::as_const(m_replaced))
        old << platform::filesNamed(m_timetable, name);
    // Only ordinary files are replaced: a pipe or a device in a table's place is never opened.
    for (const QString& file : std::as_const(old)) {
        if (const QString what = platform::notOrdinaryFile(file); !what.isEmpty())
            throw EngineError(QStringLiteral("«%1» %2: quítelo de la carpeta de horarios y "
                                             "vuelva a empezar.")
                                  .arg(shown(file), what) +
                              unchanged);
    }
    // A table another program holds is not taken from under it: nothing moves then.
    for (const QString& file : std::as_const(old)) {
        if (platform::isFileHeld(file))
            throw EngineError(
                QStringLiteral("La tabla «%1» está en uso por otro programa: ciérrelo "
                               "y vuelva a empezar. La carpeta de horarios se ha "
                               "dejado como estaba.")
                    .arg(shown(file)));
    }

    QString error;
    const QString backupRoot = joined(m_timetable, BackupFolderName);
    QString backup;
    qint64 sequence = 1;
    bool rootMade = false; // the backup folder is new: a commit undone takes it away again
    if (!old.isEmpty()) {
        for (const QString& file : std::as_const(old))
            journal.saved << QFileInfo(file).fileName();
        const QString refusal = strangerIn(backupRoot, BackupRootMarker);
        if (!refusal.isEmpty())
            throw EngineError(refusedEntry(backupRoot, refusal));
        const platform::Folder root(backupRoot);
        const std::vector<Backup> backups = backupsIn(root);
        if (!backups.empty())
            sequence = backups.back().sequence + 1;
        const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
        journal.backup = stamp;
        for (int n = 2; root.isOpen() && root.kindOf(journal.backup) != EntryKind::Missing; ++n)
            journal.backup = stamp + QStringLiteral("_%1").arg(n, 3, 10, QLatin1Char('0'));
        backup = joined(backupRoot, journal.backup);
    }

    // The journal goes first: from here on, a run that dies leaves what the next one needs.
    if (!staging.writeFile(JournalName, journalText(journal), &error))
        throw EngineError(QStringLiteral("No se pudo escribir «%1»: %2.")
                              .arg(shown(joined(m_staging, JournalName)), error) +
                          unchanged);
    auto dropJournal = [&] {
        QString ignored;
        staging.removeFile(JournalName, &ignored);
    };

    bool backupMade = false;
    if (!old.isEmpty()) {
        rootMade = timetable.kindOf(BackupFolderName) == EntryKind::Missing;
        if (rootMade &&
            (!timetable.makeFolder(BackupFolderName, &error) ||
             !platform::Folder(backupRoot).writeFile(MarkerName, BackupRootMarker, &error) ||
             !timetable.sync(&error))) {
            removeOwnFolder(timetable, BackupFolderName, {});
            dropJournal();
            throw EngineError(QStringLiteral("No se pudo crear la carpeta de copias «%1»: %2.")
                                  .arg(shown(backupRoot), error) +
                              unchanged);
        }
        platform::Folder root(backupRoot);
        QByteArray marker = BackupMarker;
        marker += "secuencia=" + QByteArray::number(sequence) + '\n';
        marker += "fecha=" + when.toString(Qt::ISODate).toUtf8() + '\n';
        marker += "orden=" + m_origin.toUtf8() + '\n';
        for (const QString& name : std::as_const(journal.saved))
            marker += "archivo=" + name.toUtf8() + '\n';
        // Every table the commit replaces, also those that were not there before: what a restore
        // of this backup must take away again.
        for (const QString& name : std::as_const(m_replaced))
            marker += "sustituido=" + name.toUtf8() + '\n';
        if (!root.makeFolder(journal.backup, &error) ||
            !platform::Folder(backup).writeFile(MarkerName, marker, &error) || !root.sync(&error)) {
            removeOwnFolder(root, journal.backup, {});
            if (rootMade)
                removeOwnFolder(timetable, BackupFolderName, {});
            dropJournal();
            throw EngineError(QStringLiteral("No se pudo crear la carpeta de copias «%1»: %2.")
                                  .arg(shown(backup), error) +
                              unchanged);
        }
        backupMade = true;
    }

    std::vector<std::pair<QString, QString>> done; // moves made, to undo on failure
    auto undo = [&]() -> QStringList {
        QStringList stuck;
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            QString ignored;
            if (!m_mover(it->second, it->first, &ignored))
                stuck << shown(it->first);
        }
        if (stuck.isEmpty()) {
            if (backupMade) {
                platform::Folder root(backupRoot);
                removeOwnFolder(root, journal.backup, {});
            }
            if (rootMade)
                removeOwnFolder(timetable, BackupFolderName, {});
            dropJournal();
        }
        QString ignored;
        timetable.sync(&ignored);
        return stuck;
    };
    auto move = [&](const QString& from, const QString& to) {
        QString reason;
        if (m_mover(from, to, &reason)) {
            done.emplace_back(from, to);
            return;
        }
        const QStringList stuck = undo();
        QString message =
            QStringLiteral("No se pudo mover «%1» a «%2»: %3.").arg(shown(from), shown(to), reason);
        if (stuck.isEmpty())
            message += unchanged;
        else
            message += QStringLiteral(" No se pudieron devolver a su sitio: %1; están en «%2». "
                                      "La próxima conversión sobre esta carpeta intentará "
                                      "ponerla en orden.")
                           .arg(stuck.join(QStringLiteral(", ")), shown(backup));
        throw EngineError(message);
    };

    for (const QString& file : std::as_const(old))
        move(file, joined(backup, QFileInfo(file).fileName()));
    for (const QString& name : std::as_const(journal.placed))
        move(joined(m_staging, name), joined(m_timetable, name));

    // Every move on the disk before the journal goes.
    if (backupMade)
        platform::Folder(backup).sync(&error);
    timetable.sync(&error);
    m_committed = true;
    dropJournal();
    removeOwnFolder(timetable, StagingFolderName, stagedEntries(staging));
    timetable.sync(&error);
    pruneBackups(m_timetable);
    return backup;
}

QString TableStaging::recover(const QString& timetableFolder, FileMover mover)
{
    if (!mover)
        mover = renameFile;
    platform::Folder timetable(timetableFolder, platform::Folder::Link::Followed);
    if (!timetable.isOpen() || timetable.kindOf(StagingFolderName) != EntryKind::Folder)
        return QString();
    const QString stagingPath = joined(timetableFolder, StagingFolderName);
    platform::Folder staging(stagingPath);
    QByteArray text;
    if (!staging.isOpen() || !hasMarker(staging, StagingMarker) ||
        staging.kindOf(JournalName) == EntryKind::Missing)
        return QString();
    const auto stuckMessage = [&](const QString& why) {
        return EngineError(
            QStringLiteral("Una exportación anterior se interrumpió mientras ponía sus tablas en "
                           "«%1», y no se ha podido poner la carpeta en orden: %2. Corríjalo y "
                           "vuelva a empezar; las tablas anteriores están en «%3».")
                .arg(shown(timetableFolder), why,
                     shown(joined(timetableFolder, BackupFolderName))));
    };
    const std::optional<Journal> journal =
        staging.readFile(JournalName, MarkerLimit, &text) ? parseJournal(text) : std::nullopt;
    if (!journal)
        throw stuckMessage(QStringLiteral("el diario «%1» está dañado")
                               .arg(shown(joined(stagingPath, JournalName))));
    const QString backup = journal->backup.isEmpty()
                               ? QString()
                               : joined(joined(timetableFolder, BackupFolderName), journal->backup);

    bool newSetWhole = true;
    for (const QString& name : journal->placed) {
        newSetWhole = newSetWhole && staging.kindOf(name) == EntryKind::Missing &&
                      timetable.kindOf(name) == EntryKind::File &&
                      checkTableFile(joined(timetableFolder, name)).isEmpty();
    }
    QString error;
    QString done;
    if (newSetWhole) {
        done = QStringLiteral("Una exportación anterior se interrumpió cuando ya había puesto "
                              "todas sus tablas en «%1»: se ha terminado de poner en orden.")
                   .arg(shown(timetableFolder));
        if (!backup.isEmpty())
            done += QStringLiteral(" Las tablas que sustituyó están en «%1».").arg(shown(backup));
    } else {
        for (auto it = journal->placed.crbegin(); it != journal->placed.crend(); ++it) {
            if (staging.kindOf(*it) == EntryKind::Missing &&
                timetable.kindOf(*it) != EntryKind::Missing &&
                !mover(joined(timetableFolder, *it), joined(stagingPath, *it), &error))
                throw stuckMessage(QStringLiteral("no se pudo quitar «%1» (%2)")
                                       .arg(shown(joined(timetableFolder, *it)), error));
        }
        if (!backup.isEmpty()) {
            const platform::Folder saved(backup);
            for (auto it = journal->saved.crbegin(); it != journal->saved.crend(); ++it) {
                if (saved.isOpen() && saved.kindOf(*it) != EntryKind::Missing &&
                    timetable.kindOf(*it) == EntryKind::Missing &&
                    !mover(joined(backup, *it), joined(timetableFolder, *it), &error))
                    throw stuckMessage(QStringLiteral("no se pudo devolver «%1» (%2)")
                                           .arg(shown(joined(backup, *it)), error));
            }
            timetable.sync(&error);
            platform::Folder root(joined(timetableFolder, BackupFolderName));
            if (root.isOpen())
                removeOwnFolder(root, journal->backup, {});
        }
        done = QStringLiteral("Una exportación anterior se interrumpió mientras ponía sus tablas "
                              "en «%1»: se han devuelto a su sitio las tablas que había antes, y "
                              "la carpeta de horarios está como antes de esa exportación.")
                   .arg(shown(timetableFolder));
    }
    timetable.sync(&error);
    if (!staging.removeFile(JournalName, &error))
        throw stuckMessage(error);
    removeOwnFolder(timetable, StagingFolderName, stagedEntries(staging));
    timetable.sync(&error);
    pruneBackups(timetableFolder);
    return done;
}

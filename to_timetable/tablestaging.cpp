#include "to_timetable/tablestaging.h"

#include "components/engineerror.h"
#include "components/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

const QString TableStaging::StagingFolderName = QStringLiteral("quelvana-preparando");
const QString TableStaging::BackupFolderName = QStringLiteral("quelvana-copias");

namespace {

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

QString TableStaging::reasonOf(const std::error_code& code)
{
    switch (static_cast<std::errc>(code.value())) {
    case std::errc::no_space_on_device:
        return QStringLiteral("no queda espacio en el disco");
    case std::errc::read_only_file_system:
        return QStringLiteral("la carpeta es de solo lectura");
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
        return QStringLiteral("no hay permiso para cambiarlo (¿carpeta de solo lectura?)");
    case std::errc::device_or_resource_busy:
    case std::errc::text_file_busy:
        return QStringLiteral("lo tiene abierto otro programa");
    case std::errc::no_such_file_or_directory:
        return QStringLiteral("el archivo ha desaparecido");
    default:
        return QString::fromLocal8Bit(code.message());
    }
}

namespace {

bool renameFile(const QString& from, const QString& to, QString* error)
{
    if (QFileInfo::exists(to)) {
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

} // namespace

TableStaging::TableStaging(const QString& timetableFolder, FileMover mover,
                           const QString& elsewhere)
    : m_timetable(timetableFolder), m_mover(mover ? std::move(mover) : FileMover(renameFile))
{
    if (!QFileInfo(m_timetable).isDir())
        throw EngineError(
            QStringLiteral("No existe la carpeta de horarios «%1».").arg(shown(m_timetable)));
    const QDir parent(elsewhere.isEmpty() ? m_timetable : elsewhere);
    m_staging = parent.filePath(StagingFolderName);
    // A folder left by a run that was killed holds nothing anyone needs.
    if (QFileInfo::exists(m_staging) && !QDir(m_staging).removeRecursively())
        throw EngineError(
            QStringLiteral("No se pudo borrar la carpeta «%1» que dejó una conversión "
                           "interrumpida.")
                .arg(shown(m_staging)));
    if (!parent.mkdir(StagingFolderName))
        throw EngineError(
            QStringLiteral("No se puede escribir en la carpeta «%1».").arg(shown(parent.path())));
}

TableStaging::~TableStaging()
{
    if (!m_committed)
        QDir(m_staging).removeRecursively();
}

void TableStaging::replaces(const QString& fileName)
{
    if (!m_replaced.contains(fileName, Qt::CaseInsensitive))
        m_replaced << fileName;
}

QString TableStaging::commit(const QDateTime& when)
{
    const QDir timetable(m_timetable);
    const QString backupRoot = timetable.filePath(BackupFolderName);
    QString backup =
        QDir(backupRoot).filePath(when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    for (int n = 2; QFileInfo::exists(backup); ++n)
        backup = QDir(backupRoot)
                     .filePath(when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                               QStringLiteral("_%1").arg(n));

    std::vector<std::pair<QString, QString>> done; // moves made, to undo on failure
    const bool backupRootExisted = QFileInfo::exists(backupRoot);
    bool backupMade = false;
    auto undo = [&]() -> QStringList {
        QStringList stuck;
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            QString ignored;
            if (!m_mover(it->second, it->first, &ignored))
                stuck << shown(it->first);
        }
        if (backupMade && stuck.isEmpty()) {
            QDir().rmdir(backup);
            if (!backupRootExisted)
                QDir().rmdir(backupRoot);
        }
        return stuck;
    };
    auto move = [&](const QString& from, const QString& to) {
        QString error;
        if (m_mover(from, to, &error)) {
            done.emplace_back(from, to);
            return;
        }
        const QStringList stuck = undo();
        QString message =
            QStringLiteral("No se pudo mover «%1» a «%2»: %3.").arg(shown(from), shown(to), error);
        if (stuck.isEmpty())
            message += QStringLiteral(" La carpeta de horarios se ha dejado como estaba.");
        else
            message += QStringLiteral(" No se pudieron devolver a su sitio: %1; están en «%2».")
                           .arg(stuck.join(QStringLiteral(", ")), shown(backup));
        throw EngineError(message);
    };

    QStringList old;
    for (const QString& name : std::as_const(m_replaced))
        old << platform::filesNamed(m_timetable, name);
    // A table another program holds is not taken from under it: nothing moves then.
    for (const QString& file : std::as_const(old)) {
        if (platform::isFileHeld(file))
            throw EngineError(
                QStringLiteral("La tabla «%1» está en uso por otro programa: ciérrelo "
                               "y vuelva a empezar. La carpeta de horarios se ha "
                               "dejado como estaba.")
                    .arg(shown(file)));
    }
    if (!old.isEmpty()) {
        if (!QDir().mkpath(backup))
            throw EngineError(
                QStringLiteral("No se pudo crear la carpeta de copias «%1».").arg(shown(backup)));
        backupMade = true;
    }
    for (const QString& file : std::as_const(old))
        move(file, QDir(backup).filePath(QFileInfo(file).fileName()));
    for (const QString& name : std::as_const(m_replaced)) {
        const QString staged = QDir(m_staging).filePath(name);
        if (QFileInfo::exists(staged))
            move(staged, timetable.filePath(name));
    }

    m_committed = true;
    QDir(m_staging).removeRecursively();

    // Only the newest backups are kept.
    QDir backups(backupRoot);
    QStringList runs = backups.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    while (runs.size() > KeptBackups)
        QDir(backups.filePath(runs.takeFirst())).removeRecursively();
    return backupMade ? backup : QString();
}

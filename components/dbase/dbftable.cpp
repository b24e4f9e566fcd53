#include "components/dbase/dbftable.h"

#include "components/dbase/dbffile.h"
#include "components/dbase/dbflocks.h"
#include "components/dbase/dbfvalues.h"
#include "components/dbase/mdxindex.h"
#include "components/platform/paths.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>

using dbf::fail;

DbfTable::DbfTable(const QString& folder, const QString& name)
    : m_folder(folder),
      m_fileName(name.contains(QLatin1Char('.')) ? name : name + QStringLiteral(".DBF"))
{
}

DbfTable::DbfTable(const QString& path)
    : m_folder(QFileInfo(path).path()), m_fileName(QFileInfo(path).fileName()), m_givenPath(path)
{
}

DbfTable::~DbfTable()
{
    release();
}

QString DbfTable::path() const
{
    if (m_file)
        return m_file->path;
    const QString existing = dbf::findFile(m_folder, m_fileName);
    if (!existing.isEmpty())
        return existing;
    if (!m_givenPath.isEmpty())
        return m_givenPath;
    return QDir(m_folder).filePath(m_fileName.toUpper());
}

bool DbfTable::exists() const
{
    return !dbf::findFile(m_folder, m_fileName).isEmpty();
}

QString DbfTable::problemWithFile(const QString& path)
{
    if (const QString what = platform::notOrdinaryFile(path); !what.isEmpty())
        return what;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return systemerror::reason(file.errorString());
    char start[32];
    if (file.read(start, sizeof start) != qint64(sizeof start))
        return QStringLiteral("la tabla está vacía o cortada");
    if (const QString problem = dbf::headerStartProblem(start); !problem.isEmpty())
        return problem;
    const auto [records, headerLength, recordLength] = dbf::headerSizes(start);
    const qint64 expected = headerLength + records * recordLength;
    if (file.size() != expected && file.size() != expected + 1)
        return QStringLiteral("la tabla mide %1 bytes y su cabecera dice %2")
            .arg(file.size())
            .arg(expected + 1);
    if (!file.seek(32) || !file.read(headerLength - 32).contains('\x0D'))
        return QStringLiteral("la lista de campos está cortada");
    return QString();
}

QString DbfTable::missingRows(const QString& path)
{
    QFile file(path);
    if (platform::entryKind(path) == platform::EntryKind::Missing ||
        !platform::notOrdinaryFile(path).isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    char start[12];
    if (file.read(start, sizeof start) != qint64(sizeof start))
        return QStringLiteral("la tabla está vacía o cortada");
    const auto [records, headerLength, recordLength] = dbf::headerSizes(start);
    const qint64 rows = file.size() - headerLength;
    if (recordLength < 1 || rows >= records * recordLength)
        return QString();
    return QStringLiteral("está cortada: su cabecera dice que tiene %1 filas y el archivo solo "
                          "tiene %2 enteras")
        .arg(records)
        .arg(std::max<qint64>(0, rows) / recordLength);
}

void DbfTable::requireAllRows() const
{
    if (const QString problem = missingRows(path()); !problem.isEmpty())
        fail(path(), problem);
}

int DbfTable::rowCountOfFile(const QString& path)
{
    if (const QString problem = problemWithFile(path); !problem.isEmpty())
        fail(path, problem);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(path,
             QStringLiteral("no se puede abrir: %1").arg(systemerror::reason(file.errorString())));
    // The file may have changed since it was checked: its header is read again, whole.
    char start[12];
    if (file.read(start, sizeof start) != qint64(sizeof start))
        fail(path, QStringLiteral("la tabla está vacía o cortada"));
    const auto [records, headerLength, recordLength] = dbf::headerSizes(start);
    if (recordLength < 1)
        fail(path, QStringLiteral("la cabecera no es la de una tabla dBase"));
    if (!file.seek(headerLength))
        fail(path,
             QStringLiteral("no se puede leer: %1").arg(systemerror::reason(file.errorString())));
    const qint64 batch = std::max<qint64>(1, dbf::AppendBatchBytes / recordLength);
    QByteArray rows;
    qint64 visible = 0;
    for (qint64 done = 0; done < records;) {
        const qint64 count = std::min(batch, records - done);
        rows = file.read(count * recordLength);
        if (rows.size() != count * recordLength)
            fail(path, QStringLiteral("no se puede leer: %1")
                           .arg(systemerror::reason(file.errorString())));
        for (qint64 r = 0; r < count; ++r) {
            if (rows.at(r * recordLength) != '*')
                ++visible;
        }
        done += count;
    }
    return static_cast<int>(std::min<qint64>(visible, std::numeric_limits<int>::max()));
}

void DbfTable::deleteFiles()
{
    const QString indexName = dbf::baseNameOf(m_fileName) + QStringLiteral(".MDX");
    const QStringList victims =
        platform::filesNamed(m_folder, m_fileName) + platform::filesNamed(m_folder, indexName);
    for (const QString& victim : victims) {
        if (dbf::isOpenInThisProgram(victim))
            fail(victim, QStringLiteral("está abierta y no se puede borrar"));
    }
    for (const QString& victim : victims) {
        QFile file(victim);
        if (!file.remove())
            fail(victim, QStringLiteral("no se pudo borrar: %1")
                             .arg(systemerror::reason(file.errorString())));
    }
}

void DbfTable::create(const QList<FieldDef>& defs, const QString& indexField)
{
    const QString target =
        m_givenPath.isEmpty() ? QDir(m_folder).filePath(m_fileName.toUpper()) : m_givenPath;
    if (m_file || dbf::isOpenInThisProgram(target))
        fail(target, QStringLiteral("está abierta y no se puede crear de nuevo"));
    if (!QFileInfo(m_folder).isDir())
        fail(target, QStringLiteral("no existe la carpeta %1").arg(platform::shown(m_folder)));
    const QByteArray file = dbf::newTableFile(target, defs, indexField);

    // The index goes first: a table that promises an index must always find it whole.
    const QString baseName = dbf::baseNameOf(QFileInfo(target).fileName());
    const QString indexPath = QDir(m_folder).filePath(baseName + QStringLiteral(".MDX"));
    if (!indexField.isEmpty())
        dbf::writeWhole(indexPath, mdx::buildProductionIndex(baseName, indexField, indexField, {},
                                                             QDate::currentDate()));
    dbf::writeWhole(target, file);

    // No other spelling of the table, nor an index it no longer has, stays beside it.
    const QString tableName = QFileInfo(target).fileName();
    const QString indexName = QFileInfo(indexPath).fileName();
    const QStringList stale =
        platform::filesNamed(m_folder, tableName) + platform::filesNamed(m_folder, indexName);
    for (const QString& other : stale) {
        const QString name = QFileInfo(other).fileName();
        const bool keep = name == tableName || (!indexField.isEmpty() && name == indexName);
        if (!keep && !QFile::remove(other))
            fail(other, QStringLiteral("no se pudo borrar la copia anterior"));
    }
}

void DbfTable::open(Access access)
{
    if (m_file) {
        if (access == m_access || access == Access::Shared)
            return;
        close();
    }
    const QString existing = dbf::findFile(m_folder, m_fileName);
    if (existing.isEmpty()) {
        if (platform::entryKind(path()) != platform::EntryKind::Missing)
            fail(path(), platform::notOrdinaryFile(path()));
        fail(path(), QStringLiteral("no existe"));
    }
    // Only an ordinary file is opened: a pipe or a device would block the run or never end.
    if (const QString what = platform::notOrdinaryFile(existing); !what.isEmpty())
        fail(existing, what);
    m_file = dbf::holdFile(existing, QFileInfo(existing).canonicalFilePath(), access);
    m_access = access;
    m_current = -1;
    m_eof = true;
    m_pending = Pending::None;
    m_orderField = -1;
    m_filterField = -1;
    first();
}

void DbfTable::close()
{
    if (!m_file)
        return;
    try {
        postIfEditing();
        if (m_file->sharedHolders + m_file->exclusiveHolders == 1)
            dbf::flush(*m_file);
    } catch (...) {
        release();
        throw;
    }
    release();
}

void DbfTable::release() noexcept
{
    if (!m_file)
        return;
    std::shared_ptr<TableFile> file = std::move(m_file);
    m_file.reset();
    m_pending = Pending::None;
    dbf::letGo(std::move(file), m_access);
}

bool DbfTable::isOpen() const
{
    return m_file != nullptr;
}

void DbfTable::requireOpen(const char* operation) const
{
    if (!m_file)
        fail(path(), QStringLiteral("no está abierta (%1)").arg(QLatin1String(operation)));
}

const QList<DbfField>& DbfTable::fields() const
{
    requireOpen("fields");
    return m_file->fields;
}

DbfField DbfTable::field(const QString& name) const
{
    return m_file->fields[fieldIndex(name)];
}

int DbfTable::deletedRowCount() const
{
    requireOpen("deletedRowCount");
    return m_file->deletedCount;
}

int DbfTable::rowCount() const
{
    requireOpen("rowCount");
    return m_file->recordCount - m_file->deletedCount;
}

bool DbfTable::hasField(const QString& name) const
{
    try {
        fieldIndex(name);
        return true;
    } catch (const TableError&) {
        return false;
    }
}

void DbfTable::requireField(const QString& name, std::initializer_list<FieldUse> uses) const
{
    const DbfField& f = m_file->fields[fieldIndex(name)];
    QStringList wanted;
    for (const FieldUse use : uses) {
        if (dbf::fitsUse(f, use))
            return;
        wanted << (use == FieldUse::Number ? QStringLiteral("numérico (N, F, I, + u O)")
                                           : QStringLiteral("de texto (C)"));
    }
    fail(m_file->path, QStringLiteral("el campo %1 es de tipo %2 y ha de ser %3")
                           .arg(name, dbf::typeName(f.type), wanted.join(QStringLiteral(" o "))));
}

void DbfTable::setTextChangeObserver(std::function<void(const TextChange&)> observer)
{
    m_textChangeObserver = std::move(observer);
}

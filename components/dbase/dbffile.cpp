#include "components/dbase/dbffile.h"

#include "components/dbase/dbflocks.h"
#include "components/dbase/dbfvalues.h"
#include "components/dbase/mdxindex.h"
#include "components/platform/systemerror.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

namespace dbf {

namespace {

QMutex registryMutex;
QHash<QString, std::weak_ptr<TableFile>>& registry()
{
    static QHash<QString, std::weak_ptr<TableFile>> files;
    return files;
}

// The rows are the file's bytes after the header, kept without a copy.
void takeRows(TableFile& t, QByteArray data, int recordCount)
{
    t.recordCount = recordCount;
    t.writtenCount = recordCount;
    t.heldFrom = 0;
    const qsizetype headerLength = t.headerLength;
    t.records = std::move(data);
    t.records.remove(0, headerLength);
    t.records.truncate(qsizetype(recordCount) * t.recordLength);
    t.deletedCount = 0;
    for (int r = 0; r < recordCount; ++r) {
        if (t.records.at(qsizetype(r) * t.recordLength) == '*')
            ++t.deletedCount;
    }
}

void rebuildIndex(TableFile& t)
{
    std::vector<mdx::Entry> entries;
    entries.reserve(static_cast<size_t>(t.recordCount));
    holdAllRows(t);
    const DbfField& f = t.fields[t.indexedField];
    for (int r = 0; r < t.recordCount; ++r) {
        const char* p = t.records.constData() + qsizetype(r) * t.recordLength + f.offset;
        entries.push_back({trimmedBytes(p, f.width), static_cast<quint32>(r + 1)});
    }
    const QString indexPath = indexFileFor(t.path);
    const QString tableName = baseNameOf(QFileInfo(t.path).fileName()).toUpper();
    writeWhole(indexPath, mdx::buildProductionIndex(tableName, f.name, f.name, std::move(entries),
                                                    QDate::currentDate()));
    t.indexDirty = false;
}

} // namespace

QString findFile(const QString& folder, const QString& fileName)
{
    if (QFileInfo(QDir(folder).filePath(fileName)).isFile())
        return QDir(folder).filePath(fileName);
    const QStringList spellings = platform::filesNamed(folder, fileName);
    return spellings.isEmpty() ? QString() : spellings.first();
}

QString baseNameOf(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

QString indexFileFor(const QString& tablePath)
{
    const QFileInfo info(tablePath);
    const QString name = baseNameOf(info.fileName()) + QStringLiteral(".MDX");
    const QString existing = findFile(info.path(), name);
    return existing.isEmpty() ? QDir(info.path()).filePath(name) : existing;
}

void writeWhole(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    platform::Folder folder(info.path(), platform::Folder::Link::Followed);
    QString error = folder.error();
    if (!folder.isOpen() || !folder.writeFile(info.fileName(), bytes, &error))
        fail(path, QStringLiteral("no se pudo escribir: %1").arg(error));
}

std::shared_ptr<TableFile> openFileFor(const QString& canonicalPath)
{
    QMutexLocker lock(&registryMutex);
    return registry().value(canonicalPath).lock();
}

bool isOpenInThisProgram(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && openFileFor(canonical) != nullptr;
}

std::shared_ptr<TableFile> openFile(const QString& path, const QString& canonicalPath,
                                    platform::LockKind kind)
{
    auto file = std::make_shared<TableFile>();
    file->path = path;
    file->file.setFileName(path);
    file->writable = file->file.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    if (!file->writable && !file->file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (platform::isFileHeld(path)) // Windows refuses an open that would share
            fail(path, QStringLiteral("está en uso por otro programa"));
        fail(path, QStringLiteral("no se puede abrir: %1")
                       .arg(systemerror::reason(file->file.errorString())));
    }
    hold(*file, kind);
    QByteArray data = file->file.readAll();
    if (file->file.error() != QFileDevice::NoError)
        fail(path, QStringLiteral("no se puede leer: %1")
                       .arg(systemerror::reason(file->file.errorString())));
    const int recordCount = readHeader(path, data, file.get());
    takeRows(*file, std::move(data), recordCount);
    QMutexLocker lock(&registryMutex);
    registry().insert(canonicalPath, file);
    return file;
}

void flush(TableFile& t)
{
    writeAppendedRows(t);
    if (t.indexDirty && t.indexedField >= 0)
        rebuildIndex(t);
}

void closeFile(TableFile& t) noexcept
{
    try {
        flush(t);
    } catch (...) {
        // Closing from a destructor, which cannot report: DbfTable::close() is the way that does.
    }
    platform::unlockFile(t.file);
    t.file.close();
    QMutexLocker lock(&registryMutex);
    registry().remove(QFileInfo(t.path).canonicalFilePath());
}

void holdAllRows(TableFile& t)
{
    if (t.heldFrom > 0) {
        QByteArray rows(qsizetype(t.heldFrom) * t.recordLength, Qt::Uninitialized);
        if (!t.file.seek(t.headerLength) || t.file.read(rows.data(), rows.size()) != rows.size())
            fail(t.path, QStringLiteral("no se pudo leer: %1")
                             .arg(systemerror::reason(t.file.errorString())));
        rows.append(t.records);
        t.records = std::move(rows);
        t.heldFrom = 0;
    }
    t.keepsRows = true;
}

void writeAt(TableFile& t, qint64 position, const char* bytes, qsizetype size)
{
    QString error;
    if (!t.file.seek(position))
        error = systemerror::reason(t.file.errorString());
    else
        platform::writeAll(t.file, bytes, size, &error);
    if (!error.isEmpty())
        fail(t.path, QStringLiteral("no se pudo escribir: %1").arg(error));
}

void writeAt(TableFile& t, qint64 position, const QByteArray& bytes)
{
    writeAt(t, position, bytes.constData(), bytes.size());
}

void writeHeaderCount(TableFile& t, int recordCount)
{
    writeAt(t, 1, headerCount(recordCount, QDate::currentDate()));
}

void writeAppendedRows(TableFile& t, bool letGo)
{
    if (t.writtenCount == t.recordCount)
        return;
    const qsizetype first = qsizetype(t.writtenCount - t.heldFrom) * t.recordLength;
    t.records.append('\x1A'); // one write for the rows and the mark
    writeAt(t, t.headerLength + qint64(t.writtenCount) * t.recordLength,
            t.records.constData() + first, t.records.size() - first);
    t.records.chop(1);
    writeHeaderCount(t, t.recordCount);
    t.writtenCount = t.recordCount;
    if (letGo && !t.keepsRows) {
        t.records.resize(0); // the room is kept for the next batch
        t.heldFrom = t.recordCount;
    }
}

} // namespace dbf

#pragma once

#include "components/dbase/dbfformat.h"
#include "components/platform/platform.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

// One table file, shared by every DbfTable of this program that has it open.
struct TableFile : dbf::Layout {
    QString path;
    QFile file;
    bool writable = false;
    int sharedHolders = 0;
    int exclusiveHolders = 0;

    // The rows from heldFrom on, recordLength bytes each; the rows before it are in the file only.
    // A table that is only appended to lets go of its rows as each batch is written, so that a
    // large new table never needs its whole size in memory. The first row read after that brings
    // them back (rowAt), and from then on they are all kept.
    QByteArray records;
    int heldFrom = 0;
    bool keepsRows = false;
    int recordCount = 0;
    int writtenCount = 0; // rows that are in the file; those after them are still to write
    // Names asked for, and the field each one finds. A few names per table: a plain search
    // costs less than hashing a name on every read and write.
    std::vector<std::pair<QString, int>> fieldNames;
    int deletedCount = 0;
    bool indexDirty = false;
};

// The files of the tables this program has open, their rows in memory and their writing. Inside
// the dBase layer only.
namespace dbf {

// Appended rows are written once this much is waiting, and when the table closes.
constexpr qsizetype AppendBatchBytes = 1 << 20;

// The file in `folder` named `fileName` without regard to letter case: the exact name when it
// is there, else the first other spelling. Empty when there is none.
QString findFile(const QString& folder, const QString& fileName);
QString baseNameOf(const QString& fileName);
// The production index beside a table: the existing one in any letter case, else ".MDX".
QString indexFileFor(const QString& tablePath);
// The file whole or not at all: written under a temporary name, every write checked, synced
// to the disk and then renamed.
void writeWhole(const QString& path, const QByteArray& bytes);

// The open table at that canonical path, if this program has it open.
std::shared_ptr<TableFile> openFileFor(const QString& canonicalPath);
bool isOpenInThisProgram(const QString& path);
// Opens the existing table file at `path`, takes the hold of `kind` on it, reads it whole and
// makes it the program's open file for `canonicalPath`. Throws TableError naming the file.
std::shared_ptr<TableFile> openFile(const QString& path, const QString& canonicalPath,
                                    platform::LockKind kind);
// Writes what is still to write: the appended rows, and the index when they changed it.
void flush(TableFile& t);
// After the last object lets go: flushes what it can (a destructor cannot report), lets go of
// the hold and closes the file.
void closeFile(TableFile& t) noexcept;

// Brings back the rows a table let go of, from the file, and keeps every row from then on.
void holdAllRows(TableFile& t);

// The bytes of row `r` (from 0), deletion flag first.
inline char* rowAt(TableFile& t, int r)
{
    if (t.heldFrom > 0)
        holdAllRows(t);
    return t.records.data() + qsizetype(r) * t.recordLength;
}

void writeAt(TableFile& t, qint64 position, const char* bytes, qsizetype size);
void writeAt(TableFile& t, qint64 position, const QByteArray& bytes);
// The header's date of the last change (today) and row count.
void writeHeaderCount(TableFile& t, int recordCount);
// Writes the rows appended since the last time, the end-of-file mark and the row count. With
// `letGo`, a table that has not read its rows back lets go of them once they are written.
void writeAppendedRows(TableFile& t, bool letGo = false);

} // namespace dbf

#pragma once

#include "components/dbase/dbftable.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

class CodePage;

// The .DBF file format: what a table's header says and how a new one is written. Inside the
// dBase layer only.
namespace dbf {

// Throws the TableError of a table operation, naming the file: "Tabla «PROFT.DBF»: no existe".
[[noreturn]] void fail(const QString& path, const QString& what);

// The shape of a table as its header gives it: its form, its fields and its rows' length.
struct Layout {
    bool level7 = false;
    qsizetype headerLength = 0;
    int recordLength = 0;
    QList<DbfField> fields;
    const CodePage* codePage = nullptr;
    bool productionIndex = false;
    // This layer keeps up to date a production index of one tag on one numeric field, the kind
    // it writes; a table whose index is of another kind is only read.
    bool indexMaintainable = true;
    int indexedField = -1;
};

// Reads the header of a table written by anyone, from the whole file's bytes: its layout and
// the number of whole rows after the header (a last row cut short by a crash is not counted).
// Throws TableError naming `path` when the header is damaged or of an unknown version.
int readHeader(const QString& path, const QByteArray& data, Layout* layout);

// What the first 12 bytes of a table's header say of its size.
struct HeaderSizes {
    qint64 records;
    qint64 headerLength;
    qint64 recordLength;
};
HeaderSizes headerSizes(const char* start);

// What is wrong with the first 32 bytes of a header, "" when they are a table's.
QString headerStartProblem(const char* start);

// The whole file of a new, empty dBase IV table with these fields (see DbfTable::create).
// Throws TableError naming `path` for a field that cannot be written.
QByteArray newTableFile(const QString& path, const QList<FieldDef>& fields,
                        const QString& indexField);

// The 7 header bytes from offset 1: the date of the last change and the row count.
QByteArray headerCount(int recordCount, const QDate& date);

} // namespace dbf

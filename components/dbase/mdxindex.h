#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <vector>

// The dBase IV production index (.MDX) for a table with one ascending tag on one numeric
// field: the file format Oranel reads beside a .DBF whose header flags a production index.
namespace mdx {

// One row of the table as the index sees it: the indexed field's value as the record stores
// it (the field's text with its pad blanks removed: "480", "-3.0000"; empty for a blank
// value) and the record's number in the file, from 1.
struct Entry {
    QByteArray storedValue;
    quint32 record;
};

// The 12-byte numeric key of a value as the record stores it (packed decimal, 0x34 exponent
// bias). A blank value is keyed as 0. Throws EngineError for a text that is not a number.
QByteArray numericKey(const QByteArray& storedValue);

// The whole .MDX file for the table `tableName` (its base name, written upper case into the
// header) with one tag `tagName` whose key expression is the numeric field `fieldName`.
// Entries may come in any order: the index orders them by value, equal values by record
// number. `date` is written as the file's creation and update date.
QByteArray buildProductionIndex(const QString& tableName, const QString& tagName,
                                const QString& fieldName, std::vector<Entry> entries, QDate date);

// What is wrong with an index file on the disk, "" when it is whole: a dBase IV index whose
// size is the one its header gives (a file cut short by a full disk is found).
QString problemWithFile(const QString& path);

} // namespace mdx

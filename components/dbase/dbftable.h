#pragma once

// Errors of the dBase layer are exceptions, never codes or dialogs: a table operation throws
// TableError (a kind of EngineError) whose Spanish message names the table's file ("Tabla
// «C:\OTEMP\PROFT.DBF»: no existe"); the index builder (mdxindex.h) throws EngineError naming
// the value it cannot key. Destructors never throw: DbfTable::close() reports what closing meets.

#include "components/platform/engineerror.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

// A failing table operation: a missing or damaged file, a table in use, a missing field, a
// value that does not fit. The message names the file.
class TableError : public EngineError {
public:
    using EngineError::EngineError;
};

// What a new table's field is: text of a width from 1 to 100, integer (stored N(11,0)), float
// (N(20,4)) or Boolean (L). The names Oranel reads are kept exactly.
struct FieldDef {
    enum class Type { Text, Integer, Float, Boolean };
    QString name;
    Type type;
    int width = 0; // text only
};

// A field as it stands in a table file.
struct DbfField {
    QString name;
    char type; // 'C', 'N', 'F', 'L', 'D', and in level-7 tables also 'I', 'O', '+', '@'
    int width; // in bytes
    int decimals;
    int offset;   // from the start of the record, whose first byte is the deletion flag
    bool indexed; // the field carries the production index's tag
};

struct TableFile;

// A text that the table's code page could not hold as given: what was set and what the field
// stores instead (its best-fit form, cut to the width).
struct TextChange {
    QString field;
    int row; // from 1, in natural order
    QString given;
    QString stored;
};

// A text as a text field of `width` characters stores it in a table this layer writes (Windows
// 1252 in its best-fit form, cut to the width, pad blanks and zero bytes at the end removed): two
// texts with the same stored form are one value to a locate.
QByteArray storedText(const QString& text, int width);
// The same text as reading the field back gives it: the stored form as text.
QString textAsRead(const QString& text, int width);
// The text in the best-fit form that every text field stores, whole: nothing cut, no blank
// removed ('Łacina' gives 'Lacina'; a text Windows 1252 holds stays as it is). The stored form
// for any width is its start.
QString fittedText(const QString& text);

// A dBase table (.DBF, with its production index .MDX when it has one) reached through a
// cursor, as Oranel's tables are. The object closes its file when it goes out of scope.
//
// Every object open on the same file in this program shares one copy of its rows, so a row
// posted through one is seen at once by the others. A row edited in place is written to the file
// as it is posted; appended rows are written in batches, and all of them by the time the last
// object closes the table, when the production index is brought up to date too.
//
// Tables are written as dBase IV tables (version 0x03, Windows 1252 text, language driver
// 0x57). Tables written by other software are read whatever their code page, in the dBase
// III/IV and level-7 forms.
class DbfTable {
public:
    enum class Access { Shared, Exclusive };

    // Binds to `name` in `folder` (".DBF" implied when the name has no extension). An existing
    // file is found without regard to letter case; a new one is written upper case.
    DbfTable(const QString& folder, const QString& name);
    // Binds to a file given by its full path.
    explicit DbfTable(const QString& path);
    ~DbfTable();
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    // What is wrong with a table file on the disk, "" when it is whole: its header reads and
    // its size is exactly what the header gives (a file cut short by a full disk is found).
    static QString problemWithFile(const QString& path);
    // The rows a walk of the table in that file would visit, read a batch at a time: a large
    // table is counted without being held in memory. Throws TableError naming the file when it is
    // not a whole table (problemWithFile).
    static int rowCountOfFile(const QString& path);
    // Whether the file at `path` holds every row its header counts: "" when it does (or when it
    // cannot be read, which opening it says), otherwise how many its header gives and how many
    // whole ones the file holds. A reader that goes on without the rows missing would take them
    // for rows never written; a table read for a run is refused instead (requireAllRows).
    static QString missingRows(const QString& path);
    // Throws TableError naming the open table when missingRows finds its file short.
    void requireAllRows() const;

    // The file the table is (or would be) in.
    QString path() const;
    bool exists() const;

    // Removes the table's .DBF and .MDX, in every letter case the folder holds them.
    void deleteFiles();
    // Writes a new empty table with exactly these fields, in this order, replacing one that
    // is there; `indexField` (a numeric field) gets the production index, tag of the same
    // name. Both files are written under temporary names first, the index before the table.
    void create(const QList<FieldDef>& fields, const QString& indexField = QString());

    // Exclusive access takes the platform's exclusive lock: another program cannot hold the
    // table at the same time. Objects of this program can always open it together.
    void open(Access access = Access::Shared);
    // Posts a pending row, then lets go of the file.
    void close();
    bool isOpen() const;

    const QList<DbfField>& fields() const;
    // The field of that name (found as text() finds it); throws TableError naming the field
    // when the table has none.
    DbfField field(const QString& name) const;
    // Rows that a walk without a filter visits (deleted rows do not count).
    int rowCount() const;
    // Rows marked deleted, which no walk visits.
    int deletedRowCount() const;

    // Whether the table has the field (found as text() finds it).
    bool hasField(const QString& name) const;
    // What a run reads a field as: a number (types N, F, I, + and O) or a text (type C).
    enum class FieldUse { Number, Text };
    // Throws TableError naming the table and the field when the table lacks the field or its
    // type is not one the use takes (a date, logical or memo field, or a type this layer does
    // not know).
    void requireField(const QString& name, std::initializer_list<FieldUse> uses) const;

    // Called after each setText whose value the table's code page cannot hold as given.
    void setTextChangeObserver(std::function<void(const TextChange&)> observer);

    // Walks in natural order (append order), or ascending by a numeric field with equal
    // values in natural order. Rows marked deleted are skipped, and so are the rows a filter
    // leaves out. Moving posts a pending row first.
    void setOrderByField(const QString& field);
    void first();
    void next();
    bool eof() const;
    // The current row's place in the file, from 0 (-1 for none), and a return to it later:
    // a run that walks a large table once can keep these instead of the rows' values.
    int recordNumber() const;
    void goToRecord(int record);
    // The current row's bytes as the file stores them (empty when there is none). Two tables of
    // the same layout (sameLayout) read alike wherever these bytes agree.
    QByteArrayView storedRow() const;
    // Whether `other` has the same fields (names, types, widths, places) and code page.
    bool sameLayout(const DbfTable& other) const;

    // Only rows whose text field `field` reads exactly `value` (letter case counts, trailing
    // blanks do not) are walked; setting it moves to the first such row.
    void setFilter(const QString& field, const QString& value);
    void clearFilter();

    // Makes the first row in natural order whose fields equal the values, as the fields would
    // store them (text in the best-fit form of the table's code page, cut to the width, letter
    // case counting), the current row.
    bool locate(std::initializer_list<std::pair<QString, QVariant>> fieldValues);

    // A new row at the end, blank until set; stored by post().
    void append();
    // Changes the current row in place; stored by post().
    void edit();
    void post();
    void cancel();
    bool isEditing() const;

    // Setting a value: a text is cut to the field's width; a number that does not fit its
    // field is an error, never cut. Only while appending or editing.
    void setText(const QString& field, const QString& value);
    // The same for a text that is part of a longer one.
    void setText(const QString& field, QStringView value);
    void setInteger(const QString& field, qint64 value);
    void setFloat(const QString& field, double value);
    void setBoolean(const QString& field, bool value);

    // Reading the current row (an empty table has none: texts are then empty, numbers 0).
    // A text field reads without its trailing pad blanks, leading blanks kept; a number reads
    // as its plain decimal text ("3", "-0.5"), a blank one as "".
    QString text(const QString& field) const;
    // A blank number reads 0; a text that is not a whole number is an error.
    qint64 integer(const QString& field) const;
    double toFloat(const QString& field) const;
    bool boolean(const QString& field) const;
    bool isBlank(const QString& field) const;

private:
    int fieldIndex(const QString& name) const;
    const char* currentRecord() const;
    char* editableValue(int field, const char* operation);
    bool visible(int record) const;
    void moveFrom(int startOrderPosition);
    void requireOpen(const char* operation) const;
    void requireWritable() const;
    void postIfEditing();
    void release() noexcept;

    QString m_folder;
    QString m_fileName;
    QString m_givenPath;
    std::shared_ptr<TableFile> m_file;
    Access m_access = Access::Shared;

    enum class Pending { None, Append, Edit };
    Pending m_pending = Pending::None;
    QByteArray m_buffer;

    int m_current = -1; // record number from 0, -1 for none
    bool m_eof = true;
    int m_orderField = -1;
    std::vector<int> m_order; // walk order when ordered by a field
    int m_orderPosition = -1;
    int m_filterField = -1;
    QByteArray m_filterValue;
    std::function<void(const TextChange&)> m_textChangeObserver;
    mutable size_t m_nameHint = 0; // where fieldIndex looks first among the names asked for
};

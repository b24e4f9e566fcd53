#include "tests/tablesupport.h"

#include "components/dbase/dbftable.h"

QList<QStringList> tableRows(const QString& path)
{
    DbfTable table(path);
    table.open();
    QList<QStringList> rows;
    for (table.first(); !table.eof(); table.next()) {
        QStringList row;
        for (const DbfField& field : table.fields())
            row << table.text(field.name);
        rows << row;
    }
    return rows;
}

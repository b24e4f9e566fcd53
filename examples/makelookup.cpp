// quelvana-make-lookup: writes the lookup table NIVELCAN.DBF, course offer key to educational
// level, from its CSV source. The build runs it to put the table beside the programs.
//
//   quelvana-make-lookup CSV FOLDER
//
// The CSV is UTF-8, its first line the header X_OFERTAMATRIG,NIVEL_ABREV,NIVEL, then one row
// per course offer. A field holding a comma or a quote is quoted, a quote inside it doubled;
// empty lines are ignored. Every row is checked before anything is written, so a malformed
// line leaves the folder as it was. Exit status: 0 written, 1 malformed CSV or failed write,
// 2 wrong arguments.

#include "components/dbase/codepage.h"
#include "components/dbase/dbftable.h"
#include "components/timetablefolder/tablelayouts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QStringList>
#include <QTextStream>
#include <algorithm>

namespace {

const TableLayout& layout = layouts::nivelcan;
const QList<FieldDef>& fields = layout.fields;
// The CSV names the key whole, as Yedra does.
const QStringList header = {layouts::nivelcanKey, fields.at(1).name, fields.at(2).name};
const int abbreviationWidth = fields.at(1).width;
const int levelWidth = fields.at(2).width;
// An Integer field is N(11,0): eleven digits at most.
const int keyDigits = 11;

struct Row {
    int line;
    qint64 key;
    QString abbreviation;
    QString level;
};

// A malformed line: the message names the line.
struct CsvError {
    int line;
    QString reason;
};

// The fields of one line. Quoted fields may hold commas and doubled quotes; a quote in an
// unquoted field, text after a closing quote or a missing closing quote is malformed.
QStringList splitLine(const QString& text, int line)
{
    QStringList out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (true) {
        QString field;
        if (i < n && text.at(i) == QLatin1Char('"')) {
            const qsizetype opening = i++;
            bool closed = false;
            while (i < n) {
                if (text.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                field += text.at(i++);
            }
            if (!closed)
                throw CsvError{line, QStringLiteral("falta la comilla que cierra el campo que "
                                                    "empieza en la columna %1")
                                         .arg(opening + 1)};
            if (i < n && text.at(i) != QLatin1Char(','))
                throw CsvError{line, QStringLiteral("hay texto tras la comilla de cierre, en la "
                                                    "columna %1")
                                         .arg(i + 1)};
        } else {
            while (i < n && text.at(i) != QLatin1Char(',')) {
                if (text.at(i) == QLatin1Char('"'))
                    throw CsvError{line, QStringLiteral("hay una comilla dentro de un campo sin "
                                                        "comillas, en la columna %1")
                                             .arg(i + 1)};
                field += text.at(i++);
            }
        }
        out << field;
        if (i >= n)
            return out;
        ++i; // the comma
    }
}

// A text field's value: it must fit the field and the table's code page, and keep its blanks,
// which a dBase text field would lose at the end.
QString checkedText(const QString& value, const QString& name, int width, int line)
{
    if (value.size() > width)
        throw CsvError{line, QStringLiteral("%1 «%2» tiene %3 caracteres y el campo admite %4")
                                 .arg(name, value)
                                 .arg(value.size())
                                 .arg(width)};
    if (value != value.trimmed())
        throw CsvError{
            line, QStringLiteral("%1 «%2» lleva blancos al principio o al final").arg(name, value)};
    const CodePage& page = CodePage::windows1252();
    const QByteArray encoded = page.encode(value);
    if (page.decode(encoded.constData(), encoded.size()) != value)
        throw CsvError{line, QStringLiteral("%1 «%2» tiene caracteres que la página de códigos "
                                            "Windows 1252 no puede guardar")
                                 .arg(name, value)};
    return value;
}

qint64 checkedKey(const QString& value, int line)
{
    const bool digits = !value.isEmpty() && value.size() <= keyDigits &&
                        std::all_of(value.begin(), value.end(), [](QChar c) {
                            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                        });
    if (!digits)
        throw CsvError{line, QStringLiteral("X_OFERTAMATRIG «%1» no es un número entero de 1 a %2 "
                                            "cifras")
                                 .arg(value)
                                 .arg(keyDigits)};
    return value.toLongLong();
}

QList<Row> readRows(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        throw CsvError{0, QStringLiteral("el archivo no está en UTF-8")};
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    QList<Row> rows;
    QHash<qint64, int> seen; // key to its line
    bool headerRead = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int line = i + 1;
        QString content = lines.at(i);
        if (content.endsWith(QLatin1Char('\r')))
            content.chop(1);
        if (content.isEmpty())
            continue;
        const QStringList values = splitLine(content, line);
        if (!headerRead) {
            if (values != header)
                throw CsvError{line, QStringLiteral("la cabecera ha de ser «%1»")
                                         .arg(header.join(QLatin1Char(',')))};
            headerRead = true;
            continue;
        }
        if (values.size() != header.size())
            throw CsvError{line, QStringLiteral("tiene %1 campos y ha de tener %2")
                                     .arg(values.size())
                                     .arg(header.size())};
        Row row{line, checkedKey(values.at(0), line),
                checkedText(values.at(1), header.at(1), abbreviationWidth, line),
                checkedText(values.at(2), header.at(2), levelWidth, line)};
        // The course step takes the first row of a key: a second one would never be read.
        if (seen.contains(row.key))
            throw CsvError{line, QStringLiteral("X_OFERTAMATRIG %1 ya está en la línea %2")
                                     .arg(row.key)
                                     .arg(seen.value(row.key))};
        seen.insert(row.key, line);
        rows << row;
    }
    if (!headerRead)
        throw CsvError{0, QStringLiteral("el archivo está vacío: falta la cabecera")};
    return rows;
}

void writeTable(const QString& folder, const QList<Row>& rows)
{
    DbfTable table(folder, layout.name);
    try {
        table.create(fields);
        table.open(DbfTable::Access::Exclusive);
        for (const Row& row : rows) {
            table.append();
            table.setInteger(fields.at(0).name, row.key);
            table.setText(fields.at(1).name, row.abbreviation);
            table.setText(fields.at(2).name, row.level);
            table.post();
        }
        table.close();
    } catch (const TableError&) {
        // No half-written table for the build to take as done.
        try {
            if (table.isEditing())
                table.cancel();
            table.close();
            table.deleteFiles();
        } catch (const TableError&) {
        }
        throw;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() != 2) {
        err << "Uso: quelvana-make-lookup CSV CARPETA\n"
               "  escribe CARPETA/NIVELCAN.DBF con las filas de CSV"
            << Qt::endl;
        return 2;
    }
    const QString csvPath = arguments.at(0);
    const QString folder = arguments.at(1);

    QFile csv(csvPath);
    if (!csv.open(QIODevice::ReadOnly)) {
        err << csvPath << ": no se puede leer: " << csv.errorString() << Qt::endl;
        return 1;
    }
    QList<Row> rows;
    try {
        rows = readRows(csv.readAll());
    } catch (const CsvError& e) {
        err << csvPath;
        if (e.line > 0)
            err << ", línea " << e.line;
        err << ": " << e.reason << Qt::endl;
        return 1;
    }

    if (!QDir().mkpath(folder)) {
        err << folder << ": no se puede crear la carpeta" << Qt::endl;
        return 1;
    }
    try {
        writeTable(folder, rows);
    } catch (const TableError& e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    return 0;
}

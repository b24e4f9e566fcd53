#include "components/dbase/codepage.h"
#include "components/dbase/dbftable.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QList<FieldDef> schoolFields = {
    {QStringLiteral("ABREV"), FieldDef::Type::Text, 10},
    {QStringLiteral("NOMBRE"), FieldDef::Type::Text, 80},
    {QStringLiteral("DNI"), FieldDef::Type::Integer},
    {QStringLiteral("PESO"), FieldDef::Type::Float},
    {QStringLiteral("ESTAREA"), FieldDef::Type::Boolean},
    {QStringLiteral("OFERTAMATRI"), FieldDef::Type::Text, 20},
};

// A table in its own folder, removed with it.
struct Fixture {
    QTemporaryDir dir;
    QString folder() const { return dir.path(); }
    QString file(const QString& name) const { return dir.filePath(name); }
};

void appendRow(DbfTable& table, const QString& abrev, const QString& nombre)
{
    table.append();
    table.setText(QStringLiteral("ABREV"), abrev);
    table.setText(QStringLiteral("NOMBRE"), nombre);
    table.post();
}

QStringList walk(DbfTable& table, const QString& field)
{
    QStringList out;
    for (table.first(); !table.eof(); table.next())
        out << table.text(field);
    return out;
}

} // namespace

// Every field type written and read back, with the edges of each, and the bytes on disk as
// the dBase IV format lays them out.
TEST(DbfTable, WritesAndReadsEveryFieldType)
{
    Fixture f;
    DbfTable table(f.folder(), QStringLiteral("profT"));
    table.create(schoolFields);
    EXPECT_TRUE(QFileInfo::exists(f.file(QStringLiteral("PROFT.DBF"))));
    table.open(DbfTable::Access::Exclusive);
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_TRUE(table.eof());
    EXPECT_EQ(table.text(QStringLiteral("ABREV")), QString()); // no row: empty values

    struct Row {
        QString abrev, nombre;
        std::optional<qint64> dni;
        std::optional<double> peso;
        std::optional<bool> estarea;
        // read back
        const char* abrevRead;
        const char* nombreRead;
        const char* dniText;
        const char* pesoText;
        const char* estareaText;
    };
    const Row rows[] = {
        {QStringLiteral("GLA"), QStringLiteral("GARCÍA LÓPEZ, ANA"), 42, 1.5, true, "GLA",
         "GARCÍA LÓPEZ, ANA", "42", "1.5", "T"},
        {QStringLiteral("Educación Física"), QStringLiteral("  con blancos delante  "), 0, 0.0,
         false, "Educación", "  con blancos delante", "0", "0", "F"}, // the final blank is a pad
        {QStringLiteral("中文€"), QStringLiteral("€ “sí”"), 99999999999, -0.00001, std::nullopt,
         "??€", "€ “sí”", "99999999999", "0", ""},
        {QString(), QString(), -9999999999, 123456789012345.5, std::nullopt, "", "", "-9999999999",
         "123456789012345.5", ""},
        {QStringLiteral("x"), QStringLiteral("y"), std::nullopt, std::nullopt, std::nullopt, "x",
         "y", "", "", ""},
    };
    for (const Row& r : rows) {
        table.append();
        table.setText(QStringLiteral("ABREV"), r.abrev);
        table.setText(QStringLiteral("NOMBRE"), r.nombre);
        if (r.dni)
            table.setInteger(QStringLiteral("DNI"), *r.dni);
        if (r.peso)
            table.setFloat(QStringLiteral("PESO"), *r.peso);
        if (r.estarea)
            table.setBoolean(QStringLiteral("ESTAREA"), *r.estarea);
        table.post();
    }
    // Numbers that do not fit are refused, never cut or starred.
    table.append();
    EXPECT_THROW(table.setInteger(QStringLiteral("DNI"), 100000000000), TableError);
    EXPECT_THROW(table.setInteger(QStringLiteral("DNI"), -10000000000), TableError);
    EXPECT_THROW(table.setFloat(QStringLiteral("PESO"), 1e16), TableError);
    EXPECT_THROW(table.setFloat(QStringLiteral("PESO"), std::nan("")), TableError);
    EXPECT_THROW(table.setText(QStringLiteral("DNI"), QStringLiteral("doce")), TableError);
    EXPECT_THROW(table.setText(QStringLiteral("NO_HAY"), QStringLiteral("x")), TableError);
    table.cancel();
    EXPECT_THROW(table.setText(QStringLiteral("ABREV"), QStringLiteral("x")), TableError);
    table.close();

    DbfTable reread(f.folder(), QStringLiteral("PROFT"));
    reread.open();
    ASSERT_EQ(reread.rowCount(), 5);
    int i = 0;
    for (reread.first(); !reread.eof(); reread.next(), ++i) {
        SCOPED_TRACE(i);
        const Row& r = rows[i];
        EXPECT_EQ(reread.text(QStringLiteral("ABREV")), r.abrevRead);
        EXPECT_EQ(reread.text(QStringLiteral("NOMBRE")), r.nombreRead);
        EXPECT_EQ(reread.text(QStringLiteral("DNI")), r.dniText);
        EXPECT_EQ(reread.text(QStringLiteral("PESO")), r.pesoText);
        EXPECT_EQ(reread.text(QStringLiteral("ESTAREA")), r.estareaText);
        EXPECT_EQ(reread.integer(QStringLiteral("DNI")), r.dni.value_or(0));
        EXPECT_EQ(reread.isBlank(QStringLiteral("DNI")), !r.dni.has_value());
        EXPECT_EQ(reread.boolean(QStringLiteral("ESTAREA")), r.estarea.value_or(false));
    }
    EXPECT_EQ(i, 5);
    EXPECT_THROW(reread.integer(QStringLiteral("NOMBRE")), TableError);

    const QByteArray bytes = readFile(f.file(QStringLiteral("PROFT.DBF")));
    const int headerLength = 32 + 32 * 6 + 1;
    const int recordLength = 1 + 10 + 80 + 11 + 20 + 1 + 20;
    ASSERT_EQ(bytes.size(), headerLength + 5 * recordLength + 1);
    EXPECT_EQ(bytes[0], 0x03);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), QDate::currentDate().year() - 1900);
    EXPECT_EQ(bytes[4], 5);
    auto le16 = [&](int at) {
        return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                           << 8;
    };
    EXPECT_EQ(le16(8), headerLength);
    EXPECT_EQ(le16(10), recordLength);
    EXPECT_EQ(bytes[28], 0);
    EXPECT_EQ(bytes[29], 0x57);
    EXPECT_EQ(bytes.mid(32 + 5 * 32, 12), QByteArray("OFERTAMATRIC")); // 11 letters, no NUL
    EXPECT_EQ(bytes[headerLength - 1], 0x0D);
    EXPECT_EQ(bytes.back(), 0x1A);
    const QByteArray first = bytes.mid(headerLength, recordLength);
    EXPECT_EQ(first.left(11), QByteArray(" GLA       "));
    EXPECT_EQ(first.mid(91, 11), QByteArray("         42"));
    EXPECT_EQ(first.mid(102, 20), QByteArray("              1.5000"));
    EXPECT_EQ(first[122], 'T');
    const QByteArray second = bytes.mid(headerLength + recordLength, recordLength);
    EXPECT_EQ(second.mid(1, 10), QByteArray("Educaci\xF3n "));
    EXPECT_EQ(second.mid(91, 11), QByteArray("          0"));
    EXPECT_EQ(bytes.mid(headerLength + 4 * recordLength + 91, 32), QByteArray(32, ' '));
}

// Independent readers see the same table: Debian's python3-dbf and Perl's XBase.
TEST(DbfTable, IsReadByIndependentReaders)
{
    Fixture f;
    DbfTable table(f.folder(), QStringLiteral("ASIGNOMT2"));
    table.create(schoolFields);
    table.open(DbfTable::Access::Exclusive);
    table.append();
    table.setText(QStringLiteral("ABREV"), QStringLiteral("  LEN"));
    table.setText(QStringLiteral("NOMBRE"), QStringLiteral("Lengua Castellana y Literatura ñ"));
    table.setInteger(QStringLiteral("DNI"), -16);
    table.setFloat(QStringLiteral("PESO"), 2.25);
    table.setBoolean(QStringLiteral("ESTAREA"), false);
    table.setText(QStringLiteral("OFERTAMATRI"), QStringLiteral("1234"));
    table.post();
    table.append();
    table.post();
    table.close();

    const QString path = f.file(QStringLiteral("ASIGNOMT2.DBF"));
    const QJsonObject python = readTableWithPython(path);
    EXPECT_EQ(python[QStringLiteral("codepage")].toString(), QStringLiteral("cp1252"));
    const QJsonArray fields = python[QStringLiteral("fields")].toArray();
    const char* expected[][4] = {{"ABREV", "C", "10", "0"},  {"NOMBRE", "C", "80", "0"},
                                 {"DNI", "N", "11", "0"},    {"PESO", "N", "20", "4"},
                                 {"ESTAREA", "L", "1", "0"}, {"OFERTAMATRI", "C", "20", "0"}};
    ASSERT_EQ(fields.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const QJsonArray field = fields[i].toArray();
        EXPECT_EQ(field[0].toString(), expected[i][0]);
        EXPECT_EQ(field[1].toString(), expected[i][1]);
        EXPECT_EQ(field[2].toInt(), std::stoi(expected[i][2]));
        EXPECT_EQ(field[3].toInt(), std::stoi(expected[i][3]));
    }
    const QJsonArray records = python[QStringLiteral("records")].toArray();
    ASSERT_EQ(records.size(), 2);
    const QJsonArray row = records[0].toArray();
    EXPECT_EQ(row[0].toString(), QStringLiteral("  LEN     "));
    EXPECT_EQ(row[1].toString().trimmed(), QStringLiteral("Lengua Castellana y Literatura ñ"));
    EXPECT_EQ(row[2].toInt(), -16);
    EXPECT_EQ(row[3].toDouble(), 2.25);
    EXPECT_FALSE(row[4].toBool());
    EXPECT_TRUE(records[1].toArray()[2].isNull());
    EXPECT_TRUE(records[1].toArray()[4].isNull());

    int code = 0;
    const QByteArray perl =
        runProgram(QStringLiteral("dbf_dump"),
                   {QStringLiteral("--fs=|"), QStringLiteral("--undef=NULL"), path}, &code);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(perl, QByteArray("  LEN|Lengua Castellana y Literatura \xF1|-16|2.25|0|1234\n"
                               "||NULL|NULL|NULL|\n"));
}

// Tables written by other software: any code page its language driver names, the dBase III/IV
// and level-7 forms, fields of every type.
TEST(DbfTable, ReadsTablesOfOtherSoftware)
{
    Fixture f;
    const QString cp850 = f.file(QStringLiteral("soluc.dbf"));
    writeTableWithPython(
        cp850, QJsonObject{{QStringLiteral("codepage"), QStringLiteral("cp850")},
                           {QStringLiteral("fields"),
                            QStringLiteral("PROF C(10); DIA N(2,0); HORA N(3,0); PESO N(8,2); "
                                           "OK L; FECHA D")},
                           {QStringLiteral("records"),
                            QJsonArray{QJsonArray{QStringLiteral("Ñandú ü"), 3, 12, -1.5, true,
                                                  QStringLiteral("2026-12-10")},
                                       QJsonArray{QStringLiteral("x"), QJsonValue(), QJsonValue(),
                                                  QJsonValue(), QJsonValue(), QJsonValue()}}}});
    DbfTable soluc(f.folder(), QStringLiteral("SOLUC")); // found whatever its letter case
    soluc.open(DbfTable::Access::Exclusive);
    ASSERT_EQ(soluc.rowCount(), 2);
    soluc.first();
    EXPECT_EQ(soluc.text(QStringLiteral("PROF")), QStringLiteral("Ñandú ü"));
    EXPECT_EQ(soluc.text(QStringLiteral("DIA")), QStringLiteral("3"));
    EXPECT_EQ(soluc.integer(QStringLiteral("HORA")), 12);
    EXPECT_EQ(soluc.text(QStringLiteral("PESO")), QStringLiteral("-1.5"));
    EXPECT_DOUBLE_EQ(soluc.toFloat(QStringLiteral("PESO")), -1.5);
    EXPECT_TRUE(soluc.boolean(QStringLiteral("OK")));
    EXPECT_EQ(soluc.text(QStringLiteral("FECHA")), QStringLiteral("20261210"));
    soluc.next();
    EXPECT_EQ(soluc.text(QStringLiteral("DIA")), QString());
    EXPECT_EQ(soluc.integer(QStringLiteral("DIA")), 0);
    EXPECT_TRUE(soluc.isBlank(QStringLiteral("OK"))); // python3-dbf writes '?'
    soluc.close();

    struct Sample {
        const char* file;
        int rows;
        const char* field;
        QStringList firstValues;
    };
    const Sample samples[] = {
        // Language driver 0x00: read as Windows 1252.
        {"industry.dbf",
         18,
         "IND_NAME",
         {QStringLiteral("SoftW"), QStringLiteral("Auto"), QStringLiteral("Aero")}},
        {"holdings.dbf",
         40,
         "PUR_PRICE",
         {QStringLiteral("11"), QStringLiteral("19"), QStringLiteral("59")}},
        {"master.dbf",
         110,
         "PROJ_GRTH",
         {QStringLiteral("-16"), QStringLiteral("0"), QStringLiteral("3")}},
        {"dbase4.dbf", 4, "LOGIC", {QStringLiteral("T"), QStringLiteral("F"), QString()}},
        {"dbasevii_int.dbf",
         6,
         "INT",
         {QStringLiteral("1"), QStringLiteral("-1"), QStringLiteral("5000000")}},
        {"dbasevii_double.dbf",
         5,
         "DOUBLE",
         {QStringLiteral("-199.99"), QStringLiteral("-74.62"), QStringLiteral("43.65")}},
        {"dbasevii_ts.dbf",
         9,
         "TS",
         {QStringLiteral("1900-01-01 00:00:00"), QStringLiteral("1900-01-02 00:00:00"),
          QStringLiteral("1900-01-03 00:00:00")}},
    };
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.file);
        DbfTable table(referenceSample(QString::fromLatin1(sample.file)));
        table.open();
        EXPECT_EQ(table.rowCount(), sample.rows);
        QStringList values = walk(table, QString::fromLatin1(sample.field));
        EXPECT_EQ(values.mid(0, 3), sample.firstValues);
    }

    DbfTable level7(referenceSample(QStringLiteral("dbasevii_int.dbf")));
    level7.open();
    QList<qint64> ints;
    for (level7.first(); !level7.eof(); level7.next())
        ints << level7.integer(QStringLiteral("int"));
    EXPECT_EQ(ints, (QList<qint64>{1, -1, 5000000, -5000000, 2147483647, -2147483647}));
    EXPECT_THROW(level7.append(), TableError); // level-7 tables are only read
    // An index of a kind the layer does not write is never left behind the table.
    DbfTable holdings(referenceSample(QStringLiteral("holdings.dbf")));
    holdings.open();
    EXPECT_THROW(holdings.append(), TableError);

    DbfTable dbase4(referenceSample(QStringLiteral("dbase4.dbf")));
    dbase4.open();
    EXPECT_EQ(dbase4.text(QStringLiteral("CHAR")).left(21),
              QStringLiteral("This dBase IV table h"));
    EXPECT_EQ(dbase4.text(QStringLiteral("NUM")), QStringLiteral("1"));
    EXPECT_EQ(dbase4.text(QStringLiteral("DATE")), QStringLiteral("20010101"));

    // Level 7 with a property area after the field list, names with blanks, a code page named
    // by the driver name.
    DbfTable level7Fish(referenceSample(QStringLiteral("dbase_8c.dbf")));
    level7Fish.open();
    EXPECT_EQ(level7Fish.rowCount(), 10);
    EXPECT_EQ(level7Fish.integer(QStringLiteral("ID")), 1);
    EXPECT_EQ(level7Fish.text(QStringLiteral("Name")), QStringLiteral("Clown Triggerfish"));
    EXPECT_EQ(level7Fish.text(QStringLiteral("Length CM")), QStringLiteral("100"));
}

// A table with a production index: the index is written with the table, brought up to date
// when rows have been appended, and walked by Perl's XBase in the order the layer walks.
TEST(DbfTable, KeepsItsProductionIndexUpToDate)
{
    Fixture f;
    const QList<FieldDef> fields = {{QStringLiteral("CODDIHO"), FieldDef::Type::Text, 10},
                                    {QStringLiteral("ORDEN"), FieldDef::Type::Integer}};
    DbfTable table(f.folder(), QStringLiteral("DIASHORAST2"));
    table.create(fields, QStringLiteral("ORDEN"));
    const QString dbfPath = f.file(QStringLiteral("DIASHORAST2.DBF"));
    const QString mdxPath = f.file(QStringLiteral("DIASHORAST2.MDX"));
    ASSERT_TRUE(QFileInfo::exists(mdxPath));
    const QByteArray header = readFile(dbfPath);
    EXPECT_EQ(header[28], 1);
    EXPECT_EQ(header[32 + 32 + 31], 1); // ORDEN carries the tag
    EXPECT_EQ(header[32 + 31], 0);

    auto perlOrder = [&] {
        int code = 0;
        const QByteArray out =
            runProgram(QStringLiteral("index_dump"), {mdxPath, QStringLiteral("ORDEN")}, &code);
        EXPECT_EQ(code, 0);
        QList<int> records;
        for (const QByteArray& line : out.split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (!line.trimmed().isEmpty())
                records << words.last().toInt();
        }
        return records;
    };
    EXPECT_TRUE(perlOrder().isEmpty());

    // Keys repeat, and more rows than one leaf holds.
    std::vector<std::pair<int, int>> expected; // (value, record)
    table.open(DbfTable::Access::Exclusive);
    for (int i = 1; i <= 310; ++i) {
        const int value = (i * 7919) % 37 * 60 + 480;
        table.append();
        table.setText(QStringLiteral("CODDIHO"), QString::number(i));
        table.setInteger(QStringLiteral("ORDEN"), value);
        table.post();
        expected.emplace_back(value, i);
    }
    table.close();
    DbfTable more(f.folder(), QStringLiteral("DIASHORAST2"));
    more.open();
    for (int i = 311; i <= 320; ++i) {
        more.append();
        more.setText(QStringLiteral("CODDIHO"), QString::number(i));
        more.setInteger(QStringLiteral("ORDEN"), 480);
        more.post();
        expected.emplace_back(480, i);
    }
    more.close();
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<int> expectedRecords;
    QStringList expectedCodes;
    for (const auto& e : expected) {
        expectedRecords << e.second;
        expectedCodes << QString::number(e.second);
    }
    EXPECT_EQ(perlOrder(), expectedRecords);

    DbfTable ordered(f.folder(), QStringLiteral("DIASHORAST2"));
    ordered.open();
    ordered.setOrderByField(QStringLiteral("ORDEN"));
    EXPECT_EQ(walk(ordered, QStringLiteral("CODDIHO")), expectedCodes);
}

// Locate finds the first row in natural order whose fields equal the values as stored; a
// filter walks only the rows whose text equals the value; case counts in both.
TEST(DbfTable, LocatesAndFiltersAsTheFieldsStoreTheValues)
{
    Fixture f;
    DbfTable table(f.folder(), QStringLiteral("PROFT"));
    table.create(schoolFields);
    table.open(DbfTable::Access::Exclusive);
    const QStringList abrevs = {QStringLiteral("GLA"),        QStringLiteral("gla"),
                                QStringLiteral(" GLA"),       QStringLiteral("GLA"),
                                QStringLiteral("ABCDEFGHIJ"), QStringLiteral("MAT")};
    int n = 0;
    for (const QString& a : abrevs) {
        table.append();
        table.setText(QStringLiteral("ABREV"), a);
        table.setInteger(QStringLiteral("DNI"), ++n);
        table.setText(QStringLiteral("OFERTAMATRI"),
                      n % 2 ? QStringLiteral("A") : QStringLiteral("B"));
        table.post();
    }

    struct Case {
        QList<std::pair<QString, QVariant>> conditions;
        qint64 foundDni; // 0: not found
    };
    const QString abrev = QStringLiteral("ABREV");
    const QString dni = QStringLiteral("DNI");
    const QString oferta = QStringLiteral("OFERTAMATRI");
    const Case cases[] = {
        {{{abrev, QStringLiteral("GLA")}}, 1},
        {{{abrev, QStringLiteral("gla")}}, 2},
        {{{abrev, QStringLiteral(" GLA")}}, 3},
        {{{abrev, QStringLiteral("GLA   ")}}, 1},
        {{{abrev, QStringLiteral("ABCDEFGHIJK")}}, 5}, // cut to the width, as stored
        {{{abrev, QStringLiteral("ĢŁĂ")}}, 1},         // in its best-fit form, as stored
        {{{abrev, QStringLiteral("ABCDEFGHIJ𝟘")}}, 5},
        {{{abrev, QStringLiteral("Gla")}}, 0},
        {{{abrev, QStringLiteral("GLA")}, {oferta, QStringLiteral("B")}}, 4},
        {{{dni, 6}}, 6},
        {{{dni, QStringLiteral("006")}}, 6},
        {{{dni, 7}}, 0},
    };
    for (const Case& c : cases) {
        table.first();
        table.next(); // a failed locate leaves the cursor where it was
        bool found = false;
        if (c.conditions.size() == 1)
            found = table.locate({c.conditions[0]});
        else
            found = table.locate({c.conditions[0], c.conditions[1]});
        EXPECT_EQ(found, c.foundDni != 0);
        EXPECT_EQ(table.integer(dni), found ? c.foundDni : 2);
    }

    table.setFilter(abrev, QStringLiteral("GLA"));
    QList<qint64> filtered;
    for (; !table.eof(); table.next())
        filtered << table.integer(dni);
    EXPECT_EQ(filtered, (QList<qint64>{1, 4}));
    table.setFilter(abrev, QStringLiteral("NADIE"));
    EXPECT_TRUE(table.eof());
    table.setFilter(abrev, QStringLiteral("中"));
    EXPECT_TRUE(table.eof());
    table.clearFilter();
    table.first();
    EXPECT_EQ(walk(table, abrev).size(), 6);
    EXPECT_THROW(table.setFilter(dni, QStringLiteral("1")), TableError);
}

// Rows marked deleted by another program are neither walked, counted, located nor filtered.
TEST(DbfTable, SkipsDeletedRows)
{
    Fixture f;
    {
        DbfTable table(f.folder(), QStringLiteral("SOLUC"));
        table.create(schoolFields);
        table.open();
        for (const char* a : {"uno", "dos", "tres", "cuatro"})
            appendRow(table, QString::fromLatin1(a), QString());
    }
    const QString path = f.file(QStringLiteral("SOLUC.DBF"));
    QByteArray bytes = readFile(path);
    const int headerLength = 32 + 32 * 6 + 1;
    const int recordLength = 1 + 10 + 80 + 11 + 20 + 1 + 20;
    bytes[headerLength] = '*';
    bytes[headerLength + 2 * recordLength] = '*';
    writeFile(path, bytes);

    DbfTable table(f.folder(), QStringLiteral("SOLUC"));
    table.open();
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(DbfTable::rowCountOfFile(path), 2);
    EXPECT_EQ(walk(table, QStringLiteral("ABREV")),
              (QStringList{QStringLiteral("dos"), QStringLiteral("cuatro")}));
    EXPECT_FALSE(table.locate({{QStringLiteral("ABREV"), QStringLiteral("uno")}}));
    table.setFilter(QStringLiteral("ABREV"), QStringLiteral("tres"));
    EXPECT_TRUE(table.eof());
}

// Objects of this program on one file see each other's posts at once, exclusive or not.
TEST(DbfTable, ObjectsOnOneFileShareTheirRows)
{
    Fixture f;
    DbfTable writer(f.folder(), QStringLiteral("PROFT"));
    writer.create(schoolFields);
    writer.open(DbfTable::Access::Exclusive);
    DbfTable reader(f.folder(), QStringLiteral("proft"));
    reader.open(DbfTable::Access::Shared);
    DbfTable second(f.file(QStringLiteral("PROFT.DBF")));
    second.open(DbfTable::Access::Exclusive);

    appendRow(writer, QStringLiteral("GLA"), QStringLiteral("García"));
    appendRow(second, QStringLiteral("MAT"), QStringLiteral("Mateo"));
    EXPECT_EQ(reader.rowCount(), 2);
    EXPECT_EQ(walk(reader, QStringLiteral("ABREV")),
              (QStringList{QStringLiteral("GLA"), QStringLiteral("MAT")}));

    // Edit in place through one object; the others see the new value.
    reader.first();
    reader.edit();
    reader.setText(QStringLiteral("NOMBRE"), QStringLiteral("García López"));
    reader.post();
    writer.first();
    EXPECT_EQ(writer.text(QStringLiteral("NOMBRE")), QStringLiteral("García López"));
    EXPECT_EQ(writer.rowCount(), 2);

    // A pending row is posted when the table closes.
    second.append();
    second.setText(QStringLiteral("ABREV"), QStringLiteral("PEN"));
    second.close();
    EXPECT_EQ(reader.rowCount(), 3);
    writer.close();
    reader.close();

    DbfTable later(f.folder(), QStringLiteral("PROFT"));
    later.open();
    EXPECT_EQ(walk(later, QStringLiteral("NOMBRE")),
              (QStringList{QStringLiteral("García López"), QStringLiteral("Mateo"), QString()}));
}

TEST(DbfTable, ATableAnotherProgramHoldsIsRefused)
{
    Fixture f;
    DbfTable table(f.folder(), QStringLiteral("SOLUC"));
    table.create(schoolFields);
    const QString path = f.file(QStringLiteral("SOLUC.DBF"));

    QProcess holder;
    // --no-fork: the lock belongs to the process we can kill.
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("--no-fork"), QStringLiteral("--exclusive"), path,
                  QStringLiteral("sleep"), QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted());
    // Wait until the lock is really held: a shared lock of our own then fails.
    bool held = false;
    for (int i = 0; i < 100 && !held; ++i) {
        QThread::msleep(50);
        try {
            DbfTable probe(path);
            probe.open();
        } catch (const TableError&) {
            held = true;
        }
    }
    ASSERT_TRUE(held);
    try {
        table.open(DbfTable::Access::Exclusive);
        ADD_FAILURE() << "a table held by another program must be refused";
    } catch (const TableError& error) {
        EXPECT_NE(error.message().indexOf(QStringLiteral("SOLUC.DBF")), -1);
        EXPECT_NE(error.message().indexOf(QStringLiteral("en uso")), -1);
    }
    holder.kill();
    holder.waitForFinished();
    table.open(DbfTable::Access::Exclusive);
    EXPECT_TRUE(table.isOpen());
}

// A file whose header lies is refused with a message naming it; nothing is read past its end.
TEST(DbfTable, RefusesFilesWhoseHeaderLies)
{
    Fixture f;
    {
        DbfTable table(f.folder(), QStringLiteral("BUENA"));
        table.create({{QStringLiteral("A"), FieldDef::Type::Text, 4},
                      {QStringLiteral("N"), FieldDef::Type::Integer}});
        table.open();
        for (int i = 0; i < 3; ++i) {
            table.append();
            table.setInteger(QStringLiteral("N"), i);
            table.post();
        }
    }
    const QByteArray good = readFile(f.file(QStringLiteral("BUENA.DBF")));
    const int headerLength = 32 + 2 * 32 + 1; // 97
    const int recordLength = 1 + 4 + 11;

    auto with = [&](int offset, QByteArray bytes) {
        QByteArray out = good;
        out.replace(offset, bytes.size(), bytes);
        return out;
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* reason; // empty: the file is read
        int rows;
    };
    const Case cases[] = {
        {"too short", good.left(20), "demasiado corto", 0},
        {"unknown version", with(0, "\x30"), "versión", 0},
        {"header length past the end", with(8, QByteArray("\xFF\x7F", 2)), "cabecera", 0},
        {"record count past the end", with(4, QByteArray("\x05\x00\x00\x00", 4)), "declara 5", 0},
        {"huge record count", with(4, QByteArray("\xFF\xFF\xFF\xFF", 4)), "declara", 0},
        {"widths past the record length", with(10, QByteArray("\x05\x00", 2)), "campos miden", 0},
        {"no terminator", with(headerLength - 1, QByteArray(1, '\0')), "final de la lista", 0},
        {"zero width", with(32 + 16, QByteArray("\x00", 1)), "anchura 0", 0},
        {"zero record length", with(10, QByteArray("\x00\x00", 2)), "campos miden", 0},
        {"truncated last record", good.left(headerLength + 2 * recordLength + 5), "", 2},
        {"no end-of-file mark", good.left(good.size() - 1), "", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = f.file(QStringLiteral("MALA.DBF"));
        writeFile(path, c.bytes);
        DbfTable table(path);
        if (*c.reason) {
            try {
                table.open();
                ADD_FAILURE() << "opened";
            } catch (const TableError& error) {
                EXPECT_NE(error.message().indexOf(QStringLiteral("MALA.DBF")), -1);
                EXPECT_NE(error.message().indexOf(QString::fromUtf8(c.reason)), -1)
                    << error.message();
            }
        } else {
            table.open();
            EXPECT_EQ(table.rowCount(), c.rows);
        }
    }
    DbfTable missing(f.folder(), QStringLiteral("NO_ESTA"));
    EXPECT_THROW(missing.open(), TableError);
}

// Old files of a table go in every letter case; new ones are written upper case.
TEST(DbfTable, DeletesEverySpellingAndCreatesUpperCase)
{
    Fixture f;
    for (const char* name : {"asignomt.dbf", "ASIGNOMT.DBF", "Asignomt.Mdx", "asignomt.mdx",
                             "ASIGNOMT2.DBF", "otra.dbf"})
        writeFile(f.file(QString::fromLatin1(name)), "x");
    DbfTable table(f.folder(), QStringLiteral("ASIGNOMT"));
    table.deleteFiles();
    QStringList left = QDir(f.folder()).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("ASIGNOMT2.DBF"), QStringLiteral("otra.dbf")}));

    // Creating over a lower-case table and a stale index leaves only the new table.
    writeFile(f.file(QStringLiteral("aulat.dbf")), "viejo");
    writeFile(f.file(QStringLiteral("AULAT.MDX")), "viejo");
    DbfTable aulat(f.folder(), QStringLiteral("aulat"));
    aulat.create({{QStringLiteral("ABREV"), FieldDef::Type::Text, 10}});
    EXPECT_TRUE(QDir(f.folder()).entryList(QDir::Files).contains(QStringLiteral("AULAT.DBF")));
    EXPECT_FALSE(QDir(f.folder()).entryList(QDir::Files).contains(QStringLiteral("aulat.dbf")));
    EXPECT_FALSE(QDir(f.folder()).entryList(QDir::Files).contains(QStringLiteral("AULAT.MDX")));

    // An open table is neither deleted nor created again.
    aulat.open();
    DbfTable other(f.folder(), QStringLiteral("AULAT"));
    EXPECT_THROW(other.deleteFiles(), TableError);
    EXPECT_THROW(other.create({{QStringLiteral("X"), FieldDef::Type::Text, 1}}), TableError);
    aulat.close();
    other.deleteFiles();
    EXPECT_FALSE(other.exists());

    // Field definitions the format cannot hold are refused.
    const QList<QList<FieldDef>> invalid = {
        {{QStringLiteral("NOMBRE"), FieldDef::Type::Text, 0}},
        {{QStringLiteral("NOMBRE"), FieldDef::Type::Text, 101}},
        {{QStringLiteral("X_OFERTAMATRIG"), FieldDef::Type::Text, 10}},
        {{QStringLiteral("año"), FieldDef::Type::Text, 10}},
        {{QStringLiteral("A"), FieldDef::Type::Text, 1},
         {QStringLiteral("A"), FieldDef::Type::Integer}},
    };
    for (const QList<FieldDef>& defs : invalid)
        EXPECT_THROW(other.create(defs), TableError);
    EXPECT_THROW(
        other.create({{QStringLiteral("A"), FieldDef::Type::Text, 1}}, QStringLiteral("A")),
        TableError);
}

// Names over ten characters: found whole, else by the 11 or 10 characters a tool kept.
TEST(DbfTable, FindsLongFieldNamesByWhatTheSlotHolds)
{
    Fixture f;
    for (const char* kept : {"X_OFERTAMAT", "X_OFERTAMA"}) {
        SCOPED_TRACE(kept);
        DbfTable table(f.folder(), QStringLiteral("NIVELCAN"));
        table.create({{QString::fromLatin1(kept), FieldDef::Type::Integer},
                      {QStringLiteral("NIVEL_ABREV"), FieldDef::Type::Text, 10}});
        table.open();
        table.append();
        table.setInteger(QStringLiteral("X_OFERTAMATRIG"), 42);
        table.setText(QStringLiteral("NIVEL_ABREV"), QStringLiteral("ESO"));
        table.post();
        EXPECT_EQ(table.integer(QStringLiteral("X_OFERTAMATRIG")), 42);
        EXPECT_EQ(table.text(QStringLiteral("NIVEL_ABREVIADO")), QStringLiteral("ESO"));
        EXPECT_THROW(table.text(QStringLiteral("X_OFERTA")), TableError);
        EXPECT_THROW(table.text(QStringLiteral("nivel_abrev")), TableError);
        table.close();
        table.deleteFiles();
    }
}

// Text the code page lacks is stored in the form Windows' best-fit conversion gives it: marks
// dropped, a few letters by table, '?' for what is left.
TEST(CodePage, StoresTheBestFitForm)
{
    const struct {
        const char* given;
        const char* stored;
    } cases[] = {
        {"Educación Física ÑÜ€", "Educación Física ÑÜ€"}, // Windows 1252 holds them
        {"ăâîșțĂÂÎȘȚ", "aâîstAÂÎST"},                     // Romanian, comma below
        {"şţŞŢ", "stST"},                                 // Romanian, cedilla
        {"ąćęłńóśźżĄĆĘŁŃÓŚŹŻ", "acelnószzACELNÓSZZ"},     // Polish
        {"ğıİşĞŞ", "giIsGS"},                             // Turkish
        {"ĐđĦħŦŧ", "DdHhTt"},
        {"Educacio\u0301n", "Educación"}, // a letter and its combining mark: one letter
        {"x\u0301", "x"},                 // a mark with no letter to join
        {"ﬁn ǅ", "fn D"},                 // one character for one
        {"𝟘𝟙", "01"},
        {"각", "?"},     // decomposed into letters the page lacks
        {"αβ中", "???"}, // no form at all
    };
    const CodePage& page = CodePage::windows1252();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        const QString given = QString::fromUtf8(c.given);
        EXPECT_EQ(page.bestFit(given), c.stored);
        EXPECT_EQ(page.holds(given), given == QString::fromUtf8(c.stored));
        const QByteArray bytes = page.encode(given);
        EXPECT_EQ(page.decode(bytes.constData(), bytes.size()), c.stored);
    }
    EXPECT_EQ(page.bestFit(QString(QChar(0xD800)) + QStringLiteral("a")), QStringLiteral("?a"));
}

// What python3-dbf reads from a table written with names out of the code page, and the change
// reported for each value.
TEST(DbfTable, ReportsEveryTextStoredOtherThanGiven)
{
    Fixture f;
    DbfTable table(f.folder(), QStringLiteral("PROFT"));
    table.create(schoolFields);
    table.open();
    QList<TextChange> changes;
    table.setTextChangeObserver([&](const TextChange& change) { changes << change; });
    const struct {
        const char* abrev;
        const char* nombre;
    } rows[] = {
        {"ŁLA", "Łukasiewicz Lara, Ana"},
        {"ŞLA", "Şahin Lara, Ana"},
        {"GLA", "García López, Ana"},
        {"ȘLA", "Ștefănescu Lara, Ana"},
    };
    for (const auto& r : rows)
        appendRow(table, QString::fromUtf8(r.abrev), QString::fromUtf8(r.nombre));
    table.first();
    table.edit();
    table.setText(QStringLiteral("NOMBRE"), QStringLiteral("Ţepeş"));
    table.post();
    table.close();

    const QList<std::tuple<QString, int, QString, QString>> expected = {
        {QStringLiteral("ABREV"), 1, QStringLiteral("ŁLA"), QStringLiteral("LLA")},
        {QStringLiteral("NOMBRE"), 1, QStringLiteral("Łukasiewicz Lara, Ana"),
         QStringLiteral("Lukasiewicz Lara, Ana")},
        {QStringLiteral("ABREV"), 2, QStringLiteral("ŞLA"), QStringLiteral("SLA")},
        {QStringLiteral("NOMBRE"), 2, QStringLiteral("Şahin Lara, Ana"),
         QStringLiteral("Sahin Lara, Ana")},
        {QStringLiteral("ABREV"), 4, QStringLiteral("ȘLA"), QStringLiteral("SLA")},
        {QStringLiteral("NOMBRE"), 4, QStringLiteral("Ștefănescu Lara, Ana"),
         QStringLiteral("Stefanescu Lara, Ana")},
        {QStringLiteral("NOMBRE"), 1, QStringLiteral("Ţepeş"), QStringLiteral("Tepes")},
    };
    ASSERT_EQ(changes.size(), expected.size());
    for (qsizetype i = 0; i < changes.size(); ++i) {
        const auto& [field, row, given, stored] = expected[i];
        EXPECT_EQ(changes[i].field, field);
        EXPECT_EQ(changes[i].row, row);
        EXPECT_EQ(changes[i].given, given);
        EXPECT_EQ(changes[i].stored, stored);
    }

    const QJsonArray records =
        readTableWithPython(f.file(QStringLiteral("PROFT.DBF")))[QStringLiteral("records")]
            .toArray();
    QStringList read;
    for (const QJsonValue& record : records)
        read << record.toArray()[0].toString().trimmed() + QLatin1Char('|') +
                    record.toArray()[1].toString().trimmed();
    EXPECT_EQ(read, (QStringList{QStringLiteral("LLA|Tepes"), QStringLiteral("SLA|Sahin Lara, Ana"),
                                 QStringLiteral("GLA|García López, Ana"),
                                 QStringLiteral("SLA|Stefanescu Lara, Ana")}));
}

// A field a run reads must be of a type that fits what it reads it as.
TEST(DbfTable, RefusesAFieldOfAnotherType)
{
    Fixture f;
    const QString path = f.file(QStringLiteral("SOLUC.DBF"));
    writeTableWithPython(path,
                         QJsonObject{{QStringLiteral("fields"),
                                      QStringLiteral("TEXTO C(10); NUMERO N(5,0); FRACCION N(5,1); "
                                                     "LOGICO L; FECHA D; NOTAS M; RARO C(3)")},
                                     {QStringLiteral("records"), QJsonArray()}});
    // A type no layer knows: the last field's type byte made 'X'.
    QByteArray bytes = readFile(path);
    const qsizetype raro = bytes.indexOf("RARO");
    ASSERT_GT(raro, 0);
    bytes[raro + 11] = 'X';
    writeFile(path, bytes);

    DbfTable table(path);
    table.open();
    using Use = DbfTable::FieldUse;
    const struct {
        const char* field;
        Use use;
        const char* refusal; // empty: taken
    } cases[] = {
        {"TEXTO", Use::Text, ""},
        {"NUMERO", Use::Number, ""},
        {"FRACCION", Use::Number, ""},
        {"TEXTO", Use::Number, "el campo TEXTO es de tipo texto (C) y ha de ser numérico"},
        {"NUMERO", Use::Text, "el campo NUMERO es de tipo numérico (N) y ha de ser de texto (C)"},
        {"LOGICO", Use::Number, "el campo LOGICO es de tipo lógico (L)"},
        {"FECHA", Use::Number, "el campo FECHA es de tipo fecha (D)"},
        {"NOTAS", Use::Text, "el campo NOTAS es de tipo memo (M)"},
        {"RARO", Use::Text, "el campo RARO es de tipo desconocido (código 0x58)"},
        {"FALTA", Use::Text, "no tiene el campo FALTA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        try {
            table.requireField(QString::fromLatin1(c.field), {c.use});
            EXPECT_STREQ(c.refusal, "");
        } catch (const TableError& error) {
            EXPECT_NE(error.message().indexOf(QString::fromUtf8(c.refusal)), -1) << error.message();
            EXPECT_NE(error.message().indexOf(QStringLiteral("SOLUC.DBF")), -1);
            EXPECT_STRNE(c.refusal, "");
        }
    }
    EXPECT_NO_THROW(table.requireField(QStringLiteral("NUMERO"), {Use::Text, Use::Number}));
}

// A large new table lets go of the rows it has written while it is only appended to: every way
// of reading brings them back, and the files are byte for byte those of a table that kept its
// rows all along (one walk early on keeps them).
TEST(DbfTable, ALargeTableReadsBackWhateverItLetGoOf)
{
    Fixture f;
    const QList<FieldDef> fields = {{QStringLiteral("CODDIHO"), FieldDef::Type::Text, 40},
                                    {QStringLiteral("ORDEN"), FieldDef::Type::Integer},
                                    {QStringLiteral("HORAS"), FieldDef::Type::Float}};
    const int rows = 40000; // about 3 MiB: several batches
    auto code = [](int i) { return QStringLiteral("fila %1 de Educación Física").arg(i); };
    // The same table in two folders: the index names its table.
    QDir(f.folder()).mkdir(QStringLiteral("kept"));
    QDir(f.folder()).mkdir(QStringLiteral("letgo"));
    auto write = [&](const QString& folder, bool walkEarly) {
        DbfTable table(f.file(folder), QStringLiteral("DIASHORAST2"));
        table.create(fields, QStringLiteral("ORDEN"));
        table.open(DbfTable::Access::Exclusive);
        for (int i = 0; i < rows; ++i) {
            table.append();
            table.setText(QStringLiteral("CODDIHO"), code(i));
            table.setInteger(QStringLiteral("ORDEN"), (i * 7919) % 1000 - 500);
            table.setFloat(QStringLiteral("HORAS"), i % 3 == 0 ? i / 4.0 : -double(i % 7));
            table.post();
            if (walkEarly && i == 0)
                table.first();
        }
        table.close();
    };
    write(QStringLiteral("kept"), true);
    write(QStringLiteral("letgo"), false);
    for (const char* name : {"/DIASHORAST2.DBF", "/DIASHORAST2.MDX"})
        EXPECT_EQ(readFile(f.file(QStringLiteral("letgo") + QLatin1String(name))),
                  readFile(f.file(QStringLiteral("kept") + QLatin1String(name))))
            << name;

    // Read back while the writer is still open, through every way of reading.
    DbfTable writer(f.folder(), QStringLiteral("OPEN"));
    writer.create(fields);
    writer.open(DbfTable::Access::Exclusive);
    for (int i = 0; i < rows; ++i) {
        writer.append();
        writer.setText(QStringLiteral("CODDIHO"), code(i));
        writer.setInteger(QStringLiteral("ORDEN"), i);
        writer.post();
    }
    // The row just posted is the current one.
    EXPECT_EQ(writer.text(QStringLiteral("CODDIHO")), code(rows - 1));
    DbfTable reader(f.folder(), QStringLiteral("OPEN"));
    reader.open();
    EXPECT_EQ(reader.rowCount(), rows);
    ASSERT_TRUE(reader.locate({{QStringLiteral("CODDIHO"), code(3)}}));
    EXPECT_EQ(reader.integer(QStringLiteral("ORDEN")), 3);
    reader.edit();
    reader.setText(QStringLiteral("CODDIHO"), QStringLiteral("cambiada"));
    reader.post();
    writer.goToRecord(3);
    EXPECT_EQ(writer.text(QStringLiteral("CODDIHO")), QStringLiteral("cambiada"));
    writer.append();
    writer.setText(QStringLiteral("CODDIHO"), QStringLiteral("última"));
    writer.post();
    writer.close();
    QStringList expected;
    for (int i = 0; i < rows; ++i)
        expected << (i == 3 ? QStringLiteral("cambiada") : code(i));
    expected << QStringLiteral("última");
    EXPECT_EQ(walk(reader, QStringLiteral("CODDIHO")), expected);
    reader.close();
    DbfTable later(f.folder(), QStringLiteral("OPEN"));
    later.open();
    EXPECT_EQ(walk(later, QStringLiteral("CODDIHO")), expected);
    EXPECT_EQ(DbfTable::rowCountOfFile(f.file(QStringLiteral("OPEN.DBF"))), rows + 1);
    // A file cut short is not a table to count.
    QFile::resize(f.file(QStringLiteral("letgo/DIASHORAST2.DBF")), 5000);
    EXPECT_THROW(DbfTable::rowCountOfFile(f.file(QStringLiteral("letgo/DIASHORAST2.DBF"))),
                 TableError);
}

// Whole numbers are written as the fixed-point form gives them, decimals as zeros.
TEST(DbfTable, WritesWholeNumbersAsTheirFixedPointForm)
{
    Fixture f;
    DbfTable table(f.folder(), QStringLiteral("NUMEROS"));
    table.create(schoolFields);
    table.open();
    struct Case {
        double peso;
        const char* stored; // 20 bytes
    };
    const Case cases[] = {
        {0.0, "              0.0000"},
        {-0.0, "              0.0000"},
        {-3.0, "             -3.0000"},
        {240.0, "            240.0000"},
        {999999999999999.0, "999999999999999.0000"},
        {-99999999999999.0, "-99999999999999.0000"},
        {0.5, "              0.5000"},
        {-0.00001, "              0.0000"},
    };
    for (const Case& c : cases) {
        table.append();
        table.setFloat(QStringLiteral("PESO"), c.peso);
        if (std::abs(c.peso) < 1e10)
            table.setInteger(QStringLiteral("DNI"), static_cast<qint64>(c.peso));
        table.post();
    }
    table.append();
    EXPECT_THROW(table.setFloat(QStringLiteral("PESO"), -999999999999999.0), TableError);
    EXPECT_THROW(table.setInteger(QStringLiteral("DNI"), std::numeric_limits<qint64>::min()),
                 TableError);
    table.cancel();
    table.close();
    const QByteArray bytes = readFile(f.file(QStringLiteral("NUMEROS.DBF")));
    const int headerLength = 32 + 32 * 6 + 1;
    const int recordLength = 1 + 10 + 80 + 11 + 20 + 1 + 20;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const QByteArray row = bytes.mid(headerLength + int(i) * recordLength, recordLength);
        EXPECT_EQ(row.mid(102, 20), QByteArray(cases[i].stored));
        if (std::abs(cases[i].peso) < 1e10) {
            EXPECT_EQ(row.mid(91, 11).trimmed(), QByteArray::number(qint64(cases[i].peso)));
        }
    }
}

#include "components/dbase/dbfformat.h"

#include "components/dbase/codepage.h"
#include "components/dbase/dbfvalues.h"
#include "components/platform/paths.h"

#include <QStringList>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <limits>

namespace dbf {

void fail(const QString& path, const QString& what)
{
    throw TableError(QStringLiteral("Tabla «%1»: %2").arg(platform::shown(path), what));
}

namespace {

[[noreturn]] void damaged(const QString& path, const QString& why)
{
    fail(path, QStringLiteral("el archivo no es una tabla dBase válida (%1)").arg(why));
}

bool isKnownVersion(unsigned char version)
{
    return version == 0x03 || version == 0x83 || version == 0x8B || version == 0x04 ||
           version == 0x8C;
}

// The version, the sizes and the code page.
void readStart(const QString& path, const char* d, qsizetype size, Layout* t)
{
    if (size < 32)
        damaged(path, QStringLiteral("es demasiado corto"));
    const auto version = static_cast<unsigned char>(d[0]);
    if (!isKnownVersion(version))
        damaged(path,
                QStringLiteral("versión 0x%1 no admitida").arg(version, 2, 16, QLatin1Char('0')));
    t->level7 = version == 0x04 || version == 0x8C;
    t->headerLength = qFromLittleEndian<quint16>(d + 8);
    t->recordLength = qFromLittleEndian<quint16>(d + 10);
    t->productionIndex = d[28] == 1;
    if (t->level7 && size < 68)
        damaged(path, QStringLiteral("la cabecera está cortada"));
    if (t->headerLength > size)
        damaged(path, QStringLiteral("la cabecera dice medir %1 bytes y el archivo tiene %2")
                          .arg(t->headerLength)
                          .arg(size));
    const CodePage* byName = nullptr;
    if (t->level7)
        byName = CodePage::forDriverName(QByteArray(d + 32, 32).split('\0').first());
    t->codePage = byName ? byName : &CodePage::forLanguageDriver(static_cast<unsigned char>(d[29]));
}

// The field descriptors, up to the 0x0D that ends them.
void readFields(const QString& path, const char* d, qsizetype size, Layout* t)
{
    const qsizetype descriptorSize = t->level7 ? 48 : 32;
    const qsizetype nameSize = t->level7 ? 32 : 11;
    t->fields.clear();
    qsizetype at = t->level7 ? 68 : 32;
    int offset = 1;
    for (;;) {
        if (at >= t->headerLength || at >= size)
            damaged(path, QStringLiteral("falta el final de la lista de campos"));
        if (d[at] == 0x0D)
            break;
        if (at + descriptorSize > t->headerLength)
            damaged(path, QStringLiteral("falta el final de la lista de campos"));
        const char* p = d + at;
        DbfField f;
        f.name = QString::fromLatin1(QByteArray(p, nameSize).split('\0').first()).trimmed();
        f.type = p[nameSize];
        f.width = static_cast<unsigned char>(p[t->level7 ? 33 : 16]);
        f.decimals = static_cast<unsigned char>(p[t->level7 ? 34 : 17]);
        f.indexed = p[t->level7 ? 37 : 31] == 1;
        if (f.width == 0)
            damaged(path, QStringLiteral("el campo %1 tiene anchura 0").arg(f.name));
        f.offset = offset;
        offset += f.width;
        t->fields.append(f);
        at += descriptorSize;
    }
    if (offset > t->recordLength)
        damaged(path, QStringLiteral("los campos miden %1 bytes y el registro %2")
                          .arg(offset)
                          .arg(t->recordLength));
}

void findIndexedField(Layout* t)
{
    t->indexedField = -1;
    t->indexMaintainable = !t->productionIndex;
    if (!t->productionIndex)
        return;
    int tagged = 0;
    for (int i = 0; i < t->fields.size(); ++i) {
        if (t->fields[i].indexed) {
            ++tagged;
            t->indexedField = i;
        }
    }
    t->indexMaintainable = tagged == 1 && isNumericType(t->fields[t->indexedField].type);
    if (!t->indexMaintainable)
        t->indexedField = -1;
}

void putDate(char* p, const QDate& date)
{
    p[0] = static_cast<char>(std::clamp(date.year() - 1900, 0, 255));
    p[1] = static_cast<char>(date.month());
    p[2] = static_cast<char>(date.day());
}

// The type, width and decimals a new field is written with.
struct StoredType {
    char type;
    int width;
    int decimals;
};

StoredType storedType(const QString& path, const FieldDef& def)
{
    switch (def.type) {
    case FieldDef::Type::Text:
        if (def.width < 1 || def.width > 100)
            fail(path, QStringLiteral("el campo %1 tiene una anchura no válida (%2)")
                           .arg(def.name)
                           .arg(def.width));
        return {'C', def.width, 0};
    case FieldDef::Type::Integer:
        return {'N', 11, 0};
    case FieldDef::Type::Float:
        return {'N', 20, 4};
    case FieldDef::Type::Boolean:
        return {'L', 1, 0};
    }
    return {'C', def.width, 0};
}

bool isValidFieldName(const FieldDef& def, const QByteArray& name)
{
    return !name.isEmpty() && name.size() <= 11 && def.name.at(0).isLetter() &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
           });
}

// The 32-byte descriptor of a new field.
QByteArray fieldDescriptor(const QByteArray& name, const StoredType& stored, bool indexed)
{
    QByteArray d(32, '\0');
    std::memcpy(d.data(), name.constData(), static_cast<size_t>(name.size()));
    d[11] = stored.type;
    d[16] = static_cast<char>(stored.width);
    d[17] = static_cast<char>(stored.decimals);
    d[31] = indexed ? 1 : 0;
    return d;
}

} // namespace

int readHeader(const QString& path, const QByteArray& data, Layout* layout)
{
    const char* d = data.constData();
    const qsizetype size = data.size();
    readStart(path, d, size, layout);
    const quint32 declaredRecords = qFromLittleEndian<quint32>(d + 4);
    readFields(path, d, size, layout);
    findIndexedField(layout);
    // A last record cut short (a crash while appending) is not read; a count that runs further
    // past the end is a damaged header.
    const qsizetype available = (size - layout->headerLength) / layout->recordLength;
    if (declaredRecords > static_cast<quint64>(available) + 1)
        damaged(path, QStringLiteral("la cabecera declara %1 filas y el archivo solo tiene %2")
                          .arg(declaredRecords)
                          .arg(available));
    if (available > std::numeric_limits<int>::max() / 2)
        damaged(path, QStringLiteral("tiene demasiadas filas"));
    return static_cast<int>(std::min<qsizetype>(declaredRecords, available));
}

HeaderSizes headerSizes(const char* start)
{
    return {qFromLittleEndian<quint32>(start + 4), qFromLittleEndian<quint16>(start + 8),
            qFromLittleEndian<quint16>(start + 10)};
}

QString headerStartProblem(const char* start)
{
    const HeaderSizes sizes = headerSizes(start);
    if (!isKnownVersion(static_cast<unsigned char>(start[0])) || sizes.headerLength < 33 ||
        sizes.recordLength < 1)
        return QStringLiteral("la cabecera no es la de una tabla dBase");
    return QString();
}

QByteArray newTableFile(const QString& path, const QList<FieldDef>& fields,
                        const QString& indexField)
{
    QByteArray descriptors;
    int recordLength = 1;
    bool indexFound = indexField.isEmpty();
    QStringList seen;
    for (const FieldDef& def : fields) {
        const QByteArray name = def.name.toLatin1();
        if (!isValidFieldName(def, name))
            fail(path, QStringLiteral("«%1» no es un nombre de campo válido").arg(def.name));
        if (seen.contains(def.name))
            fail(path, QStringLiteral("el campo %1 está repetido").arg(def.name));
        seen << def.name;
        const StoredType stored = storedType(path, def);
        const bool indexed = !indexField.isEmpty() && def.name == indexField;
        if (indexed && stored.type != 'N')
            fail(path, QStringLiteral("el índice ha de ir sobre un campo numérico, y %1 no "
                                      "lo es")
                           .arg(def.name));
        indexFound = indexFound || indexed;
        descriptors += fieldDescriptor(name, stored, indexed);
        recordLength += stored.width;
    }
    if (!indexFound)
        fail(path, QStringLiteral("no tiene el campo %1 para el índice").arg(indexField));
    if (recordLength > 0xFFFF)
        fail(path, QStringLiteral("los campos son demasiado anchos"));

    QByteArray header(32, '\0');
    header[0] = 0x03;
    putDate(header.data() + 1, QDate::currentDate());
    qToLittleEndian(static_cast<quint16>(32 + descriptors.size() + 1), header.data() + 8);
    qToLittleEndian(static_cast<quint16>(recordLength), header.data() + 10);
    header[28] = indexField.isEmpty() ? 0 : 1;
    header[29] = 0x57; // Windows 1252, the engine's default driver
    return header + descriptors + '\x0D' + '\x1A';
}

QByteArray headerCount(int recordCount, const QDate& date)
{
    QByteArray bytes(7, '\0');
    putDate(bytes.data(), date);
    qToLittleEndian(static_cast<quint32>(recordCount), bytes.data() + 3);
    return bytes;
}

} // namespace dbf

#include "components/dbase/dbftable.h"

#include "components/dbase/codepage.h"
#include "components/dbase/mdxindex.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

// One table file, shared by every DbfTable of this program that has it open.
struct TableFile {
    QString path;
    QFile file;
    bool writable = false;
    int sharedHolders = 0;
    int exclusiveHolders = 0;

    bool level7 = false;
    qsizetype headerLength = 0;
    int recordLength = 0;
    QList<DbfField> fields;
    const CodePage* codePage = nullptr;
    bool productionIndex = false;
    bool indexMaintainable = true;
    int indexedField = -1;

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

namespace {

QMutex registryMutex;
QHash<QString, std::weak_ptr<TableFile>>& registry()
{
    static QHash<QString, std::weak_ptr<TableFile>> files;
    return files;
}

std::shared_ptr<TableFile> openFileFor(const QString& canonicalPath)
{
    QMutexLocker lock(&registryMutex);
    return registry().value(canonicalPath).lock();
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void fail(const QString& path, const QString& what)
{
    throw TableError(QStringLiteral("Tabla «%1»: %2").arg(shown(path), what));
}

void hold(TableFile& t, platform::LockKind kind)
{
    QString failure;
    if (platform::tryLockFile(t.file, kind, &failure))
        return;
    if (failure.isEmpty())
        fail(t.path, QStringLiteral("está en uso por otro programa"));
    fail(t.path, QStringLiteral("no se puede bloquear: %1").arg(failure));
}

void putDate(char* p, const QDate& date)
{
    p[0] = static_cast<char>(std::clamp(date.year() - 1900, 0, 255));
    p[1] = static_cast<char>(date.month());
    p[2] = static_cast<char>(date.day());
}

bool isBlankBytes(const char* p, int n)
{
    for (int i = 0; i < n; ++i) {
        if (p[i] != ' ' && p[i] != '\0')
            return false;
    }
    return true;
}

QByteArray trimmedBytes(const char* p, int n)
{
    int begin = 0;
    int end = n;
    while (begin < end && (p[begin] == ' ' || p[begin] == '\0'))
        ++begin;
    while (end > begin && (p[end - 1] == ' ' || p[end - 1] == '\0'))
        --end;
    return QByteArray(p + begin, end - begin);
}

int rightTrimmedLength(const char* p, int n)
{
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
        --n;
    return n;
}

// A number written in decimal, made plain: no blanks, no '+', no leading zeros in the whole
// part, no trailing zeros in the fraction ("  -03.500" gives "-3.5"). False for anything else.
// Zero bytes pad a number as blanks do, as a field reads them.
bool plainNumber(const QByteArray& text, QByteArray* out)
{
    QByteArray t = QByteArray(text).replace('\0', ' ').trimmed();
    bool negative = false;
    if (!t.isEmpty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove(0, 1);
    }
    const qsizetype dot = t.indexOf('.');
    QByteArray whole = dot < 0 ? t : t.left(dot);
    QByteArray fraction = dot < 0 ? QByteArray() : t.mid(dot + 1);
    if (whole.isEmpty() && fraction.isEmpty())
        return false;
    for (char c : whole + fraction) {
        if (c < '0' || c > '9')
            return false;
    }
    while (whole.size() > 1 && whole.front() == '0')
        whole.remove(0, 1);
    if (whole.isEmpty())
        whole = "0";
    while (!fraction.isEmpty() && fraction.back() == '0')
        fraction.chop(1);
    QByteArray result = whole;
    if (!fraction.isEmpty())
        result += '.' + fraction;
    if (negative && result != "0")
        result.prepend('-');
    *out = result;
    return true;
}

// The commonest numeric value, a whole number with blanks around it, read without building any
// text: nothing when the bytes hold anything else (a fraction, '+', leading zeros), which the
// general reading then handles.
std::optional<qint64> simpleWholeNumber(const char* p, int width)
{
    int i = 0;
    while (i < width && p[i] == ' ')
        ++i;
    const bool negative = i < width && p[i] == '-';
    if (negative)
        ++i;
    const int first = i;
    qint64 value = 0;
    for (; i < width && p[i] >= '0' && p[i] <= '9'; ++i) {
        if (i - first >= 18)
            return std::nullopt;
        value = value * 10 + (p[i] - '0');
    }
    const int digits = i - first;
    while (i < width && (p[i] == ' ' || p[i] == '\0'))
        ++i;
    if (digits == 0 || i != width || (digits > 1 && p[first] == '0') || (negative && value == 0))
        return std::nullopt;
    return negative ? -value : value;
}

bool isNumericType(char type)
{
    return type == 'N' || type == 'F';
}

bool isBinaryInteger(const DbfField& f)
{
    return (f.type == 'I' || f.type == '+') && f.width == 4;
}

bool isBinaryDouble(const DbfField& f)
{
    return f.type == 'O' && f.width == 8;
}

bool isTimestamp(const DbfField& f)
{
    return f.type == '@' && f.width == 8;
}

// Level-7 doubles sort as bytes: positive values have the sign bit set, negative ones are
// inverted whole.
double levelSevenDouble(quint64 u)
{
    if (u & (quint64(1) << 63))
        u &= ~(quint64(1) << 63);
    else
        u = ~u;
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

QString timestampText(double milliseconds)
{
    // Damaged bytes hold any double: one that no count of milliseconds can be reads as nothing.
    if (!(std::abs(milliseconds) < 9.0e18))
        return QString();
    const qint64 ms = static_cast<qint64>(milliseconds);
    const qint64 dayMs = 86400000;
    const qint64 days = ms / dayMs - 1; // counted from 0001-01-01, plus one
    const QDate date = QDate(1, 1, 1).addDays(days);
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms % dayMs));
    QString text =
        date.toString(Qt::ISODate) + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
    if (time.msec() != 0)
        text += QStringLiteral(".%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
    return text;
}

// The file in `folder` named `fileName` without regard to letter case: the exact name when it
// is there, else the first other spelling. Empty when there is none.
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

bool isOpenInThisProgram(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && openFileFor(canonical) != nullptr;
}

// The file whole or not at all: written under a temporary name, every write checked, synced
// to the disk and then renamed.
void writeWhole(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    platform::Folder folder(info.path(), platform::Folder::Link::Followed);
    QString error = folder.error();
    if (!folder.isOpen() || !folder.writeFile(info.fileName(), bytes, &error))
        fail(path, QStringLiteral("no se pudo escribir: %1").arg(error));
}
// ----------------------------------------------------------------------------------------------
// Reading the header of a table written by anyone.

void parseTable(TableFile& t, QByteArray data)
{
    const char* d = data.constData();
    const qsizetype size = data.size();
    auto damaged = [&](const QString& why) {
        fail(t.path, QStringLiteral("el archivo no es una tabla dBase válida (%1)").arg(why));
    };
    if (size < 32)
        damaged(QStringLiteral("es demasiado corto"));
    const auto version = static_cast<unsigned char>(d[0]);
    switch (version) {
    case 0x03:
    case 0x83:
    case 0x8B:
        t.level7 = false;
        break;
    case 0x04:
    case 0x8C:
        t.level7 = true;
        break;
    default:
        damaged(QStringLiteral("versión 0x%1 no admitida").arg(version, 2, 16, QLatin1Char('0')));
    }
    const quint32 declaredRecords = qFromLittleEndian<quint32>(d + 4);
    t.headerLength = qFromLittleEndian<quint16>(d + 8);
    t.recordLength = qFromLittleEndian<quint16>(d + 10);
    t.productionIndex = d[28] == 1;

    const qsizetype firstDescriptor = t.level7 ? 68 : 32;
    const qsizetype descriptorSize = t.level7 ? 48 : 32;
    const qsizetype nameSize = t.level7 ? 32 : 11;
    if (t.level7 && size < 68)
        damaged(QStringLiteral("la cabecera está cortada"));
    if (t.headerLength > size)
        damaged(QStringLiteral("la cabecera dice medir %1 bytes y el archivo tiene %2")
                    .arg(t.headerLength)
                    .arg(size));

    if (t.level7) {
        const QByteArray driverName = QByteArray(d + 32, 32).split('\0').first();
        const CodePage* byName = CodePage::forDriverName(driverName);
        t.codePage =
            byName ? byName : &CodePage::forLanguageDriver(static_cast<unsigned char>(d[29]));
    } else {
        t.codePage = &CodePage::forLanguageDriver(static_cast<unsigned char>(d[29]));
    }

    t.fields.clear();
    qsizetype at = firstDescriptor;
    int offset = 1;
    for (;;) {
        if (at >= t.headerLength || at >= size)
            damaged(QStringLiteral("falta el final de la lista de campos"));
        if (d[at] == 0x0D)
            break;
        if (at + descriptorSize > t.headerLength)
            damaged(QStringLiteral("falta el final de la lista de campos"));
        const char* p = d + at;
        DbfField f;
        f.name = QString::fromLatin1(QByteArray(p, nameSize).split('\0').first()).trimmed();
        f.type = p[nameSize];
        if (t.level7) {
            f.width = static_cast<unsigned char>(p[33]);
            f.decimals = static_cast<unsigned char>(p[34]);
            f.indexed = p[37] == 1;
        } else {
            f.width = static_cast<unsigned char>(p[16]);
            f.decimals = static_cast<unsigned char>(p[17]);
            f.indexed = p[31] == 1;
        }
        if (f.width == 0)
            damaged(QStringLiteral("el campo %1 tiene anchura 0").arg(f.name));
        f.offset = offset;
        offset += f.width;
        t.fields.append(f);
        at += descriptorSize;
    }
    if (offset > t.recordLength)
        damaged(QStringLiteral("los campos miden %1 bytes y el registro %2")
                    .arg(offset)
                    .arg(t.recordLength));

    // The layer keeps up to date a production index of one tag on one numeric field, the
    // kind it writes; a table whose index is of another kind is only read.
    t.indexedField = -1;
    t.indexMaintainable = !t.productionIndex;
    if (t.productionIndex) {
        int tagged = 0;
        for (int i = 0; i < t.fields.size(); ++i) {
            if (t.fields[i].indexed) {
                ++tagged;
                t.indexedField = i;
            }
        }
        t.indexMaintainable = tagged == 1 && isNumericType(t.fields[t.indexedField].type);
        if (!t.indexMaintainable)
            t.indexedField = -1;
    }

    // A last record cut short (a crash while appending) is not read; a count that runs further
    // past the end is a damaged header.
    const qsizetype available = (size - t.headerLength) / t.recordLength;
    if (declaredRecords > static_cast<quint64>(available) + 1)
        damaged(QStringLiteral("la cabecera declara %1 filas y el archivo solo tiene %2")
                    .arg(declaredRecords)
                    .arg(available));
    if (available > std::numeric_limits<int>::max() / 2)
        damaged(QStringLiteral("tiene demasiadas filas"));
    t.recordCount = static_cast<int>(std::min<qsizetype>(declaredRecords, available));
    t.writtenCount = t.recordCount;
    t.heldFrom = 0;
    // The rows are the file's bytes after the header, kept without a copy.
    const qsizetype headerLength = t.headerLength;
    t.records = std::move(data);
    t.records.remove(0, headerLength);
    t.records.truncate(qsizetype(t.recordCount) * t.recordLength);
    t.deletedCount = 0;
    for (int r = 0; r < t.recordCount; ++r) {
        if (t.records.at(qsizetype(r) * t.recordLength) == '*')
            ++t.deletedCount;
    }
}

// ----------------------------------------------------------------------------------------------
// Writing.

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

// Brings back the rows a table let go of, from the file, and keeps every row from then on.
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

// The bytes of row `r` (from 0), deletion flag first.
char* rowAt(TableFile& t, int r)
{
    if (t.heldFrom > 0)
        holdAllRows(t);
    return t.records.data() + qsizetype(r) * t.recordLength;
}
void writeHeaderCount(TableFile& t, int recordCount)
{
    QByteArray bytes(7, '\0');
    putDate(bytes.data(), QDate::currentDate());
    qToLittleEndian(static_cast<quint32>(recordCount), bytes.data() + 3);
    writeAt(t, 1, bytes);
}

// Appended rows are written once this much is waiting, and when the table closes.
constexpr qsizetype AppendBatchBytes = 1 << 20;

// Writes the rows appended since the last time, the end-of-file mark and the row count. With
// `letGo`, a table that has not read its rows back lets go of them once they are written.
void writeAppendedRows(TableFile& t, bool letGo = false)
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

QByteArray encodedNumber(const QString& path, const DbfField& f, QByteArray digits)
{
    if (digits.size() > f.width)
        fail(path, QStringLiteral("el valor %1 no cabe en el campo %2 (anchura %3)")
                       .arg(QString::fromLatin1(digits), f.name)
                       .arg(f.width));
    return QByteArray(f.width - digits.size(), ' ') + digits;
}

// A whole number written straight into a numeric field: right-aligned, with the field's
// decimals as zeros, as encodedNumber writes it. False, with nothing written, when it does not
// fit: the general way then says so.
bool putWholeNumber(char* p, const DbfField& f, qint64 value)
{
    char digits[24];
    int n = 0;
    quint64 magnitude = value < 0 ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        digits[n++] = '-';
    const int decimals = std::max(f.decimals, 0);
    if (n + (decimals > 0 ? decimals + 1 : 0) > f.width)
        return false;
    char* at = p + f.width;
    if (decimals > 0) {
        at -= decimals;
        std::memset(at, '0', static_cast<size_t>(decimals));
        *--at = '.';
    }
    for (int i = 0; i < n; ++i)
        *--at = digits[i];
    std::memset(p, ' ', static_cast<size_t>(at - p));
    return true;
}

QByteArray integerDigits(const DbfField& f, qint64 value)
{
    QByteArray digits = QByteArray::number(value);
    if (f.decimals > 0)
        digits += '.' + QByteArray(f.decimals, '0');
    return digits;
}

QByteArray floatDigits(const QString& path, const DbfField& f, double value)
{
    if (!std::isfinite(value))
        fail(path, QStringLiteral("el campo %1 no admite el valor %2").arg(f.name).arg(value));
    QByteArray digits = QByteArray::number(value, 'f', f.decimals);
    QByteArray plain;
    if (digits.startsWith('-') && plainNumber(digits, &plain) && plain == "0")
        digits.remove(0, 1);
    return digits;
}

// Reading one field of one record, whatever wrote the table.

bool fieldIsBlank(const DbfField& f, const char* record)
{
    const char* p = record + f.offset;
    if (isBinaryInteger(f) || isBinaryDouble(f) || isTimestamp(f))
        return std::all_of(p, p + f.width, [](char c) { return c == 0; });
    if (f.type == 'L')
        return *p == ' ' || *p == '?' || *p == '\0';
    return isBlankBytes(p, f.width);
}

QString fieldText(const TableFile& t, const DbfField& f, const char* record)
{
    if (!record || fieldIsBlank(f, record))
        return QString();
    const char* p = record + f.offset;
    if (isNumericType(f.type)) {
        if (const std::optional<qint64> whole = simpleWholeNumber(p, f.width))
            return QString::number(*whole);
        QByteArray plain;
        if (plainNumber(QByteArray(p, f.width), &plain))
            return QString::fromLatin1(plain);
        return QString::fromLatin1(trimmedBytes(p, f.width));
    }
    if (f.type == 'L')
        return (*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y') ? QStringLiteral("T")
                                                                  : QStringLiteral("F");
    if (isBinaryInteger(f))
        return QString::number(static_cast<qint32>(qFromBigEndian<quint32>(p) ^ 0x80000000u));
    if (isBinaryDouble(f))
        return QString::number(levelSevenDouble(qFromBigEndian<quint64>(p)), 'g',
                               QLocale::FloatingPointShortest);
    if (isTimestamp(f)) {
        const quint64 u = qFromBigEndian<quint64>(p);
        double ms;
        std::memcpy(&ms, &u, sizeof ms);
        return timestampText(ms);
    }
    return t.codePage->decode(p, rightTrimmedLength(p, f.width));
}

} // namespace

// ----------------------------------------------------------------------------------------------

QByteArray storedText(const QString& text, int width)
{
    QByteArray bytes(std::max(width, 0), Qt::Uninitialized);
    bytes.truncate(CodePage::windows1252().encodeInto(text, bytes.data(), bytes.size()));
    // Reading drops zero bytes at the end as it drops pad blanks.
    while (bytes.endsWith(' ') || bytes.endsWith('\0'))
        bytes.chop(1);
    return bytes;
}

QString storedKey(const QString& text, int width)
{
    return QString::fromLatin1(storedText(text, width));
}

QString textAsRead(const QString& text, int width)
{
    const QByteArray bytes = storedText(text, width);
    return CodePage::windows1252().decode(bytes.constData(), bytes.size());
}

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
    const QString existing = findFile(m_folder, m_fileName);
    if (!existing.isEmpty())
        return existing;
    if (!m_givenPath.isEmpty())
        return m_givenPath;
    return QDir(m_folder).filePath(m_fileName.toUpper());
}

bool DbfTable::exists() const
{
    return !findFile(m_folder, m_fileName).isEmpty();
}

namespace {

// What the first 12 bytes of a table's header say of its size.
struct HeaderSizes {
    qint64 records;
    qint64 headerLength;
    qint64 recordLength;
};

HeaderSizes headerSizes(const char* start)
{
    return {qFromLittleEndian<quint32>(start + 4), qFromLittleEndian<quint16>(start + 8),
            qFromLittleEndian<quint16>(start + 10)};
}

} // namespace

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
    const auto version = static_cast<unsigned char>(start[0]);
    const auto [records, headerLength, recordLength] = headerSizes(start);
    if ((version != 0x03 && version != 0x83 && version != 0x8B && version != 0x04 &&
         version != 0x8C) ||
        headerLength < 33 || recordLength < 1)
        return QStringLiteral("la cabecera no es la de una tabla dBase");
    const qint64 expected = headerLength + records * recordLength;
    if (file.size() != expected && file.size() != expected + 1)
        return QStringLiteral("la tabla mide %1 bytes y su cabecera dice %2")
            .arg(file.size())
            .arg(expected + 1);
    if (!file.seek(32) || !file.read(headerLength - 32).contains('\x0D'))
        return QStringLiteral("la lista de campos está cortada");
    return QString();
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
    const auto [records, headerLength, recordLength] = headerSizes(start);
    if (recordLength < 1)
        fail(path, QStringLiteral("la cabecera no es la de una tabla dBase"));
    if (!file.seek(headerLength))
        fail(path,
             QStringLiteral("no se puede leer: %1").arg(systemerror::reason(file.errorString())));
    const qint64 batch = std::max<qint64>(1, AppendBatchBytes / recordLength);
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
    const QString indexName = baseNameOf(m_fileName) + QStringLiteral(".MDX");
    const QStringList victims =
        platform::filesNamed(m_folder, m_fileName) + platform::filesNamed(m_folder, indexName);
    for (const QString& victim : victims) {
        if (isOpenInThisProgram(victim))
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
    if (m_file || isOpenInThisProgram(target))
        fail(target, QStringLiteral("está abierta y no se puede crear de nuevo"));
    if (!QFileInfo(m_folder).isDir())
        fail(target, QStringLiteral("no existe la carpeta %1").arg(shown(m_folder)));

    QByteArray descriptors;
    int recordLength = 1;
    bool indexFound = indexField.isEmpty();
    QStringList seen;
    for (const FieldDef& def : defs) {
        const QByteArray name = def.name.toLatin1();
        const bool validName =
            !name.isEmpty() && name.size() <= 11 && def.name.at(0).isLetter() &&
            std::all_of(name.begin(), name.end(), [](char c) {
                return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
            });
        if (!validName)
            fail(target, QStringLiteral("«%1» no es un nombre de campo válido").arg(def.name));
        if (seen.contains(def.name))
            fail(target, QStringLiteral("el campo %1 está repetido").arg(def.name));
        seen << def.name;

        char type = 'C';
        int width = def.width;
        int decimals = 0;
        switch (def.type) {
        case FieldDef::Type::Text:
            if (width < 1 || width > 100)
                fail(target, QStringLiteral("el campo %1 tiene una anchura no válida (%2)")
                                 .arg(def.name)
                                 .arg(width));
            break;
        case FieldDef::Type::Integer:
            type = 'N';
            width = 11;
            break;
        case FieldDef::Type::Float:
            type = 'N';
            width = 20;
            decimals = 4;
            break;
        case FieldDef::Type::Boolean:
            type = 'L';
            width = 1;
            break;
        }
        const bool indexed = !indexField.isEmpty() && def.name == indexField;
        if (indexed) {
            if (type != 'N')
                fail(target, QStringLiteral("el índice ha de ir sobre un campo numérico, y %1 no "
                                            "lo es")
                                 .arg(def.name));
            indexFound = true;
        }
        QByteArray d(32, '\0');
        std::memcpy(d.data(), name.constData(), static_cast<size_t>(name.size()));
        d[11] = type;
        d[16] = static_cast<char>(width);
        d[17] = static_cast<char>(decimals);
        d[31] = indexed ? 1 : 0;
        descriptors += d;
        recordLength += width;
    }
    if (!indexFound)
        fail(target, QStringLiteral("no tiene el campo %1 para el índice").arg(indexField));
    if (recordLength > 0xFFFF)
        fail(target, QStringLiteral("los campos son demasiado anchos"));

    QByteArray header(32, '\0');
    header[0] = 0x03;
    putDate(header.data() + 1, QDate::currentDate());
    qToLittleEndian(static_cast<quint16>(32 + descriptors.size() + 1), header.data() + 8);
    qToLittleEndian(static_cast<quint16>(recordLength), header.data() + 10);
    header[28] = indexField.isEmpty() ? 0 : 1;
    header[29] = 0x57; // Windows 1252, the engine's default driver
    const QByteArray file = header + descriptors + '\x0D' + '\x1A';

    // The index goes first: a table that promises an index must always find it whole.
    const QString indexPath =
        QDir(m_folder).filePath(baseNameOf(QFileInfo(target).fileName()) + QStringLiteral(".MDX"));
    if (!indexField.isEmpty())
        writeWhole(indexPath,
                   mdx::buildProductionIndex(baseNameOf(QFileInfo(target).fileName()), indexField,
                                             indexField, {}, QDate::currentDate()));
    writeWhole(target, file);

    // No other spelling of the table, nor an index it no longer has, stays beside it.
    const QFileInfo targetInfo(target);
    QStringList stale = platform::filesNamed(m_folder, targetInfo.fileName()) +
                        platform::filesNamed(m_folder, QFileInfo(indexPath).fileName());
    for (const QString& other : stale) {
        const bool keep = QFileInfo(other).fileName() == targetInfo.fileName() ||
                          (!indexField.isEmpty() &&
                           QFileInfo(other).fileName() == QFileInfo(indexPath).fileName());
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
    const QString existing = findFile(m_folder, m_fileName);
    if (existing.isEmpty()) {
        if (platform::entryKind(path()) != platform::EntryKind::Missing)
            fail(path(), platform::notOrdinaryFile(path()));
        fail(path(), QStringLiteral("no existe"));
    }
    // Only an ordinary file is opened: a pipe or a device would block the run or never end.
    if (const QString what = platform::notOrdinaryFile(existing); !what.isEmpty())
        fail(existing, what);
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    const platform::LockKind wanted =
        access == Access::Exclusive ? platform::LockKind::Exclusive : platform::LockKind::Shared;

    // One hold per file, of the strongest kind its objects ask for: the objects of this program
    // never refuse each other, and another program sees the hold as long as one of them lasts.
    std::shared_ptr<TableFile> file = openFileFor(canonical);
    if (file) {
        if (access == Access::Exclusive && file->exclusiveHolders == 0)
            hold(*file, wanted); // refused, the shared hold stays as it was
    } else {
        file = std::make_shared<TableFile>();
        file->path = existing;
        file->file.setFileName(existing);
        file->writable = file->file.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        if (!file->writable && !file->file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            if (platform::isFileHeld(existing)) // Windows refuses an open that would share
                fail(existing, QStringLiteral("está en uso por otro programa"));
            fail(existing, QStringLiteral("no se puede abrir: %1")
                               .arg(systemerror::reason(file->file.errorString())));
        }
        hold(*file, wanted);
        QByteArray data = file->file.readAll();
        if (file->file.error() != QFileDevice::NoError)
            fail(existing, QStringLiteral("no se puede leer: %1")
                               .arg(systemerror::reason(file->file.errorString())));
        parseTable(*file, std::move(data));
        QMutexLocker lock(&registryMutex);
        registry().insert(canonical, file);
    }
    if (access == Access::Exclusive)
        ++file->exclusiveHolders;
    else
        ++file->sharedHolders;
    m_file = std::move(file);
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
        const bool last = m_file->sharedHolders + m_file->exclusiveHolders == 1;
        if (last)
            writeAppendedRows(*m_file);
        if (last && m_file->indexDirty && m_file->indexedField >= 0)
            rebuildIndex(*m_file);
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
    if (m_access == Access::Exclusive)
        --file->exclusiveHolders;
    else
        --file->sharedHolders;
    if (file->exclusiveHolders + file->sharedHolders > 0) {
        if (file->exclusiveHolders == 0)
            platform::tryLockFile(file->file, platform::LockKind::Shared);
        return;
    }
    try {
        writeAppendedRows(*file);
        if (file->indexDirty && file->indexedField >= 0)
            rebuildIndex(*file);
    } catch (...) {
        // Closing from a destructor, which cannot report: close() is the way that does.
    }
    platform::unlockFile(file->file);
    file->file.close();
    QMutexLocker lock(&registryMutex);
    registry().remove(QFileInfo(file->path).canonicalFilePath());
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

namespace {

QString typeName(char type)
{
    switch (type) {
    case 'C':
        return QStringLiteral("texto (C)");
    case 'N':
    case 'F':
        return QStringLiteral("numérico (%1)").arg(QLatin1Char(type));
    case 'I':
        return QStringLiteral("entero (I)");
    case '+':
        return QStringLiteral("autoincremento (+)");
    case 'O':
        return QStringLiteral("doble (O)");
    case 'L':
        return QStringLiteral("lógico (L)");
    case 'D':
        return QStringLiteral("fecha (D)");
    case '@':
        return QStringLiteral("fecha y hora (@)");
    case 'M':
        return QStringLiteral("memo (M)");
    default:
        return QStringLiteral("desconocido (código 0x%1)")
            .arg(static_cast<unsigned char>(type), 2, 16, QLatin1Char('0'));
    }
}

bool fitsUse(const DbfField& f, DbfTable::FieldUse use)
{
    switch (use) {
    case DbfTable::FieldUse::Number:
        return isNumericType(f.type) || isBinaryInteger(f) || isBinaryDouble(f);
    case DbfTable::FieldUse::Text:
        return f.type == 'C';
    }
    return false;
}

} // namespace

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
        if (fitsUse(f, use))
            return;
        wanted << (use == FieldUse::Number ? QStringLiteral("numérico (N, F, I, + u O)")
                                           : QStringLiteral("de texto (C)"));
    }
    fail(m_file->path, QStringLiteral("el campo %1 es de tipo %2 y ha de ser %3")
                           .arg(name, typeName(f.type), wanted.join(QStringLiteral(" o "))));
}

void DbfTable::setTextChangeObserver(std::function<void(const TextChange&)> observer)
{
    m_textChangeObserver = std::move(observer);
}

int DbfTable::fieldIndex(const QString& name) const
{
    requireOpen("field");
    // A field named in the code is the same string every time: found by its address first,
    // its characters compared only for another copy. A row is mostly set field after field in
    // the same order each time, so the search starts after the name found last.
    const auto& names = m_file->fieldNames;
    const size_t count = names.size();
    if (m_nameHint < count) {
        const auto& [known, index] = names[m_nameHint];
        if (known.constData() == name.constData() && known.size() == name.size()) {
            ++m_nameHint;
            return index;
        }
    }
    for (size_t at = 0; at < count; ++at) {
        const auto& [known, index] = names[at];
        if (known.constData() == name.constData() && known.size() == name.size()) {
            m_nameHint = at + 1;
            return index;
        }
    }
    for (const auto& [known, index] : names) {
        if (known.size() == name.size() && known == name)
            return index;
    }
    const QList<DbfField>& fields = m_file->fields;
    auto find = [&](const QString& wanted, Qt::CaseSensitivity cs) {
        for (int i = 0; i < fields.size(); ++i) {
            if (fields[i].name.compare(wanted, cs) == 0)
                return i;
        }
        return -1;
    };
    int i = find(name, Qt::CaseSensitive);
    if (i < 0 && m_file->level7)
        i = find(name, Qt::CaseInsensitive);
    // dBase III/IV names hold at most 11 characters, and most tools keep only 10.
    if (i < 0 && !m_file->level7 && name.size() > 10) {
        i = find(name.left(11), Qt::CaseSensitive);
        if (i < 0)
            i = find(name.left(10), Qt::CaseSensitive);
    }
    if (i < 0)
        fail(m_file->path, QStringLiteral("no tiene el campo %1").arg(name));
    if (m_file->fieldNames.size() < 256)
        m_file->fieldNames.emplace_back(name, i);
    return i;
}

// ----------------------------------------------------------------------------------------------
// Walking.

bool DbfTable::visible(int record) const
{
    TableFile& t = *m_file;
    const char* p = rowAt(t, record);
    if (*p == '*')
        return false;
    if (m_filterField < 0)
        return true;
    const DbfField& f = t.fields[m_filterField];
    const int length = rightTrimmedLength(p + f.offset, f.width);
    return length == m_filterValue.size() &&
           std::memcmp(p + f.offset, m_filterValue.constData(), static_cast<size_t>(length)) == 0;
}

void DbfTable::setOrderByField(const QString& field)
{
    requireOpen("setOrderByField");
    m_orderField = field.isEmpty() ? -1 : fieldIndex(field);
    first();
}

void DbfTable::moveFrom(int start)
{
    if (m_orderField >= 0) {
        for (int i = start; i < static_cast<int>(m_order.size()); ++i) {
            if (visible(m_order[static_cast<size_t>(i)])) {
                m_orderPosition = i;
                m_current = m_order[static_cast<size_t>(i)];
                m_eof = false;
                return;
            }
        }
    } else {
        for (int r = start; r < m_file->recordCount; ++r) {
            if (visible(r)) {
                m_current = r;
                m_eof = false;
                return;
            }
        }
    }
    m_eof = true;
}

void DbfTable::first()
{
    requireOpen("first");
    postIfEditing();
    m_current = -1;
    m_orderPosition = -1;
    if (m_orderField >= 0) {
        TableFile& t = *m_file;
        const DbfField& f = t.fields[m_orderField];
        std::vector<std::pair<long double, int>> keyed;
        keyed.reserve(static_cast<size_t>(t.recordCount));
        for (int r = 0; r < t.recordCount; ++r) {
            const char* p = rowAt(t, r) + f.offset;
            QByteArray plain;
            long double key = 0;
            if (plainNumber(QByteArray(p, f.width), &plain))
                key = std::strtold(plain.constData(), nullptr);
            keyed.emplace_back(key, r);
        }
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        m_order.clear();
        for (const auto& k : keyed)
            m_order.push_back(k.second);
    }
    moveFrom(0);
}

void DbfTable::next()
{
    requireOpen("next");
    postIfEditing();
    if (m_eof)
        return;
    const int current = m_current;
    moveFrom(m_orderField >= 0 ? m_orderPosition + 1 : m_current + 1);
    if (m_eof)
        m_current = current; // past the end the cursor stays on the last row
}

int DbfTable::recordNumber() const
{
    return m_eof ? -1 : m_current;
}

void DbfTable::goToRecord(int record)
{
    requireOpen("goToRecord");
    postIfEditing();
    if (record < 0 || record >= m_file->recordCount)
        throw TableError(
            QStringLiteral("La tabla %1 no tiene la fila %2.").arg(m_fileName).arg(record + 1));
    m_current = record;
    m_eof = false;
}

bool DbfTable::eof() const
{
    return !m_file || m_eof;
}

void DbfTable::setFilter(const QString& field, const QString& value)
{
    requireOpen("setFilter");
    const int index = fieldIndex(field);
    if (m_file->fields[index].type != 'C')
        fail(m_file->path,
             QStringLiteral("solo se filtra por campos de texto, y %1 no lo es").arg(field));
    QString wanted = value;
    while (wanted.endsWith(QLatin1Char(' ')))
        wanted.chop(1);
    const QByteArray encoded = m_file->codePage->encode(wanted);
    m_filterField = index;
    // A value the table's code page cannot hold matches no row.
    const bool representable =
        m_file->codePage->decode(encoded.constData(), encoded.size()) == wanted;
    m_filterValue = representable ? encoded : QByteArray(m_file->fields[index].width + 1, ' ');
    first();
}

void DbfTable::clearFilter()
{
    requireOpen("clearFilter");
    m_filterField = -1;
    m_filterValue.clear();
}

bool DbfTable::locate(std::initializer_list<std::pair<QString, QVariant>> fieldValues)
{
    requireOpen("locate");
    postIfEditing();
    const TableFile& t = *m_file;

    struct Condition {
        int field;
        QString text;      // the value as text
        QByteArray stored; // for text fields: the bytes the field would hold
        QByteArray plain;  // for numbers: the plain number, empty for a blank value
        bool possible = true;
    };
    std::vector<Condition> conditions;
    for (const auto& [name, value] : fieldValues) {
        Condition c;
        c.field = fieldIndex(name);
        const DbfField& f = t.fields[c.field];
        const QString text = value.toString();
        c.text = text;
        if (f.type == 'C') {
            c.stored = QByteArray(f.width, ' ');
            t.codePage->encodeInto(text, c.stored.data(), f.width);
            c.stored.truncate(rightTrimmedLength(c.stored.constData(), f.width));
        } else if (isNumericType(f.type) && !text.trimmed().isEmpty()) {
            c.possible = plainNumber(text.toLatin1(), &c.plain);
        }
        conditions.push_back(c);
    }

    for (int r = 0; r < t.recordCount; ++r) {
        if (!visible(r))
            continue;
        const char* record = rowAt(*m_file, r);
        bool all = true;
        for (const Condition& c : conditions) {
            const DbfField& f = t.fields[c.field];
            const char* p = record + f.offset;
            bool match = c.possible;
            if (match && f.type == 'C') {
                // Pad blanks and zero bytes at the end do not count, as reading drops them.
                match =
                    rightTrimmedLength(p, f.width) == c.stored.size() &&
                    std::memcmp(p, c.stored.constData(), static_cast<size_t>(c.stored.size())) == 0;
            } else if (match && isNumericType(f.type)) {
                QByteArray plain;
                const bool blank = isBlankBytes(p, f.width);
                match = blank ? c.plain.isEmpty()
                              : (plainNumber(QByteArray(p, f.width), &plain) && plain == c.plain);
            } else if (match) {
                match = fieldText(t, f, record) == c.text;
            }
            if (!match) {
                all = false;
                break;
            }
        }
        if (all) {
            m_current = r;
            m_eof = false;
            if (m_orderField >= 0) {
                const auto it = std::find(m_order.begin(), m_order.end(), r);
                m_orderPosition = it == m_order.end() ? -1 : int(it - m_order.begin());
            }
            return true;
        }
    }
    return false;
}

// ----------------------------------------------------------------------------------------------
// Changing rows.

void DbfTable::append()
{
    requireOpen("append");
    postIfEditing();
    requireWritable();
    m_buffer.fill(' ', m_file->recordLength); // the buffer of the last row, when it is free
    m_pending = Pending::Append;
}

void DbfTable::requireWritable() const
{
    if (!m_file->writable)
        fail(m_file->path, QStringLiteral("es de solo lectura"));
    if (m_file->level7)
        fail(m_file->path, QStringLiteral("es de dBase 7 y solo se puede leer"));
    if (!m_file->indexMaintainable)
        fail(m_file->path, QStringLiteral("tiene un índice que este programa no sabe mantener, "
                                          "así que solo se puede leer"));
}

void DbfTable::edit()
{
    requireOpen("edit");
    postIfEditing();
    requireWritable();
    if (m_current < 0)
        fail(m_file->path, QStringLiteral("no hay ninguna fila que modificar"));
    m_buffer = QByteArray(rowAt(*m_file, m_current), m_file->recordLength);
    m_pending = Pending::Edit;
}

void DbfTable::post()
{
    requireOpen("post");
    TableFile& t = *m_file;
    if (m_pending == Pending::Append) {
        // New rows reach the file in batches (every object of this program sees them at once).
        t.records.append(m_buffer);
        m_current = t.recordCount;
        ++t.recordCount;
        m_eof = false;
        if (qsizetype(t.recordCount - t.writtenCount) * t.recordLength >= AppendBatchBytes)
            writeAppendedRows(t, true);
    } else if (m_pending == Pending::Edit) {
        writeAppendedRows(t);
        writeAt(t, t.headerLength + qint64(m_current) * t.recordLength, m_buffer);
        writeHeaderCount(t, t.recordCount);
        std::memcpy(rowAt(t, m_current), m_buffer.constData(), static_cast<size_t>(t.recordLength));
    } else {
        return;
    }
    if (t.indexedField >= 0)
        t.indexDirty = true;
    m_pending = Pending::None;
}

void DbfTable::cancel()
{
    m_pending = Pending::None;
}

bool DbfTable::isEditing() const
{
    return m_pending != Pending::None;
}

void DbfTable::postIfEditing()
{
    if (m_pending != Pending::None)
        post();
}

char* DbfTable::editableValue(int field, const char* operation)
{
    if (m_pending == Pending::None)
        fail(m_file->path, QStringLiteral("no se está añadiendo ni modificando una fila (%1)")
                               .arg(QLatin1String(operation)));
    return m_buffer.data() + std::as_const(m_file->fields)[field].offset;
}

void DbfTable::setText(const QString& field, const QString& value)
{
    setText(field, QStringView(value));
}

void DbfTable::setText(const QString& field, QStringView value)
{
    const int index = fieldIndex(field);
    const DbfField& f = std::as_const(m_file->fields)[index];
    char* p = editableValue(index, "setText");
    if (f.type == 'C' || f.type == 'D') {
        bool held = true;
        m_file->codePage->encodeInto(value, p, f.width, &held);
        if (m_textChangeObserver && !held) {
            const int row = m_pending == Pending::Append ? m_file->recordCount + 1 : m_current + 1;
            m_textChangeObserver({f.name, row, value.toString(),
                                  m_file->codePage->decode(p, rightTrimmedLength(p, f.width))});
        }
        return;
    }
    QByteArray bytes;
    if (isNumericType(f.type)) {
        QByteArray plain;
        if (value.trimmed().isEmpty())
            bytes = QByteArray(f.width, ' ');
        else if (!plainNumber(value.toLatin1(), &plain))
            fail(m_file->path, QStringLiteral("«%1» no es un número para el campo %2")
                                   .arg(value.toString(), f.name));
        else if (!plain.contains('.') && f.decimals == 0)
            bytes = encodedNumber(m_file->path, f, plain);
        else
            bytes = encodedNumber(m_file->path, f, floatDigits(m_file->path, f, plain.toDouble()));
    } else if (f.type == 'L') {
        const QString v = value.trimmed().toString().toUpper();
        if (v.isEmpty())
            bytes = " ";
        else if (v == QLatin1String("T") || v == QLatin1String("Y"))
            bytes = "T";
        else if (v == QLatin1String("F") || v == QLatin1String("N"))
            bytes = "F";
        else
            fail(m_file->path, QStringLiteral("«%1» no es un valor lógico para el campo %2")
                                   .arg(value.toString(), f.name));
    } else {
        fail(m_file->path, QStringLiteral("el campo %1 no se puede escribir").arg(f.name));
    }
    std::memcpy(p, bytes.constData(), static_cast<size_t>(f.width));
}

void DbfTable::setInteger(const QString& field, qint64 value)
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    if (isNumericType(f.type)) {
        char* p = editableValue(index, "setInteger");
        if (putWholeNumber(p, f, value))
            return;
        const QByteArray bytes = encodedNumber(m_file->path, f, integerDigits(f, value));
        std::memcpy(p, bytes.constData(), static_cast<size_t>(f.width));
    } else {
        setText(field, QString::number(value));
    }
}

void DbfTable::setFloat(const QString& field, double value)
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    if (isNumericType(f.type)) {
        char* p = editableValue(index, "setFloat");
        // A whole value (the commonest) is written as its digits and the decimals' zeros, which
        // is what the fixed-point form of the general way gives it.
        if (std::trunc(value) == value && std::abs(value) < 1e15 &&
            putWholeNumber(p, f, static_cast<qint64>(value)))
            return;
        const QByteArray bytes =
            encodedNumber(m_file->path, f, floatDigits(m_file->path, f, value));
        std::memcpy(p, bytes.constData(), static_cast<size_t>(f.width));
    } else {
        setText(field, QString::number(value, 'g', 15));
    }
}

void DbfTable::setBoolean(const QString& field, bool value)
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    if (f.type == 'L')
        *editableValue(index, "setBoolean") = value ? 'T' : 'F';
    else if (isNumericType(f.type))
        setInteger(field, value ? 1 : 0);
    else
        setText(field, value ? QStringLiteral("T") : QStringLiteral("F"));
}

// ----------------------------------------------------------------------------------------------
// Reading rows.

QByteArrayView DbfTable::storedRow() const
{
    const char* record = currentRecord();
    return record ? QByteArrayView(record, m_file->recordLength) : QByteArrayView();
}

bool DbfTable::sameLayout(const DbfTable& other) const
{
    requireOpen("sameLayout");
    other.requireOpen("sameLayout");
    const TableFile& a = *m_file;
    const TableFile& b = *other.m_file;
    if (a.codePage != b.codePage || a.recordLength != b.recordLength ||
        a.fields.size() != b.fields.size())
        return false;
    for (qsizetype i = 0; i < a.fields.size(); ++i) {
        const DbfField& f = a.fields.at(i);
        const DbfField& g = b.fields.at(i);
        if (f.name.compare(g.name, Qt::CaseInsensitive) != 0 || f.type != g.type ||
            f.width != g.width || f.decimals != g.decimals || f.offset != g.offset)
            return false;
    }
    return true;
}

const char* DbfTable::currentRecord() const
{
    if (m_pending != Pending::None)
        return m_buffer.constData();
    if (m_current < 0)
        return nullptr;
    return rowAt(*m_file, m_current);
}

bool DbfTable::isBlank(const QString& field) const
{
    const int index = fieldIndex(field);
    const char* record = currentRecord();
    return !record || fieldIsBlank(m_file->fields[index], record);
}

QString DbfTable::text(const QString& field) const
{
    const int index = fieldIndex(field);
    return fieldText(*m_file, m_file->fields[index], currentRecord());
}

qint64 DbfTable::integer(const QString& field) const
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    const char* record = currentRecord();
    if (!record || fieldIsBlank(f, record))
        return 0;
    const char* p = record + f.offset;
    if (isNumericType(f.type)) {
        if (const std::optional<qint64> whole = simpleWholeNumber(p, f.width))
            return *whole;
    }
    if (isBinaryInteger(f))
        return static_cast<qint32>(qFromBigEndian<quint32>(p) ^ 0x80000000u);
    if (f.type == 'L')
        return boolean(field) ? 1 : 0;
    if (isBinaryDouble(f))
        return std::llround(levelSevenDouble(qFromBigEndian<quint64>(p)));
    const QString shownText = text(field);
    QByteArray plain;
    if (!plainNumber(shownText.toLatin1(), &plain))
        fail(m_file->path, QStringLiteral("el campo %1 no contiene un número entero («%2»)")
                               .arg(f.name, shownText));
    if (plain.contains('.'))
        return std::llround(plain.toDouble());
    bool ok = false;
    const qint64 value = plain.toLongLong(&ok);
    if (!ok)
        fail(m_file->path, QStringLiteral("el número «%1» del campo %2 es demasiado grande")
                               .arg(shownText, f.name));
    return value;
}

double DbfTable::toFloat(const QString& field) const
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    const char* record = currentRecord();
    if (!record || isBlank(field))
        return 0;
    if (isBinaryDouble(f))
        return levelSevenDouble(qFromBigEndian<quint64>(record + f.offset));
    if (isBinaryInteger(f) || f.type == 'L')
        return static_cast<double>(integer(field));
    const QString shownText = text(field);
    QByteArray plain;
    if (!plainNumber(shownText.toLatin1(), &plain))
        fail(m_file->path,
             QStringLiteral("el campo %1 no contiene un número («%2»)").arg(f.name, shownText));
    return plain.toDouble();
}

bool DbfTable::boolean(const QString& field) const
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    const char* record = currentRecord();
    if (!record || isBlank(field))
        return false;
    const char c = record[f.offset];
    if (f.type == 'L' || f.type == 'C')
        return c == 'T' || c == 't' || c == 'Y' || c == 'y';
    return integer(field) != 0;
}

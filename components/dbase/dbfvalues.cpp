#include "components/dbase/dbfvalues.h"

#include "components/dbase/codepage.h"
#include "components/dbase/dbfformat.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <QtEndian>
#include <cmath>

namespace dbf {

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

qint32 levelSevenInteger(const char* p)
{
    return static_cast<qint32>(qFromBigEndian<quint32>(p) ^ 0x80000000u);
}

namespace {

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

QString numberText(const char* p, int width)
{
    if (const std::optional<qint64> whole = simpleWholeNumber(p, width))
        return QString::number(*whole);
    QByteArray plain;
    if (plainNumber(QByteArray(p, width), &plain))
        return QString::fromLatin1(plain);
    return QString::fromLatin1(trimmedBytes(p, width));
}

} // namespace

QString fieldText(const CodePage& codePage, const DbfField& f, const char* record)
{
    if (!record || fieldIsBlank(f, record))
        return QString();
    const char* p = record + f.offset;
    if (isNumericType(f.type))
        return numberText(p, f.width);
    if (f.type == 'L')
        return (*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y') ? QStringLiteral("T")
                                                                  : QStringLiteral("F");
    if (isBinaryInteger(f))
        return QString::number(levelSevenInteger(p));
    if (isBinaryDouble(f))
        return QString::number(levelSevenDouble(qFromBigEndian<quint64>(p)), 'g',
                               QLocale::FloatingPointShortest);
    if (isTimestamp(f)) {
        const quint64 u = qFromBigEndian<quint64>(p);
        double ms;
        std::memcpy(&ms, &u, sizeof ms);
        return timestampText(ms);
    }
    return codePage.decode(p, rightTrimmedLength(p, f.width));
}

QByteArray encodedNumber(const QString& path, const DbfField& f, QByteArray digits)
{
    if (digits.size() > f.width)
        fail(path, QStringLiteral("el valor %1 no cabe en el campo %2 (anchura %3)")
                       .arg(QString::fromLatin1(digits), f.name)
                       .arg(f.width));
    return QByteArray(f.width - digits.size(), ' ') + digits;
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

QByteArray encodedNumberText(const QString& path, const DbfField& f, QStringView value)
{
    QByteArray plain;
    if (value.trimmed().isEmpty())
        return QByteArray(f.width, ' ');
    if (!plainNumber(value.toLatin1(), &plain))
        fail(path,
             QStringLiteral("«%1» no es un número para el campo %2").arg(value.toString(), f.name));
    if (!plain.contains('.') && f.decimals == 0)
        return encodedNumber(path, f, plain);
    return encodedNumber(path, f, floatDigits(path, f, plain.toDouble()));
}

QByteArray encodedLogical(const QString& path, const DbfField& f, QStringView value)
{
    const QString v = value.trimmed().toString().toUpper();
    if (v.isEmpty())
        return " ";
    if (v == QLatin1String("T") || v == QLatin1String("Y"))
        return "T";
    if (v == QLatin1String("F") || v == QLatin1String("N"))
        return "F";
    fail(path, QStringLiteral("«%1» no es un valor lógico para el campo %2")
                   .arg(value.toString(), f.name));
}

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

} // namespace dbf

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

QString textAsRead(const QString& text, int width)
{
    // The common case without a copy: a text the code page holds, within the width, with no
    // blank or zero at its end, reads back as it is.
    const CodePage& page = CodePage::windows1252();
    if (text.size() <= width &&
        (text.isEmpty() || (text.back() != QLatin1Char(' ') && text.back() != QChar(0))) &&
        page.holds(text))
        return text;
    const QByteArray bytes = storedText(text, width);
    return page.decode(bytes.constData(), bytes.size());
}

QString fittedText(const QString& text)
{
    const CodePage& page = CodePage::windows1252();
    return page.holds(text) ? text : page.bestFit(text);
}

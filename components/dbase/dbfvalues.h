#pragma once

#include "components/dbase/dbftable.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <algorithm>
#include <cstring>
#include <optional>

class CodePage;

// A field's value as its bytes in a record store it, whatever wrote the table, and the bytes a
// value is written as. Inside the dBase layer only. The few read or written for every value of
// every row are inline.
namespace dbf {

inline bool isNumericType(char type)
{
    return type == 'N' || type == 'F';
}

inline bool isBinaryInteger(const DbfField& f)
{
    return (f.type == 'I' || f.type == '+') && f.width == 4;
}

inline bool isBinaryDouble(const DbfField& f)
{
    return f.type == 'O' && f.width == 8;
}

inline bool isTimestamp(const DbfField& f)
{
    return f.type == '@' && f.width == 8;
}

inline bool isBlankBytes(const char* p, int n)
{
    for (int i = 0; i < n; ++i) {
        if (p[i] != ' ' && p[i] != '\0')
            return false;
    }
    return true;
}

// The length without the pad blanks and zero bytes at the end.
inline int rightTrimmedLength(const char* p, int n)
{
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
        --n;
    return n;
}

// The bytes without pad blanks and zero bytes at either end.
QByteArray trimmedBytes(const char* p, int n);

inline bool fieldIsBlank(const DbfField& f, const char* record)
{
    const char* p = record + f.offset;
    if (isBinaryInteger(f) || isBinaryDouble(f) || isTimestamp(f))
        return std::all_of(p, p + f.width, [](char c) { return c == 0; });
    if (f.type == 'L')
        return *p == ' ' || *p == '?' || *p == '\0';
    return isBlankBytes(p, f.width);
}

// A number written in decimal, made plain: no blanks, no '+', no leading zeros in the whole
// part, no trailing zeros in the fraction ("  -03.500" gives "-3.5"). False for anything else.
// Zero bytes pad a number as blanks do, as a field reads them.
bool plainNumber(const QByteArray& text, QByteArray* out);

// The commonest numeric value, a whole number with blanks around it, read without building any
// text: nothing when the bytes hold anything else (a fraction, '+', leading zeros), which the
// general reading then handles.
inline std::optional<qint64> simpleWholeNumber(const char* p, int width)
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

// A whole number written straight into a numeric field: right-aligned, with the field's
// decimals as zeros, as encodedNumber writes it. False, with nothing written, when it does not
// fit: the general way then says so.
inline bool putWholeNumber(char* p, const DbfField& f, qint64 value)
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

// Level-7 doubles sort as bytes: positive values have the sign bit set, negative ones are
// inverted whole.
double levelSevenDouble(quint64 storedBits);
// A level-7 binary integer (I, +): big-endian with the sign bit flipped.
qint32 levelSevenInteger(const char* p);

// The field's value as text() reads it (see DbfTable::text); empty for no record.
QString fieldText(const CodePage& codePage, const DbfField& f, const char* record);

// The digits right-aligned in the field's width; throws TableError naming `path` when they do
// not fit.
QByteArray encodedNumber(const QString& path, const DbfField& f, QByteArray digits);
// A whole number's digits with the field's decimals as zeros.
QByteArray integerDigits(const DbfField& f, qint64 value);
// A number's digits with the field's decimals; throws TableError for infinity or NaN.
QByteArray floatDigits(const QString& path, const DbfField& f, double value);
// The bytes a numeric field (N, F) stores for a text: blanks for a blank one; throws TableError
// naming `path` when it is not a number or does not fit.
QByteArray encodedNumberText(const QString& path, const DbfField& f, QStringView value);
// The byte a logical field (L) stores for a text: "T" for T or Y, "F" for F or N, " " for a
// blank one; throws TableError naming `path` for anything else.
QByteArray encodedLogical(const QString& path, const DbfField& f, QStringView value);

// How a message names a field's type: "texto (C)", "numérico (N)".
QString typeName(char type);
// Whether a run may read the field as a number or a text (see DbfTable::requireField).
bool fitsUse(const DbfField& f, DbfTable::FieldUse use);

} // namespace dbf

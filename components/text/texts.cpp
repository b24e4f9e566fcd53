#include "components/text/texts.h"

#include <limits>

namespace texts {

QString upperAsciiLetters(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return out;
}

QString lowerAsciiLetters(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() - 'A' + 'a');
    }
    return out;
}

QString counted(qint64 count, const char* one, const char* many)
{
    return QString::number(count) + QLatin1Char(' ') + QString::fromUtf8(count == 1 ? one : many);
}

QString caseFolded(const QString& text)
{
    bool upper = false;
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return text.toCaseFolded();
        upper |= c >= QLatin1Char('A') && c <= QLatin1Char('Z');
    }
    return upper ? lowerAsciiLetters(text) : text;
}

bool isXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::optional<char32_t> firstNonXmlCharacter(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && c < 0xD800)
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        }
        if (!isXmlCharacter(c))
            return c;
    }
    return std::nullopt;
}

QString codePointName(char32_t c)
{
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

QString printable(const QString& text)
{
    if (!firstNonXmlCharacter(text))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            out.append(text[i]);
            out.append(text[++i]);
        } else {
            out.append(isXmlCharacter(c) ? text[i] : QChar(QChar::ReplacementCharacter));
        }
    }
    return out;
}

namespace {

// How many UTF-16 units the first `count` characters take.
qsizetype unitsForCharacters(const QString& text, qsizetype count)
{
    qsizetype units = 0;
    for (qsizetype taken = 0; taken < count && units < text.size(); ++taken)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size() &&
                  text.at(units + 1).isLowSurrogate())
                     ? 2
                     : 1;
    return units;
}

} // namespace

QString leftCharacters(const QString& text, qsizetype count)
{
    return text.left(unitsForCharacters(text, count));
}

QString rightCharacters(const QString& text, qsizetype count)
{
    qsizetype units = 0;
    for (qsizetype taken = 0; taken < count && units < text.size(); ++taken) {
        const qsizetype at = text.size() - units - 1;
        units +=
            (text.at(at).isLowSurrogate() && at > 0 && text.at(at - 1).isHighSurrogate()) ? 2 : 1;
    }
    return text.right(units);
}

qsizetype characterCount(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }
    return count;
}

QString trimmed(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

int toInteger(const QString& text)
{
    const QString t = trimmed(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+'))) {
        negative = t.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    const qsizetype firstDigit = i;
    for (; i < t.size(); ++i) {
        const char16_t c = t.at(i).unicode();
        if (c < u'0' || c > u'9' || value > qint64(1) << 32)
            break;
        value = value * 10 + (c - u'0');
    }
    if (firstDigit == i || i != t.size())
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    value = negative ? -value : value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return static_cast<int>(value);
}

QString clockText(int minutes)
{
    // In 64 bits: the hours of the lowest minute value do not fit its negation in 32.
    const qint64 m = minutes;
    const qint64 hours = m >= 0 ? m / 60 : -((-m + 59) / 60);
    const qint64 rest = m % 60;
    auto twoDigits = [](qint64 n) {
        const QString digits = QString::number(n);
        return digits.size() == 1 ? QLatin1Char('0') + digits : digits;
    };
    return twoDigits(hours) + QLatin1Char(':') + twoDigits(rest);
}

int clockMinutes(const QString& text)
{
    const QString t = text.size() < 5 ? QLatin1Char('0') + text : text;
    return toInteger(t.left(2)) * 60 + toInteger(t.right(2));
}

} // namespace texts

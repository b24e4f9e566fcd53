#pragma once

// Errors of the text layer: a text that should be a number and is not throws ConversionError;
// every other rule gives its result and never fails.

#include "components/platform/engineerror.h"

#include <QString>
#include <QStringView>
#include <optional>

// A text that should be a number and is not. The message is the one Oranel's users know from
// the original program: "'abc' is not a valid integer value".
class ConversionError : public EngineError {
public:
    using EngineError::EngineError;

    // The same error with a second line saying where the text came from ("En el grupo
    // MATERIAS, registro 3, dato 4.").
    ConversionError at(const QString& place) const
    {
        return ConversionError(message() + QStringLiteral("\nEn ") + place + QLatin1Char('.'));
    }
};

// Text rules shared by the whole program. Texts count Unicode characters, never bytes.
namespace texts {

// Only the letters a to z become A to Z; every other character stays ('Educación' gives
// 'EDUCACIóN').
QString upperAsciiLetters(const QString& text);
// Only the letters A to Z become a to z.
QString lowerAsciiLetters(const QString& text);
// "1 fila", "3 filas": the count with the word for one or for many.
QString counted(qint64 count, const char* one, const char* many);
// text.toCaseFolded(), without its cost for a text of ASCII characters (codes mostly are).
QString caseFolded(const QString& text);
// Whether XML 1.0 allows the character in a document (tab, line feed, carriage return, and
// U+0020 to U+10FFFF but for surrogates, U+FFFE and U+FFFF).
bool isXmlCharacter(char32_t c);
// The first character of the text that XML 1.0 does not allow (a surrogate without its pair
// counting as one), or nothing.
std::optional<char32_t> firstNonXmlCharacter(QStringView text);
// "U+0007": how a message names a character.
QString codePointName(char32_t c);
// The text as a message can show it: every character XML 1.0 does not allow becomes U+FFFD.
QString printable(const QString& text);

// The first `count` characters (all of them when the text is shorter); a character outside
// the Basic Multilingual Plane counts as one.
QString leftCharacters(const QString& text, qsizetype count);
// The last `count` characters, counted the same way.
QString rightCharacters(const QString& text, qsizetype count);
// The number of characters, counted the same way.
qsizetype characterCount(const QString& text);

// Removes the characters U+0020 and below from both ends (blanks, tabs, line breaks, control
// characters).
QString trimmed(const QString& text);

// An integer text: after trimming, an optional sign followed by decimal digits, within the
// 32-bit range. Anything else throws ConversionError.
int toInteger(const QString& text);

// Minutes after midnight as a clock text: hours (rounded towards minus infinity) and minutes
// (the remainder, with the sign of the minutes), each with a leading "0" when it is a single
// character, joined by ":". 480 gives "08:00", 545 "09:05", 6000 "100:00".
QString clockText(int minutes);
// A clock text back to minutes: a text shorter than five characters gets one "0" in front;
// then the first two characters are the hours and the last two the minutes. "08:30" and "8:30"
// give 510, "" gives 0. Characters that are not a number throw ConversionError.
int clockMinutes(const QString& text);

} // namespace texts

#include "to_timetable/codelist.h"

#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/text/texts.h"

#include <algorithm>

namespace {

// A code over 10 characters becomes its first 8 and last 2 characters.
QString shortened(const QString& code)
{
    if (texts::characterCount(code) <= 10)
        return code;
    return texts::leftCharacters(code, 8) + texts::rightCharacters(code, 2);
}

} // namespace

CodeList::CodeList(LetterCase letterCase, LongCodes longCodes)
    : m_letterCase(letterCase), m_longCodes(longCodes)
{
}

QString CodeList::storedForm(const QString& code) const
{
    const QString stored = textAsRead(code, 10);
    return m_letterCase == LetterCase::Ignored ? texts::caseFolded(stored) : stored;
}

QString CodeList::firstChoice(const QString& code) const
{
    return m_longCodes == LongCodes::Shortened ? shortened(code) : code;
}

bool CodeList::contains(const QString& code) const
{
    return m_given.contains(storedForm(code));
}

void CodeList::reserve(const QString& code)
{
    m_given.insert(storedForm(code));
}

void CodeList::clear()
{
    m_given.clear();
    m_nextCounter.clear();
}

QString CodeList::give(const QString& code, bool* numbered)
{
    if (numbered)
        *numbered = false;
    const QString plain = firstChoice(code);
    if (!contains(plain)) {
        m_given.insert(storedForm(plain));
        return plain;
    }
    const QString base = texts::leftCharacters(code, 9);
    // Past this counter no candidate of the base has a final form not met before.
    const qint64 last = std::min<qint64>(10'000'000, [&] {
        qint64 limit = 1;
        for (qsizetype digits = texts::characterCount(base); digits < 12; ++digits)
            limit *= 10;
        return limit;
    }());
    // The counter belongs to the base exactly as it stands: two bases with one stored form
    // ("GL" and "GL ") still make different candidates.
    for (qint64 counter = m_nextCounter.value(base, 1); counter <= last; ++counter) {
        const QString candidate = shortened(base + QString::number(counter));
        if (!contains(candidate)) {
            m_given.insert(storedForm(candidate));
            m_nextCounter.insert(base, counter + 1);
            if (numbered)
                *numbered = true;
            return candidate;
        }
    }
    throw EngineError(QStringLiteral("No quedan códigos libres para «%1»: ya se han dado todos los "
                                     "que se forman con «%2» y un número.")
                          .arg(code, base));
}

#include "components/dbase/codepage.h"

#include "components/dbase/codepages_data.inc"

#include <QList>
#include <algorithm>

namespace {

struct Page {
    int number;
    const char16_t* upperHalf;
};

const Page pages[] = {
    {437, upperHalf437}, {850, upperHalf850},   {852, upperHalf852},   {865, upperHalf865},
    {866, upperHalf866}, {1250, upperHalf1250}, {1251, upperHalf1251}, {1252, upperHalf1252},
};

// Language driver bytes of dBase and the code pages they stand for.
int codePageOfDriver(quint8 driver)
{
    switch (driver) {
    case 0x01: // DOS USA
    case 0x09: // Dutch OEM
    case 0x0B: // Finnish OEM
    case 0x0D: // French OEM
    case 0x0F: // German OEM
    case 0x11: // Italian OEM
    case 0x15: // Swedish OEM
    case 0x18: // DB437ES1, Spanish OEM
    case 0x19: // DB437UK0
    case 0x1B: // DB437US0
        return 437;
    case 0x02: // DOS Multilingual
    case 0x0A: // Dutch OEM secondary
    case 0x0E: // French OEM secondary
    case 0x10: // German OEM secondary
    case 0x12: // Italian OEM secondary
    case 0x14: // DB850ES0, Spanish OEM secondary
    case 0x16: // Swedish OEM secondary
    case 0x1A: // DB850UK0
    case 0x1D: // French OEM (850)
    case 0x25: // Portuguese OEM (850)
    case 0x37: // DB850US0
        return 850;
    case 0x1F: // Czech OEM
    case 0x22: // Hungarian OEM
    case 0x23: // Polish OEM
    case 0x40: // Slovenian OEM
    case 0x64: // Eastern European MS-DOS
        return 852;
    case 0x08: // Danish OEM
    case 0x17: // Norwegian OEM
    case 0x66: // Nordic MS-DOS
        return 865;
    case 0x26: // Russian OEM
    case 0x65: // Russian MS-DOS
        return 866;
    case 0xC8: // Eastern European Windows
        return 1250;
    case 0xC9: // Russian Windows
        return 1251;
    default: // 0x03, 0x57 DBWINUS0, 0x58 DBWINWE0, 0x59 DBWINES0, and unset
        return 1252;
    }
}

// Letters that have no decomposition, and the plain letter Windows' best-fit conversion gives
// them.
char16_t plainLetter(char32_t c)
{
    switch (c) {
    case U'\u0110': // Đ
        return u'D';
    case U'\u0111': // đ
        return u'd';
    case U'\u0126': // Ħ
        return u'H';
    case U'\u0127': // ħ
        return u'h';
    case U'\u0131': // ı
        return u'i';
    case U'\u0138': // ĸ
        return u'k';
    case U'\u013F': // Ŀ
        return u'L';
    case U'\u0140': // ŀ
        return u'l';
    case U'\u0141': // Ł
        return u'L';
    case U'\u0142': // ł
        return u'l';
    case U'\u0149': // ŉ
        return u'n';
    case U'\u014A': // Ŋ
        return u'N';
    case U'\u014B': // ŋ
        return u'n';
    case U'\u0166': // Ŧ
        return u'T';
    case U'\u0167': // ŧ
        return u't';
    case U'\u0180': // ƀ
        return u'b';
    case U'\u0197': // Ɨ
        return u'I';
    case U'\u019A': // ƚ
        return u'l';
    case U'\u01B5': // Ƶ
        return u'Z';
    case U'\u01B6': // ƶ
        return u'z';
    case U'\u01E4': // Ǥ
        return u'G';
    case U'\u01E5': // ǥ
        return u'g';
    case U'\u0268': // ɨ
        return u'i';
    default:
        return 0;
    }
}

bool isMark(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

} // namespace

CodePage::CodePage(int number, const char16_t* upperHalf)
    : m_number(number), m_upperHalf(upperHalf), m_reverse(0x10000, '?'), m_holds(0x10000, 0)
{
    for (int c = 0; c < 0x80; ++c) {
        m_reverse[c] = static_cast<char>(c);
        m_holds[c] = 1;
    }
    for (int b = 0x80; b < 0x100; ++b) {
        m_reverse[m_upperHalf[b - 0x80]] = static_cast<char>(b);
        m_holds[m_upperHalf[b - 0x80]] = 1;
    }
}

const CodePage* CodePage::numbered(int number)
{
    // Built once and kept for the life of the program.
    static const auto* const all = [] {
        auto* pages_ = new std::vector<CodePage>;
        for (const Page& page : pages)
            pages_->push_back(CodePage(page.number, page.upperHalf));
        return pages_;
    }();
    for (const CodePage& page : *all) {
        if (page.m_number == number)
            return &page;
    }
    return nullptr;
}

const CodePage& CodePage::windows1252()
{
    return *numbered(1252);
}

const CodePage& CodePage::forLanguageDriver(quint8 driver)
{
    return *numbered(codePageOfDriver(driver));
}

const CodePage* CodePage::forDriverName(const QByteArray& name)
{
    const QByteArray upper = name.toUpper();
    if (upper.startsWith("DBWIN"))
        return numbered(1252);
    if (upper.startsWith("DB") && upper.size() >= 5) {
        bool ok = false;
        const int number = upper.mid(2, 3).toInt(&ok);
        if (ok)
            return numbered(number);
    }
    return nullptr;
}

QString CodePage::decode(const char* bytes, qsizetype size) const
{
    QString out(size, Qt::Uninitialized);
    QChar* data = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        data[i] = b < 0x80 ? QChar(b) : QChar(m_upperHalf[b - 0x80]);
    }
    return out;
}

bool CodePage::holds(QStringView text) const
{
    const char16_t* s = text.utf16();
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        if (s[i] >= 0x80 && !m_holds[s[i]])
            return false;
    }
    return true;
}

QString CodePage::bestFit(QStringView text) const
{
    if (holds(text))
        return text.toString();
    // Composed first: a letter written as a base and a combining mark may be one the page has.
    const QString composed = text.toString().normalized(QString::NormalizationForm_C);
    QString out;
    out.reserve(composed.size());
    auto held = [this](char32_t c) { return c < 0x10000 && m_holds[c]; };
    for (const char32_t c : composed.toUcs4()) {
        if (held(c)) {
            out.append(QChar(static_cast<char16_t>(c)));
            continue;
        }
        if (const char16_t plain = plainLetter(c); plain && held(plain)) {
            out.append(QChar(plain));
            continue;
        }
        // A lone surrogate has no character to decompose.
        if (c >= 0xD800 && c <= 0xDFFF) {
            out.append(QLatin1Char('?'));
            continue;
        }
        // One character gives one: the first of its decomposition that is not a mark ('ǅ' gives
        // 'D', 'ﬁ' gives 'f'), so that a text keeps its length and a cut keeps what it kept.
        const QString decomposed =
            QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
        const QList<uint> parts = decomposed.toUcs4();
        const auto base =
            std::find_if(parts.begin(), parts.end(), [](uint d) { return !isMark(d); });
        if (base == parts.end()) {
            if (!isMark(c))
                out.append(QLatin1Char('?'));
            continue; // a mark with no letter: dropped
        }
        if (held(*base))
            out.append(QChar(static_cast<char16_t>(*base)));
        else if (const char16_t plain = plainLetter(*base); plain && held(plain))
            out.append(QChar(plain));
        else
            out.append(QLatin1Char('?'));
    }
    return out;
}

qsizetype CodePage::encodeInto(QStringView text, char* out, qsizetype width, bool* heldWhole) const
{
    // The common case in one pass: every character held, written as it is read.
    const char16_t* s = text.utf16();
    const qsizetype written = std::min(text.size(), width);
    qsizetype i = 0;
    for (; i < written; ++i) {
        const char16_t c = s[i];
        if (c < 0x80)
            out[i] = static_cast<char>(c);
        else if (m_holds[c])
            out[i] = m_reverse[c];
        else
            break;
    }
    if (i == written && holds(text.sliced(written))) {
        std::fill(out + written, out + width, ' ');
        if (heldWhole)
            *heldWhole = true;
        return written;
    }
    // The best-fit form is worked out on the whole text, and may be shorter than it (a base and
    // its mark become one letter): the cut is made on that form.
    if (heldWhole)
        *heldWhole = false;
    const QString fitted = bestFit(text);
    return encodeInto(fitted, out, width);
}

QByteArray CodePage::encode(const QString& text) const
{
    // The best-fit form may differ in length from the text: a surrogate pair is one character.
    const QString fitted = holds(text) ? text : bestFit(text);
    QByteArray out(fitted.size(), Qt::Uninitialized);
    const qsizetype written = encodeInto(fitted, out.data(), out.size());
    out.truncate(written);
    return out;
}

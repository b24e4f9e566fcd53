#include "components/codepage.h"

#include "components/codepages_data.inc"

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

} // namespace

CodePage::CodePage(int number, const char16_t* upperHalf)
    : m_number(number), m_upperHalf(upperHalf), m_reverse(0x10000, '?')
{
    for (int c = 0; c < 0x80; ++c)
        m_reverse[c] = static_cast<char>(c);
    for (int b = 0x80; b < 0x100; ++b)
        m_reverse[m_upperHalf[b - 0x80]] = static_cast<char>(b);
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

qsizetype CodePage::encodeInto(QStringView text, char* out, qsizetype width) const
{
    qsizetype written = 0;
    for (qsizetype i = 0; i < text.size() && written < width; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i; // a character outside the plane: no single-byte page holds it
            out[written++] = '?';
            continue;
        }
        out[written++] = m_reverse[c];
    }
    std::fill(out + written, out + width, ' ');
    return written;
}

QByteArray CodePage::encode(const QString& text) const
{
    QByteArray out(text.size(), Qt::Uninitialized);
    const qsizetype written = encodeInto(text, out.data(), out.size());
    out.truncate(written);
    return out;
}

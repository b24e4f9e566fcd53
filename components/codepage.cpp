#include "components/codepage.h"

#include "components/codepages_data.inc"

#include <array>

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

CodePage::CodePage(int number, const char16_t* upperHalf) : m_number(number), m_upperHalf(upperHalf)
{
    for (int b = 0x80; b < 0x100; ++b)
        m_reverse.insert(m_upperHalf[b - 0x80], static_cast<char>(b));
}

const CodePage* CodePage::numbered(int number)
{
    static const std::array<CodePage, std::size(pages)> all = [] {
        return std::array<CodePage, std::size(pages)>{
            CodePage(pages[0].number, pages[0].upperHalf),
            CodePage(pages[1].number, pages[1].upperHalf),
            CodePage(pages[2].number, pages[2].upperHalf),
            CodePage(pages[3].number, pages[3].upperHalf),
            CodePage(pages[4].number, pages[4].upperHalf),
            CodePage(pages[5].number, pages[5].upperHalf),
            CodePage(pages[6].number, pages[6].upperHalf),
            CodePage(pages[7].number, pages[7].upperHalf)};
    }();
    for (const CodePage& page : all) {
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

QByteArray CodePage::encode(const QString& text) const
{
    QByteArray out;
    out.reserve(text.size());
    for (char32_t c : text.toUcs4()) {
        if (c < 0x80) {
            out.append(static_cast<char>(c));
            continue;
        }
        const auto it = m_reverse.constFind(c);
        out.append(it == m_reverse.constEnd() ? '?' : it.value());
    }
    return out;
}
